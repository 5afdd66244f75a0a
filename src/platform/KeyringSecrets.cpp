#include "platform/KeyringSecrets.h"

#include <QCoreApplication>
#include <QPointer>
#include <qt6keychain/keychain.h>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace velto {

namespace {

const QString kService = QStringLiteral("VeltoMail");

// One blocking call's meeting point with the keyring's thread; guarded by
// g_waitersMutex, through which AbortAll wakes every waiter too.
struct Pending {
    bool done = false;
    SecretAnswer answer;
};

std::mutex g_waitersMutex;
std::condition_variable_any g_waitersWake;

}  // namespace

KeyringSecrets::KeyringSecrets(std::chrono::milliseconds limit) : m_limit(limit) {
    m_thread.setObjectName(QStringLiteral("keyring"));
    m_home = new QObject;
    m_home->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_home, &QObject::deleteLater);
    m_thread.start();
}

KeyringSecrets::~KeyringSecrets() {
    AbortAll();
    m_thread.quit();
    m_thread.wait();
}

void KeyringSecrets::AbortAll() {
    m_aborted = true;
    std::lock_guard lock(g_waitersMutex);
    ++m_generation;
    g_waitersWake.notify_all();
}

void KeyringSecrets::Start(Op op, const std::string& key, const std::string& secret,
                           std::function<void(const SecretAnswer&)> done) {
    auto run = [home = m_home, op, k = QString::fromStdString(key), s = QString::fromStdString(secret),
                done = std::move(done)] {
        QKeychain::Job* job = nullptr;
        if (op == Op::Read) {
            auto* read = new QKeychain::ReadPasswordJob(kService, home);
            read->setKey(k);
            job = read;
        } else if (op == Op::Write) {
            auto* write = new QKeychain::WritePasswordJob(kService, home);
            write->setKey(k);
            write->setTextData(s);
            job = write;
        } else {
            auto* remove = new QKeychain::DeletePasswordJob(kService, home);
            remove->setKey(k);
            job = remove;
        }
        job->setAutoDelete(true);
        QObject::connect(job, &QKeychain::Job::finished, home, [job, done] {
            SecretAnswer answer;
            answer.ok = job->error() == QKeychain::NoError;
            answer.missing = job->error() == QKeychain::EntryNotFound;
            if (!answer.ok) answer.why = job->errorString().toStdString();
            else if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(job)) answer.secret = read->textData().toStdString();
            done(answer);
        });
        job->start();
    };
    QMetaObject::invokeMethod(m_home, std::move(run), Qt::QueuedConnection);
}

SecretAnswer KeyringSecrets::Wait(Op op, const std::string& key, const std::string& secret, std::stop_token stop) {
    if (m_aborted || stop.stop_requested()) return {false, false, {}, "cancelled"};
    auto pending = std::make_shared<Pending>();
    const int generation = m_generation;
    Start(op, key, secret, [pending](const SecretAnswer& answer) {
        std::lock_guard lock(g_waitersMutex);
        pending->answer = answer;
        pending->done = true;
        g_waitersWake.notify_all();
    });
    const auto deadline = std::chrono::steady_clock::now() + m_limit;
    std::unique_lock lock(g_waitersMutex);
    // The work's own stop wakes this wait too.
    g_waitersWake.wait_until(lock, stop, deadline, [&] { return pending->done || m_generation != generation; });
    if (pending->done) return pending->answer;
    const bool cut = m_generation != generation || stop.stop_requested();
    return {false, false, {}, cut ? "cancelled" : "no keyring answered"};
}

SecretAnswer KeyringSecrets::Read(const std::string& key, std::stop_token stop) { return Wait(Op::Read, key, {}, stop); }

bool KeyringSecrets::Write(const std::string& key, const std::string& secret, std::string* why) {
    const SecretAnswer answer = Wait(Op::Write, key, secret);
    if (!answer.ok && why) *why = answer.why;
    return answer.ok;
}

namespace {
// Answers for the user-interface thread go through its event loop.
void OnUiThread(std::function<void()> call) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
}
}  // namespace

void KeyringSecrets::ReadAsync(const std::string& key, std::function<void(const SecretAnswer&)> done) {
    Start(Op::Read, key, {}, [done = std::move(done)](const SecretAnswer& answer) {
        OnUiThread([done, answer] { done(answer); });
    });
}

void KeyringSecrets::WriteAsync(const std::string& key, const std::string& secret,
                                std::function<void(bool, const std::string&)> done) {
    Start(Op::Write, key, secret, [done = std::move(done)](const SecretAnswer& answer) {
        if (done) OnUiThread([done, answer] { done(answer.ok, answer.why); });
    });
}

void KeyringSecrets::RemoveAsync(const std::string& key) { Start(Op::Remove, key, {}, [](const SecretAnswer&) {}); }

}  // namespace velto
