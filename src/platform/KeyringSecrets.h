#pragma once
// The keyring through QtKeychain: the Secret Service (GNOME Keyring,
// KeePassXC) or KWallet, whichever the desktop runs. Jobs run on the
// user-interface thread; a worker waits for them without an event loop of
// its own, the user-interface thread in a local loop (hold no lock there).
#include <chrono>

#include "engine/EngineServices.h"

namespace velto {

class KeyringSecrets : public ISecretStore {
public:
    explicit KeyringSecrets(std::chrono::milliseconds limit = std::chrono::seconds(10)) : m_limit(limit) {}
    bool Read(const std::string& key, std::string& secret, std::string* why = nullptr) override;
    bool Write(const std::string& key, const std::string& secret, std::string* why = nullptr) override;
    bool Remove(const std::string& key) override;

private:
    std::chrono::milliseconds m_limit;
};

}  // namespace velto
