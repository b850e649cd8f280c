// The archive reader against archives written by the tests' own writer.

#include "payload_fixture.hpp"

#include "support/error.hpp"

#include <windows.h>

#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/system/system_error.hpp>

#include <filesystem>

using namespace payload_test;
namespace n = qz::notification;

namespace {

// One file of every kind, empty files in the middle and at the end, a file that
// spans many pieces and several small files in the last piece.
std::vector<test_file> every_kind()
{
    return {
        {L"C:\\build\\bin\\Gradiva.exe", L"<InstallPath>", 1, sample_bytes(10000, 1, false)},
        {L"build/Uninstall.exe", L"<InstallPath>", 2, sample_bytes(300, 2, false)},
        {L"lang\\deu.dll", L"<InstallPath>\\Lang", 0, sample_bytes(9000, 3, true)},
        {L"empty.cfg", L"<InstallPath>\\Lang", 0, ""},
        {L"lib\\parts.lib", L"<InstallPath>\\Data\\Libraries", 3, sample_bytes(5000, 4, true)},
        {L"Sample1.gdv", L"<SamplePath>\\Project", 4, sample_bytes(700, 5, false)},
        {L"dsetup.dll", L"<Temporary>", 5, sample_bytes(50, 6, true)},
        {L"D:last.txt", L"<Temporary>", 5, "last"},
        {L"last-empty.txt", L"<Temporary>", 5, ""},
    };
}

std::vector<std::wstring> expected_paths(const extraction& x)
{
    return {x.install + L"\\Gradiva.exe",     x.install + L"\\Uninstall.exe",
            x.install + L"\\Lang\\deu.dll",   x.install + L"\\Lang\\empty.cfg",
            x.install + L"\\Data\\Libraries\\parts.lib", x.samples + L"\\Project\\Sample1.gdv",
            x.temp + L"\\dsetup.dll",         x.temp + L"\\last.txt",
            x.temp + L"\\last-empty.txt"};
}

std::uint64_t table_size(const std::vector<test_file>& files)
{
    std::uint64_t size = 12;
    for (const test_file& f : files)
        size += 24 + 2 * (f.source.size() + f.folder.size());
    return size;
}

std::uint64_t total_size(const std::vector<test_file>& files)
{
    std::uint64_t size = table_size(files);
    for (const test_file& f : files)
        size += f.data.size();
    return size;
}

std::wstring progress_text(std::uint64_t done, std::uint64_t total)
{
    return std::to_wstring(done) + L"/" + std::to_wstring(total);
}

// The events without the progress reports.
std::vector<recorded> milestones(const recorder& r)
{
    std::vector<recorded> out;
    for (const recorded& e : r.events)
        if (e.code != ev_progress)
            out.push_back(e);
    return out;
}

} // namespace

TEST(archive, round_trip_places_every_kind_and_reports_in_order)
{
    const scratch_folder root(L"round-trip");
    const extraction x(root);
    const auto files = every_kind();
    const std::string archive = make_archive(files);
    recorder r;
    ASSERT_TRUE(x.run(archive, r)) << (r.failure ? r.failure->message() : "");

    const auto paths = expected_paths(x);
    for (std::size_t k = 0; k < files.size(); ++k) {
        ASSERT_TRUE(exists(paths[k])) << paths[k];
        EXPECT_EQ(read_file(paths[k]), files[k].data) << paths[k];
    }
    EXPECT_EQ(files_below(root.path()).size(), files.size());

    const std::uint64_t total = total_size(files);
    std::vector<recorded> expected{{ev_started, L""}};
    for (const std::wstring& p : paths) {
        expected.push_back({ev_file_begin, p});
        expected.push_back({ev_file_end, p});
    }
    expected.push_back({ev_finished, std::to_wstring(archive.size()) + L" " + std::to_wstring(total)});
    EXPECT_EQ(milestones(r), expected);

    // The first progress report carries the table size, before any file; the last
    // one the whole size; the counts never go back.
    ASSERT_GE(r.events.size(), 2u);
    EXPECT_EQ(r.events[1], (recorded{ev_progress, progress_text(table_size(files), total)}));
    const auto reports = r.texts(ev_progress);
    EXPECT_EQ(reports.back(), progress_text(total, total));
    std::uint64_t last = 0;
    for (const std::wstring& t : reports) {
        const std::uint64_t done = std::stoull(t.substr(0, t.find(L'/')));
        EXPECT_GE(done, last);
        last = done;
    }
}

TEST(archive, empty_entry_gets_one_unchanged_progress_report)
{
    const scratch_folder root(L"empty-entry");
    const extraction x(root);
    const auto files = every_kind();
    recorder r;
    ASSERT_TRUE(x.run(make_archive(files), r));

    const std::wstring empty = x.install + L"\\Lang\\empty.cfg";
    std::size_t begin = 0;
    while (begin < r.events.size() && r.events[begin] != recorded{ev_file_begin, empty})
        ++begin;
    ASSERT_LT(begin + 2, r.events.size());
    std::size_t before = begin;
    while (before > 0 && r.events[before].code != ev_progress)
        --before;
    ASSERT_EQ(r.events[before].code, ev_progress);
    EXPECT_EQ(r.events[begin + 1], r.events[before]);
    EXPECT_EQ(r.events[begin + 2], (recorded{ev_file_end, empty}));
    EXPECT_EQ(read_file(empty), "");
}

TEST(archive, archive_without_entries_succeeds)
{
    const scratch_folder root(L"no-entries");
    const extraction x(root);
    const std::string archive = make_archive({});
    recorder r;
    ASSERT_TRUE(x.run(archive, r));
    EXPECT_EQ(r.events, (std::vector<recorded>{{ev_started, L""},
                                                {ev_progress, L"12/12"},
                                                {ev_finished, std::to_wstring(archive.size()) + L" 12"}}));
    EXPECT_TRUE(files_below(root.path()).empty());
}

TEST(archive, only_empty_entries_are_all_completed)
{
    const scratch_folder root(L"only-empty");
    const extraction x(root);
    recorder r;
    ASSERT_TRUE(x.run(make_archive({{L"a", L"<InstallPath>", 0, ""}, {L"b", L"<InstallPath>", 0, ""}}), r));
    EXPECT_EQ(r.texts(ev_file_end), (std::vector<std::wstring>{x.install + L"\\a", x.install + L"\\b"}));
    EXPECT_TRUE(exists(x.install + L"\\b"));
}

TEST(archive, pieces_of_any_size_give_the_same_result)
{
    const scratch_folder root(L"pieces");
    const auto files = every_kind();
    const std::string layout = archive_layout(files);
    for (const std::size_t piece : {1u, 3u, 5u, 7u, 4096u}) {
        const std::wstring base = root / std::to_wstring(piece);
        recorder r;
        qz::archive_extractor extractor(base + L"\\install", base + L"\\samples", base + L"\\temp", r.callback());
        std::size_t pos = 0;
        std::size_t first_entry_end = 0;
        while (pos < layout.size()) {
            const std::streamsize n = static_cast<std::streamsize>(std::min(piece, layout.size() - pos));
            const std::streamsize used = extractor.write(layout.data() + pos, n);
            ASSERT_GE(used, 0);
            ASSERT_LE(used, n);
            pos += static_cast<std::size_t>(used);
            if (!first_entry_end && r.count(ev_file_end) == 1)
                first_entry_end = pos;
        }
        extractor.finish();
        EXPECT_TRUE(extractor.complete()) << piece;
        // The reader stops at the end of an entry, whatever the piece holds after it.
        EXPECT_EQ(first_entry_end, table_size(files) + files[0].data.size()) << piece;
        EXPECT_EQ(r.count(ev_file_end), files.size()) << piece;
        EXPECT_EQ(read_file(base + L"\\install\\Lang\\deu.dll"), files[2].data) << piece;
    }
}

TEST(archive, verify_accepts_only_a_whole_sound_stream)
{
    const std::string archive = make_archive(every_kind());
    auto check = [](const std::string& bytes) {
        qz::imemstream in(bytes.data(), bytes.size());
        return qz::verify_archive(in);
    };
    EXPECT_TRUE(check(archive));
    std::string flipped = archive;
    flipped[flipped.size() / 2] ^= 0x10;
    EXPECT_FALSE(check(flipped));
    std::string wrong_checksum = archive;
    wrong_checksum[wrong_checksum.size() - 2] ^= 0x01;
    EXPECT_FALSE(check(wrong_checksum));
    EXPECT_FALSE(check(archive.substr(0, archive.size() / 2)));
    EXPECT_FALSE(check(archive.substr(0, archive.size() - 1)));
    EXPECT_FALSE(check(""));
    EXPECT_FALSE(check(archive + "junk"));
    EXPECT_FALSE(check("not a bzip2 stream at all"));
}

TEST(archive, verified_stream_rewound_then_extracted)
{
    const scratch_folder root(L"rewind");
    const extraction x(root);
    const std::string archive = make_archive(every_kind());
    qz::imemstream in(archive.data(), archive.size());
    ASSERT_TRUE(qz::verify_archive(in));
    in.seekg(0);
    recorder r;
    EXPECT_TRUE(qz::extract_archive(in, x.install, x.samples, x.temp, r.callback()));
}

TEST(archive, corrupt_compressed_data_is_bzip2_error)
{
    const std::string archive = make_archive(every_kind());
    // The byte before the last lies in the stream's checksum: every block decodes,
    // and the end of the stream tells that the data is not what was packed.
    std::string wrong_checksum = archive;
    wrong_checksum[wrong_checksum.size() - 2] ^= 0x01;
    for (const std::string& bad : {wrong_checksum, archive.substr(0, archive.size() * 3 / 4), std::string()}) {
        const scratch_folder root(L"corrupt");
        const extraction x(root);
        recorder r;
        EXPECT_FALSE(x.run(bad, r));
        ASSERT_TRUE(r.failure);
        EXPECT_EQ(*r.failure, qz::make_error_code(qz::compress_errc::bzip2_error)) << bad.size();
        EXPECT_EQ(r.count(ev_failed), 1u);
        EXPECT_EQ(r.events.back().code, ev_failed);
    }
}

TEST(archive, damaged_block_fails_whatever_notices_it_first)
{
    // A block is checked only at its end, so damaged output may reach the table
    // check or a file's checksum before the decompressor reports the damage.
    std::string archive = make_archive(every_kind());
    archive[archive.size() / 2] ^= 0x10;
    const scratch_folder root(L"damaged");
    const extraction x(root);
    recorder r;
    EXPECT_FALSE(x.run(archive, r));
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(r.failure->category(), qz::compress_category());
    EXPECT_TRUE(r.failure->value() == 3 || r.failure->value() == 6 || r.failure->value() == 7) << r.failure->value();
    EXPECT_EQ(r.count(ev_failed), 1u);
    for (const std::wstring& file : files_below(root.path()))
        EXPECT_TRUE(file.starts_with(L"install") || file.starts_with(L"samples") || file.starts_with(L"temp")) << file;
}

TEST(archive, checksum_mismatch_names_the_file_and_keeps_it)
{
    const scratch_folder root(L"crc");
    const extraction x(root);
    auto files = every_kind();
    files[2].crc = boost_crc(files[2].data) ^ 1;
    recorder r;
    EXPECT_FALSE(x.run(make_archive(files), r));
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(*r.failure, qz::make_error_code(qz::compress_errc::invalid_checksum));
    EXPECT_EQ(r.failure_path, x.install + L"\\Lang\\deu.dll");
    EXPECT_EQ(read_file(x.install + L"\\Lang\\deu.dll"), files[2].data);
    EXPECT_EQ(r.count(ev_file_end), 2u);
    EXPECT_FALSE(exists(x.install + L"\\Lang\\empty.cfg"));
}

TEST(archive, data_that_does_not_match_the_table_is_unexpected)
{
    const auto files = every_kind();
    const auto unexpected = qz::make_error_code(qz::compress_errc::unexpected_error);
    {
        const scratch_folder root(L"trailing");
        const extraction x(root);
        recorder r;
        EXPECT_FALSE(x.run(bzip2(archive_layout(files) + "more"), r));
        ASSERT_TRUE(r.failure);
        EXPECT_EQ(*r.failure, unexpected);
        EXPECT_EQ(r.failure_path, L"");
        EXPECT_EQ(r.count(ev_file_end), files.size());
    }
    {
        const scratch_folder root(L"short");
        const extraction x(root);
        auto shorter = files;
        shorter.back().size = 10; // promises more than the data holds
        recorder r;
        EXPECT_FALSE(x.run(make_archive(shorter), r));
        ASSERT_TRUE(r.failure);
        EXPECT_EQ(*r.failure, unexpected);
        EXPECT_EQ(r.failure_path, L""); // no byte of it came
        EXPECT_TRUE(exists(x.temp + L"\\last.txt"));
    }
    {
        const scratch_folder root(L"header-only");
        const extraction x(root);
        recorder r;
        EXPECT_FALSE(x.run(bzip2(archive_layout(files).substr(0, 7)), r));
        ASSERT_TRUE(r.failure);
        EXPECT_EQ(*r.failure, unexpected);
    }
}

TEST(archive, skipped_entry_is_not_written_but_counted)
{
    const scratch_folder root(L"skip");
    const extraction x(root);
    const auto files = every_kind();
    recorder r;
    r.answer_code = ev_file_begin;
    r.answer_text = x.install + L"\\Lang\\deu.dll";
    r.answer = n::result::skip;
    ASSERT_TRUE(x.run(make_archive(files), r));
    EXPECT_FALSE(exists(x.install + L"\\Lang\\deu.dll"));
    EXPECT_EQ(r.count(ev_file_end), files.size() - 1);
    EXPECT_EQ(r.texts(ev_progress).back(), progress_text(total_size(files), total_size(files)));
    EXPECT_TRUE(exists(x.install + L"\\Lang\\empty.cfg"));
}

TEST(archive, skip_is_ignored_where_it_is_no_answer)
{
    const scratch_folder root(L"skip-ignored");
    const extraction x(root);
    for (const std::size_t code : {ev_started, ev_progress, ev_file_end}) {
        recorder r;
        r.answer_code = code;
        r.answer = n::result::skip;
        EXPECT_TRUE(x.run(make_archive(every_kind()), r)) << code;
        EXPECT_EQ(r.count(ev_file_end), every_kind().size()) << code;
    }
}

TEST(archive, abort_interrupts_with_the_path_in_progress)
{
    const auto files = every_kind();
    const std::string archive = make_archive(files);
    const auto interrupted = qz::make_error_code(qz::compress_errc::interrupted);
    struct answer_case {
        std::size_t code;
        std::wstring text; // relative to the scratch folder; "" for any
        std::wstring path; // expected path of the failure
        std::size_t files; // files on disk afterwards
        std::size_t nth = 1;
    };
    const std::uint64_t total = total_size(files);
    const std::vector<answer_case> cases = {
        // The first report comes before any entry.
        {ev_progress, progress_text(table_size(files), total), L"", 0},
        {ev_file_begin, L"install\\Lang\\deu.dll", L"", 2},
        // The second report comes after the first piece of the first file.
        {ev_progress, L"", L"install\\Gradiva.exe", 1, 2},
        {ev_file_end, L"install\\Uninstall.exe", L"install\\Uninstall.exe", 2},
    };
    for (const answer_case& c : cases) {
        const scratch_folder root(L"abort");
        const extraction x(root);
        recorder r;
        r.answer_code = c.code;
        r.answer_text = c.code == ev_progress || c.text.empty() ? c.text : root / c.text;
        r.answer_nth = c.nth;
        r.answer = n::result::abort;
        EXPECT_FALSE(x.run(archive, r)) << c.text;
        ASSERT_TRUE(r.failure) << c.text;
        EXPECT_EQ(*r.failure, interrupted) << c.text;
        EXPECT_EQ(r.failure_path, c.path.empty() ? L"" : root / c.path) << c.text;
        EXPECT_EQ(files_below(root.path()).size(), c.files) << c.text;
        EXPECT_EQ(r.events.back().code, ev_failed);
        EXPECT_EQ(r.count(ev_failed), 1u);
    }
}

TEST(archive, abort_answer_to_started_has_no_effect)
{
    const scratch_folder root(L"abort-started");
    const extraction x(root);
    recorder r;
    r.answer_code = ev_started;
    r.answer = n::result::abort;
    EXPECT_TRUE(x.run(make_archive(every_kind()), r));
}

TEST(archive, started_handler_that_raises_ends_the_run_at_once)
{
    const scratch_folder root(L"precheck");
    const extraction x(root);
    const std::string archive = make_archive(every_kind());
    std::vector<std::size_t> codes;
    std::error_code failure;
    std::wstring path = L"unset";
    qz::imemstream in(archive.data(), archive.size());
    const bool ok = qz::extract_archive(in, x.install, x.samples, x.temp, [&](n::event e) {
        codes.push_back(e.index());
        if (std::holds_alternative<n::started>(e))
            qz::raise_compress_error(qz::compress_errc::precheck_failed);
        if (const auto* f = std::get_if<n::failed>(&e)) {
            failure = f->error;
            path = f->path;
        }
        return n::result::proceed;
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(codes, (std::vector<std::size_t>{ev_started, ev_failed}));
    EXPECT_EQ(failure, qz::make_error_code(qz::compress_errc::precheck_failed));
    EXPECT_EQ(path, L"");
    EXPECT_TRUE(files_below(root.path()).empty());
}

TEST(archive, empty_callback_writes_everything)
{
    const scratch_folder root(L"no-callback");
    const extraction x(root);
    const std::string archive = make_archive(every_kind());
    qz::imemstream in(archive.data(), archive.size());
    EXPECT_TRUE(qz::extract_archive(in, x.install, x.samples, x.temp, {}));
    EXPECT_EQ(files_below(root.path()).size(), every_kind().size());
}

TEST(archive, read_only_destination_is_overwritten)
{
    const scratch_folder root(L"read-only");
    const extraction x(root);
    const std::wstring target = x.install + L"\\Gradiva.exe";
    write_file(target, "old contents, longer than the new ones by far");
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    recorder r;
    ASSERT_TRUE(x.run(make_archive({{L"Gradiva.exe", L"<InstallPath>", 1, "new"}}), r));
    EXPECT_EQ(read_file(target), "new");
}

TEST(archive, destination_that_cannot_be_created_reports_the_system_error)
{
    const scratch_folder root(L"blocked");
    const extraction x(root);
    // A folder where the file should go.
    std::filesystem::create_directories(std::filesystem::path(x.install + L"\\Gradiva.exe"));
    recorder r;
    EXPECT_FALSE(x.run(make_archive({{L"Gradiva.exe", L"<InstallPath>", 1, "program"}}), r));
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(r.failure->category(), std::system_category());
    EXPECT_EQ(r.failure->value(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(r.failure_path, x.install + L"\\Gradiva.exe");
}

// Tables that would write outside their destinations, or that cannot be what they
// claim, fail with error 7 while the table is read: before the good first entry
// is written.
TEST(archive, unsafe_or_impossible_tables_fail_before_any_file_is_written)
{
    const auto unexpected = qz::make_error_code(qz::compress_errc::unexpected_error);
    const test_file good{L"good.txt", L"<InstallPath>", 0, "good"};
    auto with = [&](const std::wstring& source, const std::wstring& folder) {
        return archive_layout({good, {source, folder, 0, "bad"}});
    };
    std::vector<std::pair<std::string, std::string>> cases = {
        {"dot-dot folder", with(L"a.txt", L"<InstallPath>\\..\\outside")},
        {"dot-dot deeper", with(L"a.txt", L"<InstallPath>\\Lang\\..\\..\\outside")},
        {"dot folder", with(L"a.txt", L"<InstallPath>\\.")},
        {"dots and blanks", with(L"a.txt", L"<InstallPath>\\.. ")},
        {"empty component", with(L"a.txt", L"<InstallPath>\\Lang\\\\x")},
        {"trailing separator", with(L"a.txt", L"<InstallPath>\\")},
        {"rooted component", with(L"a.txt", L"<InstallPath>\\C:\\Windows")},
        {"stream colon", with(L"a.txt", L"<InstallPath>\\Lang:stream")},
        {"slash inside", with(L"a.txt", L"<InstallPath>\\a/../../outside")},
        {"unknown macro", with(L"a.txt", L"<Elsewhere>\\x")},
        {"macro in other case", with(L"a.txt", L"<installpath>")},
        {"empty folder", with(L"a.txt", L"")},
        {"relative folder", with(L"a.txt", L"Lang")},
        {"empty source", with(L"", L"<InstallPath>")},
        {"source ends in separator", with(L"dir\\", L"<InstallPath>")},
        {"dot-dot source", with(L"dir\\..", L"<InstallPath>")},
        {"dot source", with(L".", L"<InstallPath>")},
        {"drive only source", with(L"C:", L"<InstallPath>")},
        {"device name", with(L"COM1.txt", L"<InstallPath>")},
        {"device name as a folder", with(L"a.txt", L"<InstallPath>\\Lpt3")},
        {"trailing dot", with(L"a.txt.", L"<InstallPath>")},
        {"trailing blank", with(L"a.txt ", L"<InstallPath>")},
        {"short alias", with(L"GOOD~1.TXT", L"<InstallPath>")},
        {"short alias as a folder", with(L"a.txt", L"<InstallPath>\\PROGRA~2")},
        {"same file in other case", with(L"GOOD.TXT", L"<InstallPath>")},
    };
    const std::string two = archive_layout({good, {L"b.txt", L"<InstallPath>", 0, "bad"}});
    const std::uint64_t table = table_size({good, {L"b.txt", L"<InstallPath>", 0, "bad"}});
    auto patched = [&](std::uint64_t offset, std::uint32_t count) {
        std::string bytes = two;
        for (int i = 0; i < 8; ++i)
            bytes[i] = static_cast<char>(offset >> (8 * i));
        for (int i = 0; i < 4; ++i)
            bytes[8 + i] = static_cast<char>(count >> (8 * i));
        return bytes;
    };
    cases.push_back({"offset below the header", patched(11, 2)});
    cases.push_back({"offset zero", patched(0, 2)});
    cases.push_back({"offset beyond any table", patched(1ull << 40, 2)});
    cases.push_back({"offset inside the table", patched(table - 5, 2)});
    cases.push_back({"offset past the table", patched(table + 3, 2)});
    cases.push_back({"count beyond the table", patched(table, 0xFFFFFFFFu)});
    cases.push_back({"count one too many", patched(table, 3)});
    std::string huge_text = two;
    huge_text[12 + 24 + 2 * 8 + 2 * 13] = '\xFF'; // length of the second entry's source
    huge_text[12 + 24 + 2 * 8 + 2 * 13 + 1] = '\xFF';
    huge_text[12 + 24 + 2 * 8 + 2 * 13 + 2] = '\xFF';
    huge_text[12 + 24 + 2 * 8 + 2 * 13 + 3] = '\xFF';
    cases.push_back({"string length beyond the table", huge_text});
    std::string huge_size = archive_layout({good, {L"b.txt", L"<InstallPath>", 0, ""}});
    huge_size.replace(table - 12, 8, std::string(8, '\xFF')); // size of the second entry
    cases.push_back({"sizes that overflow", huge_size});

    for (const auto& [name, layout] : cases) {
        const scratch_folder root(L"reject");
        const extraction x(root);
        recorder r;
        EXPECT_FALSE(x.run(bzip2(layout), r)) << name;
        ASSERT_TRUE(r.failure) << name;
        EXPECT_EQ(*r.failure, unexpected) << name;
        EXPECT_EQ(r.count(ev_file_begin), 0u) << name;
        EXPECT_TRUE(files_below(root.path()).empty()) << name;
        EXPECT_FALSE(exists(root / L"outside")) << name;
    }
}

TEST(archive, exceptions_map_to_codes_in_order)
{
    auto code_of = [](auto raise) {
        try {
            raise();
        } catch (...) {
            return qz::details::current_exception_code();
        }
        return std::error_code();
    };
    const auto compress = [](qz::compress_errc e) { return qz::make_error_code(e); };

    _doserrno = 0;
    errno = 0;
    EXPECT_EQ(code_of([] { throw boost::iostreams::bzip2_error(-4); }), compress(qz::compress_errc::bzip2_error));
    _doserrno = ERROR_SHARING_VIOLATION;
    EXPECT_EQ(code_of([] { throw boost::iostreams::bzip2_error(-7); }), compress(qz::compress_errc::bzip2_error));
    EXPECT_EQ(code_of([] { throw std::ios_base::failure("write"); }),
              std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
    _doserrno = 0;
    errno = EACCES;
    EXPECT_EQ(code_of([] { throw std::ios_base::failure("write"); }),
              std::error_code(EACCES, std::generic_category()));
    errno = 0;
    EXPECT_EQ(code_of([] { throw std::ios_base::failure("write"); }), std::io_errc::stream);

    EXPECT_EQ(code_of([] { qz::raise_compress_error(qz::compress_errc::invalid_checksum); }),
              compress(qz::compress_errc::invalid_checksum));
    EXPECT_EQ(code_of([] { qz::raise_system_error(DWORD{ERROR_DISK_FULL}); }),
              std::error_code(ERROR_DISK_FULL, std::system_category()));
    EXPECT_EQ(code_of([] {
                  throw std::filesystem::filesystem_error("x", std::make_error_code(std::errc::no_such_file_or_directory));
              }),
              std::make_error_code(std::errc::no_such_file_or_directory));

    using boost_code = boost::system::error_code;
    EXPECT_EQ(code_of([] { throw boost::system::system_error(boost_code(5, boost::system::system_category())); }),
              std::error_code(5, std::system_category()));
    EXPECT_EQ(code_of([] { throw boost::system::system_error(boost_code(13, boost::system::generic_category())); }),
              std::error_code(13, std::generic_category()));
    struct other_category : boost::system::error_category {
        const char* name() const noexcept override { return "other"; }
        std::string message(int) const override { return "other"; }
    };
    static const other_category other;
    EXPECT_EQ(code_of([] { throw boost::system::system_error(boost_code(5, other)); }),
              compress(qz::compress_errc::unexpected_error));

    EXPECT_EQ(code_of([] { throw std::runtime_error("x"); }), compress(qz::compress_errc::unexpected_error));
    EXPECT_EQ(code_of([] { throw 42; }), compress(qz::compress_errc::unexpected_error));
}
