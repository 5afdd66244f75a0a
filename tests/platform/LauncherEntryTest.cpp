#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QObject>

#include "platform/LauncherEntry.h"
#include "support/FakeTransport.h"
#include "support/Pop3Scripts.h"
#include "support/qt/EngineHarness.h"
#include "support/qt/PrivateBus.h"

namespace velto {
namespace {

// A dock: what it heard of the Unity launcher entry, on a connection of its own.
class Dock : public QObject {
    Q_OBJECT
public:
    struct Heard {
        QString app;
        qint64 count = -1;
        bool visible = false;
    };
    explicit Dock(const std::string& address)
        : m_bus(QDBusConnection::connectToBus(QString::fromStdString(address), "velto-test-dock")) {
        m_bus.connect({}, {}, "com.canonical.Unity.LauncherEntry", "Update", this, SLOT(Update(QString, QVariantMap)));
    }
    ~Dock() override { QDBusConnection::disconnectFromBus("velto-test-dock"); }
    std::vector<Heard> heard;

private slots:
    void Update(const QString& app, const QVariantMap& properties) {
        // A count of another type than int64 is ignored by the docks.
        const QVariant count = properties.value("count");
        heard.push_back({app, count.typeId() == QMetaType::LongLong ? count.toLongLong() : -1,
                         properties.value("count-visible").toBool()});
    }

private:
    QDBusConnection m_bus;
};

TEST(DockCount, FollowsTheTraysNewMailCountAndGoesWhenTheListIsClicked) {
    test::PrivateBus bus;
    if (!bus.Up()) GTEST_SKIP() << "no dbus-daemon";
    Dock dock(bus.Address());
    LauncherEntry entry(*bus.connection);
    // Two checks with one new message each, before the user looks.
    const std::string script = test::Pop3Login("One", 1) + test::Pop3NewHeader(1, "u1", "a") + test::kPop3Quit +
                               test::Pop3Login("One", 2) + test::Pop3Uidl(1, "u1") +
                               test::Pop3NewHeader(2, "u2", "b") + test::kPop3Quit;
    test::EngineHarness h(test::AccountsText({{"One", "pop.one"}}),
                          std::make_shared<test::ScriptedTransportFactory>(script), nullptr, nullptr, nullptr, false,
                          {}, {}, {}, &entry);
    h.view->OnInitialUpdate();
    h.Drain();

    struct Step {
        const char* what;
        std::function<void()> act;
        std::size_t heardSoFar;
        qint64 count;
        bool visible;
    };
    const Step steps[] = {
        {"first check", [&] { h.view->OnRefresh(); }, 1, 1, true},
        {"second check adds", [&] { h.view->OnRefresh(); }, 2, 2, true},
        {"list clicked", [&] { h.view->OnListClick(); }, 3, 0, false},
        {"clicked again: nothing to tell", [&] { h.view->OnListClick(); }, 3, 0, false},
    };
    for (const Step& step : steps) {
        step.act();
        ASSERT_TRUE(h.FinishWork()) << step.what;
        h.RunUntil([&] { return dock.heard.size() >= step.heardSoFar; }, 3000);
        h.RunUntil([&] { return dock.heard.size() > step.heardSoFar; }, 300);  // none more
        ASSERT_EQ(dock.heard.size(), step.heardSoFar) << step.what;
        EXPECT_EQ(dock.heard.back().app, "application://veltomail.desktop") << step.what;
        EXPECT_EQ(dock.heard.back().count, step.count) << step.what;
        EXPECT_EQ(dock.heard.back().visible, step.visible) << step.what;
    }
}

}  // namespace
}  // namespace velto

#include "LauncherEntryTest.moc"
