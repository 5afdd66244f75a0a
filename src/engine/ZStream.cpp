#include "engine/ZStream.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace velto {

namespace {

const char* StatusText(int status) {
    switch (status) {
        case Z_VERSION_ERROR: return "Compression: Version Error\r\n";
        case Z_BUF_ERROR: return "Compression: Buffer Error\r\n";
        case Z_MEM_ERROR: return "Compression: Memory Error\r\n";
        case Z_DATA_ERROR: return "Compresion: Data Error\r\n";
        case Z_STREAM_ERROR: return "Compression: Stream Error\r\n";
        case Z_ERRNO: return "Compression: Unknown Error\r\n";
        default: return nullptr;
    }
}

}  // namespace

int CZStream::CompressFile(std::FILE* source, std::FILE* target) { return Run(true, source, target); }

int CZStream::DecompressFile(std::FILE* source, std::FILE* target) { return Run(false, source, target); }

bool CZStream::Emit(const unsigned char* data, std::size_t size, std::FILE* target) {
    if (size == 0) return true;
    if (m_outputLimit != 0 && size > m_outputLimit - m_bytesOut) {
        Finish(kOutputLimit, EFBIG);
        return false;
    }
    if (std::fwrite(data, 1, size, target) != size) {
        Finish(kWriteError, errno);
        return false;
    }
    m_bytesOut += size;
    if (m_observer && !m_observer(reinterpret_cast<const char*>(data), size)) {
        Finish(kStopped, 0);
        return false;
    }
    return true;
}

void CZStream::Finish(int status, int error) {
    m_status = status;
    m_errno = error;
}

int CZStream::Run(bool compress, std::FILE* source, std::FILE* target) {
    m_status = Z_OK;
    m_errno = 0;
    m_detail.clear();
    m_bytesOut = 0;

    const auto in = std::make_unique<unsigned char[]>(kBufferSize);
    const auto out = std::make_unique<unsigned char[]>(kBufferSize);
    z_stream zs{};
    int status = compress ? deflateInit_(&zs, kLevel, kZlibVersion, static_cast<int>(sizeof(z_stream)))
                          : inflateInit_(&zs, kZlibVersion, static_cast<int>(sizeof(z_stream)));
    if (status != Z_OK) {
        Finish(status, 0);
    } else {
        bool atEnd = false;  // the source has nothing more
        bool done = false;   // the zlib stream is complete
        while (!done && m_status == Z_OK) {
            if (zs.avail_in == 0 && !atEnd) {
                const std::size_t n = std::fread(in.get(), 1, kBufferSize, source);
                // A read error must not pass for the end of the data: a
                // silently shortened store would replace a whole one.
                if (n < kBufferSize && std::ferror(source)) {
                    Finish(kReadError, errno);
                    break;
                }
                atEnd = n < kBufferSize;
                zs.next_in = in.get();
                zs.avail_in = static_cast<uInt>(n);
            }
            if (!compress && zs.avail_in == 0 && atEnd) {
                Finish(Z_BUF_ERROR, 0);  // the data ends inside the stream
                break;
            }
            // Drain all output this input gives before reading more.
            do {
                zs.next_out = out.get();
                zs.avail_out = kBufferSize;
                if (compress) {
                    status = deflate(&zs, atEnd ? Z_FINISH : Z_NO_FLUSH);
                } else {
                    status = inflate(&zs, Z_NO_FLUSH);
                    if (status == Z_NEED_DICT) status = Z_DATA_ERROR;
                }
                if (status == Z_STREAM_ERROR || status == Z_DATA_ERROR || status == Z_MEM_ERROR) {
                    Finish(status, 0);
                    break;
                }
                if (!Emit(out.get(), kBufferSize - zs.avail_out, target)) break;
                if (status == Z_STREAM_END) done = true;
            } while (zs.avail_out == 0 && !done);
        }
        if (compress) deflateEnd(&zs);
        else inflateEnd(&zs);
    }

    if (m_status == kStopped) return m_status;
    if (m_status != Z_OK && m_status != Z_STREAM_END) {
        if (const char* text = StatusText(m_status)) {
            m_detail = text;
        } else {
            m_detail = std::string("Compression: ") + std::strerror(m_errno) + "\r\n";
        }
        return m_status;
    }
    m_status = Z_OK;
    return 0;
}

}  // namespace velto
