#include "payload_fixture.hpp"

#include <boost/crc.hpp>
#include <bzlib.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace payload_test {

namespace fs = std::filesystem;

namespace {

void put_u32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}

void put_u64(std::string& out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}

void put_text(std::string& out, const std::wstring& s)
{
    put_u32(out, static_cast<std::uint32_t>(s.size()));
    for (const wchar_t c : s) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
}

} // namespace

std::uint32_t boost_crc(const std::string& bytes)
{
    boost::crc_32_type crc;
    crc.process_bytes(bytes.data(), bytes.size());
    return crc.checksum();
}

std::string archive_layout(const std::vector<test_file>& files, std::optional<std::uint64_t> data_offset)
{
    std::string records;
    for (const test_file& f : files) {
        put_text(records, f.source);
        put_text(records, f.folder);
        put_u32(records, f.kind);
        put_u64(records, f.size.value_or(f.data.size()));
        put_u32(records, f.crc.value_or(boost_crc(f.data)));
    }
    std::string out;
    put_u64(out, data_offset.value_or(12 + records.size()));
    put_u32(out, static_cast<std::uint32_t>(files.size()));
    out += records;
    for (const test_file& f : files)
        out += f.data;
    return out;
}

std::string bzip2(const std::string& bytes)
{
    std::string out(bytes.size() + bytes.size() / 100 + 600, '\0');
    auto length = static_cast<unsigned>(out.size());
    const int rc = BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(bytes.data()),
                                            static_cast<unsigned>(bytes.size()), 9, 0, 0);
    EXPECT_EQ(rc, BZ_OK);
    out.resize(length);
    return out;
}

std::string make_archive(const std::vector<test_file>& files)
{
    return bzip2(archive_layout(files));
}

std::string sample_bytes(std::size_t size, unsigned seed, bool compressible)
{
    std::mt19937 random(seed);
    std::string out;
    out.reserve(size);
    static const char* const words[] = {"vertex ", "spline ", "layer ", "hatch ", "dimension\r\n", "block "};
    while (out.size() < size) {
        if (compressible)
            out += words[random() % 6];
        else
            out.push_back(static_cast<char>(random()));
    }
    out.resize(size);
    return out;
}

std::string read_file(const std::wstring& path)
{
    std::ifstream in(fs::path(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void write_file(const std::wstring& path, const std::string& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> files_below(const std::wstring& folder)
{
    std::vector<std::wstring> found;
    std::error_code ec;
    for (const auto& item : fs::recursive_directory_iterator(fs::path(folder), ec))
        if (item.is_regular_file())
            found.push_back(fs::relative(item.path(), fs::path(folder)).wstring());
    return found;
}

scratch_folder::scratch_folder(const std::wstring& name)
{
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp) + L"payload-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
    std::error_code ec;
    fs::remove_all(fs::path(path_), ec);
    fs::create_directories(fs::path(path_));
}

scratch_folder::~scratch_folder()
{
    std::error_code ec;
    // Files written read-only by a test must not keep the folder alive.
    for (const auto& item : fs::recursive_directory_iterator(fs::path(path_), ec))
        SetFileAttributesW(item.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(fs::path(path_), ec);
}

qz::archive_callback recorder::callback()
{
    return [this](qz::notification::event e) {
        namespace n = qz::notification;
        std::wstring text;
        if (const auto* f = std::get_if<n::finished>(&e))
            text = std::to_wstring(f->compressed) + L" " + std::to_wstring(f->total);
        else if (const auto* b = std::get_if<n::file_begin>(&e))
            text = b->entry.destination;
        else if (const auto* d = std::get_if<n::file_end>(&e))
            text = d->entry.destination;
        else if (const auto* p = std::get_if<n::progress>(&e))
            text = std::to_wstring(p->done) + L"/" + std::to_wstring(p->total);
        else if (const auto* x = std::get_if<n::failed>(&e)) {
            failure = x->error;
            failure_path = x->path;
            text = std::to_wstring(x->error.value()) + L" " + x->path;
        }
        events.push_back({e.index(), text});
        if (e.index() == answer_code && (answer_text.empty() || answer_text == text) && ++matched == answer_nth)
            return answer;
        return n::result::proceed;
    };
}

std::vector<std::wstring> recorder::texts(std::size_t code) const
{
    std::vector<std::wstring> out;
    for (const recorded& r : events)
        if (r.code == code)
            out.push_back(r.text);
    return out;
}

std::size_t recorder::count(std::size_t code) const
{
    return texts(code).size();
}

extraction::extraction(const scratch_folder& root)
    : install(root / L"install"), samples(root / L"samples"), temp(root / L"temp")
{
}

bool extraction::run(const std::string& archive, recorder& r) const
{
    qz::imemstream in(archive.data(), archive.size());
    return qz::extract_archive(in, install, samples, temp, r.callback());
}

} // namespace payload_test
