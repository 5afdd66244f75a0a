#include "engine/HeaderStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <memory>

#include "engine/ZStream.h"
#include "settings/AtomicFile.h"

namespace velto {

namespace {

constexpr std::size_t kChunk = std::size_t(4) << 20;  // large reads and writes of the uncompressed content
const char kMagicBytes[4] = {char(kHeaderStoreMagic & 0xFF), char((kHeaderStoreMagic >> 8) & 0xFF),
                             char((kHeaderStoreMagic >> 16) & 0xFF), char((kHeaderStoreMagic >> 24) & 0xFF)};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string Describe(const std::string& what, const std::string& path, int error) {
    return "Header store: " + what + " " + path + ": " + std::strerror(error) + "\r\n";
}

// A scratch file "news..." in the system's temporary folder. Its name is
// removed as soon as it is open, so nothing stays behind on any path.
FilePtr CreateScratchFile() {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/newsXXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return nullptr;
    unlink(pattern.c_str());
    std::FILE* f = fdopen(fd, "w+b");
    if (!f) close(fd);
    return FilePtr(f);
}

template <typename Record>
bool WriteContent(const std::vector<Record>& list, std::FILE* file) {
    std::string chunk(kMagicBytes, 4);
    for (const Record& header : list) {
        header.Write(chunk);
        if (chunk.size() >= kChunk) {
            if (std::fwrite(chunk.data(), 1, chunk.size(), file) != chunk.size()) return false;
            chunk.clear();
        }
    }
    if (std::fwrite(chunk.data(), 1, chunk.size(), file) != chunk.size()) return false;
    return std::fflush(file) == 0;
}

// Follows the record boundaries of the uncompressed content as it comes out
// of the stream: counts the complete records (the list is sized once) and
// stops the stream as soon as the content cannot be a store.
class RecordScanner {
public:
    enum class Verdict { Whole, NotAStore, Damaged, Truncated, TooMany };

    bool Feed(const char* data, std::size_t size) {
        while (size > 0) {
            if (m_magicFill < 4) {
                const std::size_t n = std::min(size, 4 - m_magicFill);
                std::memcpy(m_magic + m_magicFill, data, n);
                m_magicFill += n;
                data += n, size -= n;
                if (m_magicFill == 4 && std::memcmp(m_magic, kMagicBytes, 4) != 0) return Stop(Verdict::NotAStore);
            } else if (m_skip > 0) {
                const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_skip));
                m_skip -= n;
                data += n, size -= n;
                if (m_skip == 0) ++m_records;
            } else {
                if (m_headFill == 0 && m_records == kHeaderStoreMaxRecords) return Stop(Verdict::TooMany);
                const std::size_t n = std::min(size, CMailHeader::kHeadSize - m_headFill);
                std::memcpy(m_head + m_headFill, data, n);
                m_headFill += n;
                data += n, size -= n;
                if (m_headFill == CMailHeader::kHeadSize) {
                    m_headFill = 0;
                    m_skip = CMailHeader::EncodedSize(m_head) - CMailHeader::kHeadSize;
                    if (m_skip > CMailHeader::kMaxTextBytes) return Stop(Verdict::Damaged);
                    if (m_skip == 0) ++m_records;
                }
            }
        }
        return true;
    }

    // Called once the stream has ended.
    Verdict Result() const {
        if (m_verdict != Verdict::Whole) return m_verdict;
        if (m_magicFill < 4) return Verdict::NotAStore;
        if (m_headFill > 0 || m_skip > 0) return Verdict::Truncated;
        return Verdict::Whole;
    }
    std::uint64_t Records() const { return m_records; }

private:
    bool Stop(Verdict verdict) {
        m_verdict = verdict;
        return false;
    }

    char m_magic[4] = {};
    std::size_t m_magicFill = 0;
    char m_head[CMailHeader::kHeadSize] = {};
    std::size_t m_headFill = 0;
    std::uint64_t m_skip = 0;
    std::uint64_t m_records = 0;
    Verdict m_verdict = Verdict::Whole;
};

// Large buffered reads; a record is parsed straight from the buffer.
class ChunkReader {
public:
    // length: all the file holds; a small store gets a small buffer.
    ChunkReader(std::FILE* file, std::uint64_t length)
        : m_file(file), m_buffer(static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunk))) {}

    // Makes at least n bytes available at Data(); false when the file has fewer.
    bool Fill(std::size_t n) {
        if (m_end - m_begin >= n) return true;
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
        if (n > m_buffer.size()) m_buffer.resize(n);
        while (m_end < n) {
            const std::size_t got = std::fread(m_buffer.data() + m_end, 1, m_buffer.size() - m_end, m_file);
            if (got == 0) return false;
            m_end += got;
        }
        return true;
    }
    const char* Data() const { return m_buffer.data() + m_begin; }
    std::size_t Available() const { return m_end - m_begin; }
    void Consume(std::size_t n) { m_begin += n; }

private:
    std::FILE* m_file;
    std::vector<char> m_buffer;
    std::size_t m_begin = 0, m_end = 0;
};

}  // namespace

template <typename Record>
bool SaveHeaderStore(const std::vector<Record>& list, const std::string& databasePath, HeaderStoreReporter& reporter) {
    if (list.empty()) return true;

    FilePtr content = CreateScratchFile();
    if (!content) {
        reporter.ShowMessage("unable to create temporary file");
        return false;
    }
    if (databasePath.empty()) {
        reporter.LogDetail("Header store: no data file is set\r\n");
        return false;
    }
    if (!WriteContent(list, content.get()) || std::fseek(content.get(), 0, SEEK_SET) != 0) {
        reporter.LogDetail(Describe("cannot write the temporary file for", databasePath, errno));
        return false;
    }

    // Permissions of a file there are kept; a new one is private.
    AtomicWrite how;
    how.mode = 0600;
    CZStream zstream;
    bool compressed = true;
    std::string error;
    const bool written = WriteFileAtomically(
        databasePath,
        [&](std::FILE* file) {
            compressed = zstream.CompressFile(content.get(), file) == 0;
            return compressed;
        },
        how, error);
    if (!compressed) {
        reporter.ShowMessage("Compression failed");
        reporter.LogDetail(zstream.Detail());
        return false;
    }
    if (!written) {
        reporter.LogDetail("Header store: " + error + "\r\n");
        return false;
    }
    return true;
}

namespace {

// What a load reports, held back until it is over, so that the box about a
// damaged file can also say where the file was kept.
struct HeldReports : HeaderStoreReporter {
    std::vector<std::string> messages, details;
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void LogDetail(const std::string& text) override { details.push_back(text); }
};

// The load's body. damaged: the file was read and found broken (not one that
// could not be opened), so a save would overwrite what lies beyond the fault.
template <typename Record>
bool LoadRecords(std::vector<Record>& list, const std::string& databasePath, HeaderStoreReporter& reporter,
                 bool& damaged);

}  // namespace

template <typename Record>
bool LoadHeaderStore(std::vector<Record>& list, const std::string& databasePath, HeaderStoreReporter& reporter) {
    HeldReports held;
    bool damaged = false;
    const bool whole = LoadRecords(list, databasePath, held, damaged);
    if (damaged) {
        // The next save writes over the file; a copy as it was keeps what
        // lies beyond the damage for whoever can still read it.
        const std::string aside = databasePath + kDamagedSuffix;
        std::error_code error;
        std::filesystem::copy_file(databasePath, aside, std::filesystem::copy_options::overwrite_existing, error);
        const std::string note = error ? "The damaged file could not be kept aside (" + error.message() + ")."
                                       : "The damaged file is kept as " + aside + ".";
        if (!held.messages.empty()) held.messages.front() += "\n\n" + note;
        held.details.push_back("Header store: " + note + "\r\n");
    }
    for (const auto& text : held.details) reporter.LogDetail(text);
    for (const auto& text : held.messages) reporter.ShowMessage(text);
    return whole;
}

namespace {

template <typename Record>
bool LoadRecords(std::vector<Record>& list, const std::string& databasePath, HeaderStoreReporter& reporter,
                 bool& damaged) {
    FilePtr content = CreateScratchFile();
    if (!content) {
        reporter.ShowMessage("unable to create temporary file");
        return false;
    }
    FilePtr database(std::fopen(databasePath.c_str(), "rb"));
    if (!database) {
        reporter.LogDetail(Describe("cannot open", databasePath, errno));
        return false;
    }

    RecordScanner scanner;
    CZStream zstream;
    zstream.SetOutputLimit(kHeaderStoreMaxBytes);
    zstream.SetOutputObserver([&scanner](const char* data, std::size_t size) { return scanner.Feed(data, size); });
    const int status = zstream.DecompressFile(database.get(), content.get());
    database.reset();

    bool whole = true;
    if (status != 0 && status != CZStream::kStopped) {
        // As with any damage, what came out before the fault is still read.
        reporter.ShowMessage("Decompression failed");
        reporter.LogDetail(zstream.Detail());
        whole = false;
        damaged = true;
    }
    if (status == CZStream::kOutputLimit) {
        reporter.LogDetail("Header store: " + databasePath + " unpacks to more than " +
                           std::to_string(kHeaderStoreMaxBytes >> 20) + " MB; nothing loaded\r\n");
        damaged = true;
        return false;
    }
    switch (scanner.Result()) {
        case RecordScanner::Verdict::Whole: break;
        case RecordScanner::Verdict::NotAStore:
            reporter.LogDetail("Header store: " + databasePath + " is not a header store; nothing loaded\r\n");
            damaged = true;
            return false;
        case RecordScanner::Verdict::TooMany:
            reporter.LogDetail("Header store: " + databasePath + " holds more than " +
                               std::to_string(kHeaderStoreMaxRecords) + " records; nothing loaded\r\n");
            damaged = true;
            return false;
        case RecordScanner::Verdict::Damaged:
        case RecordScanner::Verdict::Truncated:
            reporter.LogDetail("Header store: " + databasePath + " is damaged after record " +
                               std::to_string(scanner.Records()) + "; the records before it are loaded\r\n");
            whole = false;
            damaged = true;
            break;
    }

    if (std::fflush(content.get()) != 0 || std::fseek(content.get(), 0, SEEK_SET) != 0) {
        reporter.LogDetail(Describe("cannot read the temporary file for", databasePath, errno));
        return false;
    }
    list.reserve(list.size() + static_cast<std::size_t>(scanner.Records()));
    ChunkReader reader(content.get(), zstream.BytesWritten());
    if (!reader.Fill(4)) return false;
    reader.Consume(4);
    for (std::uint64_t i = 0; i < scanner.Records(); ++i) {
        std::size_t used = 0;
        if (!reader.Fill(CMailHeader::kHeadSize) ||
            !reader.Fill(static_cast<std::size_t>(CMailHeader::EncodedSize(reader.Data())))) {
            reporter.LogDetail(Describe("cannot read the temporary file for", databasePath, errno));
            return false;
        }
        list.emplace_back();
        if (!list.back().Read(reader.Data(), reader.Available(), used)) {
            list.pop_back();
            return false;
        }
        reader.Consume(used);
    }
    return whole;
}

}  // namespace

template bool LoadHeaderStore(std::vector<CMailHeader>&, const std::string&, HeaderStoreReporter&);
template bool LoadHeaderStore(std::vector<StoredHeader>&, const std::string&, HeaderStoreReporter&);
template bool SaveHeaderStore(const std::vector<CMailHeader>&, const std::string&, HeaderStoreReporter&);
template bool SaveHeaderStore(const std::vector<StoredHeader>&, const std::string&, HeaderStoreReporter&);

bool HeaderStoreExists(const std::string& databasePath) {
    std::string path = databasePath;
    if (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    if (path.empty()) return false;
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace velto
