#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "engine/HeaderStore.h"
#include "engine/ZStream.h"
#include "support/TestEnvironment.h"

namespace velto {
namespace {

struct RecordingReporter : HeaderStoreReporter {
    std::vector<std::string> messages, details;
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void LogDetail(const std::string& text) override { details.push_back(text); }
};

std::string Le32(std::uint32_t v) {
    return std::string{char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
}

// One record assembled from the documented layout, independent of Write.
std::string RecordBytes(std::uint32_t hash, std::int32_t size, const std::string& address, const std::string& server,
                        const std::string& outgoing, const std::string& raw) {
    return Le32(hash) + Le32(static_cast<std::uint32_t>(size)) + Le32(std::uint32_t(address.size())) +
           Le32(std::uint32_t(server.size())) + Le32(std::uint32_t(outgoing.size())) +
           Le32(std::uint32_t(raw.size())) + address + server + outgoing + raw;
}

std::string Deflate9(const std::string& content) {
    uLongf size = compressBound(content.size());
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                        reinterpret_cast<const Bytef*>(content.data()), content.size(), 9), Z_OK);
    out.resize(size);
    return out;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

CMailHeader Message(int i) {
    CMailHeader h;
    h.ParseHeader("Return-Path: <s" + std::to_string(i) + "@x.org>\r\nReceived: from a by b;\r\n\tMon, 7 Dec 1998\r\n"
                  "From: Sender " + std::to_string(i) + " <s@x.org>\r\nSubject: message " + std::to_string(i) +
                  "\r\nDate: Mon, 7 Dec 1998 14:05:09 -0500\r\n");
    h.SetMessageInfo(i, 0xC0000000u + std::uint32_t(i), 1000 + i);
    h.SetAccountInfo("pop.x.org", "me@x.org", "smtp.x.org");
    return h;
}

void ExpectSameRecord(const CMailHeader& a, const CMailHeader& b) {
    EXPECT_EQ(a.m_uidlHash, b.m_uidlHash);
    EXPECT_EQ(a.m_size, b.m_size);
    EXPECT_EQ(a.m_accountServer, b.m_accountServer);
    EXPECT_EQ(a.m_accountAddress, b.m_accountAddress);
    EXPECT_EQ(a.m_accountOutgoing, b.m_accountOutgoing);
    EXPECT_EQ(a.m_rawHeader, b.m_rawHeader);
    EXPECT_EQ(a.m_subject, b.m_subject);
    EXPECT_EQ(a.m_from, b.m_from);
    EXPECT_EQ(a.m_received, b.m_received);
}

class HeaderStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = test::MakeTempDir("store");
        m_scratch = test::MakeTempDir("scratch");
        if (const char* old = std::getenv("TMPDIR")) m_oldTmp = old;
        setenv("TMPDIR", m_scratch.c_str(), 1);
        m_db = m_dir + "/maildata.vlt";
        for (int i = 0; i < 50; ++i) m_list.push_back(Message(i));
    }
    void TearDown() override {
        // No scratch file and no half-written replacement stays behind.
        EXPECT_TRUE(std::filesystem::is_empty(m_scratch));
        for (const auto& entry : std::filesystem::directory_iterator(m_dir))
            EXPECT_EQ(entry.path().filename().string().find(".new-"), std::string::npos);
        if (m_oldTmp.empty()) unsetenv("TMPDIR");
        else setenv("TMPDIR", m_oldTmp.c_str(), 1);
    }
    std::vector<CMailHeader> Load(bool expectWhole) {
        std::vector<CMailHeader> loaded;
        EXPECT_EQ(LoadHeaderStore(loaded, m_db, m_reporter), expectWhole);
        return loaded;
    }

    // The box about a file that did not unpack, with where it was kept.
    std::string DamagedBox() const { return "Decompression failed\n\nThe damaged file is kept as " + m_db + ".damaged."; }

    std::string m_dir, m_scratch, m_db, m_oldTmp;
    std::vector<CMailHeader> m_list;
    RecordingReporter m_reporter;
};

TEST_F(HeaderStoreTest, RoundTripAndAnIndependentReaderAgree) {
    m_list.push_back(CMailHeader());                 // all strings empty
    m_list.back().m_rawHeader = std::string("a\0b\xff", 4);  // any bytes
    ASSERT_TRUE(SaveHeaderStore(m_list, m_db, m_reporter));
    EXPECT_EQ(std::filesystem::status(m_db).permissions() & std::filesystem::perms::others_read,
              std::filesystem::perms::none);  // mail headers are private

    // Decode by hand: zlib, the magic, then the layout.
    const std::string file = ReadAll(m_db);
    std::string content(64 << 20, '\0');
    uLongf size = content.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(content.data()), &size,
                         reinterpret_cast<const Bytef*>(file.data()), file.size()), Z_OK);
    content.resize(size);
    ASSERT_EQ(content.substr(0, 4), std::string("\x83\x0C\x03\x00", 4));
    std::string expected = Le32(199811);
    for (const auto& h : m_list)
        expected += RecordBytes(h.m_uidlHash, h.m_size, h.m_accountAddress, h.m_accountServer,
                                h.m_accountOutgoing, h.m_rawHeader);
    EXPECT_EQ(content, expected);

    const auto loaded = Load(true);
    ASSERT_EQ(loaded.size(), m_list.size());
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        ExpectSameRecord(loaded[i], m_list[i]);
        EXPECT_EQ(loaded[i].m_messageNumber, -1);
    }
    EXPECT_TRUE(m_reporter.messages.empty());
    EXPECT_TRUE(m_reporter.details.empty());
}

TEST_F(HeaderStoreTest, LoadsAFileBuiltFromTheLayoutAndAppends) {
    const std::string raw = "From: a@b.c\r\nSubject: old one\r\n";
    WriteAll(m_db, Deflate9(Le32(199811) + RecordBytes(7, 300, "u@b.c", "pop.b.c", "smtp.b.c", raw) +
                            RecordBytes(8, -1, "", "", "", "")) + "bytes after the stream");
    std::vector<CMailHeader> list(1);
    ASSERT_TRUE(LoadHeaderStore(list, m_db, m_reporter));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].m_uidlHash, 7u);
    EXPECT_EQ(list[1].m_size, 300);
    EXPECT_EQ(list[1].m_accountAddress, "u@b.c");
    EXPECT_EQ(list[1].m_accountServer, "pop.b.c");
    EXPECT_EQ(list[1].m_accountOutgoing, "smtp.b.c");
    EXPECT_EQ(list[1].m_subject, "old one");
    EXPECT_EQ(list[2].m_uidlHash, 8u);
    EXPECT_TRUE(HeaderStoreExists(m_db));
    EXPECT_TRUE(HeaderStoreExists(m_dir + "/"));
    EXPECT_FALSE(HeaderStoreExists(m_dir + "/missing.vlt"));
    EXPECT_FALSE(HeaderStoreExists(""));
}

TEST_F(HeaderStoreTest, EmptyListLeavesTheOldFile) {
    ASSERT_TRUE(SaveHeaderStore(m_list, m_db, m_reporter));
    const std::string before = ReadAll(m_db);
    EXPECT_TRUE(SaveHeaderStore(std::vector<CMailHeader>{}, m_db, m_reporter));
    EXPECT_TRUE(ReadAll(m_db) == before) << "the old file changed";
    EXPECT_EQ(Load(true).size(), m_list.size());
}

TEST_F(HeaderStoreTest, DamagedFilesKeepTheRecordsBeforeTheFault) {
    std::string content = Le32(199811);
    for (int i = 0; i < 3; ++i) content += RecordBytes(i, i, "a", "s", "o", "Subject: " + std::to_string(i));

    // A truncated zlib stream: a message box, and what came out is read.
    std::string big = Le32(199811);
    std::mt19937 random(1);
    for (int i = 0; i < 200; ++i) {
        std::string raw(2000, '\0');
        for (char& c : raw) c = char('a' + random() % 26);
        big += RecordBytes(i, i, "a", "s", "o", raw);
    }
    const std::string whole = Deflate9(big);
    WriteAll(m_db, whole.substr(0, whole.size() / 2));
    const auto cut = Load(false);
    EXPECT_GT(cut.size(), 0u);
    EXPECT_LT(cut.size(), 200u);
    for (std::size_t i = 0; i < cut.size(); ++i) EXPECT_EQ(cut[i].m_uidlHash, i);
    EXPECT_EQ(m_reporter.messages, std::vector<std::string>{DamagedBox()});
    EXPECT_EQ(m_reporter.details.at(0), "Compression: Buffer Error\r\n");

    // Lengths that lie: huge, or past the end of the data.
    const std::vector<std::string> lies = {
        content + Le32(9) + Le32(9) + Le32(0xFFFFFFF0u) + Le32(0) + Le32(0) + Le32(0) + "short",
        content + RecordBytes(9, 9, "", "", "", "Subject: x").substr(0, 30),
        content + Le32(9) + Le32(9) + Le32(0),  // head cut short
    };
    for (const auto& lie : lies) {
        m_reporter = {};
        WriteAll(m_db, Deflate9(lie));
        const auto kept = Load(false);
        ASSERT_EQ(kept.size(), 3u);
        EXPECT_EQ(kept[2].m_subject, "2");
        EXPECT_TRUE(m_reporter.messages.empty());  // the zlib stream itself was sound
        ASSERT_EQ(m_reporter.details.size(), 2u);  // and where the file was kept
        EXPECT_NE(m_reporter.details[0].find("damaged after record 3"), std::string::npos);
    }
}

// A file that loads with a failure is copied aside as it was before any save
// can write over it (an older copy replaced); a whole file is not.
TEST_F(HeaderStoreTest, ADamagedFileIsKeptAsideBeforeTheNextSave) {
    std::string content = Le32(199811);
    for (int i = 0; i < 3; ++i) content += RecordBytes(i, i, "a", "s", "o", "Subject: " + std::to_string(i));
    const std::string packed = Deflate9(content);
    struct Row {
        const char* name;
        std::string file;
        bool kept;
    };
    const Row rows[] = {
        {"zlib stream cut short", packed.substr(0, packed.size() / 2), true},
        {"record lengths that lie", Deflate9(content + Le32(9) + Le32(9) + Le32(0)), true},
        {"a whole file", packed, false},
    };
    const std::string aside = m_db + ".damaged";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_reporter = {};
        WriteAll(aside, "an older copy");
        WriteAll(m_db, row.file);
        m_list = Load(!row.kept);
        EXPECT_EQ(ReadAll(aside), row.kept ? row.file : "an older copy");
        ASSERT_TRUE(SaveHeaderStore(m_list, m_db, m_reporter));  // the save writes over the file only
        EXPECT_EQ(ReadAll(aside), row.kept ? row.file : "an older copy");
        if (row.kept) {
            EXPECT_NE(m_reporter.details.back().find(aside), std::string::npos);
        }
        for (const auto& box : m_reporter.messages) EXPECT_EQ(box, DamagedBox());
    }
}

TEST_F(HeaderStoreTest, ForeignAndHostileFilesLoadNothing) {
    WriteAll(m_db, Deflate9(Le32(199812) + RecordBytes(1, 1, "", "", "", "")));  // wrong magic
    EXPECT_TRUE(Load(false).empty());
    EXPECT_TRUE(m_reporter.messages.empty());
    m_reporter = {};
    WriteAll(m_db, "not zlib at all");
    EXPECT_TRUE(Load(false).empty());
    EXPECT_EQ(m_reporter.messages, std::vector<std::string>{DamagedBox()});
    EXPECT_EQ(m_reporter.details.at(0), "Compresion: Data Error\r\n");

    // More records than any real store: one million and one empty ones.
    m_reporter = {};
    std::string many = Le32(199811);
    many.resize(4 + 24 * (kHeaderStoreMaxRecords + 1), '\0');
    WriteAll(m_db, Deflate9(many));
    EXPECT_TRUE(Load(false).empty());
    EXPECT_NE(m_reporter.details.at(0).find("more than 1000000 records"), std::string::npos);

    // A bomb: ~1 MB that unpacks past the limit, in valid records.
    m_reporter = {};
    {
        std::ofstream out(m_db, std::ios::binary);
        z_stream zs{};
        ASSERT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, 15, 8, Z_RLE), Z_OK);
        const std::string body(CMailHeader::kMaxTextBytes, 'x');
        const std::string head = RecordBytes(1, 1, "", "", "", "").substr(0, 20) + Le32(std::uint32_t(body.size()));
        std::string piece(1 << 16, '\0');
        auto feed = [&](const std::string& data, int flush) {
            zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
            zs.avail_in = uInt(data.size());
            do {
                zs.next_out = reinterpret_cast<Bytef*>(piece.data());
                zs.avail_out = uInt(piece.size());
                deflate(&zs, flush);
                out.write(piece.data(), std::streamsize(piece.size() - zs.avail_out));
            } while (zs.avail_out == 0);
        };
        feed(Le32(199811), Z_NO_FLUSH);
        for (std::uint64_t n = 0; n * body.size() <= kHeaderStoreMaxBytes; ++n) {
            feed(head, Z_NO_FLUSH);
            feed(body, Z_NO_FLUSH);
        }
        feed("", Z_FINISH);
        deflateEnd(&zs);
    }
    EXPECT_LT(std::filesystem::file_size(m_db), 2u << 20);
    EXPECT_TRUE(Load(false).empty());
    EXPECT_EQ(m_reporter.messages, std::vector<std::string>{DamagedBox()});
    EXPECT_NE(m_reporter.details.at(1).find("unpacks to more than 1024 MB"), std::string::npos);
}

// Runs fn with writes beyond maxBytes failing, as on a full disk.
template <class Fn>
auto WithFileSizeLimit(rlim_t maxBytes, Fn fn) {
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = maxBytes;
    setrlimit(RLIMIT_FSIZE, &limited);
    const auto result = fn();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    return result;
}

TEST_F(HeaderStoreTest, FailedSavesLeaveTheOldFileWhole) {
    ASSERT_TRUE(SaveHeaderStore(m_list, m_db, m_reporter));
    const std::string before = ReadAll(m_db);
    // A random header: the compressed file comes out larger than its content.
    std::vector<CMailHeader> bigger(1);
    std::mt19937 random(2);
    bigger[0].m_rawHeader.resize(200000);
    for (char& c : bigger[0].m_rawHeader) c = char(random());
    std::string content = Le32(199811);
    for (const auto& h : bigger) h.Write(content);
    ASSERT_GT(Deflate9(content).size(), content.size() + 1);

    // The disk fills while writing the uncompressed content, or the new file.
    EXPECT_FALSE(WithFileSizeLimit(64 << 10, [&] { return SaveHeaderStore(bigger, m_db, m_reporter); }));
    EXPECT_TRUE(m_reporter.messages.empty());
    EXPECT_FALSE(WithFileSizeLimit(content.size() + 1, [&] { return SaveHeaderStore(bigger, m_db, m_reporter); }));
    EXPECT_EQ(m_reporter.messages, std::vector<std::string>{"Compression failed"});
    EXPECT_EQ(m_reporter.details.back(), "Compression: File too large\r\n");
    EXPECT_TRUE(ReadAll(m_db) == before) << "the old file changed";

    // A folder that cannot take the new file (as root, tried as nobody).
    chmod(m_dir.c_str(), 0555);
    m_reporter = {};
    auto saveRefusedBesideOldFile = [&] {
        return !SaveHeaderStore(bigger, m_db, m_reporter) && m_reporter.details.size() == 1 &&
               m_reporter.details[0].find("cannot create a file beside") != std::string::npos;
    };
    if (geteuid() == 0) {
        chmod(m_scratch.c_str(), 0777);
        const pid_t child = fork();
        if (child == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
            _exit(saveRefusedBesideOldFile() ? 0 : 1);
        }
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    } else {
        EXPECT_TRUE(saveRefusedBesideOldFile());
    }
    chmod(m_dir.c_str(), 0700);
    EXPECT_TRUE(ReadAll(m_db) == before) << "the old file changed";
}

TEST_F(HeaderStoreTest, NoTemporaryFolderShowsTheMessageAndTouchesNothing) {
    ASSERT_TRUE(SaveHeaderStore(m_list, m_db, m_reporter));
    const std::string before = ReadAll(m_db);
    setenv("TMPDIR", (m_dir + "/no-such-folder").c_str(), 1);
    EXPECT_FALSE(SaveHeaderStore(m_list, m_db, m_reporter));
    std::vector<CMailHeader> list;
    EXPECT_FALSE(LoadHeaderStore(list, m_db, m_reporter));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(m_reporter.messages,
              (std::vector<std::string>{"unable to create temporary file", "unable to create temporary file"}));
    EXPECT_TRUE(ReadAll(m_db) == before) << "the old file changed";
    setenv("TMPDIR", m_scratch.c_str(), 1);
}

TEST(ZStream, WritesAStandardZlibStreamAndReportsWriteErrors) {
    std::FILE* source = std::tmpfile();
    std::FILE* packed = std::tmpfile();
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + "\r\n";
    std::fwrite(text.data(), 1, text.size(), source);
    std::rewind(source);
    CZStream z;
    ASSERT_EQ(z.CompressFile(source, packed), 0);  // the "1.1.1" init is accepted
    std::rewind(packed);
    unsigned char head[2] = {};
    ASSERT_EQ(std::fread(head, 1, 2, packed), 2u);
    EXPECT_EQ(head[0], 0x78);
    EXPECT_EQ(head[1], 0xDA);  // best compression
    std::rewind(packed);
    std::FILE* back = std::tmpfile();
    ASSERT_EQ(z.DecompressFile(packed, back), 0);
    EXPECT_EQ(z.BytesWritten(), text.size());

    std::rewind(source);
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(z.CompressFile(source, full), CZStream::kWriteError);
    EXPECT_EQ(z.Detail(), "Compression: No space left on device\r\n");
    for (std::FILE* f : {source, packed, back, full}) std::fclose(f);
}

}  // namespace
}  // namespace velto
