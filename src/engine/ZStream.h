#pragma once
// A zlib stream between two open files, through two 32 KiB buffers: the
// compressed data file on one side, its uncompressed content on the other.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace velto {

class CZStream {
public:
    static constexpr std::size_t kBufferSize = 32768;
    static constexpr int kLevel = 9;
    // Given to the init calls; zlib only checks that the major digit agrees.
    static constexpr const char* kZlibVersion = "1.1.1";

    // Failures of the stream's own, beside zlib's statuses (no clash).
    static constexpr int kReadError = -100;
    static constexpr int kWriteError = -101;
    static constexpr int kOutputLimit = -102;  // more output than SetOutputLimit allows
    static constexpr int kStopped = -103;      // the observer asked to stop; not an error of the stream

    // Sees every piece of output once it is written; returning false stops the stream.
    using Observer = std::function<bool(const char* data, std::size_t size)>;

    // 0 means no limit. A stream that would write more stops with kOutputLimit
    // before writing the piece that goes over.
    void SetOutputLimit(std::uint64_t bytes) { m_outputLimit = bytes; }
    void SetOutputObserver(Observer observer) { m_observer = std::move(observer); }

    // Read the source from its position to its end, write to the target at
    // its position. 0 on success, else the status (also kept in Status()).
    int CompressFile(std::FILE* source, std::FILE* target);
    // Stops at the end of the zlib stream; bytes after it are not read.
    int DecompressFile(std::FILE* source, std::FILE* target);

    int Status() const { return m_status; }
    // The log text of the last failure ("" after success), ending in CR LF.
    const std::string& Detail() const { return m_detail; }
    std::uint64_t BytesWritten() const { return m_bytesOut; }

private:
    int Run(bool compress, std::FILE* source, std::FILE* target);
    bool Emit(const unsigned char* data, std::size_t size, std::FILE* target);
    void Finish(int status, int error);

    std::uint64_t m_outputLimit = 0;
    Observer m_observer;
    int m_status = 0;
    std::string m_detail;
    std::uint64_t m_bytesOut = 0;
    int m_errno = 0;
};

}  // namespace velto
