#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>

#include "shell/Autostart.h"
#include "shell/SheetTestKit.h"
#include "support/TestEnvironment.h"

namespace velto::test {
namespace {

using EnvironmentPage = PagesTest;

const char* const kBoxes[] = {"Auto Remove Unavailable Headers", "Debug", "Enable Logging", "Password Protect",
                              "Save headers Locally", "Standard", "Minimize on Startup",
                              "Quick Check (ask for all message ids at once)"};
const char* const kViews[] = {"Automatic", "As web page", "In Message Center"};

std::string Environment(const std::string& values) {
    return "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Environment]\r\n" + values + "\r\n";
}

QCheckBox* Box(OpenSheet& s, const char* caption) { return Find<QCheckBox>(s.Environment(), caption); }
QRadioButton* View(OpenSheet& s, int type) { return Find<QRadioButton>(s.Environment(), kViews[type]); }

TEST_F(EnvironmentPage, NothingStoredShowsNothingChosenAndOkWritesAllTenValues) {
    ScopedHive hive;
    OpenSheet s;
    for (const char* caption : kBoxes) EXPECT_FALSE(Box(s, caption)->isChecked()) << caption;
    for (int type = 0; type < 3; ++type) EXPECT_FALSE(View(s, type)->isChecked()) << kViews[type];
    EXPECT_EQ(Text(s.Environment(), "logFileEdit"), "");
    EXPECT_EQ(Text(s.Environment(), "passwordEdit"), "");
    ASSERT_TRUE(s.Ok());
    const std::string section = Section(hive.storage().bytes, keys::kEnvironment);
    for (const char* value : {"\"Log Filename\"=\"\"", "\"Velto Password\"=\"\"", "\"Auto Remove\"=dword:00000000",
                              "\"Log Debug\"=dword:00000000", "\"Log Enabled\"=dword:00000000",
                              "\"Password Protect\"=dword:00000000", "\"Save Headers\"=dword:00000000",
                              "\"Log Standard\"=dword:00000000", "\"Start Minimized\"=dword:00000000",
                              "\"View Type\"=dword:00000000", "\"Quick Check\"=dword:00000000"})
        EXPECT_NE(section.find(value), std::string::npos) << value << " in " << section;
}

TEST_F(EnvironmentPage, StoredViewTypeIsChosenAndTheNewChoiceStored) {
    ScopedHive hive(Environment("\"View Type\"=dword:00000001\r\n\"Save Headers\"=dword:00000001\r\n"));
    OpenSheet s;
    EXPECT_FALSE(View(s, 0)->isChecked());
    EXPECT_TRUE(View(s, 1)->isChecked());
    EXPECT_TRUE(Box(s, "Save headers Locally")->isChecked());
    View(s, 2)->click();
    EXPECT_FALSE(View(s, 1)->isChecked());
    ASSERT_TRUE(s.Ok());
    EnvironmentOptions stored(keys::kEnvironment);
    EXPECT_EQ(stored.m_viewType, 2u);
    EXPECT_EQ(stored.m_saveHeaders, 1u);
}

TEST_F(EnvironmentPage, StoredSwitchesDecideWhatIsEnabled) {
    {
        ScopedHive hive(Environment("\"Log Enabled\"=dword:00000001\r\n\"Log Filename\"=\"/var/log/v.log\"\r\n"));
        OpenSheet s;
        EXPECT_TRUE(Box(s, "Enable Logging")->isChecked());
        for (const char* caption : {"Enable Logging", "Auto Remove Unavailable Headers", "Password Protect"})
            EXPECT_FALSE(Box(s, caption)->isEnabled()) << caption;
        EXPECT_TRUE(Find<QLineEdit>(s.Environment(), "logFileEdit")->isEnabled());
        EXPECT_TRUE(Find<QPushButton>(s.Environment(), "Browse")->isEnabled());
        EXPECT_TRUE(Box(s, "Standard")->isEnabled());
        EXPECT_TRUE(Box(s, "Debug")->isEnabled());
        EXPECT_FALSE(Find<QLineEdit>(s.Environment(), "passwordEdit")->isEnabled());
        for (const char* caption : {"Save headers Locally", "Minimize on Startup"})
            EXPECT_TRUE(Box(s, caption)->isEnabled()) << caption;
        for (int type = 0; type < 3; ++type) EXPECT_TRUE(View(s, type)->isEnabled());
    }
    {
        ScopedHive hive(Environment("\"Password Protect\"=dword:00000001\r\n"));
        OpenSheet s;
        EXPECT_FALSE(Find<QLineEdit>(s.Environment(), "logFileEdit")->isEnabled());
        EXPECT_FALSE(Find<QPushButton>(s.Environment(), "Browse")->isEnabled());
        EXPECT_FALSE(Box(s, "Standard")->isEnabled());
        EXPECT_FALSE(Box(s, "Debug")->isEnabled());
        EXPECT_TRUE(Find<QLineEdit>(s.Environment(), "passwordEdit")->isEnabled());
        EXPECT_EQ(Find<QLineEdit>(s.Environment(), "passwordEdit")->echoMode(), QLineEdit::Password);
    }
}

TEST_F(EnvironmentPage, EveryValueRoundTripsThroughTheSettingsText) {
    ScopedHive hive(Environment("\"Log Enabled\"=dword:00000001\r\n\"Password Protect\"=dword:00000001\r\n"
                                "\"Auto Remove\"=dword:00000001\r\n"));
    std::string text;
    {
        OpenSheet s;
        for (const char* caption : {"Debug", "Standard", "Save headers Locally", "Minimize on Startup",
                                    "Quick Check (ask for all message ids at once)"})
            Click(s.Environment(), caption);
        View(s, 0)->click();
        Type(s.Environment(), "passwordEdit", " pass word ");
        // Browse replaces the log file alone: the typed password stays.
        nextFile = "/logs/velto.log";
        Click(s.Environment(), "Browse");
        EXPECT_EQ(filters, QStringList{"All Files (*.*)|*.*|"});
        EXPECT_EQ(Text(s.Environment(), "passwordEdit"), " pass word ");
        ASSERT_TRUE(s.Ok());
        text = hive.storage().bytes;
    }
    EXPECT_NE(text.find("\"Velto Password\"=\" pass word \""), std::string::npos);
    ScopedHive again(text);
    OpenSheet s;
    for (const char* caption : kBoxes) EXPECT_TRUE(Box(s, caption)->isChecked()) << caption;
    EXPECT_TRUE(View(s, 0)->isChecked());
    EXPECT_EQ(Text(s.Environment(), "logFileEdit"), "/logs/velto.log");
    EXPECT_EQ(Text(s.Environment(), "passwordEdit"), " pass word ");
}

TEST_F(EnvironmentPage, ViewTypeOutsideTheChoicesStaysUnlessOneIsChosen) {
    ScopedHive hive(Environment("\"View Type\"=dword:00000007\r\n"));
    OpenSheet s;
    for (int type = 0; type < 3; ++type) EXPECT_FALSE(View(s, type)->isChecked());
    ASSERT_TRUE(s.Ok());
    EXPECT_EQ(EnvironmentOptions(keys::kEnvironment).m_viewType, 7u);
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(EnvironmentPage, StartAtLogInWritesAndRemovesTheAutostartEntry) {
    ScopedHive hive;
    const QString entry = AutostartEntryPath();
    EXPECT_EQ(entry, qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/veltomail.desktop");
    QFile::remove(entry);
    const char* const caption = "Start VeltoMail when I log in";
    {
        OpenSheet s;
        EXPECT_FALSE(Box(s, caption)->isChecked());
        Box(s, caption)->click();
        EXPECT_FALSE(QFile::exists(entry));  // not before OK
        ASSERT_TRUE(s.Ok());
    }
    const QString text = QString::fromUtf8(Contents(entry));
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nExec=" + QCoreApplication::applicationFilePath() + "\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nCategories=Network;Email;\n"));
    {
        // An entry the user changed by hand stays as it is while the box is left alone.
        QFile file(entry);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("X-Edited=true\n");
    }
    const QByteArray edited = Contents(entry);
    {
        OpenSheet s;
        EXPECT_TRUE(Box(s, caption)->isChecked());
        ASSERT_TRUE(s.Ok());
    }
    EXPECT_EQ(Contents(entry), edited);
    {
        OpenSheet s;
        Box(s, caption)->click();
        ASSERT_TRUE(s.Ok());
    }
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_TRUE(messages.isEmpty());
}

TEST(Autostart, ExecQuotesOnlyWhatNeedsItAndTheEntryValidates) {
    struct Row {
        const char* path;
        const char* argument;
    };
    const Row rows[] = {
        {"/usr/local/bin/veltomail", "/usr/local/bin/veltomail"},
        {"/opt/Velto Mail/veltomail", "\"/opt/Velto Mail/veltomail\""},
        {"/home/a$b/\"x\"/`v`", "\"/home/a\\$b/\\\"x\\\"/\\`v\\`\""},
        {"/srv/100%/velto", "\"/srv/100%%/velto\""},
        {"/srv/back\\slash", "\"/srv/back\\\\slash\""},
    };
    const QString folder = QString::fromStdString(MakeTempDir("velto-entry"));
    int n = 0;
    for (const Row& row : rows) {
        EXPECT_EQ(ExecArgument(row.path), row.argument) << row.path;
        // The desktop's own checker accepts every entry (where it is installed).
        const QString path = folder + QString("/entry%1.desktop").arg(n++);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(DesktopEntryFor(row.path).toUtf8());
        file.close();
        if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty()) continue;
        QProcess validate;
        validate.start("desktop-file-validate", {path});
        ASSERT_TRUE(validate.waitForFinished(10000));
        EXPECT_EQ(validate.exitCode(), 0) << row.path << ": " << validate.readAllStandardOutput().toStdString();
        EXPECT_EQ(validate.readAllStandardOutput(), "") << row.path;
    }
}

}  // namespace
}  // namespace velto::test
