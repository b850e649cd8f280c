#include "payload/archive.hpp"

#include "i18n/language.hpp"
#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/little_endian.hpp"
#include "support/path.hpp"

#include <boost/iostreams/categories.hpp>
#include <boost/iostreams/compose.hpp>
#include <boost/iostreams/copy.hpp>
#include <boost/iostreams/device/null.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/system/system_error.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string_view>

namespace qz {

namespace {

// Bytes of a destination file collected before they are written; the check reads
// the file back through the same buffer.
constexpr std::size_t buffer_size = crc_buffer_size;


namespace io = boost::iostreams;

constexpr WORD payload_type = 260;
constexpr WORD payload_name = 134;
constexpr std::uint64_t header_size = 12;
constexpr std::uint64_t record_size = 24; // a record without its strings

// Hands the decompressor's output to the extractor. The extractor stops at every
// entry boundary; the sink feeds it until the piece is used up.
class extractor_sink {
public:
    using char_type = char;
    using category = io::sink_tag;

    explicit extractor_sink(archive_extractor& extractor) : extractor_(&extractor) {}

    std::streamsize write(const char* s, std::streamsize n)
    {
        extractor_->write_all(s, n);
        return n;
    }

private:
    archive_extractor* extractor_;
};

// Discards what it is given, calling the keep-alive after every piece.
class keep_alive_sink {
public:
    using char_type = char;
    using category = io::sink_tag;

    explicit keep_alive_sink(const std::function<void()>& keep_alive) : keep_alive_(&keep_alive) {}

    std::streamsize write(const char*, std::streamsize n)
    {
        if (*keep_alive_)
            (*keep_alive_)();
        return n;
    }

private:
    const std::function<void()>* keep_alive_;
};

io::bzip2_decompressor make_decompressor()
{
    return io::bzip2_decompressor(false, static_cast<std::streamsize>(archive_piece_size));
}

[[noreturn]] void raise_unexpected()
{
    raise_compress_error(compress_errc::unexpected_error);
}

// Reads the table's fields from the collected bytes; every length is checked
// against what is left of the table before it is used.
class table_reader {
public:
    explicit table_reader(std::string_view bytes) : bytes_(bytes) {}

    [[nodiscard]] std::uint64_t left() const noexcept { return bytes_.size() - pos_; }

    template <typename T>
    T number()
    {
        need(sizeof(T));
        const T value = read_little_endian<T>(reinterpret_cast<const unsigned char*>(bytes_.data() + pos_));
        pos_ += sizeof(T);
        return value;
    }

    std::wstring text()
    {
        const auto units = number<std::uint32_t>();
        need(2ull * units);
        std::wstring s(units, L'\0');
        for (wchar_t& c : s) {
            c = static_cast<wchar_t>(static_cast<unsigned char>(bytes_[pos_])
                                     | static_cast<unsigned char>(bytes_[pos_ + 1]) << 8);
            pos_ += 2;
        }
        return s;
    }

private:
    void need(std::uint64_t n) const
    {
        if (n > left())
            raise_unexpected();
    }

    std::string_view bytes_;
    std::size_t pos_ = 0;
};

// Clears the read-only attribute of an existing file. A link is refused: its
// target is not ours to change. `real_folder`: the real path of its held folder,
// or empty.
void make_writable(const std::wstring& path, const std::wstring& real_folder)
{
    const unique_file file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_BASIC_INFO info{};
    if (!file || !GetFileInformationByHandleEx(file.get(), FileBasicInfo, &info, sizeof info))
        return; // opening the file for writing reports the real problem
    if (real_folder.empty() ? is_link(file.get(), path) : is_link(file.get(), path, real_folder))
        raise_system_error(error_reparse_point);
    if (info.FileAttributes & FILE_ATTRIBUTE_READONLY) {
        info.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (!SetFileInformationByHandle(file.get(), FileBasicInfo, &info, sizeof info))
            raise_last_error();
    }
}

// Two entries for one file, in names that differ only in case, would overwrite
// each other on Windows' file systems.
void refuse_same_destinations(const std::vector<archive_entry>& entries)
{
    std::vector<std::wstring> paths;
    paths.reserve(entries.size());
    for (const archive_entry& entry : entries) {
        std::wstring path = entry.destination;
        CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
        paths.push_back(std::move(path));
    }
    std::sort(paths.begin(), paths.end());
    if (std::adjacent_find(paths.begin(), paths.end()) != paths.end())
        raise_unexpected();
}

// Before an entry's file is journalled or written: no folder on its way is a link,
// and an existing file there is not one either (moving it aside could move what
// it points to, and writing would write there). Returns the real path of the
// file's folder when it is held, else nothing.
std::wstring check_destination(const archive_entry& entry, held_plain_folders& folders)
{
    try {
        std::wstring real_folder = folders.check(entry.base, parent_folder(entry.destination));
        if (real_folder.empty() ? is_link(entry.destination) : is_link(entry.destination, real_folder))
            raise_system_error(error_reparse_point);
        // What Windows answers when a file is opened where a folder stands; the
        // folder must not be moved aside as an old copy.
        const DWORD attributes = GetFileAttributesW(entry.destination.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            raise_system_error(static_cast<DWORD>(ERROR_ACCESS_DENIED));
        return real_folder;
    } catch (const std::system_error& e) {
        throw std::filesystem::filesystem_error("destination", entry.destination, e.code());
    }
}

} // namespace

// ---- archive_extractor ----

archive_extractor::archive_extractor(std::wstring install_folder, std::wstring sample_folder,
                                     std::wstring temp_folder, archive_callback callback)
    : folders_(std::move(install_folder), std::move(sample_folder), std::move(temp_folder)),
      callback_(std::move(callback)), table_(std::make_unique<basic_membuf<char>>(std::ios_base::out)),
      buffer_(std::make_unique_for_overwrite<char[]>(buffer_size))
{
}

archive_extractor::~archive_extractor() = default;

notification::result archive_extractor::notify(const notification::event& e)
{
    return callback_ ? callback_(e) : notification::result::proceed;
}

std::streamsize archive_extractor::write(const char* s, std::streamsize n)
{
    if (broken_)
        return n;
    try {
        return index_ == 0 ? collect_table(s, n) : write_entry(s, n);
    } catch (...) {
        broken_ = true;
        throw;
    }
}

void archive_extractor::write_all(const char* s, std::streamsize n)
{
    while (n > 0) {
        const std::streamsize used = write(s, n);
        s += used;
        n -= used;
    }
}

void archive_extractor::finish()
{
    while (!broken_ && index_ > 0 && index_ <= entries_.size() && entries_[index_ - 1].size == 0)
        write(nullptr, 0);
}

bool archive_extractor::complete() const noexcept
{
    return !broken_ && total_ != 0 && processed_ == total_ && index_ == entries_.size() + 1;
}

std::wstring archive_extractor::path_in_progress() const
{
    if (started_ && index_ > 0 && index_ <= entries_.size())
        return entries_[index_ - 1].destination;
    return {};
}

std::streamsize archive_extractor::collect_table(const char* s, std::streamsize n)
{
    const std::uint64_t have = table_->size();
    const std::uint64_t wanted = have < 8 ? 8 : data_offset_;
    const auto take = static_cast<std::streamsize>(std::min<std::uint64_t>(wanted - have, static_cast<std::uint64_t>(n)));
    if (table_->sputn(s, take) != take)
        raise_unexpected(); // no memory for the table
    if (have < 8) {
        if (table_->size() == 8) {
            data_offset_ = table_reader(table_->view()).number<std::uint64_t>();
            // Checked before anything is buffered for it.
            if (data_offset_ < header_size || data_offset_ > max_table_size)
                raise_unexpected();
        }
    } else if (table_->size() == data_offset_) {
        read_table();
    }
    return take;
}

void archive_extractor::read_table()
{
    table_reader table(table_->view());
    table.number<std::uint64_t>();
    const auto count = table.number<std::uint32_t>();
    if (count > table.left() / record_size)
        raise_unexpected();
    entries_.resize(count);
    std::vector<std::wstring> folders(count);
    std::uint64_t total = data_offset_;
    for (std::size_t k = 0; k < count; ++k) {
        archive_entry& entry = entries_[k];
        entry.source = table.text();
        folders[k] = table.text();
        entry.kind = static_cast<entry_kind>(table.number<std::uint32_t>());
        entry.size = table.number<std::uint64_t>();
        entry.crc = table.number<std::uint32_t>();
        if (entry.size > std::numeric_limits<std::uint64_t>::max() - total)
            raise_unexpected();
        total += entry.size;
    }
    if (table.left() != 0)
        raise_unexpected(); // the table is shorter than the header says
    // Every destination is resolved before any file is written.
    for (std::size_t k = 0; k < count; ++k) {
        archive_entry& entry = entries_[k];
        const std::wstring_view name = file_name(entry.source);
        if (!details::is_plain_name(name))
            raise_unexpected();
        resolved_folder folder = folders_.resolve(folders[k]);
        entry.destination = join_path(folder.path, name);
        entry.base = std::move(folder.base);
    }
    refuse_same_destinations(entries_);
    processed_ = data_offset_;
    total_ = total;
    table_.reset();
    index_ = 1;
    if (notify(notification::progress{processed_, total_}) == notification::result::abort)
        raise_compress_error(compress_errc::interrupted);
}

std::streamsize archive_extractor::write_entry(const char* s, std::streamsize n)
{
    if (index_ > entries_.size())
        raise_unexpected(); // data beyond the last entry
    const archive_entry& entry = entries_[index_ - 1];
    if (!started_) {
        real_folder_ = check_destination(entry, *held_);
        const notification::result answer = notify(notification::file_begin{entry});
        if (answer == notification::result::abort)
            raise_compress_error(compress_errc::interrupted);
        remaining_ = entry.size;
        started_ = true;
        skipping_ = answer == notification::result::skip;
        if (!skipping_)
            open_destination(entry);
    }

    const auto c = static_cast<std::streamsize>(std::min<std::uint64_t>(remaining_, static_cast<std::uint64_t>(n)));
    if (!skipping_)
        buffer_bytes(s, static_cast<std::size_t>(c));
    remaining_ -= static_cast<std::uint64_t>(c);
    processed_ += static_cast<std::uint64_t>(c);
    if (notify(notification::progress{processed_, total_}) == notification::result::abort)
        raise_compress_error(compress_errc::interrupted);

    if (remaining_ == 0) {
        if (!skipping_) {
            close_destination();
            if (file_crc32(entry.destination, {buffer_.get(), buffer_size}) != entry.crc)
                raise_compress_error(compress_errc::invalid_checksum);
            if (notify(notification::file_end{entry}) == notification::result::abort)
                raise_compress_error(compress_errc::interrupted);
        }
        ++index_;
        started_ = false;
        skipping_ = false;
    }
    return c;
}

void archive_extractor::open_destination(const archive_entry& entry)
{
    const std::wstring& path = entry.destination;
    const std::wstring folder = parent_folder(path);
    if (path_exists(path))
        make_writable(path, real_folder_);
    else if (!folder.empty())
        create_folder_tree(folder);
    // Again at the last moment, for the folders made since, and before their rights
    // let users change them (those checked before are held).
    real_folder_ = check_destination(entry, *held_);
    folders_.secure_folders(folder);
    // Others may read the file while it is written, but not change it.
    pending_ = 0;
    file_.reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file_)
        raise_last_error();
}

void archive_extractor::buffer_bytes(const char* s, std::size_t n)
{
    while (n > 0) {
        if (pending_ == buffer_size)
            flush_destination();
        const std::size_t take = std::min(n, buffer_size - pending_);
        std::memcpy(buffer_.get() + pending_, s, take);
        pending_ += take;
        s += take;
        n -= take;
    }
}

void archive_extractor::flush_destination()
{
    for (std::size_t done = 0; done < pending_;) {
        DWORD written = 0;
        if (!WriteFile(file_.get(), buffer_.get() + done, static_cast<DWORD>(pending_ - done), &written, nullptr))
            raise_last_error();
        done += written;
    }
    pending_ = 0;
}

void archive_extractor::close_destination()
{
    flush_destination();
    if (!CloseHandle(file_.release()))
        raise_last_error();
}

// ---- error mapping ----

namespace details {

std::error_code current_exception_code() noexcept
{
    try {
        throw;
    } catch (const io::bzip2_error&) {
        // Before the stream failures: the bzip2 error is one of them.
        return make_error_code(compress_errc::bzip2_error);
    } catch (const std::ios_base::failure& e) {
        if (const unsigned long os = _doserrno; os != 0)
            return {static_cast<int>(os), std::system_category()};
        if (const int err = errno; err != 0)
            return {err, std::generic_category()};
        return e.code();
    } catch (const std::system_error& e) {
        return e.code();
    } catch (const boost::system::system_error& e) {
        const boost::system::error_code& code = e.code();
        if (code.category() == boost::system::system_category())
            return {code.value(), std::system_category()};
        if (code.category() == boost::system::generic_category())
            return {code.value(), std::generic_category()};
        return make_error_code(compress_errc::unexpected_error);
    } catch (...) {
        return make_error_code(compress_errc::unexpected_error);
    }
}

bool extract_archive(std::istream& in, const std::wstring& install_folder, const std::wstring& sample_folder,
                     const std::wstring& temp_folder, const archive_callback& callback,
                     const std::function<void(archive_extractor&)>& prepare) noexcept
{
    std::unique_ptr<archive_extractor> extractor;
    try {
        if (callback)
            callback(notification::started{});
        extractor = std::make_unique<archive_extractor>(install_folder, sample_folder, temp_folder, callback);
        if (prepare)
            prepare(*extractor);
        const std::streamsize compressed = io::copy(
            in, io::compose(make_decompressor(), extractor_sink(*extractor)),
            static_cast<std::streamsize>(archive_piece_size));
        extractor->finish();
        if (!extractor->complete())
            raise_unexpected();
        if (callback)
            callback(notification::finished{static_cast<std::uint64_t>(compressed), extractor->total()});
        return true;
    } catch (...) {
        const std::error_code code = current_exception_code();
        std::wstring path;
        try {
            if (extractor)
                path = extractor->path_in_progress();
            if (path.empty()) {
                try {
                    throw;
                } catch (const std::filesystem::filesystem_error& e) {
                    path = e.path1().wstring();
                } catch (...) {
                }
            }
            extractor.reset(); // closes a file still open
            if (callback)
                callback(notification::failed{code, path});
        } catch (...) {
            // The failure was the last word; the callback may not raise another.
        }
        return false;
    }
}

} // namespace details

// ---- public entry points ----

basic_imemstream<char> open_payload()
{
    const HMODULE module = resource_module();
    const HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(payload_name), MAKEINTRESOURCEW(payload_type));
    const HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = bytes ? SizeofResource(module, info) : 0;
    if (!bytes || size == 0)
        return basic_imemstream<char>();
    return basic_imemstream<char>(static_cast<const char*>(bytes), size);
}

bool verify_archive(std::istream& in) noexcept
{
    return verify_archive(in, {});
}

bool verify_archive(std::istream& in, const std::function<void()>& keep_alive) noexcept
{
    try {
        io::copy(in, io::compose(make_decompressor(), keep_alive_sink(keep_alive)),
                 static_cast<std::streamsize>(archive_piece_size));
        return in.good()
               && std::istream::traits_type::eq_int_type(in.rdbuf()->sgetc(), std::istream::traits_type::eof());
    } catch (...) {
        return false;
    }
}

bool extract_archive(std::istream& in, const std::wstring& install_folder, const std::wstring& sample_folder,
                     const std::wstring& temp_folder, const archive_callback& callback) noexcept
{
    return details::extract_archive(in, install_folder, sample_folder, temp_folder, callback, {});
}

bool extract_archive(std::istream& in, const std::wstring& install_folder, const std::wstring& sample_folder,
                     const std::wstring& temp_folder, const archive_callback& callback,
                     held_plain_folders& held) noexcept
{
    return details::extract_archive(in, install_folder, sample_folder, temp_folder, callback,
                                    [&held](archive_extractor& extractor) { extractor.hold_folders_in(held); });
}

} // namespace qz
