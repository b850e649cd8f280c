// payload-tool: checks and unpacks a payload archive the way the installer does,
// for release engineers.
//
//   payload-tool verify ARCHIVE
//   payload-tool extract ARCHIVE INSTALL_DIR SAMPLE_DIR TEMP_DIR [--progress]
//
// verify exits 0 when the archive is one sound bzip2 stream, else 1. extract runs
// the pre-check and the extraction, printing one line per event (UTF-8):
//   started | progress DONE TOTAL | file_begin PATH | file_end PATH |
//   failed LABEL PATH | finished READ TOTAL
// and exits 0 when every file was placed, else 1. Usage errors exit 2.

#include "payload/archive.hpp"
#include "common/convert.hpp"
#include "support/error.hpp"

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace n = qz::notification;

void print_line(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
}

std::string utf8(const std::wstring& text)
{
    return qz::to_utf8(text);
}

// INSTALL_DIR and TEMP_DIR may be given relative to the current folder.
std::wstring full_path(const std::wstring& path)
{
    if (path.empty())
        return path;
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length >= buffer.size()) {
        buffer.resize(length);
        length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    }
    return length ? std::wstring(buffer.data(), length) : path;
}

bool open_archive(const std::wstring& path, std::ifstream& in)
{
    in.open(std::filesystem::path(path), std::ios::binary);
    if (!in)
        std::fprintf(stderr, "payload-tool: cannot open %s\n", utf8(path).c_str());
    return static_cast<bool>(in);
}

int verify(const std::wstring& archive)
{
    std::ifstream in;
    if (!open_archive(archive, in))
        return 1;
    const bool sound = qz::verify_archive(in);
    print_line(sound ? "archive is sound" : "archive is damaged");
    return sound ? 0 : 1;
}

int extract(const std::wstring& archive, const std::wstring& install, const std::wstring& samples,
            const std::wstring& temp, bool progress)
{
    std::ifstream in;
    if (!open_archive(archive, in))
        return 1;
    const auto callback = [&](n::event e) {
        if (std::holds_alternative<n::started>(e)) {
            print_line("started");
            // The installer's pre-check: nothing is written from a damaged archive.
            if (!qz::verify_archive(in))
                qz::raise_compress_error(qz::compress_errc::precheck_failed);
            in.clear();
            in.seekg(0);
        } else if (const auto* f = std::get_if<n::finished>(&e)) {
            print_line("finished " + std::to_string(f->compressed) + " " + std::to_string(f->total));
        } else if (const auto* b = std::get_if<n::file_begin>(&e)) {
            print_line("file_begin " + utf8(b->entry.destination));
        } else if (const auto* d = std::get_if<n::file_end>(&e)) {
            print_line("file_end " + utf8(d->entry.destination));
        } else if (const auto* p = std::get_if<n::progress>(&e)) {
            if (progress)
                print_line("progress " + std::to_string(p->done) + " " + std::to_string(p->total));
        } else if (const auto* x = std::get_if<n::failed>(&e)) {
            print_line("failed " + utf8(qz::error_code_label(x->error)) + " " + utf8(x->path));
        }
        return n::result::proceed;
    };
    const bool placed = qz::extract_archive(in, full_path(install), samples, full_path(temp), callback);
    return placed ? 0 : 1;
}

int usage()
{
    std::fputs("usage: payload-tool verify ARCHIVE\n"
               "       payload-tool extract ARCHIVE INSTALL_DIR SAMPLE_DIR TEMP_DIR [--progress]\n",
               stderr);
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    int result = 2;
    if (args.size() == 2 && args[0] == L"verify")
        result = verify(args[1]);
    else if ((args.size() == 5 || (args.size() == 6 && args[5] == L"--progress")) && args[0] == L"extract")
        result = extract(args[1], args[2], args[3], args[4], args.size() == 6);
    else
        result = usage();
    std::fflush(stdout);
    return result;
}
