// "Email Templates": profiles added, made default, deleted and stored on OK
// only; the preview shows the template file itself.
#include <QCheckBox>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <fstream>

#include "present/WebViews.h"
#include "shell/SheetTestKit.h"
#include "shell/WebTemplatePage.h"
#include "support/TestEnvironment.h"
#include "support/qt/WebPageText.h"

namespace velto::test {
namespace {

using TemplatesPage = PagesTest;

std::string Profile(const std::string& name, const std::string& file, int active) {
    return "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Templates\\" + name + "]\r\n\"Account Name\"=\"" +
           name + "\"\r\n\"Index File\"=\"" + file + "\"\r\n\"Active\"=dword:0000000" + std::to_string(active) +
           "\r\n\r\n";
}
const std::string kTwo = "REGEDIT4\r\n\r\n" + Profile("Plain", "/t/plain.html", 0) + Profile("Fancy", "/t/fancy.html", 1);

QWidget* Page(OpenSheet& s) { return s.Page(1); }
QComboBox* Combo(OpenSheet& s) { return Find<QComboBox>(Page(s), "templatesCombo"); }
QCheckBox* DefaultBox(OpenSheet& s) { return Find<QCheckBox>(Page(s), "Set as Default Template"); }

// name -> (file, active) as stored.
std::map<std::string, std::pair<std::string, unsigned>> Stored() {
    std::map<std::string, std::pair<std::string, unsigned>> out;
    for (const auto& p : LoadAllTemplates()) out[p.GetProfileName()] = {p.GetIndexFile(), p.m_active};
    return out;
}

TEST_F(TemplatesPage, NoProfilesShowsNothingAndEmptyNamesAreRefused) {
    ScopedHive hive;
    OpenSheet s;
    EXPECT_EQ(Combo(s)->count(), 0);
    EXPECT_EQ(Text(Page(s), "profileNameEdit"), "");
    EXPECT_EQ(Text(Page(s), "indexFileEdit"), "");
    Click(Page(s), "Add");
    Click(Page(s), "Delete");
    EXPECT_EQ(messages, QStringList({"Enter MailBox name before Saving Account",
                                     "Enter MailBox name before Deleting Account"}));
    Type(Page(s), "profileNameEdit", "Work\\Plain");
    Click(Page(s), "Add");
    ASSERT_EQ(messages.size(), 3);
    EXPECT_TRUE(messages[2].contains("backslash")) << messages[2].toStdString();
    EXPECT_EQ(Combo(s)->count(), 0);
    ASSERT_TRUE(s.Ok());
    EXPECT_TRUE(Stored().empty());
}

TEST_F(TemplatesPage, StoredProfilesAreListedSortedAndTheFirstShown) {
    ScopedHive hive(kTwo);
    OpenSheet s;
    EXPECT_EQ(Items(Combo(s)), QStringList({"Fancy", "Plain"}));
    EXPECT_EQ(Text(Page(s), "profileNameEdit"), "Fancy");
    EXPECT_EQ(Text(Page(s), "indexFileEdit"), "/t/fancy.html");
    EXPECT_TRUE(DefaultBox(s)->isChecked());
    Choose(Combo(s), "Plain");
    EXPECT_EQ(Text(Page(s), "indexFileEdit"), "/t/plain.html");
    EXPECT_FALSE(DefaultBox(s)->isChecked());
}

TEST_F(TemplatesPage, TheDefaultMovesButCannotBeSwitchedOff) {
    ScopedHive hive(kTwo);
    OpenSheet s;
    DefaultBox(s)->click();  // "Fancy" is the default: unchecking re-checks
    EXPECT_TRUE(DefaultBox(s)->isChecked());
    Choose(Combo(s), "Plain");
    DefaultBox(s)->click();
    ASSERT_TRUE(s.Ok());
    EXPECT_EQ(Stored()["Plain"].second, 1u);
    EXPECT_EQ(Stored()["Fancy"].second, 0u);
}

TEST_F(TemplatesPage, AddingADefaultLeavesOneDefaultAndASameNameAddsNoItem) {
    ScopedHive hive(kTwo);
    OpenSheet s;
    Click(Page(s), "Clear");
    EXPECT_EQ(Combo(s)->currentIndex(), -1);
    Type(Page(s), "profileNameEdit", "News");
    Type(Page(s), "indexFileEdit", "/t/news.html");
    DefaultBox(s)->setChecked(true);
    Click(Page(s), "Add");
    EXPECT_EQ(Combo(s)->currentText(), "News");
    // The same name in other letters: no second item; the later one is stored.
    Type(Page(s), "profileNameEdit", "PLAIN");
    Type(Page(s), "indexFileEdit", "/t/plain2.html");
    DefaultBox(s)->setChecked(false);
    Click(Page(s), "Add");
    EXPECT_EQ(Items(Combo(s)), QStringList({"Fancy", "News", "Plain"}));
    ASSERT_TRUE(s.Ok());
    const auto stored = Stored();
    int defaults = 0;
    for (const auto& [name, value] : stored) defaults += value.second != 0;
    EXPECT_EQ(defaults, 1);
    EXPECT_EQ(stored.at("News"), std::make_pair(std::string("/t/news.html"), 1u));
    ASSERT_EQ(stored.size(), 3u) << "names differing in case are one key";
    for (const auto& [name, value] : stored) {
        if (name != "News" && name != "Fancy") {
            EXPECT_EQ(value.first, "/t/plain2.html");
        }
    }
}

TEST_F(TemplatesPage, DeleteRemovesTheKeyOnOkAndCancelStoresNothing) {
    {
        ScopedHive hive(kTwo);
        OpenSheet s;
        Choose(Combo(s), "Plain");
        Click(Page(s), "Delete");
        EXPECT_EQ(Items(Combo(s)), QStringList({"Fancy"}));
        EXPECT_EQ(Text(Page(s), "profileNameEdit"), "");
        ASSERT_TRUE(s.Ok());
        EXPECT_EQ(Stored().count("Plain"), 0u);
        OpenSheet next;
        EXPECT_EQ(Items(Combo(next)), QStringList({"Fancy"}));
    }
    ScopedHive hive(kTwo);
    const auto before = Stored();
    OpenSheet s;
    Type(Page(s), "profileNameEdit", "Extra");
    Click(Page(s), "Add");
    Choose(Combo(s), "Plain");
    Click(Page(s), "Delete");
    s.sheet.reject();
    EXPECT_EQ(Stored(), before);
    EXPECT_EQ(before.size(), 2u);
}

TEST_F(TemplatesPage, BrowseFillsTheFileAndThePreviewShowsTheTemplateItself) {
    const std::string dir = MakeTempDir("preview");
    const std::string file = dir + "/mine.html";
    std::ofstream(file) << "<html><body><h1>Template %SUBJECT%</h1></body></html>";
    ScopedHive hive;
    OpenSheet s;
    s.sheet.Tabs()->setCurrentIndex(1);
    auto* page = static_cast<CWebTemplatePage*>(Page(s));
    ASSERT_NE(page->Preview(), nullptr) << "made when the page is shown";
    nextFile = QString::fromStdString(file);
    Click(Page(s), "Browse");
    EXPECT_EQ(Text(Page(s), "indexFileEdit").toStdString(), file);
    Type(Page(s), "profileNameEdit", "Mine");
    Click(Page(s), "Add");
    const QString text = WaitForPageText(page->Preview()->Widget()->findChild<QWebEngineView*>()->page(), "Template %SUBJECT%");
    EXPECT_TRUE(text.contains("Template %SUBJECT%")) << text.toStdString();
}

}  // namespace
}  // namespace velto::test
