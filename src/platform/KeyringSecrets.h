#pragma once
// The keyring through QtKeychain: the Secret Service (GNOME Keyring,
// KeePassXC) or KWallet, whichever the desktop runs. Its jobs run on a thread
// of their own, whose event loop the keyring library answers through: a
// worker waits for that thread, the user-interface thread never waits, it
// gets its answers as events.
#include <QThread>
#include <atomic>
#include <chrono>
#include <functional>

#include "engine/EngineServices.h"

class QObject;

namespace velto {

class KeyringSecrets : public ISecretStore {
public:
    explicit KeyringSecrets(std::chrono::milliseconds limit = std::chrono::seconds(10));
    ~KeyringSecrets() override;

    SecretAnswer Read(const std::string& key, std::stop_token stop = {}) override;
    bool Write(const std::string& key, const std::string& secret, std::string* why = nullptr) override;
    void ReadAsync(const std::string& key, std::function<void(const SecretAnswer&)> done) override;
    void WriteAsync(const std::string& key, const std::string& secret,
                    std::function<void(bool ok, const std::string& why)> done) override;
    void RemoveAsync(const std::string& key) override;
    void AbortAll() override;
    void Resume() override { m_aborted = false; }

    enum class Op { Read, Write, Remove };

private:
    // Starts the job on the keyring's thread; done runs there.
    void Start(Op op, const std::string& key, const std::string& secret, std::function<void(const SecretAnswer&)> done);
    SecretAnswer Wait(Op op, const std::string& key, const std::string& secret, std::stop_token stop = {});

    std::chrono::milliseconds m_limit;
    QThread m_thread;
    QObject* m_home = nullptr;  // lives on m_thread; the jobs' parent
    std::atomic<bool> m_aborted = false;
    std::atomic<int> m_generation = 0;  // AbortAll wakes every waiter
};

}  // namespace velto
