#pragma once
// The keyring through QtKeychain: the Secret Service (GNOME Keyring,
// KeePassXC) or KWallet, whichever the desktop runs. Every job runs on a
// thread of its own with its own event loop, so a caller on the
// user-interface thread waits without running queued calls.
#include <chrono>

#include "engine/EngineServices.h"

namespace velto {

class KeyringSecrets : public ISecretStore {
public:
    explicit KeyringSecrets(std::chrono::milliseconds limit = std::chrono::seconds(10)) : m_limit(limit) {}
    bool Read(const std::string& key, std::string& secret, std::string* why = nullptr) override;
    bool Write(const std::string& key, const std::string& secret, std::string* why = nullptr) override;

private:
    std::chrono::milliseconds m_limit;
};

}  // namespace velto
