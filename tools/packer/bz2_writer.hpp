// One bzip2 stream (level 9, 900k blocks) written into a C file, piece by piece.
// Portable: the host packer and the Windows benchmark both use it.
#pragma once

#include <bzlib.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

class bz2_writer {
public:
    explicit bz2_writer(std::FILE* out) : out_(out)
    {
        if (BZ2_bzCompressInit(&stream_, 9, 0, 0) != BZ_OK)
            throw std::runtime_error("cannot initialise bzip2");
    }
    ~bz2_writer() { BZ2_bzCompressEnd(&stream_); }
    bz2_writer(const bz2_writer&) = delete;
    bz2_writer& operator=(const bz2_writer&) = delete;

    void write(const char* data, std::size_t n)
    {
        if (n) // libbz2 reports a run without input as a parameter error
            run(data, n, BZ_RUN);
    }
    void finish() { run(nullptr, 0, BZ_FINISH); }

private:
    void run(const char* data, std::size_t n, int action)
    {
        stream_.next_in = const_cast<char*>(data);
        stream_.avail_in = static_cast<unsigned>(n);
        while (true) {
            stream_.next_out = buffer_.data();
            stream_.avail_out = static_cast<unsigned>(buffer_.size());
            const int rc = BZ2_bzCompress(&stream_, action);
            if (rc < 0)
                throw std::runtime_error("bzip2 compression failed (" + std::to_string(rc) + ")");
            const std::size_t produced = buffer_.size() - stream_.avail_out;
            if (produced && std::fwrite(buffer_.data(), 1, produced, out_) != produced)
                throw std::runtime_error(std::string("cannot write the archive: ") + std::strerror(errno));
            if (action == BZ_FINISH ? rc == BZ_STREAM_END : stream_.avail_in == 0)
                return;
        }
    }

    std::FILE* out_;
    bz_stream stream_{};
    std::array<char, 64 * 1024> buffer_{};
};
