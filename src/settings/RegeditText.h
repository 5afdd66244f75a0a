#pragma once
// The registry editor's export text: "REGEDIT4" (8-bit) and the newer
// editor's "Windows Registry Editor Version 5.00" (UTF-16). Reading turns a
// file into its key sections and value lines, in file order; writing makes
// the lines of one key. Text work only: the hive (RegistryHive) applies what
// is read and says what to write. The file is the user's, or one dropped in
// from elsewhere: every line that is not of the format ends the reading
// with its line number, and nothing in it can make the reader throw, loop or
// nest without bound.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velto {

// Registry value types with their Win32 numbers.
enum RegType : std::uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegMultiSz = 7,
};

struct RegValue {
    std::string name;
    std::uint32_t type = kRegNone;
    std::string data;
};

namespace regedit {

// One value line: a value to set, or (remove, written name=-) one to delete.
struct ValueLine {
    RegValue value;
    bool remove = false;
};

// One [key] section and the value lines under it.
struct Section {
    std::vector<std::string> path;  // key names from the root key down, none empty
    bool remove = false;            // [-path]: the key goes with everything below it
    std::vector<ValueLine> values;  // never set for a removed key
};

// The registry's own limits: longer key names or deeper keys mean a
// damaged file (and a key a million levels deep would be a hive that no
// recursive walk survives).
constexpr std::size_t kMaxKeyNameBytes = 255;
constexpr std::size_t kMaxKeyDepth = 512;

// Reads a whole export text into sections. Empty on success, else
// "line N: what"; sections then holds what was read before that line.
std::string Parse(const std::string& bytes, std::vector<Section>& sections);

// The first line of a written text, with the empty line after it.
constexpr const char* kHeader = "REGEDIT4\r\n\r\n";
// "[path]" and its line end; path joins the key names with backslashes.
void AppendKey(std::string& out, const std::string& path);
// One value line and its line end, read back by Parse as the same value.
void AppendValue(std::string& out, const RegValue& value);

// A key path's names, apart at backslashes; empty names are dropped.
std::vector<std::string> SplitPath(const std::string& path);

}  // namespace regedit
}  // namespace velto
