// Host-side payload packer: writes the installer's payload archive from a manifest,
// and lists or verifies an existing archive. Portable C++ and the system's libbz2.
//
//   packer pack MANIFEST ARCHIVE [--depfile FILE]
//   packer list ARCHIVE
//   packer verify ARCHIVE
//
// Archive: one bzip2 stream (level 9, 900k blocks) whose content is
//   u64 data_offset, u32 entry_count, entry records, then the file bytes in table order;
// each record is u32 n, n UTF-16LE units of source path, u32 m, m units of destination
// folder, u32 kind, u64 size, u32 crc (CRC-32/ISO-HDLC). All little-endian.

#include "bz2_writer.hpp"
#include "payload/entry_names.hpp"

#include <bzlib.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <locale.h>
#include <wctype.h>

namespace fs = std::filesystem;

namespace {

// A failure with the message shown to the user; main prints it and exits with 1.
struct packer_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

constexpr std::uint64_t fixed_header_size = 12;
constexpr std::uint64_t fixed_record_size = 24;
constexpr std::size_t piece_size = 64 * 1024;

// ---- CRC-32 (reflected 0xEDB88320, init and final XOR 0xFFFFFFFF) ----

const std::array<std::uint32_t, 256>& crc_table()
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

class crc32 {
public:
    void update(const char* data, std::size_t n)
    {
        const auto& table = crc_table();
        for (std::size_t i = 0; i < n; ++i)
            value_ = (value_ >> 8) ^ table[(value_ ^ static_cast<unsigned char>(data[i])) & 0xFF];
    }
    [[nodiscard]] std::uint32_t checksum() const { return value_ ^ 0xFFFFFFFFu; }

private:
    std::uint32_t value_ = 0xFFFFFFFFu;
};

// ---- UTF-8 <-> UTF-16 ----

// Strict UTF-8 decoding; nullopt for invalid input.
std::optional<std::u16string> utf8_to_utf16(std::string_view s)
{
    std::u16string out;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto lead = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = 0;
        int extra = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            cp = lead & 0x1F;
            extra = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            cp = lead & 0x0F;
            extra = 2;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            cp = lead & 0x07;
            extra = 3;
        } else {
            return std::nullopt;
        }
        if (i + extra >= s.size())
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return out;
}

// UTF-16 to UTF-8 for display; a lone surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::uint32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

// ---- Manifest ----

constexpr std::array<std::string_view, 6> kind_names = {
    "program_file", "main_program", "uninstaller", "user_data", "sample_data", "setup_temporary"};

constexpr std::array<std::u16string_view, 13> folder_macros = {
    u"<InstallPath>", u"<SamplePath>", u"<ProgramFiles>", u"<ProgramCommon>", u"<CommonData>",
    u"<UserData>", u"<CommonDocuments>", u"<Documents>", u"<CommonDesktop>", u"<Desktop>",
    u"<WinDir>", u"<System>", u"<Temporary>"};

struct entry {
    std::u16string source;
    std::u16string destination;
    std::uint32_t kind = 0;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    fs::path file; // on this machine (pack only)
};

std::optional<std::uint32_t> parse_kind(std::string_view text)
{
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '5')
        return static_cast<std::uint32_t>(text[0] - '0');
    for (std::size_t i = 0; i < kind_names.size(); ++i)
        if (text == kind_names[i])
            return static_cast<std::uint32_t>(i);
    return std::nullopt;
}

bool is_plain_name(std::u16string_view name)
{
    return qz::entry_names::is_plain_name(name);
}

// Why a destination folder is unusable; empty when it is fine.
std::string check_destination(std::u16string_view folder)
{
    const std::size_t first_end = folder.find(u'\\');
    const std::u16string_view macro = folder.substr(0, first_end);
    bool known = false;
    for (auto m : folder_macros)
        known = known || m == macro;
    if (!known) {
        if (macro.size() >= 2 && macro.front() == u'<' && macro.back() == u'>')
            return "unknown folder macro \"" + utf16_to_utf8(macro) + "\"";
        return "the destination folder must start with a folder macro such as <InstallPath>, not \""
               + utf16_to_utf8(macro) + "\"";
    }
    if (first_end == std::u16string_view::npos)
        return {};
    std::u16string_view rest = folder.substr(first_end + 1);
    while (true) {
        const std::size_t end = rest.find(u'\\');
        const std::u16string_view component = rest.substr(0, end);
        if (component == u".." || component == u".")
            return "\"" + utf16_to_utf8(component) + "\" is not allowed in a destination folder";
        if (!is_plain_name(component))
            return "bad sub-folder name \"" + utf16_to_utf8(component) + "\" in the destination folder";
        if (end == std::u16string_view::npos)
            return {};
        rest = rest.substr(end + 1);
    }
}

std::vector<std::string> split_tabs(std::string_view line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        fields.emplace_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

std::string_view trim(std::string_view s)
{
    const std::size_t first = s.find_first_not_of(" \r");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \r") - first + 1);
}

// CRC and size of a file, read in pieces.
void measure_file(entry& e)
{
    std::ifstream in(e.file, std::ios::binary);
    if (!in)
        throw packer_error("cannot open " + e.file.string() + ": " + std::strerror(errno));
    std::vector<char> buffer(piece_size);
    crc32 crc;
    std::uint64_t size = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        crc.update(buffer.data(), got);
        size += got;
    }
    if (!in.eof())
        throw packer_error("cannot read " + e.file.string());
    e.size = size;
    e.crc = size == 0 ? 0 : crc.checksum();
}

// Upper case as Windows compares file names: every letter of the basic plane,
// not only ASCII (surrogates stay as they are).
std::u16string folded_case(std::u16string text)
{
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    for (char16_t& c : text)
        if (utf8 && (c < 0xD800 || c > 0xDFFF))
            c = static_cast<char16_t>(towupper_l(static_cast<wint_t>(c), utf8));
        else if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
}

std::vector<entry> read_manifest(const fs::path& manifest)
{
    std::ifstream in(manifest, std::ios::binary);
    if (!in)
        throw packer_error("cannot open manifest " + manifest.string() + ": " + std::strerror(errno));
    const fs::path base = manifest.parent_path();
    std::vector<entry> entries;
    // Destination files in upper case (ASCII letters; the installer folds all),
    // each with the line that named it first.
    std::map<std::u16string, int> destinations;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string where = manifest.string() + ":" + std::to_string(number) + ": ";
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3);
        const std::string_view content = trim(line);
        if (content.empty() || content.front() == '#')
            continue;
        const auto fields = split_tabs(content);
        if (fields.size() != 3)
            throw packer_error(where + "expected three tab-separated fields (kind, destination folder, "
                                       "source file), found "
                               + std::to_string(fields.size()));
        entry e;
        const auto kind = parse_kind(trim(fields[0]));
        if (!kind)
            throw packer_error(where + "bad kind \"" + fields[0] + "\" (0-5 or program_file, main_program, "
                                                                "uninstaller, user_data, sample_data, setup_temporary)");
        e.kind = *kind;

        const auto destination = utf8_to_utf16(trim(fields[1]));
        if (!destination)
            throw packer_error(where + "the destination folder is not valid UTF-8");
        if (const std::string problem = check_destination(*destination); !problem.empty())
            throw packer_error(where + problem);
        e.destination = *destination;

        const std::string source_text(trim(fields[2]));
        const auto source = utf8_to_utf16(source_text);
        if (!source || source->empty())
            throw packer_error(where + "the source file is missing or not valid UTF-8");
        const fs::path relative(source_text);
        const std::u16string name = relative.filename().u16string();
        if (!is_plain_name(name))
            throw packer_error(where + "bad file name \"" + relative.filename().string() + "\"");
        e.file = relative.is_absolute() ? relative : base / relative;
        std::error_code ec;
        if (!fs::is_regular_file(e.file, ec))
            throw packer_error(where + "no such file: " + e.file.string());
        e.source = *source;
        const std::u16string key = folded_case(e.destination + u"\\" + name);
        if (const auto [at, added] = destinations.emplace(key, number); !added)
            throw packer_error(where + "the same file as line " + std::to_string(at->second)
                               + " (names differ in case only)");
        measure_file(e);
        entries.push_back(std::move(e));
    }
    return entries;
}

// ---- Archive layout ----

void put_u32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void put_u64(std::string& out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void put_string(std::string& out, std::u16string_view s)
{
    put_u32(out, static_cast<std::uint32_t>(s.size()));
    for (char16_t c : s) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
}

std::string table_bytes(const std::vector<entry>& entries)
{
    std::string records;
    for (const entry& e : entries) {
        put_string(records, e.source);
        put_string(records, e.destination);
        put_u32(records, e.kind);
        put_u64(records, e.size);
        put_u32(records, e.crc);
    }
    std::string table;
    put_u64(table, fixed_header_size + records.size());
    put_u32(table, static_cast<std::uint32_t>(entries.size()));
    return table + records;
}

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using unique_file = std::unique_ptr<std::FILE, file_closer>;

void write_archive(const std::vector<entry>& entries, const fs::path& archive)
{
    const fs::path temporary = archive.string() + ".part";
    {
        unique_file out(std::fopen(temporary.c_str(), "wb"));
        if (!out)
            throw packer_error("cannot create " + temporary.string() + ": " + std::strerror(errno));
        bz2_writer writer(out.get());
        const std::string table = table_bytes(entries);
        writer.write(table.data(), table.size());
        std::vector<char> buffer(piece_size);
        for (const entry& e : entries) {
            std::ifstream in(e.file, std::ios::binary);
            std::uint64_t written = 0;
            crc32 crc;
            while (in) {
                in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
                const auto got = static_cast<std::size_t>(in.gcount());
                crc.update(buffer.data(), got);
                writer.write(buffer.data(), got);
                written += got;
            }
            // The table was written from the first reading; the file must not have changed since.
            if (!in.eof() || written != e.size || (written ? crc.checksum() : 0) != e.crc)
                throw packer_error(e.file.string() + " changed while it was being packed");
        }
        writer.finish();
        if (std::fflush(out.get()) != 0)
            throw packer_error("cannot write " + temporary.string() + ": " + std::strerror(errno));
    }
    fs::rename(temporary, archive);
}

std::string depfile_escape(const std::string& path)
{
    std::string out;
    for (char c : path) {
        if (c == ' ' || c == '#' || c == '\\')
            out.push_back('\\');
        if (c == '$')
            out.push_back('$');
        out.push_back(c);
    }
    return out;
}

void write_depfile(const fs::path& depfile, const fs::path& archive, const fs::path& manifest,
                   const std::vector<entry>& entries)
{
    std::ofstream out(depfile, std::ios::binary | std::ios::trunc);
    out << depfile_escape(fs::absolute(archive).string()) << ":";
    out << " \\\n  " << depfile_escape(fs::absolute(manifest).string());
    for (const entry& e : entries)
        out << " \\\n  " << depfile_escape(fs::absolute(e.file).string());
    out << "\n";
    if (!out)
        throw packer_error("cannot write " + depfile.string());
}

// ---- Reading an archive ----

// Decompressed bytes of an archive file, on demand.
class bz2_reader {
public:
    explicit bz2_reader(const fs::path& archive) : in_(archive, std::ios::binary)
    {
        if (!in_)
            throw packer_error("cannot open " + archive.string() + ": " + std::strerror(errno));
        if (BZ2_bzDecompressInit(&stream_, 0, 0) != BZ_OK)
            throw packer_error("cannot initialise bzip2");
    }
    ~bz2_reader() { BZ2_bzDecompressEnd(&stream_); }
    bz2_reader(const bz2_reader&) = delete;
    bz2_reader& operator=(const bz2_reader&) = delete;

    // Up to n bytes; fewer only at the end of the stream.
    std::size_t read(char* out, std::size_t n)
    {
        std::size_t done = 0;
        while (done < n && !ended_) {
            if (stream_.avail_in == 0) {
                in_.read(input_.data(), static_cast<std::streamsize>(input_.size()));
                stream_.next_in = input_.data();
                stream_.avail_in = static_cast<unsigned>(in_.gcount());
                if (stream_.avail_in == 0)
                    throw packer_error("the compressed data ends early (truncated archive)");
            }
            stream_.next_out = out + done;
            stream_.avail_out = static_cast<unsigned>(n - done);
            const int rc = BZ2_bzDecompress(&stream_);
            if (rc != BZ_OK && rc != BZ_STREAM_END)
                throw packer_error("corrupt compressed data (bzip2 error " + std::to_string(rc) + ")");
            done = n - stream_.avail_out;
            ended_ = rc == BZ_STREAM_END;
        }
        return done;
    }

    void read_exactly(char* out, std::size_t n, const char* what)
    {
        if (read(out, n) != n)
            throw packer_error(std::string("the archive ends inside ") + what);
    }

    // True when nothing follows the bzip2 stream, neither decompressed nor compressed.
    bool at_clean_end()
    {
        char probe;
        if (read(&probe, 1) != 0)
            return false;
        if (stream_.avail_in != 0)
            return false;
        in_.read(&probe, 1);
        return in_.gcount() == 0;
    }

private:
    std::ifstream in_;
    bz_stream stream_{};
    std::array<char, piece_size> input_{};
    bool ended_ = false;
};

template <typename T>
T get_le(const char* p)
{
    T v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        v |= static_cast<T>(static_cast<unsigned char>(p[i])) << (8 * i);
    return v;
}

struct archive_table {
    std::uint64_t data_offset = 0;
    std::vector<entry> entries;
};

// Reads and checks the header and table; every length is checked against the table
// size before anything is allocated from it.
archive_table read_table(bz2_reader& reader)
{
    archive_table t;
    char head[12];
    reader.read_exactly(head, sizeof head, "the header");
    t.data_offset = get_le<std::uint64_t>(head);
    const auto count = get_le<std::uint32_t>(head + 8);
    constexpr std::uint64_t max_table = 16u << 20; // as the installer's reader
    if (t.data_offset < fixed_header_size || t.data_offset > max_table)
        throw packer_error("bad data offset " + std::to_string(t.data_offset));
    std::uint64_t left = t.data_offset - fixed_header_size;
    if (count > left / fixed_record_size)
        throw packer_error("entry count " + std::to_string(count) + " does not fit in the table");

    auto take = [&](std::uint64_t n, const char* what) {
        if (n > left)
            throw packer_error(std::string(what) + " runs past the end of the table");
        left -= n;
    };
    auto get_string = [&](const char* what) {
        char len[4];
        take(4, what);
        reader.read_exactly(len, 4, "the table");
        const auto units = get_le<std::uint32_t>(len);
        take(2ull * units, what);
        std::string bytes(2ull * units, '\0');
        reader.read_exactly(bytes.data(), bytes.size(), "the table");
        std::u16string s(units, u'\0');
        for (std::size_t i = 0; i < units; ++i)
            s[i] = static_cast<char16_t>(get_le<std::uint16_t>(bytes.data() + 2 * i));
        return s;
    };
    t.entries.resize(count);
    for (entry& e : t.entries) {
        e.source = get_string("a source path");
        e.destination = get_string("a destination folder");
        char tail[16];
        take(16, "an entry record");
        reader.read_exactly(tail, sizeof tail, "the table");
        e.kind = get_le<std::uint32_t>(tail);
        e.size = get_le<std::uint64_t>(tail + 4);
        e.crc = get_le<std::uint32_t>(tail + 12);
    }
    if (left != 0)
        throw packer_error("the table is " + std::to_string(left) + " bytes shorter than its data offset");
    return t;
}

std::string hex32(std::uint32_t v)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08x", v);
    return text;
}

int list_archive(const fs::path& archive)
{
    bz2_reader reader(archive);
    const archive_table t = read_table(reader);
    std::uint64_t total = t.data_offset;
    for (const entry& e : t.entries)
        total += e.size;
    std::cout << "data_offset " << t.data_offset << ", " << t.entries.size() << " entries, " << total
              << " bytes\n";
    std::cout << "kind\tsize\tcrc\tdestination\tsource\n";
    for (const entry& e : t.entries)
        std::cout << e.kind << '\t' << e.size << '\t' << hex32(e.crc) << '\t' << utf16_to_utf8(e.destination)
                  << '\t' << utf16_to_utf8(e.source) << '\n';
    return 0;
}

int verify_archive(const fs::path& archive)
{
    bz2_reader reader(archive);
    const archive_table t = read_table(reader);
    std::vector<char> buffer(piece_size);
    int bad = 0;
    std::uint64_t total = t.data_offset;
    for (const entry& e : t.entries) {
        crc32 crc;
        std::uint64_t left = e.size;
        while (left) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
            reader.read_exactly(buffer.data(), n, "the file data");
            crc.update(buffer.data(), n);
            left -= n;
        }
        total += e.size;
        if (e.kind > 5) {
            std::cout << "bad kind " << e.kind << ": " << utf16_to_utf8(e.source) << '\n';
            ++bad;
        }
        if (const std::string problem = check_destination(e.destination); !problem.empty()) {
            std::cout << problem << ": " << utf16_to_utf8(e.source) << '\n';
            ++bad;
        }
        const std::uint32_t actual = e.size ? crc.checksum() : 0;
        if (actual != e.crc) {
            std::cout << "crc mismatch (table " << hex32(e.crc) << ", data " << hex32(actual)
                      << "): " << utf16_to_utf8(e.source) << '\n';
            ++bad;
        }
    }
    if (!reader.at_clean_end())
        throw packer_error("data follows the last entry");
    if (bad)
        return 1;
    std::cout << "OK: " << t.entries.size() << " entries, " << total << " bytes\n";
    return 0;
}

int usage()
{
    std::cerr << "usage: packer pack MANIFEST ARCHIVE [--depfile FILE]\n"
                 "       packer list ARCHIVE\n"
                 "       packer verify ARCHIVE\n";
    return 2;
}

int run(const std::vector<std::string>& args)
{
    if (args.empty())
        return usage();
    const std::string& command = args[0];
    if (command == "pack" && (args.size() == 3 || (args.size() == 5 && args[3] == "--depfile"))) {
        const fs::path manifest = args[1];
        const fs::path archive = args[2];
        const auto entries = read_manifest(manifest);
        write_archive(entries, archive);
        if (args.size() == 5)
            write_depfile(args[4], archive, manifest, entries);
        return 0;
    }
    if (command == "list" && args.size() == 2)
        return list_archive(args[1]);
    if (command == "verify" && args.size() == 2)
        return verify_archive(args[1]);
    return usage();
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const packer_error& e) {
        std::cerr << "packer: " << e.what() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "packer: " << e.what() << '\n';
    }
    return 1;
}
