#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include "shell/SheetTestKit.h"
#include "shell/UpDownEdit.h"

namespace velto::test {
namespace {

using InternetPage = PagesTest;

std::string Config(const std::string& values) {
    return "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n"
           "\"Database\"=\"/data/maildata.vlt\"\r\n" +
           values + "\r\n";
}

// Phone book entries as the dial-up service lists them.
class Entries : public IDialup {
public:
    explicit Entries(std::vector<std::string> names) : m_names(std::move(names)) {}
    long EnumConnections(std::vector<DialupConnection>&) override { return 0; }
    void EnumEntryNames(std::vector<std::string>& names) override { names = known ? m_names : std::vector<std::string>{}; }
    // Until known, the service has not answered yet; then waiting tells.
    bool known = true;
    std::function<void()> waiting;
    void WhenKnown(std::function<void()> then) override {
        if (known) then();
        else waiting = std::move(then);
    }
    void RunDialDialog(const std::string&, std::function<void()>) override {}
    long HangUp(long) override { return 0; }

private:
    std::vector<std::string> m_names;
};

CUpDownEdit* Interval(OpenSheet& s) { return Find<CUpDownEdit>(s.Internet(), "intervalEdit"); }
QCheckBox* Box(OpenSheet& s, const char* caption) { return Find<QCheckBox>(s.Internet(), caption); }

TEST_F(InternetPage, OpensWithTheStoredOptionsAndEnablesByTheTwoSwitches) {
    ScopedHive hive(Config("\"Active RAS\"=\"Work\"\r\n\"No Disconnect\"=dword:00000001\r\n"
                           "\"CheckMail Interval\"=dword:0000000f\r\n\"Startup Scan\"=dword:00000001\r\n"
                           "\"Sound Filename\"=\"/snd/new.wav\"\r\n"));
    OpenSheet s;
    auto* entries = Find<QComboBox>(s.Internet(), "dialupEntryList");
    EXPECT_EQ(Items(entries), (QStringList{"Home", "Work"}));
    EXPECT_EQ(entries->currentText(), "Work");
    EXPECT_EQ(Interval(s)->Text(), "15");
    EXPECT_TRUE(Box(s, "Don't Hang Up After Checking")->isChecked());
    EXPECT_TRUE(Box(s, "Check Mail on Startup")->isChecked());
    EXPECT_FALSE(Box(s, "Check Mail Every")->isChecked());
    EXPECT_EQ(Text(s.Internet(), "soundFileEdit"), "/snd/new.wav");

    // Dial-up off and sound off: their controls are greyed, the interval is not.
    EXPECT_FALSE(entries->isEnabled());
    EXPECT_FALSE(Box(s, "Don't Hang Up After Checking")->isEnabled());
    for (const char* name : {"|||>", "Browse"}) EXPECT_FALSE(Find<QPushButton>(s.Internet(), name)->isEnabled());
    EXPECT_FALSE(Find<QLineEdit>(s.Internet(), "soundFileEdit")->isEnabled());
    EXPECT_TRUE(Interval(s)->isEnabled());

    Click(s.Internet(), "Enable Automatic Dialup Connection");
    EXPECT_TRUE(entries->isEnabled());
    EXPECT_TRUE(Box(s, "Don't Hang Up After Checking")->isEnabled());
    Click(s.Internet(), "Play Sound on New Mail");
    for (const char* name : {"|||>", "Browse"}) EXPECT_TRUE(Find<QPushButton>(s.Internet(), name)->isEnabled());
    EXPECT_TRUE(Find<QLineEdit>(s.Internet(), "soundFileEdit")->isEnabled());

    // Greyed again, the values stay and are stored.
    entries->setCurrentIndex(0);
    Click(s.Internet(), "Enable Automatic Dialup Connection");
    EXPECT_FALSE(entries->isEnabled());
    ASSERT_TRUE(s.Ok());
    ConfigurationOptions stored(keys::kConfiguration);
    EXPECT_EQ(stored.m_enableDialup, 0u);
    EXPECT_EQ(stored.m_noDisconnect, 1u);
    EXPECT_EQ(stored.GetActiveRas(), "Home");
    EXPECT_EQ(stored.m_enableSound, 1u);
    EXPECT_EQ(stored.GetDatabase(), "/data/maildata.vlt");
}

TEST_F(InternetPage, StoredEntryNameMatchesTheFirstEntryBeginningWithIt) {
    {
        ScopedHive hive(Config("\"Active RAS\"=\"work\"\r\n"));
        Entries entries({"Work Dialup", "Home", "Office"});
        OpenSheet s(&entries);
        EXPECT_EQ(Find<QComboBox>(s.Internet(), "dialupEntryList")->currentText(), "Work Dialup");
    }
    {
        // Gone from the phone book: the first entry, and that is what is stored.
        ScopedHive hive(Config("\"Active RAS\"=\"Gone\"\r\n"));
        Entries entries({"Work Dialup", "Home", "Office"});
        OpenSheet s(&entries);
        EXPECT_EQ(Find<QComboBox>(s.Internet(), "dialupEntryList")->currentText(), "Home");
        ASSERT_TRUE(s.Ok());
        EXPECT_EQ(ConfigurationOptions(keys::kConfiguration).GetActiveRas(), "Home");
    }
    {
        // The service answers after the sheet opened (the first start's
        // sheet opens at once): the entries come then.
        ScopedHive hive(Config("\"Active RAS\"=\"work\"\r\n"));
        Entries entries({"Work Dialup", "Home"});
        entries.known = false;
        OpenSheet s(&entries);
        auto* list = Find<QComboBox>(s.Internet(), "dialupEntryList");
        EXPECT_EQ(list->count(), 0);
        entries.known = true;
        ASSERT_TRUE(entries.waiting);
        entries.waiting();
        EXPECT_EQ(list->currentText(), "Work Dialup");
    }
    {
        // No phone book entries at all: an empty name is stored.
        ScopedHive hive(Config("\"Active RAS\"=\"Work\"\r\n"));
        Entries entries({});
        OpenSheet s(&entries);
        ASSERT_TRUE(s.Ok());
        EXPECT_EQ(ConfigurationOptions(keys::kConfiguration).GetActiveRas(), "");
    }
}

TEST_F(InternetPage, ArrowsKeepToADayWhileTypingDoesNot) {
    ScopedHive hive(Config("\"CheckMail Interval\"=dword:00000002\r\n"));
    OpenSheet s;
    CUpDownEdit* interval = Interval(s);
    interval->stepDown();
    interval->stepDown();
    EXPECT_EQ(interval->Text(), "1");
    interval->SetText("1439");
    interval->stepUp();
    interval->stepUp();
    EXPECT_EQ(interval->Text(), "1440");
    // A typed value beyond the range is brought back by the first arrow.
    interval->SetText("2000");
    interval->stepDown();
    EXPECT_EQ(interval->Text(), "1440");

    interval->SetText("2000");
    ASSERT_TRUE(s.Ok());
    EXPECT_EQ(ConfigurationOptions(keys::kConfiguration).m_checkMailInterval, 2000u);
}

TEST_F(InternetPage, IntervalThatIsNoWholeNumberKeepsTheSheetOpen) {
    ScopedHive hive(Config("\"CheckMail Interval\"=dword:00000005\r\n"));
    OpenSheet s;
    s.sheet.Tabs()->setCurrentIndex(0);
    const std::string before = hive.storage().bytes;
    Interval(s)->SetText("ten");
    EXPECT_FALSE(s.Ok());
    EXPECT_EQ(messages, QStringList{"Please enter an integer."});
    EXPECT_EQ(s.sheet.Tabs()->currentWidget(), s.Internet());
    EXPECT_EQ(hive.storage().bytes, before);
    // Clicking a switch meanwhile reads the page without complaint.
    Click(s.Internet(), "Play Sound on New Mail");
    EXPECT_EQ(messages.size(), 1);

    // Whole numbers the check timer cannot be armed with are refused too.
    for (const char* text : {"-5", "40000"}) {
        Interval(s)->SetText(text);
        EXPECT_FALSE(s.Ok()) << text;
        EXPECT_EQ(messages.back(), "Please enter an integer between 1 and 35791.");
    }
    // No interval at all is refused only while checking is on.
    Interval(s)->SetText("0");
    Box(s, "Check Mail Every")->setChecked(true);
    EXPECT_FALSE(s.Ok());
    Box(s, "Check Mail Every")->setChecked(false);
    ASSERT_TRUE(s.Ok());
    EXPECT_EQ(ConfigurationOptions(keys::kConfiguration).m_checkMailInterval, 0u);
}

TEST_F(InternetPage, TestButtonPlaysThePathAsLastRead) {
    QTemporaryDir dir;
    const QString first = dir.filePath("first.wav"), second = dir.filePath("second.wav");
    for (const QString& path : {first, second}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ScopedHive hive(Config("\"Enable Sound\"=dword:00000001\r\n\"Sound Filename\"=\"" + first.toStdString() +
                           "\\\\\"\r\n"));
    OpenSheet s;
    Type(s.Internet(), "soundFileEdit", second);
    Click(s.Internet(), "|||>");
    // The stored path with its trailing backslash taken off.
    EXPECT_EQ(s.sound.played, std::vector<std::string>{first.toStdString()});

    // Once the page has read its controls, the new path plays.
    Click(s.Internet(), "Play Sound on New Mail");
    Click(s.Internet(), "Play Sound on New Mail");
    Click(s.Internet(), "|||>");
    ASSERT_EQ(s.sound.played.size(), 2u);
    EXPECT_EQ(s.sound.played[1], second.toStdString());

    // A missing file or a folder plays nothing.
    for (const QString& path : {dir.filePath("missing.wav"), dir.path()}) {
        Type(s.Internet(), "soundFileEdit", path);
        Click(s.Internet(), "Play Sound on New Mail");
        Click(s.Internet(), "Play Sound on New Mail");
        Click(s.Internet(), "|||>");
    }
    EXPECT_EQ(s.sound.played.size(), 2u);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(InternetPage, BrowseSetsOnlyTheSoundFile) {
    ScopedHive hive(Config("\"Enable Sound\"=dword:00000001\r\n\"Sound Filename\"=\"/old.wav\"\r\n"));
    OpenSheet s;
    Interval(s)->SetText("30");
    nextFile = "/picked/new.wav";
    Click(s.Internet(), "Browse");
    EXPECT_EQ(filters, QStringList{"All Files (*.*)|*.*|"});
    EXPECT_EQ(Text(s.Internet(), "soundFileEdit"), "/picked/new.wav");
    EXPECT_EQ(Interval(s)->Text(), "30");
    // Cancelled: nothing changes.
    nextFile.clear();
    Click(s.Internet(), "Browse");
    EXPECT_EQ(Text(s.Internet(), "soundFileEdit"), "/picked/new.wav");
    ASSERT_TRUE(s.Ok());
    ConfigurationOptions stored(keys::kConfiguration);
    EXPECT_EQ(stored.GetSoundFilename(), "/picked/new.wav");
    EXPECT_EQ(stored.m_checkMailInterval, 30u);
}

TEST_F(InternetPage, EveryValueRoundTripsThroughTheSettingsText) {
    ScopedHive hive;
    std::string text;
    {
        OpenSheet s;
        for (const char* caption : {"Enable Automatic Dialup Connection", "Don't Hang Up After Checking",
                                    "Check Mail Every", "Check Mail on Startup", "Check Mail Only When Online",
                                    "Play Sound on New Mail"})
            Click(s.Internet(), caption);
        Find<QComboBox>(s.Internet(), "dialupEntryList")->setCurrentIndex(1);
        Interval(s)->SetText("45");
        Type(s.Internet(), "soundFileEdit", "/snd/mail.wav");
        ASSERT_TRUE(s.Ok());
        text = hive.storage().bytes;
    }
    ScopedHive again(text);
    OpenSheet s;
    for (const char* caption : {"Enable Automatic Dialup Connection", "Don't Hang Up After Checking",
                                "Check Mail Every", "Check Mail on Startup", "Check Mail Only When Online",
                                "Play Sound on New Mail"})
        EXPECT_TRUE(Box(s, caption)->isChecked()) << caption;
    EXPECT_EQ(Find<QComboBox>(s.Internet(), "dialupEntryList")->currentText(), "Work");
    EXPECT_EQ(Interval(s)->Text(), "45");
    EXPECT_EQ(Text(s.Internet(), "soundFileEdit"), "/snd/mail.wav");
}

}  // namespace
}  // namespace velto::test
