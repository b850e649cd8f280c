// payload-bench: what extraction costs next to the bare decompression, and how
// much memory the reader needs, for payloads of 8, 64 and 256 MB.
//
//   payload-bench [SIZE_MB...]          (default: 8 64 256)
//
// For each size a child process (payload-bench --generate FILE SIZE_MB) writes a
// payload of a few hundred files, half text, half noise, as one bzip2 stream
// (level 9). This process then times verify_archive (decompression into a null
// sink) and extract_archive (empty callback, into an empty folder) on it, in
// processor time and wall time, in seven rounds, and prints the median ratio and
// the peak memory so far, and where the extraction's processor time goes:
// decompression (the verify run), the table, destination checks and callbacks (a
// run that skips every file), writing, and the CRC re-read (every placed file read
// once more on its own). The sizes run in rising order: a reader whose memory grew
// with the payload would show it in the peaks.

#include "payload/archive.hpp"

#include <windows.h>
#include <psapi.h>

#include "bz2_writer.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
constexpr std::uint64_t megabyte = 1u << 20;
constexpr std::size_t files_per_64mb = 300;
constexpr std::size_t bench_rounds = 7;

// A small, fast generator: the payload must cost little to make twice.
struct xorshift {
    std::uint64_t state;
    std::uint64_t next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

struct bench_file {
    std::uint64_t size;
    std::uint64_t seed;
    bool text;
    std::uint32_t crc = 0;
};

// Calls `sink` with the file's bytes in pieces.
template <typename Sink>
void produce(const bench_file& f, Sink sink)
{
    static const char* const words[] = {"vertex ",  "spline ",  "layer ",     "hatch ", "dimension\r\n",
                                        "block ",   "polyline ", "viewport ", "0.125 ", "extrude "};
    xorshift random{f.seed * 0x9E3779B97F4A7C15ull + 1};
    std::array<char, 65536> buffer;
    std::uint64_t left = f.size;
    while (left) {
        std::size_t n = 0;
        const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        if (f.text) {
            while (n < room) {
                const char* w = words[random.next() % 10];
                while (*w && n < room)
                    buffer[n++] = *w++;
            }
        } else {
            for (; n + 8 <= room; n += 8) {
                const std::uint64_t v = random.next();
                std::memcpy(buffer.data() + n, &v, 8);
            }
            for (; n < room; ++n)
                buffer[n] = static_cast<char>(random.next());
        }
        sink(buffer.data(), n);
        left -= n;
    }
}

std::vector<bench_file> plan(std::uint64_t total)
{
    const std::size_t count = std::max<std::size_t>(8, static_cast<std::size_t>(total * files_per_64mb / (64 * megabyte)));
    const std::uint64_t average = total / count;
    xorshift random{total};
    std::vector<bench_file> files;
    std::uint64_t planned = 0;
    for (std::size_t k = 0; k < count; ++k) {
        std::uint64_t size = average / 2 + random.next() % average;
        if (k + 1 == count)
            size = total > planned ? total - planned : 0;
        size = std::min(size, total - planned);
        files.push_back({size, k + 1, k % 2 == 0});
        planned += size;
    }
    return files;
}

void put(std::string& out, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}

void put_text(std::string& out, const std::wstring& s)
{
    put(out, s.size(), 4);
    for (const wchar_t c : s)
        put(out, static_cast<std::uint16_t>(c), 2);
}

int generate(const std::wstring& archive, std::uint64_t total)
{
    std::vector<bench_file> files = plan(total);
    std::string table;
    for (std::size_t k = 0; k < files.size(); ++k) {
        bench_file& f = files[k];
        produce(f, [&](const char* p, std::size_t n) { f.crc = qz::crc32_update(f.crc, p, n); });
        put_text(table, L"bench\\file" + std::to_wstring(k) + (f.text ? L".txt" : L".bin"));
        put_text(table, L"<InstallPath>\\folder" + std::to_wstring(k % 16));
        put(table, 0, 4);
        put(table, f.size, 8);
        put(table, f.crc, 4);
    }
    std::string header;
    put(header, 12 + table.size(), 8);
    put(header, files.size(), 4);
    std::FILE* out = _wfopen(archive.c_str(), L"wb");
    if (!out)
        return 1;
    {
        bz2_writer z(out);
        z.write(header.data(), header.size());
        z.write(table.data(), table.size());
        for (const bench_file& f : files)
            produce(f, [&](const char* p, std::size_t n) { z.write(p, n); });
        z.finish();
    }
    return std::fclose(out) == 0 ? 0 : 1;
}

bool run_child(const std::wstring& self, const std::wstring& archive, std::uint64_t megabytes)
{
    std::wstring command = L"\"" + self + L"\" --generate \"" + archive + L"\" " + std::to_wstring(megabytes);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(self.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code == 0;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// User and kernel time of this process so far: on a busy machine the wall clock
// mostly measures the other processes.
double cpu_seconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return value(kernel) + value(user);
}

double mb(std::uint64_t bytes)
{
    return static_cast<double>(bytes) / static_cast<double>(megabyte);
}

// The middle value; the mean of the two middle ones for an even count.
double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Processor and wall seconds of the phases of one round, run back to back.
struct round_times {
    double verify = 0, skip = 0, extract = 0, crc = 0;
    double verify_wall = 0, extract_wall = 0;
};

int measure(const std::wstring& self, std::uint64_t megabytes)
{
    const fs::path work = fs::temp_directory_path() / L"payload-bench";
    fs::create_directories(work);
    const std::wstring archive = (work / (L"payload-" + std::to_wstring(megabytes) + L".bz2")).wstring();
    const std::wstring install = (work / L"out").wstring();
    if (!run_child(self, archive, megabytes)) {
        std::fprintf(stderr, "payload-bench: cannot generate the %llu MB payload\n",
                     static_cast<unsigned long long>(megabytes));
        return 1;
    }

    // The phases run back to back in each round, and each figure is the median
    // over the rounds of what a round measured: on a machine shared with others,
    // decompression alone varies by a fifth from one run to the next, mostly
    // together with the run beside it.
    std::ifstream in(fs::path(archive), std::ios::binary);
    const auto timed = [&](double& cpu, double* wall, const auto& work) {
        in.clear();
        in.seekg(0);
        const auto start = std::chrono::steady_clock::now();
        const double before = cpu_seconds();
        const auto result = work();
        cpu = cpu_seconds() - before;
        if (wall)
            *wall = seconds_since(start);
        return result;
    };
    bool sound = true;
    bool placed = true;
    std::uint64_t compressed = 0;
    std::size_t files = 0;
    std::vector<std::wstring> placed_files;
    std::vector<round_times> rounds(bench_rounds);
    for (round_times& t : rounds) {
        // Every round installs into an empty folder, as a first installation does.
        std::error_code ec;
        fs::remove_all(fs::path(install), ec);
        sound = timed(t.verify, &t.verify_wall, [&] { return qz::verify_archive(in); }) && sound;
        // Every file skipped: decompression, the table, the destination checks
        // and the callbacks, but nothing written.
        (void)timed(t.skip, nullptr, [&] {
            return qz::extract_archive(in, install, L"", install, [](qz::notification::event e) {
                return std::holds_alternative<qz::notification::file_begin>(e) ? qz::notification::result::skip
                                                                               : qz::notification::result::proceed;
            });
        });
        placed_files.clear();
        placed = timed(t.extract, &t.extract_wall, [&] {
            return qz::extract_archive(in, install, L"", install, [&](qz::notification::event e) {
                if (const auto* f = std::get_if<qz::notification::finished>(&e))
                    compressed = f->compressed;
                else if (const auto* end = std::get_if<qz::notification::file_end>(&e))
                    placed_files.push_back(end->entry.destination);
                return qz::notification::result::proceed;
            });
        }) && placed;
        files = placed_files.size();
        // The extraction re-reads every file for its CRC; the same reading
        // again, alone, tells what that costs.
        (void)timed(t.crc, nullptr, [&] {
            std::vector<char> buffer(qz::crc_buffer_size);
            for (const std::wstring& file : placed_files)
                (void)qz::file_crc32(file, buffer);
            return true;
        });
    }
    in.close();
    const auto middle = [&](const auto& figure) {
        std::vector<double> values;
        for (const round_times& t : rounds)
            values.push_back(figure(t));
        return median(std::move(values));
    };
    std::vector<double> ratios;
    for (const round_times& t : rounds)
        ratios.push_back(t.extract / t.verify);
    const double verify_cpu = middle([](const round_times& t) { return t.verify; });
    const double extract_cpu = middle([](const round_times& t) { return t.extract; });
    const double ratio = median(ratios);

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf("%4llu MB, %4zu files, %6.1f MB compressed | verify %6.2f s cpu (%6.2f s wall) | "
                "extract %6.2f s cpu (%6.2f s wall) | extract/verify %.2f cpu (%.2f to %.2f in %zu rounds; "
                "%.2f wall) | peak working set %.1f MB, peak pagefile %.1f MB%s\n",
                static_cast<unsigned long long>(megabytes), files, mb(compressed), verify_cpu,
                middle([](const round_times& t) { return t.verify_wall; }), extract_cpu,
                middle([](const round_times& t) { return t.extract_wall; }), ratio,
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                rounds.size(), middle([](const round_times& t) { return t.extract_wall / t.verify_wall; }),
                mb(memory.PeakWorkingSetSize), mb(memory.PeakPagefileUsage), sound && placed ? "" : "  FAILED");
    // The parts, each the median of its rounds' figures, in shares of the
    // extraction's median: they need not add up to exactly 100 %.
    const double checks_cpu = middle([](const round_times& t) { return t.skip - t.verify; });
    const double writing_cpu = middle([](const round_times& t) { return t.extract - t.skip - t.crc; });
    const double crc_cpu = middle([](const round_times& t) { return t.crc; });
    const auto share = [&](double seconds) { return 100.0 * seconds / extract_cpu; };
    std::printf("        extraction's processor time: decompression %.2f s (%.0f%%), table, destination checks and "
                "callbacks %.2f s (%.0f%%), writing %.2f s (%.0f%%), CRC re-read %.2f s (%.0f%%)\n",
                verify_cpu, share(verify_cpu), checks_cpu, share(checks_cpu), writing_cpu, share(writing_cpu),
                crc_cpu, share(crc_cpu));
    std::fflush(stdout);
    std::error_code ec;
    fs::remove_all(fs::path(install), ec);
    fs::remove(fs::path(archive), ec);
    return sound && placed ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        if (argc == 4 && std::wstring(argv[1]) == L"--generate")
            return generate(argv[2], std::stoull(argv[3]) * megabyte);
        std::vector<std::uint64_t> sizes;
        for (int k = 1; k < argc; ++k)
            sizes.push_back(std::stoull(argv[k]));
        if (sizes.empty())
            sizes = {8, 64, 256};
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        int result = 0;
        for (const std::uint64_t size : sizes)
            result |= measure(self, size);
        return result;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "payload-bench: %s\n", e.what());
        return 1;
    }
}
