#pragma once
// The real main window over the engine with fake services: the frame is the
// engine's UI, the conversation log goes to its output window, and the
// desktop is a recording fake.
#include <memory>
#include <string>

#include "engine/WindowLogSink.h"
#include "shell/MainFrame.h"
#include "support/qt/EngineHarness.h"
#include "support/qt/FakeDesktop.h"

namespace velto::test {

struct FrameHarness {
    explicit FrameHarness(const std::string& settings = {}, std::shared_ptr<ITransportFactory> transports = {},
                          std::shared_ptr<ITlsLayer> tls = {}, std::shared_ptr<ISignIn> signIn = {})
        : frame(desktop),
          output(&frame, [this](const std::string& text) { frame.AppendOutput(text); }),
          engine(settings, std::move(transports), nullptr, &frame, &output, false, std::move(tls), signIn) {
        frame.SetSignIn(signIn);
        frame.AttachView(engine.view.get());
    }
    ~FrameHarness() { output.Close(); }

    CCorvaneView& view() { return *engine.view; }

    FakeDesktop desktop;
    CMainFrame frame;
    WindowLogSink output;
    EngineHarness engine;  // last: the engine goes before the windows it uses
};

}  // namespace velto::test
