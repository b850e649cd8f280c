// The payload archive: one bzip2 stream in the installer's resources (type 260,
// id 134) holding a table of entries followed by the bytes of every file. The
// reader streams it: decompressed pieces go straight into the destination files,
// each file is verified by CRC-32 after it is closed, and every step is reported
// to one callback that may skip a file or abort the run.
//
// Decompressed layout (little-endian, strings UTF-16LE without terminator):
//   u64 data_offset, u32 entry_count, entry_count records, then the file bytes;
//   record: u32 n, n units source path, u32 m, m units destination folder,
//           u32 kind, u64 size, u32 crc.
#pragma once

#include "payload/folders.hpp"
#include "support/file_system.hpp"
#include "support/memstream.hpp"
#include "support/unique_resource.hpp"

#include <windows.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <istream>
#include <memory>
#include <span>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

namespace qz {

enum class entry_kind : std::uint32_t {
    program_file = 0,
    main_program = 1,
    uninstaller = 2,
    user_data = 3,
    sample_data = 4,
    setup_temporary = 5,
};

// One row of the table. `destination` holds the destination folder as stored until
// the table is complete, then the full path of the file to write.
struct archive_entry {
    std::wstring source;
    std::wstring destination;
    entry_kind kind = entry_kind::program_file;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    // The folder the destination was resolved from; nothing below it may be a link.
    std::wstring base;
};

namespace notification {

struct started {};
struct finished {
    std::uint64_t compressed; // bytes read from the resource
    std::uint64_t total;      // decompressed size
};
struct file_begin {
    const archive_entry& entry;
};
struct file_end {
    const archive_entry& entry;
};
struct progress {
    std::uint64_t done;
    std::uint64_t total;
};
struct failed {
    std::error_code error;
    std::wstring path; // the file being written, or empty
};

// The alternative's index is the event code.
using event = std::variant<started, finished, file_begin, file_end, progress, failed>;

enum class result : std::uint32_t {
    proceed = 0,
    abort = 1,
    skip = 2, // honoured only after file_begin
};

} // namespace notification

using archive_callback = std::function<notification::result(notification::event)>;

// Size of the decompressed pieces and of every copy buffer.
inline constexpr std::size_t archive_piece_size = 4096;
// Largest header and table accepted (the shipped table has 14 KB): bounds what a
// damaged header can make the reader buffer and allocate.
inline constexpr std::uint64_t max_table_size = 16ull << 20;

// The installer's own payload resource, read in place; an empty stream when the
// resource is missing or cannot be loaded.
[[nodiscard]] basic_imemstream<char> open_payload();

// Decompresses the stream from its current position into nothing: true when the
// whole stream is a sound bzip2 stream and was consumed.
[[nodiscard]] bool verify_archive(std::istream& in) noexcept;
// The same, calling `keep_alive` after every piece (at most archive_piece_size
// bytes) of decompressed data: the caller pumps its messages and shows progress
// there. A keep-alive that raises ends the check with false.
[[nodiscard]] bool verify_archive(std::istream& in, const std::function<void()>& keep_alive) noexcept;

// Places every file of the archive (the stream at the start of the bzip2 stream).
// False after a failure, which was reported to the callback as one `failed` event.
[[nodiscard]] bool extract_archive(std::istream& in, const std::wstring& install_folder,
                                   const std::wstring& sample_folder, const std::wstring& temp_folder,
                                   const archive_callback& callback) noexcept;
// The same, holding the destinations' folders in `held` beyond the extraction:
// a rollback then removes and moves back through folders nobody could swap.
[[nodiscard]] bool extract_archive(std::istream& in, const std::wstring& install_folder,
                                   const std::wstring& sample_folder, const std::wstring& temp_folder,
                                   const archive_callback& callback, held_plain_folders& held) noexcept;

// Bytes read at a time by file_crc32: larger than the decompressor's pieces, as the
// check reads what was just written, mostly from the cache, and the calls cost more
// than the copying.
inline constexpr std::size_t crc_buffer_size = 256 * 1024;

// CRC-32 (zlib/PNG) of a file on disk; raises a system error when it cannot be read.
// Opening is retried while another process holds the file (sharing violation).
[[nodiscard]] std::uint32_t file_crc32(const std::wstring& path);
// The same, reading through `buffer`: a caller checking many files keeps one, as a
// fresh large block costs the system more than reading a small file.
[[nodiscard]] std::uint32_t file_crc32(const std::wstring& path, std::span<char> buffer);
// The same over an open file, from its current position to its end.
[[nodiscard]] std::uint32_t file_crc32(HANDLE file);
[[nodiscard]] std::uint32_t file_crc32(HANDLE file, std::span<char> buffer);

// CRC-32 of bytes in memory, continuing from `crc` (0 to start).
[[nodiscard]] std::uint32_t crc32_update(std::uint32_t crc, const void* data, std::size_t size) noexcept;

// The output device of one extraction: collects the header and table, then writes
// each entry's bytes into its destination file.
class archive_extractor {
public:
    archive_extractor(std::wstring install_folder, std::wstring sample_folder, std::wstring temp_folder,
                      archive_callback callback);
    ~archive_extractor();
    archive_extractor(const archive_extractor&) = delete;
    archive_extractor& operator=(const archive_extractor&) = delete;

    // Takes the start of a piece of decompressed data and returns how much of it was
    // consumed: it stops at the end of the header, the table and every entry, so it
    // may take fewer than n bytes (none for an empty entry) and is called again with
    // the rest. After an exception it consumes everything and does nothing.
    std::streamsize write(const char* s, std::streamsize n);
    // Consumes all n bytes.
    void write_all(const char* s, std::streamsize n);
    // The data has ended: completes the empty entries that stand last.
    void finish();

    // The whole table was processed and the data matched it.
    [[nodiscard]] bool complete() const noexcept;
    // Full path of the entry in progress, or empty.
    [[nodiscard]] std::wstring path_in_progress() const;

    [[nodiscard]] std::uint64_t total() const noexcept { return total_; }
    [[nodiscard]] destination_resolver& folders() noexcept { return folders_; }
    // Holds the destinations' folders in `held` instead of its own, which end with it.
    void hold_folders_in(held_plain_folders& held) noexcept { held_ = &held; }

private:
    std::streamsize collect_table(const char* s, std::streamsize n);
    void read_table();
    std::streamsize write_entry(const char* s, std::streamsize n);
    void open_destination(const archive_entry& entry);
    void buffer_bytes(const char* s, std::size_t n);
    // Writes what is buffered for the destination file.
    void flush_destination();
    void close_destination();
    notification::result notify(const notification::event& e);

    destination_resolver folders_;
    archive_callback callback_;
    std::unique_ptr<basic_membuf<char>> table_; // during the header phase
    std::vector<archive_entry> entries_;
    std::uint64_t data_offset_ = 0;
    std::uint64_t processed_ = 0;
    std::uint64_t total_ = 0;
    held_plain_folders own_held_;
    held_plain_folders* held_ = &own_held_; // the destinations' folders, held for the run
    unique_file file_; // the destination file of the entry in progress
    std::wstring real_folder_; // the real path of its folder, once held
    // Its bytes not yet written (a few large writes instead of many small ones), and
    // then the bytes read back for its check.
    std::unique_ptr<char[]> buffer_;
    std::size_t pending_ = 0;
    std::uint32_t index_ = 0; // 0: header and table; k + 1: entry k
    std::uint64_t remaining_ = 0;
    bool started_ = false;
    bool skipping_ = false;
    bool broken_ = false;
};

namespace details {

// The error code of the exception being handled: bzip2 errors 6, stream failures
// the last OS or C-runtime error, system errors their own code, Boost system
// errors mapped onto the standard categories, anything else 7.
[[nodiscard]] std::error_code current_exception_code() noexcept;

// extract_archive, with a hook that sees the extractor before any data is read
// (to replace its system lookups in tests).
[[nodiscard]] bool extract_archive(std::istream& in, const std::wstring& install_folder,
                                   const std::wstring& sample_folder, const std::wstring& temp_folder,
                                   const archive_callback& callback,
                                   const std::function<void(archive_extractor&)>& prepare) noexcept;

// file_crc32 with the pause between attempts to open the file.
[[nodiscard]] std::uint32_t file_crc32(const std::wstring& path, std::span<char> buffer,
                                       const std::function<void()>& pause);

} // namespace details

} // namespace qz
