// Test helpers for the payload reader: an archive writer of its own (the layout
// written byte by byte, compressed with libbz2 directly, CRCs from Boost), a
// recording callback and a scratch folder.
#pragma once

#include "payload/archive.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace payload_test {

struct test_file {
    test_file(std::wstring source_path, std::wstring destination_folder, std::uint32_t entry_kind, std::string bytes)
        : source(std::move(source_path)), folder(std::move(destination_folder)), kind(entry_kind), data(std::move(bytes))
    {
    }

    std::wstring source;      // source path as stored
    std::wstring folder;      // destination folder as stored
    std::uint32_t kind = 0;
    std::string data;
    std::optional<std::uint32_t> crc;  // the table's CRC when not the real one
    std::optional<std::uint64_t> size; // the table's size when not the real one
};

// The decompressed archive; `data_offset` replaces the header's value when given.
[[nodiscard]] std::string archive_layout(const std::vector<test_file>& files,
                                         std::optional<std::uint64_t> data_offset = std::nullopt);
// One bzip2 stream, level 9.
[[nodiscard]] std::string bzip2(const std::string& bytes);
[[nodiscard]] std::string make_archive(const std::vector<test_file>& files);
// Reproducible bytes: text when `compressible`, noise otherwise.
[[nodiscard]] std::string sample_bytes(std::size_t size, unsigned seed, bool compressible);
// CRC-32 computed by boost::crc_32_type.
[[nodiscard]] std::uint32_t boost_crc(const std::string& bytes);

[[nodiscard]] std::string read_file(const std::wstring& path);
void write_file(const std::wstring& path, const std::string& bytes);
[[nodiscard]] bool exists(const std::wstring& path);
// Every file below a folder, relative to it.
[[nodiscard]] std::vector<std::wstring> files_below(const std::wstring& folder);

// A fresh, empty folder below the system's temporary folder, removed afterwards.
class scratch_folder {
public:
    explicit scratch_folder(const std::wstring& name);
    ~scratch_folder();
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;
    [[nodiscard]] const std::wstring& path() const { return path_; }
    [[nodiscard]] std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// One event as recorded: its index and a text that names its data.
struct recorded {
    std::size_t code;
    std::wstring text;
    bool operator==(const recorded&) const = default;
};

// Records every event and answers from a script (proceed by default).
class recorder {
public:
    std::vector<recorded> events;
    // Answer for the event with this index and text (empty text: any).
    std::size_t answer_code = SIZE_MAX;
    std::wstring answer_text;
    std::size_t answer_nth = 1; // ... the nth time it matches
    qz::notification::result answer = qz::notification::result::proceed;
    std::optional<std::error_code> failure;
    std::wstring failure_path;
    std::size_t matched = 0;

    [[nodiscard]] qz::archive_callback callback();
    [[nodiscard]] std::vector<std::wstring> texts(std::size_t code) const;
    [[nodiscard]] std::size_t count(std::size_t code) const;
};

// Event codes (indexes of notification::event).
enum : std::size_t { ev_started, ev_finished, ev_file_begin, ev_file_end, ev_progress, ev_failed };

// Runs an extraction into `root`\install, \samples and \temp of the scratch folder.
struct extraction {
    std::wstring install;
    std::wstring samples;
    std::wstring temp;
    explicit extraction(const scratch_folder& root);
    bool run(const std::string& archive, recorder& r) const;
};

} // namespace payload_test
