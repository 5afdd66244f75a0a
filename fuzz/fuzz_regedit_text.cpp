// The settings file's text (REGEDIT4 and the UTF-16 export) on arbitrary
// bytes: reading never crashes; a text the hive takes writes out as a text
// that reads back to the same hive (the written text is a fixed point), and
// the hive still opens, writes and enumerates the program's keys.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/RegeditText.h"
#include "settings/RegistryHive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<velto::regedit::Section> sections;
    const std::string parsed = velto::regedit::Parse(text, sections);
    if (!parsed.empty() && parsed.rfind("line ", 0) != 0) std::abort();
    for (const auto& s : sections) {
        if (s.path.empty() || s.path.size() > velto::regedit::kMaxKeyDepth) std::abort();
        if (s.remove && !s.values.empty()) std::abort();
    }

    velto::RegistryHive hive;
    const std::string problem = hive.ImportText(text);
    if (problem != parsed) std::abort();  // the hive refuses exactly what the reader refuses
    const std::string written = hive.ExportText();
    velto::RegistryHive again;
    if (!again.ImportText(written).empty()) std::abort();
    if (again.ExportText() != written) std::abort();

    // Whatever the file held, the program's keys open below the user's root.
    velto::RegistryHive::KeyHandle key;
    if (hive.CreateKey("Software\\Dunmere\\Velto Mail\\Configuration", key, nullptr) != velto::kErrorSuccess || !key)
        std::abort();
    const std::uint32_t one = 1;
    if (hive.SetValue(key, "Auto Scan", velto::kRegDword, &one, sizeof one) != velto::kErrorSuccess) std::abort();
    velto::RegValue value;
    for (std::uint32_t i = 0; hive.EnumValue(key, i, value) == velto::kErrorSuccess; ++i) {
    }
    std::string name;
    const auto accounts = hive.FindKey("Software\\Dunmere\\Velto Mail");
    for (std::uint32_t i = 0; accounts && hive.EnumKey(accounts, i, name, nullptr) == velto::kErrorSuccess; ++i) {
    }
    if (!hive.FindKey("Software\\Dunmere\\Velto Mail\\Configuration")) std::abort();
    return 0;
}
