// The quick check must come to exactly what asking one id at a time comes
// to: the same records in the same order, the same data-file bytes, the same
// new-mail count.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/HeaderStore.h"
#include "settings/Crc32.h"
#include "support/DovecotServer.h"
#include "support/FakeMailbox.h"
#include "support/MailTestKit.h"
#include "support/RedirectTransport.h"
#include "support/TestEnvironment.h"
#include "support/qt/EngineHarness.h"

namespace velto {
namespace {

using test::EngineHarness;
using test::FakeMailbox;

const char* const kQuickOn =
    "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Environment]\r\n\"Quick Check\"=dword:00000001\r\n\r\n";

struct Outcome {
    std::vector<CMailHeader> records;
    int newCount = 0;
    std::vector<std::string> log;
};

// One scan of the account "pop.test" (reached at port), starting from the
// stored records.
Outcome Scan(int port, bool quick, const std::vector<CMailHeader>& stored = {}) {
    auto transports = std::make_shared<test::RedirectTransportFactory>(test::TestTimeLimits());
    transports->Route("pop.test", port);
    EngineHarness h(test::AccountsText({{"ann", "pop.test"}}, quick ? kQuickOn : ""), transports);
    for (const auto& r : stored) h.view->Messages().Append(r);
    h.view->OnInitialUpdate();
    h.Drain();
    h.view->OnRefresh();
    EXPECT_TRUE(h.FinishWork(60000));
    Outcome out;
    h.view->Messages().WithList([&](const std::vector<StoredHeader>& list) {
        for (const auto& r : list) out.records.push_back(r.Full());
    });
    out.newCount = h.view->NewCount();
    out.log = h.log.Lines();
    return out;
}

std::string StoreBytes(const std::vector<CMailHeader>& records) {
    const std::string path = test::MakeTempDir("velto-quick") + "/maildata.vlt";
    HeaderStoreFile().Save(records, path);
    return test::ReadFile(path);
}

void ExpectSame(const Outcome& designed, const Outcome& quick) {
    ASSERT_EQ(quick.records.size(), designed.records.size());
    for (std::size_t i = 0; i < designed.records.size(); ++i) {
        EXPECT_EQ(quick.records[i].m_uidlHash, designed.records[i].m_uidlHash) << i;
        EXPECT_EQ(quick.records[i].m_size, designed.records[i].m_size) << i;
        EXPECT_EQ(quick.records[i].m_subject, designed.records[i].m_subject) << i;
    }
    EXPECT_EQ(StoreBytes(quick.records), StoreBytes(designed.records));
    EXPECT_EQ(quick.newCount, designed.newCount);
}

std::vector<FakeMailbox::Message> Messages(int count) {
    std::vector<FakeMailbox::Message> list;
    for (int i = 1; i <= count; ++i)
        list.push_back({"id-" + std::to_string(i), "Subject: number " + std::to_string(i) + "\r\nTo: ann@example.com\r\n"});
    return list;
}

struct Row {
    const char* name;
    std::function<void(FakeMailbox&)> shape;
    std::size_t stored;  // records after the scan (from an empty list)
};

TEST(QuickCheck, AgreesWithTheOneAtATimeExchange) {
    const std::string longId(70, 'x');
    // "plumless" and "buckeroo" share their CRC-32.
    ASSERT_EQ(Crc32::Of("plumless"), Crc32::Of("buckeroo"));
    const std::vector<Row> rows = {
        {"pipelining", [](FakeMailbox&) {}, 5},
        {"no pipelining", [](FakeMailbox& b) { b.pipelining = false; }, 5},
        {"ids with spaces and of 70 characters",
         [&](FakeMailbox& b) {
             b.messages[0].uid = "first part-of-it";
             b.messages[1].uid = longId;
         },
         5},
        {"two ids with one checksum",
         [](FakeMailbox& b) {
             b.messages[1].uid = "plumless";
             b.messages[3].uid = "buckeroo";
         },
         4},
        {"no listing", [](FakeMailbox& b) { b.listing = false; }, 5},
        {"a number missing from the listing", [](FakeMailbox& b) { b.omitFromListing = 3; }, 5},
        {"a number listed twice", [](FakeMailbox& b) { b.listTwice = 2; }, 5},
        {"the listing backwards", [](FakeMailbox& b) { b.listBackwards = true; }, 5},
        {"no CAPA", [](FakeMailbox& b) { b.capa = false; }, 5},
        {"a TOP refused", [](FakeMailbox& b) { b.refuseTop = 2; }, 4},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeMailbox box;
        box.messages = Messages(5);
        row.shape(box);
        auto designedServer = box.Serve();
        const Outcome designed = Scan(designedServer->port(), false);
        auto quickServer = box.Serve();
        const Outcome quick = Scan(quickServer->port(), true);
        EXPECT_EQ(designed.records.size(), row.stored);
        ExpectSame(designed, quick);
    }
}

TEST(QuickCheck, AConnectionDroppedMidBatchKeepsWhatArrived) {
    FakeMailbox box;
    box.messages = Messages(10);
    box.dropAfterTops = 4;
    auto server = box.Serve();
    const Outcome quick = Scan(server->port(), true);
    ASSERT_EQ(quick.records.size(), 4u);
    EXPECT_EQ(quick.records[3].m_subject, "number 4");
}

TEST(QuickCheck, TheLogShowsTheListingInFourLines) {
    FakeMailbox box;
    box.messages = Messages(300);
    auto server = box.Serve();
    const Outcome quick = Scan(server->port(), true, [] {
        std::vector<CMailHeader> known;  // all but the last are known
        for (int i = 1; i < 300; ++i) {
            CMailHeader r;
            r.SetAccountInfo("pop.test", "ann@example.com", "");  // known to this account
            r.SetMessageInfo(-1, Crc32::Of("id-" + std::to_string(i)), 10);
            known.push_back(r);
        }
        return known;
    }());
    EXPECT_EQ(quick.newCount, 1);
    std::string listing;
    for (const auto& line : quick.log)
        if (line.find("1 id-1\r\n") != std::string::npos) listing = line;
    EXPECT_NE(listing.find("... 300 ids in all ...\r\n300 id-300\r\n.\r\n"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("150 id-150"), std::string::npos);
}

TEST(QuickCheck, DeleteFindsItsMessageInTheListing) {
  for (const bool backwards : {false, true}) {
    SCOPED_TRACE(backwards ? "listed backwards" : "listed in order");
    FakeMailbox box;
    box.messages = Messages(6);
    box.listBackwards = backwards;
    std::vector<CMailHeader> stored;
    for (int i : {2, 5}) {
        CMailHeader r;
        r.ParseHeader("Subject: number " + std::to_string(i) + "\r\n");
        r.SetAccountInfo("pop.test", "ann@example.com", "");
        r.SetMessageInfo(-1, Crc32::Of("id-" + std::to_string(i)), 10);
        stored.push_back(r);
    }
    auto server = box.Serve();
    auto transports = std::make_shared<test::RedirectTransportFactory>(test::TestTimeLimits());
    transports->Route("pop.test", server->port());
    EngineHarness h(test::AccountsText({{"ann", "pop.test"}}, kQuickOn), transports);
    for (const auto& r : stored) h.view->Messages().Append(r);
    h.view->OnInitialUpdate();
    h.Drain();
    // Rows are newest first: row 0 is message 5.
    h.view->OnDeleteMessage({0});
    ASSERT_TRUE(h.FinishWork());
    ASSERT_EQ(h.view->Messages().Size(), 1u);
    server->Join();
    const std::string wire = server->ClientBytes();
    EXPECT_NE(wire.find("UIDL\r\nDELE 5\r\nQUIT\r\n"), std::string::npos) << wire;
    EXPECT_EQ(wire.find("UIDL 1"), std::string::npos);  // no id asked for on its own
  }
}

TEST(BackgroundSave, EachCheckIsSavedAFailureIsToldOnceAndNothingIsLost) {
  // Once the folder is back, the list reaches the file with the next check
  // while the program still runs, or at its end with no check in between.
  for (const bool endNext : {false, true}) {
    SCOPED_TRACE(endNext ? "the end of the program" : "the next check");
    const std::string folder = test::MakeTempDir("velto-save") + "/store";
    const std::string database = folder + "/maildata.vlt";
    std::ofstream(folder) << "a file where the folder should be";
    FakeMailbox box;
    box.messages = Messages(3);
    HeaderStoreFile store;
    auto transports = std::make_shared<test::RedirectTransportFactory>(test::TestTimeLimits());
    EngineHarness h(test::AccountsText({{"ann", "pop.test"}},
                                       "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Environment]\r\n"
                                       "\"Save Headers\"=dword:00000001\r\n\r\n"
                                       "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n"
                                       "\"Database\"=\"" + database + "\"\r\n"),
                    transports, &store, nullptr, nullptr, true);
    h.view->OnInitialUpdate();
    h.Drain();
    auto check = [&] {
        auto server = box.Serve();
        transports->Route("pop.test", server->port());
        h.view->OnRefresh();
        ASSERT_TRUE(h.FinishWork());
    };
    // Two checks whose saves fail: one box, every record still there.
    check();
    ASSERT_TRUE(h.RunUntil([&] { return h.ui.messageBoxes.size() == 1; }));
    box.messages.push_back({"id-new", "Subject: later\r\n"});
    check();
    // Its detail reaches the log; the box is not shown again.
    ASSERT_TRUE(h.RunUntil([&] {
        int details = 0;
        for (const auto& line : h.log.Lines()) details += line.rfind("Header store:", 0) == 0;
        return details == 2;
    }));
    EXPECT_EQ(h.ui.messageBoxes.size(), 1u);
    EXPECT_NE(h.ui.messageBoxes[0].find(database), std::string::npos);
    EXPECT_EQ(h.view->Messages().Size(), 4u);
    std::filesystem::remove(folder);
    std::filesystem::create_directory(folder);
    std::size_t expected = 4;
    if (endNext) {
        h.view.reset();
    } else {
        box.messages.push_back({"id-newer", "Subject: latest\r\n"});
        check();
        expected = 5;
    }
    ASSERT_TRUE(h.RunUntil([&] {
        std::vector<CMailHeader> saved;
        store.Load(saved, database);
        return saved.size() == expected;
    }));
  }
}

// A real server: a first check, then messages deleted and new ones arrived.
TEST(QuickCheck, AgreesOnARealServerAcrossTwoChecks) {
    if (!test::DovecotServer::Installed()) GTEST_SKIP() << "dovecot is not installed";
    test::DovecotServer server;
    server.AddUser("ann", "pw-ann");
    auto add = [&](int i) {
        server.AddMessage("ann", "m" + std::to_string(i),
                          "From: x" + std::to_string(i) + "@example.org\r\nTo: ann@example.com\r\nSubject: m" +
                              std::to_string(i) + "\r\n\r\nbody\r\n");
    };
    for (int i = 1; i <= 40; ++i) add(i);
    std::string why;
    ASSERT_TRUE(server.Start(&why)) << why;
    const Outcome designed = Scan(server.Port(), false);
    const Outcome quick = Scan(server.Port(), true);
    ASSERT_EQ(designed.records.size(), 40u);
    ExpectSame(designed, quick);
    // Some go, some come: the second check from the first one's records.
    for (int i = 41; i <= 45; ++i) add(i);
    const Outcome designed2 = Scan(server.Port(), false, designed.records);
    const Outcome quick2 = Scan(server.Port(), true, designed.records);
    EXPECT_EQ(designed2.newCount, 5);
    ExpectSame(designed2, quick2);
}

}  // namespace
}  // namespace velto
