#include <gtest/gtest.h>

#include <cstring>

#include "settings/RegistryDatabase.h"
#include "settings/Settings.h"
#include "support/MemoryHiveStorage.h"

namespace velto {
namespace {

using test::ScopedHive;

std::string ValueData(const std::string& path, const std::string& name, std::uint32_t* type = nullptr) {
    auto key = RegistryHive::Current()->FindKey(path);
    if (!key) return "<no key>";
    RegValue v;
    for (std::uint32_t i = 0; RegistryHive::Current()->EnumValue(key, i, v) == kErrorSuccess; ++i) {
        if (v.name == name) {
            if (type) *type = v.type;
            return v.data;
        }
    }
    return "<no value>";
}

TEST(RegistryDatabase, OpenCreatesParentsAndEnumerationEndsWith259) {
    ScopedHive scoped;
    RegistryDatabase db;
    ASSERT_EQ(db.OpenKey("Software\\A\\B\\C"), kErrorSuccess);
    EXPECT_EQ(db.Disposition(), kRegCreatedNewKey);
    db.CloseKey();
    ASSERT_EQ(db.OpenKey("software\\a\\b"), kErrorSuccess);  // names ignore letter case
    EXPECT_EQ(db.Disposition(), kRegOpenedExistingKey);
    char name[1000];
    std::uint32_t length = sizeof name;
    ASSERT_EQ(db.EnumKey(0, name, &length, nullptr, nullptr), kErrorSuccess);
    EXPECT_STREQ(name, "C");
    EXPECT_NE(db.LastWriteTime(), 0u);
    length = sizeof name;
    EXPECT_EQ(db.EnumKey(1, name, &length, nullptr, nullptr), kErrorNoMoreItems);
}

TEST(RegistryDatabase, SubkeysEnumerateByNameIgnoringCaseValuesInCreationOrder) {
    ScopedHive scoped;
    RegistryDatabase db;
    for (const char* n : {"zeta", "Alpha", "mid"}) {
        db.OpenKey(std::string("K\\") + n);
        db.CloseKey();
    }
    EXPECT_EQ(RegistryDatabase::SubkeyNames("K"), (std::vector<std::string>{"Alpha", "mid", "zeta"}));
    db.OpenKey("K\\Alpha");
    const std::uint32_t one = 1;
    db.SetNumberValue("b", &one, 4);
    db.SetStringValue("a", "x", 1);
    db.SetBinaryValue("c", "\x01\x02", 2);
    EXPECT_EQ(db.LastType(), 0u);
    char name[1000];
    unsigned char data[1000];
    std::vector<std::string> names;
    for (std::uint32_t i = 0;; ++i) {
        std::uint32_t nl = sizeof name, dl = sizeof data, type = 0;
        if (db.EnumValue(i, name, &nl, &type, data, &dl) != kErrorSuccess) break;
        names.emplace_back(name, nl);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"b", "a", "c"}));
}

TEST(RegistryDatabase, StringsKeepTheirLengthAndNumbersAllThirtyTwoBits) {
    ScopedHive scoped;
    RegistryDatabase db;
    db.OpenKey("K");
    db.SetStringValue("empty", "", 0);
    db.SetStringValue("word", "hello", 5);
    const std::uint32_t n = 300;
    db.SetNumberValue("n", &n, 4);
    db.CloseKey();
    std::uint32_t type = 99;
    EXPECT_EQ(ValueData("K", "empty", &type), "");
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(ValueData("K", "word"), "hello");
    EXPECT_EQ(ValueData("K", "n"), std::string("\x2c\x01\x00\x00", 4));
}

TEST(RegistryDatabase, OversizedValueIsPassedOverAlone) {
    ScopedHive scoped;
    {
        RegistryDatabase db;
        db.OpenKey(keys::kConfiguration);
        const std::uint32_t one = 1;
        db.SetNumberValue("Enable Sound", &one, 4);
        const std::string big(1001, 'x');
        db.SetStringValue("Sound Filename", big.c_str(), 1001);
        db.SetNumberValue("Auto Scan", &one, 4);
        // A name of 1000 characters does not fit the 1000-character buffer either.
        const std::string longName(1000, 'n');
        db.SetNumberValue(longName, &one, 4);
        db.CloseKey();
    }
    ConfigurationOptions config(keys::kConfiguration);
    EXPECT_EQ(config.m_enableSound, 1u);
    EXPECT_EQ(config.GetSoundFilename(), "");
    EXPECT_EQ(config.m_autoScan, 1u);  // after the oversized value: read all the same
}

TEST(RegistryDatabase, DeletingAKeyRemovesItsValuesAndLeavesHandlesHarmless) {
    ScopedHive scoped;
    AccountSettings a;
    a.SetAccountName("Inbox");
    a.SetServerName("pop.example.com");
    a.m_modified = 1;
    a.Save(keys::kAccounts);
    ASSERT_EQ(LoadAllAccounts().size(), 1u);
    auto stale = RegistryHive::Current()->FindKey(keys::Join(keys::kAccounts, "Inbox"));
    a.m_deleted = 1;
    a.Save(keys::kAccounts);
    EXPECT_TRUE(LoadAllAccounts().empty());
    EXPECT_EQ(RegistryHive::Current()->SetValue(stale, "x", kRegSz, "y", 1), kErrorInvalidHandle);
}

// ---- the text file ---------------------------------------------------------

TEST(RegistryHiveText, ExportThenImportGivesTheSameHive) {
    ScopedHive scoped;
    RegistryDatabase db;
    db.OpenKey("Software\\Dunmere\\Velto Mail\\Accounts\\Inbox");
    db.SetStringValue("Account Name", "Inbox", 5);
    db.SetStringValue("Quote \"and\" slash \\", "C:\\mail\\\"x\"", 11);
    db.SetStringValue("Lines", "a\r\nb", 4);  // no room for line ends in a quoted text
    const std::uint32_t n = 0xDEADBEEF;
    db.SetNumberValue("Disabled", &n, 4);
    std::string bytes;
    for (int i = 0; i < 60; ++i) bytes += static_cast<char>(i * 7);
    db.SetBinaryValue("Mail Font", bytes.data(), 60);
    db.CloseKey();
    const std::string text = RegistryHive::Current()->ExportText();
    EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n", 0), 0u);
    EXPECT_NE(text.find("\"Disabled\"=dword:deadbeef"), std::string::npos);
    EXPECT_NE(text.find("\"Mail Font\"=hex(0):00,07,0e"), std::string::npos);

    RegistryHive copy;
    ASSERT_EQ(copy.ImportText(text), "");
    EXPECT_EQ(copy.ExportText(), text);
}

TEST(RegistryHiveText, ReadsTheUnicodeExportFormat) {
    const std::string source =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Caf\xe9]\r\n"
        "\"Account Name\"=\"Caf\xe9\"\r\n"
        "\"Server Name\"=\"pop.example.com\"\r\n"
        "\"Disabled\"=dword:00000001\r\n"
        "\"Email Address\"=hex(1):61,00,40,00,62,00,00,00\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
        "\"Kept\"=\"yes\"\r\n";
    std::string utf16 = "\xFF\xFE";
    for (unsigned char c : source) {
        utf16 += static_cast<char>(c);
        utf16 += '\0';
    }
    ScopedHive scoped(utf16);
    ASSERT_EQ(scoped.loadProblem, "");
    const auto accounts = LoadAllAccounts();
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].GetAccountName(), "Caf\xe9");
    EXPECT_EQ(accounts[0].GetServerName(), "pop.example.com");
    EXPECT_EQ(accounts[0].GetEmailAddress(), "a@b");
    EXPECT_EQ(accounts[0].m_disabled, 1u);
    // Keys outside the program's own are written back as they came.
    EXPECT_NE(scoped.hive().ExportText().find("[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"Kept\"=\"yes\""),
              std::string::npos);
}

TEST(RegistryHiveText, DamagedFileIsNamedWithItsLineAndNeverOverwritten) {
    const std::string broken =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\n"
        "\"Auto Scan\"=dword:1\n\"Sound Filename\"=\"unterminated\n";
    ScopedHive scoped(broken);
    EXPECT_NE(scoped.loadProblem.find("memory:registry.reg"), std::string::npos);
    EXPECT_NE(scoped.loadProblem.find("line 5"), std::string::npos);
    ConfigurationOptions config(keys::kConfiguration);  // defaults, and the key is created
    EXPECT_EQ(config.m_autoScan, 0u);
    config.m_autoScan = 1;
    config.Save(keys::kConfiguration);
    EXPECT_EQ(scoped.storage().bytes, broken);
    EXPECT_EQ(scoped.storage().writes, 0);
}

TEST(RegistryHiveText, FailedWriteKeepsTheStoredTextAndTriesAgainLater) {
    ScopedHive scoped("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n\"a\"=\"1\"\r\n\r\n");
    const std::string before = scoped.storage().bytes;
    scoped.storage().failWrites = true;
    std::vector<std::string> told;
    scoped.hive().SetWriteFailureHandler([&](const std::string& text) { told.push_back(text); });
    ConfigurationOptions config;
    config.m_enableSound = 1;
    config.Save(keys::kConfiguration);
    config.Save(keys::kConfiguration);
    EXPECT_EQ(scoped.storage().bytes, before);
    EXPECT_TRUE(scoped.hive().IsDirty());
    EXPECT_FALSE(scoped.hive().LastWriteError().empty());
    // The user hears of it once, with the file and the reason.
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find(scoped.hive().Location()), std::string::npos);
    EXPECT_NE(told[0].find(scoped.hive().LastWriteError()), std::string::npos);
    scoped.storage().failWrites = false;
    config.Save(keys::kConfiguration);
    EXPECT_NE(scoped.storage().bytes.find("\"Enable Sound\"=dword:00000001"), std::string::npos);
    EXPECT_NE(scoped.storage().bytes.find("\"a\"=\"1\""), std::string::npos);
}

TEST(RegistryHiveText, RejectsFilesThatAreNotExports) {
    RegistryHive hive;
    EXPECT_EQ(hive.ImportText("hello\n"), "line 1: the first line is not REGEDIT4");
    EXPECT_NE(hive.ImportText("REGEDIT4\n\"a\"=\"b\"\n").find("line 2"), std::string::npos);
    EXPECT_NE(hive.ImportText("REGEDIT4\n[K]\n\"a\"=dword:xyz\n").find("line 3"), std::string::npos);
    EXPECT_NE(hive.ImportText("REGEDIT4\n[K]\n\"a\"=hex:0g\n").find("line 3"), std::string::npos);
    EXPECT_EQ(hive.ImportText("REGEDIT4\n[K]\n\"a\"=hex:01,02,\\\n  03\n"), "");
}

}  // namespace
}  // namespace velto
