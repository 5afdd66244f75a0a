#pragma once
#include <string>

namespace velto {

// The conversation log ("output window"). Called on the worker thread; an
// implementation returns only after the user-interface side has taken the
// text, so callers may pass short-lived strings.
class ILogSink {
public:
    virtual ~ILogSink() = default;
    virtual void AppendOutput(const std::string& text) = 0;
};

}  // namespace velto
