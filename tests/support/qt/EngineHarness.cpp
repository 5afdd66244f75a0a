#include "support/qt/EngineHarness.h"

namespace velto::test {

std::string AccountsText(const std::vector<std::pair<std::string, std::string>>& accounts,
                         const std::string& extraKeys) {
    std::string text = "REGEDIT4\r\n\r\n";
    for (const auto& [name, server] : accounts) {
        text += "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\" + name + "]\r\n";
        text += "\"Account Name\"=\"" + name + "\"\r\n";
        text += "\"Server Name\"=\"" + server + "\"\r\n";
        text += "\"Email Address\"=\"" + name + "@example.com\"\r\n";
        text += "\"User Name\"=\"" + name + "\"\r\n";
        text += "\"User Password\"=\"pw-" + name + "\"\r\n\r\n";
    }
    return text + extraKeys;
}

}  // namespace velto::test
