#include "platform/KeyringSecrets.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <future>
#include <memory>

namespace velto {

namespace {

const QString kService = QStringLiteral("VeltoMail");

struct Outcome {
    bool ok = false;
    std::string text;  // what a read found, or why it failed
};

// Keyring jobs run on the user-interface thread, whose main loop the
// keyring library answers through. From there a call waits in a local loop
// (as a message box does: hold no lock); from any other thread it waits for
// the user-interface thread to finish the job.
template <typename Job, typename Prepare, typename Done>
Outcome Run(std::chrono::milliseconds limit, Prepare prepare, Done done) {
    auto promise = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> result = promise->get_future();
    auto start = [prepare, done, promise] {
        auto* job = new Job(kService);
        job->setAutoDelete(true);
        prepare(*job);
        QObject::connect(job, &QKeychain::Job::finished, [job, done, promise] {
            Outcome outcome;
            if (job->error() != QKeychain::NoError) {
                outcome.text = job->errorString().toStdString();
            } else {
                outcome.ok = true;
                done(*job, outcome);
            }
            promise->set_value(std::move(outcome));
        });
        job->start();
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return {false, "no application"};
    const bool here = QThread::currentThread() == app->thread();
    if (here) {
        start();
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (result.wait_for(std::chrono::seconds(0)) == std::future_status::ready) loop.quit();
        });
        poll.start(10);
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        if (result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) loop.exec();
    } else {
        QMetaObject::invokeMethod(app, start, Qt::QueuedConnection);
    }
    // The user-interface thread has waited its time in the loop: the answer
    // cannot come while it blocks here.
    if (result.wait_for(here ? std::chrono::milliseconds(0) : limit) != std::future_status::ready)
        return {false, "the keyring did not answer"};
    return result.get();
}

}  // namespace

bool KeyringSecrets::Read(const std::string& key, std::string& secret, std::string* why) {
    const Outcome out = Run<QKeychain::ReadPasswordJob>(
        m_limit, [k = QString::fromStdString(key)](QKeychain::ReadPasswordJob& job) { job.setKey(k); },
        [](QKeychain::ReadPasswordJob& job, Outcome& o) { o.text = job.textData().toStdString(); });
    if (out.ok) secret = out.text;
    else if (why) *why = out.text;
    return out.ok;
}

bool KeyringSecrets::Write(const std::string& key, const std::string& secret, std::string* why) {
    const Outcome out = Run<QKeychain::WritePasswordJob>(
        m_limit,
        [k = QString::fromStdString(key), s = QString::fromStdString(secret)](QKeychain::WritePasswordJob& job) {
            job.setKey(k);
            job.setTextData(s);
        },
        [](QKeychain::WritePasswordJob&, Outcome&) {});
    if (!out.ok && why) *why = out.text;
    return out.ok;
}

bool KeyringSecrets::Remove(const std::string& key) {
    return Run<QKeychain::DeletePasswordJob>(
               m_limit, [k = QString::fromStdString(key)](QKeychain::DeletePasswordJob& job) { job.setKey(k); },
               [](QKeychain::DeletePasswordJob&, Outcome&) {})
        .ok;
}

}  // namespace velto
