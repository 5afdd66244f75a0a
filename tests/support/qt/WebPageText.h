#pragma once
// A web page's text as the user reads it, for tests on the real web engine.
// Header only: the support library does not link the web engine.
#include <QString>
#include <QWebEnginePage>
#include <memory>

#include "support/qt/EngineHarness.h"

namespace velto::test {

// Asks the page for its text until it contains want or the time is up;
// returns the text last seen. An answer may come after the wait has ended,
// so the answer writes into shared state, never into this frame.
inline QString WaitForPageText(QWebEnginePage* page, const QString& want, int timeoutMs = 30000) {
    auto text = std::make_shared<QString>();
    auto asking = std::make_shared<bool>(false);
    RunEventsUntil(
        [&] {
            if (!*asking) {
                *asking = true;
                page->toPlainText([text, asking](const QString& t) {
                    *text = t;
                    *asking = false;
                });
            }
            return text->contains(want);
        },
        timeoutMs);
    return *text;
}

}  // namespace velto::test
