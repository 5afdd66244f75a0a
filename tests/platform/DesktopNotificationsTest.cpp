#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QDBusVariant>
#include <sstream>

#include "platform/DesktopNotifications.h"
#include "support/TestEnvironment.h"
#include "support/qt/EngineHarness.h"
#include "support/qt/PrivateBus.h"

namespace velto {
namespace {

// The desktop's notification service as python-dbusmock plays it; what it
// was asked goes to its log, one call a line.
struct NotificationService : test::PrivateBus {
    NotificationService() {
        if (!Up()) return;
        log = test::MakeTempDir("velto-notify") + "/calls.log";
        StartHelper({"/usr/bin/python3", "-m", "dbusmock", "--session", "--template", "notification_daemon", "-l", log});
        WaitForName("org.freedesktop.Notifications");
    }
    // Lines of the log that name the method.
    std::vector<std::string> Calls(const std::string& method) const {
        std::vector<std::string> found;
        std::istringstream lines(test::ReadFile(log));
        for (std::string line; std::getline(lines, line);)
            if (line.find(" " + method + " ") != std::string::npos) found.push_back(line);
        return found;
    }
    // The service says the user chose an action of notice id.
    void Invoke(uint id, const QString& key) {
        QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                                           "org.freedesktop.DBus.Mock", "EmitSignal");
        call << QString("org.freedesktop.Notifications") << QString("ActionInvoked") << QString("us")
             << QVariantList{QVariant::fromValue(id), QVariant::fromValue(key)};
        connection->call(call);
    }
    std::string log;
};

Notice NewMail(const std::string& title, const std::string& text, std::vector<std::string>& ran) {
    Notice notice;
    notice.tag = "new-mail";
    notice.title = title;
    notice.text = text;
    notice.actions = {{"read", "Read", [&ran] { ran.push_back("read"); }},
                      {"show", "Show", [&ran] { ran.push_back("show"); }}};
    notice.onClick = [&ran] { ran.push_back("click"); };
    return notice;
}

TEST(DesktopNotifications, ShownWithActionsReplacedByTheNextAndActionsRunWhenChosen) {
    NotificationService service;
    if (!service.Up()) GTEST_SKIP() << "no private bus or python3-dbusmock";
    std::vector<std::string> ran, balloons;
    DesktopNotifications notices(*service.connection, [&](const std::string& title, const std::string&, auto) {
        balloons.push_back(title);
    });
    notices.Show(NewMail("VeltoMail 98 - You have 1 New Messages!!", "Lunch <today> with Ann", ran));
    // The second comes before the service has numbered the first: it still
    // replaces it rather than stacking.
    notices.Show(NewMail("VeltoMail 98 - You have 2 New Messages!!", "Minutes", ran));
    ASSERT_TRUE(test::RunEventsUntil([&] { return service.Calls("Notify").size() == 2; }, 10000));
    const auto calls = service.Calls("Notify");
    // app name, replaces id, icon, summary, body, actions (the service reads
    // markup: the body is escaped).
    EXPECT_NE(calls[0].find("\"VeltoMail\" 0 \"veltomail\" \"VeltoMail 98 - You have 1 New Messages!!\" "
                            "\"Lunch &lt;today&gt; with Ann\" [\"default\", \"Open\", \"read\", \"Read\", \"show\", \"Show\"]"),
              std::string::npos)
        << calls[0];
    EXPECT_NE(calls[1].find("\"VeltoMail\" 1 \"veltomail\" \"VeltoMail 98 - You have 2 New Messages!!\""),
              std::string::npos)
        << calls[1];
    test::RunEventsUntil([] { return false; }, 200);  // the second's number arrives

    const struct {
        const char* key;
        const char* ran;
    } choices[] = {{"read", "read"}, {"show", "show"}, {"default", "click"}};
    for (const auto& choice : choices) {
        ran.clear();
        service.Invoke(1, choice.key);
        EXPECT_TRUE(test::RunEventsUntil([&] { return !ran.empty(); }, 5000)) << choice.key;
        EXPECT_EQ(ran, (std::vector<std::string>{choice.ran}));
    }
    // Another notice's number is not ours.
    ran.clear();
    service.Invoke(7, "read");
    test::RunEventsUntil([] { return false; }, 200);
    EXPECT_TRUE(ran.empty());
    EXPECT_TRUE(balloons.empty());
}

TEST(DesktopNotifications, WithoutTheServiceTheTrayBalloonTellsIt) {
    test::PrivateBus bus;  // a bus, but nobody on it shows notifications
    if (!bus.Up()) GTEST_SKIP() << "no private bus";
    std::vector<std::string> ran, balloons;
    std::function<void()> clicked;
    DesktopNotifications notices(*bus.connection, [&](const std::string& title, const std::string& text, auto onClick) {
        balloons.push_back(title + "|" + text);
        clicked = onClick;
    });
    notices.Show(NewMail("VeltoMail 98 - You have 1 New Messages!!", "Lunch", ran));
    ASSERT_TRUE(test::RunEventsUntil([&] { return !balloons.empty(); }, 10000));
    EXPECT_EQ(balloons, (std::vector<std::string>{"VeltoMail 98 - You have 1 New Messages!!|Lunch"}));
    ASSERT_TRUE(clicked);
    clicked();
    EXPECT_EQ(ran, (std::vector<std::string>{"click"}));
}

}  // namespace
}  // namespace velto
