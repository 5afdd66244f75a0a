#include "platform/KeyringSecrets.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>
#include <thread>

namespace velto {

namespace {

const QString kService = QStringLiteral("VeltoMail");

struct Outcome {
    bool ok = false;
    std::string text;  // what a read found, or why it failed
};

// Runs one job to its end (or the time limit) on a thread of its own.
template <typename Job, typename Prepare, typename Done>
Outcome Run(std::chrono::milliseconds limit, Prepare prepare, Done done) {
    Outcome outcome;
    std::thread worker([&] {
        QEventLoop loop;
        Job job(kService);
        job.setAutoDelete(false);
        prepare(job);
        bool finished = false;
        QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
            finished = true;
            loop.quit();
        });
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        job.start();
        if (!finished) loop.exec();
        if (!finished) {
            outcome.text = "the keyring did not answer";
        } else if (job.error() != QKeychain::NoError) {
            outcome.text = job.errorString().toStdString();
        } else {
            outcome.ok = true;
            done(job, outcome);
        }
    });
    worker.join();
    return outcome;
}

}  // namespace

bool KeyringSecrets::Read(const std::string& key, std::string& secret, std::string* why) {
    const Outcome out = Run<QKeychain::ReadPasswordJob>(
        m_limit, [&](QKeychain::ReadPasswordJob& job) { job.setKey(QString::fromStdString(key)); },
        [](QKeychain::ReadPasswordJob& job, Outcome& o) { o.text = job.textData().toStdString(); });
    if (out.ok) secret = out.text;
    else if (why) *why = out.text;
    return out.ok;
}

bool KeyringSecrets::Write(const std::string& key, const std::string& secret, std::string* why) {
    const Outcome out = Run<QKeychain::WritePasswordJob>(
        m_limit,
        [&](QKeychain::WritePasswordJob& job) {
            job.setKey(QString::fromStdString(key));
            job.setTextData(QString::fromStdString(secret));
        },
        [](QKeychain::WritePasswordJob&, Outcome&) {});
    if (!out.ok && why) *why = out.text;
    return out.ok;
}

}  // namespace velto
