// Destination folder macros, the shared-folder bookkeeping and the Documents folder.

#include "payload_fixture.hpp"

#include "i18n/language.hpp"
#include "payload/folders.hpp"
#include "support/error.hpp"
#include "support/file_system.hpp"
#include "test_support/wine.hpp"

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <filesystem>
#include <map>

using namespace payload_test;

namespace {

const auto unexpected = qz::make_error_code(qz::compress_errc::unexpected_error);

bool is_folder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring> registered(const qz::destination_resolver& r)
{
    std::vector<std::wstring> out;
    for (const qz::secured_folder& f : r.secured_folders())
        out.push_back(f.path);
    return out;
}

// A lookup that names every CSIDL "C:\csidl-<hex>", except those mapped to "".
qz::shell_folder_lookup fake_lookup(std::map<int, std::wstring> overrides = {})
{
    return [overrides](int csidl) {
        if (const auto it = overrides.find(csidl); it != overrides.end())
            return it->second;
        wchar_t name[32];
        swprintf(name, 32, L"C:\\csidl-%02x", csidl);
        return std::wstring(name);
    };
}

std::error_code resolve_error(qz::destination_resolver& r, const std::wstring& folder)
{
    try {
        (void)r.resolve_destination(folder);
    } catch (const std::system_error& e) {
        return e.code();
    }
    return {};
}

// Extracts with the common application-data folder at root\common, and the
// folder rights given by `grant` (the real ones when empty).
bool extract_to_common(const scratch_folder& root, const std::string& archive, const qz::folder_grant& grant)
{
    const extraction x(root);
    recorder r;
    qz::imemstream in(archive.data(), archive.size());
    return qz::details::extract_archive(in, x.install, x.samples, x.temp, r.callback(), [&](qz::archive_extractor& e) {
        e.folders().set_shell_lookup(fake_lookup({{CSIDL_COMMON_APPDATA, root / L"common"}}));
        if (grant)
            e.folders().set_grant(grant);
    });
}

} // namespace

TEST(folders, every_macro_resolves_to_a_real_folder)
{
    const scratch_folder root(L"macros");
    qz::destination_resolver r(root / L"install", L"", root / L"temp");
    for (const wchar_t* macro : {L"<ProgramFiles>", L"<ProgramCommon>", L"<CommonData>", L"<UserData>",
                                 L"<CommonDocuments>", L"<Documents>", L"<CommonDesktop>", L"<Desktop>",
                                 L"<WinDir>", L"<System>", L"<SamplePath>"}) {
        const std::wstring base = r.resolve_destination(macro);
        EXPECT_TRUE(qz::details::is_absolute_path(base)) << macro << L" " << base;
        EXPECT_TRUE(is_folder(base)) << macro << L" " << base;
        EXPECT_EQ(r.resolve_destination(std::wstring(macro) + L"\\Varnholt\\Gradiva"),
                  base + L"\\Varnholt\\Gradiva")
            << macro;
    }
    EXPECT_EQ(r.resolve_destination(L"<InstallPath>\\Lang"), root / L"install\\Lang");
    EXPECT_EQ(r.resolve_destination(L"<Temporary>"), root / L"temp");
    EXPECT_EQ(r.resolve_destination(L"<SamplePath>"), qz::shell_folder_path(CSIDL_COMMON_DESKTOPDIRECTORY, 0, false));
    // Only the three shared macros register, and only their sub-folders.
    const std::wstring common_data = qz::shell_folder_path(CSIDL_COMMON_APPDATA, 0, false);
    const std::vector<std::wstring> shared = registered(r);
    ASSERT_EQ(shared.size(), 6u);
    EXPECT_EQ(shared[0], common_data + L"\\Varnholt");
    EXPECT_EQ(shared[1], common_data + L"\\Varnholt\\Gradiva");
}

TEST(folders, macros_use_their_folder_and_fallback)
{
    qz::destination_resolver r(L"C:\\Install", L"", L"");
    r.set_shell_lookup(fake_lookup());
    const std::vector<std::pair<std::wstring, std::wstring>> table = {
        {L"<ProgramFiles>", L"C:\\csidl-26"},  {L"<ProgramCommon>", L"C:\\csidl-2b"},
        {L"<CommonData>", L"C:\\csidl-23"},    {L"<UserData>", L"C:\\csidl-1a"},
        {L"<CommonDocuments>", L"C:\\csidl-2e"}, {L"<Documents>", L"C:\\csidl-05"},
        {L"<CommonDesktop>", L"C:\\csidl-19"}, {L"<Desktop>", L"C:\\csidl-10"},
        {L"<WinDir>", L"C:\\csidl-24"},        {L"<System>", L"C:\\csidl-25"},
        {L"<SamplePath>", L"C:\\csidl-19"},    {L"<InstallPath>", L"C:\\Install"},
        {L"<Temporary>", L"C:\\Install"}, // before the temporary folder is known
    };
    for (const auto& [macro, folder] : table)
        EXPECT_EQ(r.resolve_destination(macro), folder) << macro;

    // The shared folders fall back to the user's folders and still register.
    qz::destination_resolver fallback(L"C:\\Install", L"", L"");
    fallback.set_shell_lookup(fake_lookup({{CSIDL_COMMON_APPDATA, L""},
                                           {CSIDL_COMMON_DOCUMENTS, L""},
                                           {CSIDL_COMMON_DESKTOPDIRECTORY, L""}}));
    EXPECT_EQ(fallback.resolve_destination(L"<CommonData>\\Varnholt"), L"C:\\csidl-1a\\Varnholt");
    EXPECT_EQ(fallback.resolve_destination(L"<CommonDocuments>"), L"C:\\csidl-05");
    EXPECT_EQ(fallback.resolve_destination(L"<CommonDesktop>"), L"C:\\csidl-10");
    EXPECT_EQ(fallback.resolve_destination(L"<SamplePath>"), L"C:\\csidl-10");
    EXPECT_EQ(registered(fallback), std::vector<std::wstring>{L"C:\\csidl-1a\\Varnholt"});

    // The user's folders have no fallback.
    qz::destination_resolver missing(L"C:\\Install", L"", L"");
    missing.set_shell_lookup(fake_lookup({{CSIDL_APPDATA, L""}, {CSIDL_COMMON_APPDATA, L""}}));
    EXPECT_EQ(resolve_error(missing, L"<UserData>"), unexpected);
    EXPECT_EQ(resolve_error(missing, L"<CommonData>"), unexpected);
}

// The base below which no link is allowed: a folder the user chose is checked from
// its drive root, a system folder or the private temporary folder from itself.
TEST(folders, each_destination_knows_its_trusted_base)
{
    const struct {
        const wchar_t* sample_folder;
        const wchar_t* destination;
        const wchar_t* base;
    } cases[] = {
        {L"", L"<InstallPath>\\Lang", L"C:\\"},
        {L"", L"<CommonData>\\Varnholt\\Textures", L"C:\\csidl-23"},
        {L"", L"<Temporary>\\directx", L"C:\\Temp\\varnholt_{x}"},
        {L"", L"<SamplePath>\\Project", L"C:\\csidl-19"},
        {L"Gradiva Examples", L"<SamplePath>\\Project", L"C:\\csidl-19"},
        {L"D:\\Jürgen\\Samples", L"<SamplePath>\\Project", L"D:\\"},
        {L"", L"D:\\Data\\Gradiva", L"D:\\"},
        {L"", L"\\\\server\\share\\Gradiva", L"\\\\server\\share\\"},
    };
    for (const auto& c : cases) {
        qz::destination_resolver r(L"C:\\Programme\\Ελένη", c.sample_folder, L"C:\\Temp\\varnholt_{x}");
        r.set_shell_lookup(fake_lookup());
        EXPECT_EQ(r.resolve(c.destination).base, c.base) << c.destination << L" " << c.sample_folder;
    }
}

TEST(folders, sample_path_depends_on_the_sample_folder)
{
    {
        qz::destination_resolver r(L"C:\\Install", L"", L"");
        r.set_shell_lookup(fake_lookup());
        EXPECT_EQ(r.resolve_destination(L"<SamplePath>\\Project"), L"C:\\csidl-19\\Project");
        EXPECT_TRUE(r.secured_folders().empty());
    }
    {
        qz::destination_resolver r(L"C:\\Install", L"D:\\Samples", L"");
        r.set_shell_lookup(fake_lookup());
        EXPECT_EQ(r.resolve_destination(L"<SamplePath>\\Project"), L"D:\\Samples\\Project");
        EXPECT_TRUE(r.secured_folders().empty());
    }
    {
        qz::destination_resolver r(L"C:\\Install", L"Gradiva Examples", L"");
        r.set_shell_lookup(fake_lookup());
        EXPECT_EQ(r.resolve_destination(L"<SamplePath>\\Project\\Parts"),
                  L"C:\\csidl-19\\Gradiva Examples\\Project\\Parts");
        EXPECT_EQ(r.resolve_destination(L"<SamplePath>"), L"C:\\csidl-19\\Gradiva Examples");
        EXPECT_EQ(registered(r), std::vector<std::wstring>{L"C:\\csidl-19\\Gradiva Examples"});
    }
    {
        qz::destination_resolver r(L"C:\\Install", L"Gradiva Examples", L"");
        r.set_shell_lookup(fake_lookup({{CSIDL_COMMON_DESKTOPDIRECTORY, L""}}));
        EXPECT_EQ(r.resolve_destination(L"<SamplePath>"), L"C:\\csidl-10\\Gradiva Examples");
    }
}

TEST(folders, plain_paths_pass_and_unsafe_ones_fail)
{
    qz::destination_resolver r(L"C:\\Install", L"", L"C:\\Temp");
    r.set_shell_lookup(fake_lookup());
    for (const wchar_t* spelling : {L"D:\\Data\\Gradiva", L"D:/Data/Gradiva", L"D:\\Data\\Gradiva\\", L"D:/Data\\Gradiva/"})
        EXPECT_EQ(r.resolve_destination(spelling), L"D:\\Data\\Gradiva") << spelling;
    EXPECT_EQ(r.resolve_destination(L"\\\\server\\share\\Gradiva"), L"\\\\server\\share\\Gradiva");
    for (const wchar_t* bad : {L"<installpath>", L"<Elsewhere>", L"<>", L"Gradiva", L"", L"\\Gradiva",
                               L"C:Gradiva", L"D:\\Data\\..\\Windows", L"<InstallPath>\\..",
                               L"<InstallPath>\\a\\\\b", L"<Temporary>\\x:y", L"<CommonData>\\a\\..\\..",
                               L"\\\\.\\PhysicalDrive0", L"\\\\?\\C:\\Gradiva"})
        EXPECT_EQ(resolve_error(r, bad), unexpected) << bad;
    // Rejected sub-folders register nothing.
    EXPECT_TRUE(r.secured_folders().empty());

    qz::destination_resolver relative(L"Install", L"", L"");
    EXPECT_EQ(resolve_error(relative, L"<InstallPath>"), unexpected);
}

TEST(folders, device_names_in_any_case_and_with_any_extension)
{
    for (const wchar_t* device : {L"CON", L"con", L"Nul.txt", L"AUX .log", L"PRN.a.b", L"COM1", L"com9.dll",
                                  L"LPT1", L"lpt5.x", L"CONIN$", L"conout$.txt"})
        EXPECT_TRUE(qz::details::is_device_name(device)) << device;
    for (const wchar_t* name : {L"CONSOLE", L"COM", L"COM0", L"COM10", L"LPT", L"NULL.txt", L"a.CON", L"Über.txt",
                                L"x COM1", L"CONIN"})
        EXPECT_FALSE(qz::details::is_device_name(name)) << name;
}

// Names that may be the short alias of another entry on a volume with 8.3 names.
TEST(folders, short_aliases_are_not_plain_names)
{
    for (const wchar_t* alias : {L"GRADIV~1.EXE", L"progra~1", L"AB~12345.TXT", L"Ü~3.d"})
        EXPECT_FALSE(qz::details::is_plain_name(alias)) << alias;
    for (const wchar_t* name : {L"Report~2024.pdf", L"a~1.html", L"a~b.txt", L"~readme.txt", L"x~1y", L"Gradiva.exe"})
        EXPECT_TRUE(qz::details::is_plain_name(name)) << name;
}

TEST(folders, same_folder_registers_once)
{
    qz::destination_resolver r(L"C:\\Install", L"", L"");
    r.set_shell_lookup(fake_lookup());
    (void)r.resolve_destination(L"<CommonData>\\Varnholt\\Textures\\Gradiva");
    (void)r.resolve_destination(L"<CommonData>\\VARNHOLT\\Gradiva");
    (void)r.resolve_destination(L"<CommonData>\\Varnholt\\textures");
    EXPECT_EQ(registered(r), (std::vector<std::wstring>{L"C:\\csidl-23\\Varnholt", L"C:\\csidl-23\\Varnholt\\Textures",
                                                        L"C:\\csidl-23\\Varnholt\\Textures\\Gradiva",
                                                        L"C:\\csidl-23\\VARNHOLT\\Gradiva"}));
}

TEST(folders, shell_folder_path_tries_the_fallback)
{
    const std::wstring app_data = qz::shell_folder_path(CSIDL_APPDATA, 0, false);
    EXPECT_TRUE(is_folder(app_data)) << app_data;
    constexpr int no_such_folder = 0x7F;
    EXPECT_EQ(qz::shell_folder_path(no_such_folder, CSIDL_APPDATA, true), app_data);
    try {
        (void)qz::shell_folder_path(no_such_folder, CSIDL_APPDATA, false);
        ADD_FAILURE() << "no error without a folder";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), unexpected);
    }
}

TEST(folders, secure_folders_walks_up_and_grants_once_per_folder)
{
    const scratch_folder root(L"secure");
    qz::destination_resolver r(root / L"install", L"", L"");
    r.set_shell_lookup(fake_lookup({{CSIDL_COMMON_APPDATA, root / L"common"}}));
    std::vector<std::wstring> grants;
    bool refuse = false;
    r.set_grant([&](const std::wstring& folder) {
        grants.push_back(folder);
        if (refuse)
            qz::raise_system_error(DWORD{ERROR_ACCESS_DENIED});
    });
    const std::wstring textures = r.resolve_destination(L"<CommonData>\\Varnholt\\Textures\\Gradiva");
    const std::wstring libraries = r.resolve_destination(L"<CommonData>\\Varnholt\\Gradiva");
    const std::wstring varnholt = root / L"common\\Varnholt";
    EXPECT_TRUE(grants.empty());

    // A folder that does not exist yet is not secured.
    r.secure_folders(textures);
    EXPECT_TRUE(grants.empty());

    // Deep below: every registered folder above, outermost first.
    std::filesystem::create_directories(std::filesystem::path(textures));
    r.secure_folders(textures);
    EXPECT_EQ(grants, (std::vector<std::wstring>{varnholt, varnholt + L"\\Textures", textures}));
    r.secure_folders(textures);
    r.secure_folders(root / L"install");
    EXPECT_EQ(grants.size(), 3u);

    // A grant that fails still marks the folder as done.
    std::filesystem::create_directories(std::filesystem::path(libraries));
    refuse = true;
    r.secure_folders(libraries);
    refuse = false;
    r.secure_folders(libraries);
    EXPECT_EQ(grants.size(), 4u);
    EXPECT_EQ(grants.back(), libraries);
    for (const qz::secured_folder& f : r.secured_folders())
        EXPECT_TRUE(f.secured) << f.path;
}

// A registered folder reached under another spelling of its path (its short
// name) is the same folder; one that merely shares a prefix is not.
TEST(folders, secure_folders_knows_a_folder_by_its_short_name)
{
    const scratch_folder root(L"secure-short");
    qz::destination_resolver r(root / L"install", L"", L"");
    r.set_shell_lookup(fake_lookup({{CSIDL_COMMON_APPDATA, root / L"common"}}));
    std::vector<std::wstring> grants;
    r.set_grant([&](const std::wstring& folder) { grants.push_back(folder); });
    const std::wstring shared = r.resolve_destination(L"<CommonData>\\Varnholt Shared Textures");
    std::filesystem::create_directories(std::filesystem::path(shared + L" Old\\below"));
    r.secure_folders(shared + L" Old\\below");
    EXPECT_TRUE(grants.empty());
    std::filesystem::create_directories(std::filesystem::path(shared + L"\\below"));
    wchar_t short_name[MAX_PATH];
    const DWORD length = GetShortPathNameW((shared + L"\\below").c_str(), short_name, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    ASSERT_NE(std::wstring(short_name).find(L'~'), std::wstring::npos) << short_name;
    r.secure_folders(short_name);
    EXPECT_EQ(grants, std::vector<std::wstring>{shared});
}

TEST(folders, extraction_secures_shared_folders_once)
{
    const scratch_folder root(L"secure-extract");
    const std::string archive = make_archive({
        {L"a.tex", L"<CommonData>\\Varnholt\\Textures", 4, "a"},
        {L"b.tex", L"<CommonData>\\Varnholt\\Textures", 4, "b"},
        {L"c.lib", L"<CommonData>\\Varnholt\\Gradiva", 3, "c"},
        {L"d.exe", L"<InstallPath>", 1, "d"},
    });
    std::vector<std::wstring> grants;
    ASSERT_TRUE(extract_to_common(root, archive, [&](const std::wstring& f) { grants.push_back(f); }));
    const std::wstring varnholt = root / L"common\\Varnholt";
    EXPECT_EQ(grants, (std::vector<std::wstring>{varnholt, varnholt + L"\\Textures", varnholt + L"\\Gradiva"}));
    EXPECT_EQ(read_file(varnholt + L"\\Textures\\b.tex"), "b");
}

// A shared folder that stood there before is not this installation's: someone may
// have made it to be given rights. Only the folders made by the run are opened up.
TEST(folders, extraction_leaves_the_rights_of_existing_folders_alone)
{
    const scratch_folder root(L"secure-existing");
    const std::wstring varnholt = root / L"common\\Varnholt";
    std::filesystem::create_directories(std::filesystem::path(varnholt));
    const std::string archive = make_archive({{L"a.tex", L"<CommonData>\\Varnholt\\Textures", 4, "a"}});
    std::vector<std::wstring> grants;
    ASSERT_TRUE(extract_to_common(root, archive, [&](const std::wstring& f) { grants.push_back(f); }));
    EXPECT_EQ(grants, std::vector<std::wstring>{varnholt + L"\\Textures"});
}

// A link planted where the shared data goes fails the extraction before anything
// is written through it.
TEST(folders, extraction_refuses_a_planted_link)
{
    const std::wstring links = test_support::planted_links();
    ASSERT_FALSE(links.empty()) << "no symbolic links could be planted";
    const scratch_folder root(L"planted");
    const extraction x(root);
    recorder r;
    const std::string archive = make_archive({{L"a.tex", L"<CommonData>\\folder-link\\Textures", 4, "a"}});
    qz::imemstream in(archive.data(), archive.size());
    std::vector<std::wstring> grants;
    EXPECT_FALSE(qz::details::extract_archive(in, x.install, x.samples, x.temp, r.callback(),
                                              [&](qz::archive_extractor& e) {
                                                  e.folders().set_shell_lookup(
                                                      fake_lookup({{CSIDL_COMMON_APPDATA, links}}));
                                                  e.folders().set_grant(
                                                      [&](const std::wstring& f) { grants.push_back(f); });
                                              }));
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(*r.failure, qz::system_error_code(qz::error_reparse_point));
    EXPECT_EQ(r.failure_path, links + L"\\folder-link\\Textures\\a.tex");
    EXPECT_FALSE(is_folder(links + L"\\real\\Textures"));
    EXPECT_TRUE(grants.empty());
}

TEST(folders, shared_folder_really_gets_the_users_entry)
{
    SKIP_ON_WINE("file ACLs do not keep an added Users entry");
    const scratch_folder root(L"acl");
    ASSERT_TRUE(extract_to_common(root, make_archive({{L"a.tex", L"<CommonData>\\Varnholt", 4, "a"}}), {}));
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring folder = root / L"common\\Varnholt";
    ASSERT_EQ(GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    &dacl, nullptr, &descriptor),
              ERROR_SUCCESS);
    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD users_size = sizeof users;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &users_size));
    bool found = false;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE
            && EqualSid(&ace->SidStart, users) && ace->Mask == qz::shared_folder_access
            && (ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) == 3)
            found = true;
    }
    LocalFree(descriptor);
    EXPECT_TRUE(found);
}

TEST(folders, sample_folder_name_carries_the_product_name)
{
    constexpr int english = 1;
    const int before = qz::current_language();
    qz::set_language(english);
    EXPECT_EQ(qz::sample_folder_name(), L"Gradiva Examples");
    qz::set_language(before);
}
