// The export text on its own: what a line reads as, which lines end the
// reading (with their number), and that whatever the hive takes writes back
// as a text that reads to the same hive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/RegeditText.h"
#include "settings/RegistryHive.h"

namespace velto {
namespace {

using regedit::Section;

// The hive's text after reading `text`, or "refused: <problem>".
std::string Written(const std::string& text) {
    RegistryHive hive;
    const std::string problem = hive.ImportText(text);
    return problem.empty() ? hive.ExportText() : "refused: " + problem;
}

const std::string kHead = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n";

TEST(RegeditText, EachFormReadsAndWritesBackAsItself) {
    struct Row {
        const char* name;
        std::string line;     // a value line under [HKEY_CURRENT_USER\K]
        std::uint32_t type;   // as read
        std::string data;     // as read
        std::string written;  // as written back (empty: the line itself)
    } rows[] = {
        {"text", "\"a\"=\"x \\\"y\\\" \\\\\"", kRegSz, "x \"y\" \\", ""},
        {"dword", "\"a\"=dword:deadbeef", kRegDword, std::string("\xef\xbe\xad\xde", 4), ""},
        {"short dword", "\"a\"=dword:1", kRegDword, std::string("\x01\0\0\0", 4), "\"a\"=dword:00000001"},
        {"binary", "\"a\"=hex:00,ff", kRegBinary, std::string("\0\xff", 2), ""},
        {"type 0", "\"a\"=hex(0):01", kRegNone, "\x01", ""},
        // The kind is hexadecimal both ways: a QWORD (11) is hex(b).
        {"qword", "\"a\"=hex(b):01,00,00,00,00,00,00,00", 11, std::string("\x01\0\0\0\0\0\0\0", 8), ""},
        {"kind 16", "\"a\"=hex(10):07", 16, "\x07", ""},
        // A text with a line end cannot stand in quotes: it goes as hex(1)
        // with the editor's terminating zero, which reading drops again.
        {"text with a line end", "\"a\"=hex(1):61,0d,0a,62,00", kRegSz, "a\r\nb", ""},
        {"text ending in a zero", "\"a\"=hex(1):61,00,00", kRegSz, std::string("a\0", 2), ""},
        {"default value", "@=\"d\"", kRegSz, "d", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<Section> sections;
        ASSERT_EQ(regedit::Parse(kHead + row.line + "\r\n", sections), "");
        ASSERT_EQ(sections.size(), 1u);
        ASSERT_EQ(sections[0].values.size(), 1u);
        EXPECT_EQ(sections[0].values[0].value.type, row.type);
        EXPECT_EQ(sections[0].values[0].value.data, row.data);
        std::string out;
        regedit::AppendValue(out, sections[0].values[0].value);
        EXPECT_EQ(out, (row.written.empty() ? row.line : row.written) + "\r\n");
    }
}

// What the reader refuses, by line; nothing in a file makes it throw.
TEST(RegeditText, LinesNotOfTheFormAreNamedByNumber) {
    const std::string deep = [] {
        std::string path = "HKEY_CURRENT_USER";
        for (std::size_t i = 0; i < regedit::kMaxKeyDepth; ++i) path += "\\k";
        return path;
    }();
    struct Row {
        const char* name;
        std::string text, problem;
    } rows[] = {
        {"not an export", "hello\n", "line 1: the first line is not REGEDIT4"},
        {"only a comment", ";x\n", "line 1: the first line is not REGEDIT4"},
        {"empty", "", ""},
        {"a value before any key", "REGEDIT4\n\"a\"=\"b\"\n", "line 2: a value outside any key"},
        {"a value under a removed key", "REGEDIT4\n[-K]\n\"a\"=\"b\"\n", "line 3: a value outside any key"},
        {"no closing ]", "REGEDIT4\n[K\n", "line 2: a key line without its closing ]"},
        {"an empty key", "REGEDIT4\n[\\\\]\n", "line 2: an empty key name"},
        {"a key name of 256", "REGEDIT4\n[K\\" + std::string(256, 'n') + "]\n",
         "line 2: a key name longer than 255 characters"},
        {"a key name of 255", "REGEDIT4\n[K\\" + std::string(255, 'n') + "]\n", ""},
        {"513 levels", "REGEDIT4\n[" + deep + "]\n", "line 2: a key more than 512 levels deep"},
        {"512 levels", "REGEDIT4\n[" + deep.substr(0, deep.size() - 2) + "]\n", ""},
        {"dword of 9 digits", "REGEDIT4\n[K]\n\"a\"=dword:100000000\n",
         "line 3: a dword value that is not 8 hexadecimal digits"},
        {"kind of 9 digits", "REGEDIT4\n[K]\n\"a\"=hex(100000001):00\n", "line 3: an unknown hex value kind"},
        {"kind of 17 digits", "REGEDIT4\n[K]\n\"a\"=hex(11111111111111111):00\n", "line 3: an unknown hex value kind"},
        {"a bad byte", "REGEDIT4\n[K]\n\"a\"=hex:0g\n", "line 3: a hex list with a bad byte"},
        {"a list continued past the end", "REGEDIT4\n[K]\n\"a\"=hex:01,\\", "line 3: a hex list with a bad byte"},
        {"a list continued", "REGEDIT4\n[K]\n\"a\"=hex:01,02,\\\n  03\n\"b\"=\"c\"\n", ""},
        {"an error after a continued list", "REGEDIT4\n[K]\n\"a\"=hex:01,\\\n  02\n\"b\"=x\n",
         "line 5: a value of unknown form"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<Section> sections;
        EXPECT_EQ(regedit::Parse(row.text, sections), row.problem);
    }
}

// Whatever the hive takes, its written text reads back to the same hive,
// and the program's keys still open below the user's root (removing the
// root itself once crashed the next key creation).
TEST(RegeditText, TheWrittenTextIsAFixedPointAndTheUserRootStays) {
    const std::string longList = [] {
        std::string list;
        for (int i = 0; i < 40; ++i) list += (i ? ",0" : "0") + std::to_string(i % 10);
        return list;
    }();
    struct Row {
        const char* name;
        std::string text;
    } rows[] = {
        // A name ending in "=" before a list long enough to be continued.
        {"a list under a name with =\"", kHead + "\"a=\"=hex:" + longList + "\r\n"},
        {"a text with a line end", kHead + "\"a\"=hex(1):61,0d,0a\r\n"},
        {"a text ending in a zero", kHead + "\"a\"=hex(1):61,00,00\r\n"},
        {"a qword", kHead + "\"a\"=hex(b):01,02\r\n"},
        {"the user root removed", "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n[-HKEY_CURRENT_USER]\r\n"},
        {"the user root removed and made again", "REGEDIT4\r\n[-HKEY_CURRENT_USER]\r\n[hkey_current_user\\Y]\r\n"},
        {"values set, changed and removed", kHead + "\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n\"a\"=\"3\"\r\n\"b\"=-\r\n\"c\"=\"4\"\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string written = Written(row.text);
        ASSERT_EQ(written.rfind("REGEDIT4", 0), 0u) << written;
        EXPECT_EQ(Written(written), written);
        RegistryHive hive;
        ASSERT_EQ(hive.ImportText(row.text), "");
        RegistryHive::KeyHandle key;
        ASSERT_EQ(hive.CreateKey("Software\\Dunmere\\Velto Mail", key, nullptr), kErrorSuccess);
        EXPECT_TRUE(hive.FindKey("Software\\Dunmere\\Velto Mail"));
    }
    EXPECT_EQ(Written(kHead + "\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n\"a\"=\"3\"\r\n\"b\"=-\r\n\"c\"=\"4\"\r\n"),
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER]\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"a\"=\"3\"\r\n\"c\"=\"4\"\r\n\r\n");
}

}  // namespace
}  // namespace velto
