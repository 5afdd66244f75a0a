// The real program, offscreen, on damaged and hostile inputs: it must come
// up, answer, save what it holds and end when asked.
#include <gtest/gtest.h>

#include <optional>

#include "support/qt/EngineHarness.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/CorvaneApp.h"
#include "engine/HeaderStoreFile.h"
#include "platform/KeyringSecrets.h"
#include "platform/OAuthTokens.h"
#include "support/DovecotServer.h"
#include "support/FakeMailbox.h"
#include "support/LoopbackServer.h"
#include "support/TestEnvironment.h"
#include "support/qt/KeyringSession.h"
#include "ProgramRun.h"

namespace velto {
namespace {

using test::ReadFile;

std::vector<CMailHeader> Records(int count) {
    std::vector<CMailHeader> list;
    for (int i = 0; i < count; ++i) {
        CMailHeader r;
        r.ParseHeader("Subject: message " + std::to_string(i) + "\r\nFrom: a@example.com\r\n" + std::string(300, 'x'));
        r.SetAccountInfo("pop.example", "me@example.com", "");
        r.SetMessageInfo(-1, 1000 + i, 400);
        list.push_back(r);
    }
    return list;
}

std::size_t StoredCount(const std::string& path) {
    std::vector<CMailHeader> list;
    HeaderStoreFile().Load(list, path);
    return list.size();
}

struct DamageCase {
    const char* name;
    std::function<void(const std::string& path)> damage;
    bool someRecordsKept;
};

TEST(ProgramEnds, DamagedDataFileStartsAndEndsOnSigterm) {
    const std::vector<DamageCase> cases = {
        {"truncated", [](const std::string& p) { std::filesystem::resize_file(p, std::filesystem::file_size(p) / 2); },
         true},
        {"random bytes",
         [](const std::string& p) {
             std::string noise(20000, '\0');
             for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
             std::ofstream(p, std::ios::binary | std::ios::trunc) << noise;
         },
         false},
        {"a folder in its place",
         [](const std::string& p) {
             std::filesystem::remove(p);
             std::filesystem::create_directory(p);
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Program program(ProgramSettings(""));
        const std::string database = program.DefaultDatabase();
        std::filesystem::create_directories(std::filesystem::path(database).parent_path());
        ASSERT_TRUE(HeaderStoreFile().Save(Records(2000), database).ok);
        c.damage(database);
        const bool isFile = std::filesystem::is_regular_file(database);
        const std::string damaged = isFile ? ReadFile(database) : "";
        program.Start();
        // Through start-up: the data file was read and the loop runs.
        EXPECT_TRUE(program.WaitFor([&] { return program.Errors().find("VeltoMail: started") != std::string::npos; }));
        ASSERT_TRUE(program.Terminate(10000)) << "no end within 10 s";
        EXPECT_EQ(program.ExitCode(), 0) << program.errors;
        // The damaged file as it was, kept aside before any save.
        EXPECT_EQ(std::filesystem::exists(database + ".damaged"), isFile);
        if (isFile) {
            EXPECT_EQ(ReadFile(database + ".damaged"), damaged);
        }
        if (c.someRecordsKept) {
            // The records read before the fault were kept and saved again.
            const std::size_t kept = StoredCount(database);
            EXPECT_GT(kept, 0u);
            EXPECT_LT(kept, 2000u);
        }
    }
}

TEST(ProgramEnds, WorkerBlockedOnASilentServerDoesNotHoldUpTheEnd) {
    // The refresh token lives in the keyring: one on a bus of the test's own.
    test::KeyringSession session;
    const std::string oauth = "\"Incoming Sign In\"=dword:00000001\r\n\"OAuth Provider\"=\"Custom\"\r\n"
                              "\"OAuth Authorization URL\"=\"http://127.0.0.1/\"\r\n\"OAuth Token URL\"=\"http://127.0.0.1:";
    struct Row {
        const char* name;
        bool greets;       // the mail server says hello, then nothing
        bool oauth;        // the account signs in with a token from a provider that never answers
    };
    for (const Row row : {Row{"a mail server that never greets", false, false},
                          Row{"a provider that never answers a refresh", true, true}}) {
        SCOPED_TRACE(row.name);
        if (row.oauth && !session.up) GTEST_SKIP() << "no dbus-daemon or gnome-keyring-daemon";
        // Servers that accept and then say nothing, ever.
        std::atomic<bool> connected{false};
        auto silent = [&](test::ServerConnection& c) {
            connected = true;
            std::string ignored;
            c.ReadUntilClosed(ignored, std::chrono::seconds(60));
        };
        test::LoopbackServer pop([&](test::ServerConnection& c) {
            if (!row.greets) return silent(c);
            c.SendBytes("+OK ready\r\n");
            std::string ignored;
            c.ReadUntilClosed(ignored, std::chrono::seconds(60));
        }, false, std::chrono::seconds(30));
        test::LoopbackServer provider(silent, false, std::chrono::seconds(row.oauth ? 30 : 0));
        if (row.oauth) {  // signed in before
            AccountSettings account;
            account.SetAccountName("Silent");
            account.m_oauthProvider = "Custom";
            account.m_oauthTokenUrl = "http://127.0.0.1:" + std::to_string(provider.port()) + "/";
            auto keyring = std::make_shared<KeyringSecrets>();
            std::optional<bool> kept;
            OAuthTokenStore(keyring).Remember(account, {"", "rt", 0}, [&](bool ok, const std::string&) { kept = ok; });
            ASSERT_TRUE(test::RunEventsUntil([&] { return kept.has_value(); }, 10000));
            ASSERT_TRUE(*kept);
        }
        Program program(ProgramSettings("", kKey + "Configuration]\r\n\"Startup Scan\"=dword:00000001\r\n\r\n" + kKey +
                                             "Accounts\\Silent]\r\n\"Account Name\"=\"Silent\"\r\n"
                                             "\"Server Name\"=\"127.0.0.1\"\r\n" +
                                             (row.oauth ? oauth + std::to_string(provider.port()) + "/\"\r\n" : "") +
                                             "\r\n"));
        const std::string database = program.DefaultDatabase();
        std::filesystem::create_directories(std::filesystem::path(database).parent_path());
        ASSERT_TRUE(HeaderStoreFile().Save(Records(3), database).ok);
        qputenv("VELTOMAIL_POP3_PORT", QByteArray::number(pop.port()));
        program.Start();
        qunsetenv("VELTOMAIL_POP3_PORT");
        // The start-up scan connects ten seconds in, then waits.
        ASSERT_TRUE(program.WaitFor([&] { return connected.load(); }, 30000));
        ASSERT_TRUE(program.Terminate(10000)) << "no end within 10 s";
        EXPECT_EQ(program.ExitCode(), 0) << program.errors;
        // The worker's connection is cut: no waiting out its time limit, no forced end.
        EXPECT_LT(program.elapsedMs, 1500) << program.errors;
        EXPECT_EQ(StoredCount(database), 3u);
    }
}

// Two mailboxes on one Dovecot listing the same unique id: the real program
// fetches and keeps both messages, each under its own account.
TEST(ProgramEnds, TwoAccountsListingTheSameIdEachKeepTheirMessage) {
    if (!test::DovecotServer::Installed()) GTEST_SKIP() << "dovecot is not installed";
    test::DovecotServer server;
    std::string accounts;
    for (const std::string user : {"ann", "bob"}) {
        server.AddUser(user, "pw-" + user);
        server.AddMessage(user, "1765000000.same", "From: x@example.org\r\nSubject: for " + user + "\r\n\r\nhi\r\n");
        accounts += kKey + "Accounts\\" + user + "]\r\n\"Account Name\"=\"" + user +
                    "\"\r\n\"Server Name\"=\"127.0.0.1\"\r\n\"Email Address\"=\"" + user +
                    "@example.com\"\r\n\"User Name\"=\"" + user + "\"\r\n\"User Password\"=\"pw-" + user +
                    "\"\r\n\r\n";
    }
    std::string why;
    ASSERT_TRUE(server.Start(&why)) << why;
    Program program(ProgramSettings("", kKey + "Configuration]\r\n\"Startup Scan\"=dword:00000001\r\n\r\n" + accounts));
    qputenv("VELTOMAIL_POP3_PORT", QByteArray::number(server.Port()));
    program.Start();
    qunsetenv("VELTOMAIL_POP3_PORT");
    ASSERT_TRUE(program.WaitFor([&] { return StoredCount(program.DefaultDatabase()) == 2; }, 30000))
        << program.Errors();
    ASSERT_TRUE(program.Terminate(10000));
    std::vector<CMailHeader> stored;
    HeaderStoreFile().Load(stored, program.DefaultDatabase());
    ASSERT_EQ(stored.size(), 2u);
    std::set<std::string> owners;
    for (const auto& r : stored) owners.insert(r.m_accountAddress + " " + r.m_subject);
    EXPECT_EQ(owners, (std::set<std::string>{"ann@example.com for ann", "bob@example.com for bob"}));
}

TEST(ProgramEnds, ACheckIsOnDiskBeforeTheProgramEnds) {
    test::FakeMailbox box;
    for (int i = 1; i <= 3; ++i) box.messages.push_back({"id-" + std::to_string(i), "Subject: " + std::to_string(i) + "\r\n"});
    auto server = box.Serve(std::chrono::seconds(30));
    Program program(ProgramSettings("", kKey + "Configuration]\r\n\"Startup Scan\"=dword:00000001\r\n\r\n" + kKey +
                                     "Accounts\\Box]\r\n\"Account Name\"=\"Box\"\r\n"
                                     "\"Server Name\"=\"127.0.0.1\"\r\n\r\n"));
    qputenv("VELTOMAIL_POP3_PORT", QByteArray::number(server->port()));
    program.Start();
    qunsetenv("VELTOMAIL_POP3_PORT");
    // The start-up scan, ten seconds in, fetches three headers; they reach
    // the data file while the program runs.
    ASSERT_TRUE(program.WaitFor([&] { return StoredCount(program.DefaultDatabase()) == 3; }, 30000))
        << program.Errors();
    ::kill(static_cast<pid_t>(program.process.processId()), SIGKILL);  // a crash, a power cut
    program.process.waitForFinished(10000);
    EXPECT_EQ(StoredCount(program.DefaultDatabase()), 3u);
}

TEST(ProgramEnds, DatabasePathFromAnotherSystemBecomesTheDefaultAndAMissingFolderIsMade) {
    struct Row {
        std::string value;   // as stored
        std::string used;    // relative to the program's home; empty: the value itself
    };
    const std::string elsewhere = test::MakeTempDir("velto-elsewhere") + "/not/yet/there/maildata.vlt";
    const std::vector<Row> rows = {
        {"C:\\\\Program Files\\\\VeltoMail\\\\maildata.vlt", "/data/VeltoMail/maildata.vlt"},
        {"maildata.vlt", "/data/VeltoMail/maildata.vlt"},
        {elsewhere, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        Program program(ProgramSettings(row.value));
        const std::string used = row.used.empty() ? row.value : program.home + row.used;
        program.Start();
        ASSERT_TRUE(program.WaitForSettings("\"Database\"=\"" + used + "\""));
        EXPECT_TRUE(program.WaitFor([&] { return std::filesystem::is_directory(std::filesystem::path(used).parent_path()); }));
        ASSERT_TRUE(program.Terminate(10000));
        EXPECT_EQ(program.ExitCode(), 0) << program.errors;
    }
}

TEST(ProgramEnds, HeadersThatCannotBeSavedAreReportedAndTheNextStartIsTold) {
    {
        Program program(ProgramSettings(""));
        const std::string database = program.DefaultDatabase();
        const std::string dataDir = std::filesystem::path(database).parent_path();
        std::filesystem::create_directories(dataDir);
        // A file cut short: what was read must be written whole at the end.
        ASSERT_TRUE(HeaderStoreFile().Save(Records(2000), database).ok);
        std::filesystem::resize_file(database, std::filesystem::file_size(database) / 2);
        program.Start();
        ASSERT_TRUE(program.WaitFor([&] { return program.Errors().find("VeltoMail: started") != std::string::npos; }))
            << program.Errors();
        // The folder goes away under the running program (a removed disk,
        // another program): the save at the end cannot be done.
        std::filesystem::rename(dataDir, dataDir + ".gone");
        std::ofstream(dataDir) << "a file where the folder was";
        ASSERT_TRUE(program.Terminate(10000));
        EXPECT_EQ(program.ExitCode(), 1);
        EXPECT_NE(program.errors.find("could not be saved to " + database), std::string::npos) << program.errors;
        EXPECT_NE(ReadFile(program.NotePath()).find(database), std::string::npos);

        Program next("", program.home);  // the same user starts again
        next.Start();
        next.WaitFor([&] { return !std::filesystem::exists(program.NotePath()); });
        EXPECT_FALSE(std::filesystem::exists(program.NotePath()));  // told once, then gone
        ASSERT_TRUE(next.Terminate(10000));
    }
}

}  // namespace
}  // namespace velto
