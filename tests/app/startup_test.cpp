#include "app/startup.hpp"

#include "support/error.hpp"

#include <gtest/gtest.h>
#include <comdef.h>

#include <locale>
#include <optional>
#include <string>
#include <vector>

namespace {

// Platform calls that record what the start-up routines would have done.
struct recorded_startup {
    std::vector<DWORD> features_asked;
    bool sse2 = true;
    unsigned controls_version = 0x60000;
    int controls_probes = 0;
    std::vector<std::pair<std::wstring, UINT>> boxes;
    std::optional<UINT> exit_code;

    qz::startup_calls calls()
    {
        return {
            [this](DWORD feature) {
                features_asked.push_back(feature);
                return sse2;
            },
            [this](const wchar_t* text, UINT style) { boxes.emplace_back(text, style); },
            [this](UINT code) { exit_code = code; },
            [this] {
                ++controls_probes;
                return controls_version;
            },
        };
    }
};

TEST(Startup, ProcessorWithoutSse2GetsThreeLanguageMessageAndExitCode1)
{
    recorded_startup platform;
    platform.sse2 = false;
    qz::details::reset_processor_check();
    EXPECT_FALSE(qz::processor_check(platform.calls()));
    EXPECT_EQ(platform.features_asked, std::vector<DWORD>{PF_XMMI64_INSTRUCTIONS_AVAILABLE});
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].first,
              L"This Version is not compatible with your Configuration.\n\n"
              L"Cette version n'est pas compatible avec votre configuration.\n\n"
              L"Diese Version ist nicht mit Ihrer Konfiguration kompatibel.");
    EXPECT_EQ(platform.boxes[0].second, UINT{MB_ICONERROR});
    EXPECT_EQ(platform.exit_code, 1u);
    EXPECT_FALSE(qz::processor_checked());

    platform = {};
    EXPECT_TRUE(qz::processor_check(platform.calls()));
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_FALSE(platform.exit_code);
    EXPECT_TRUE(qz::processor_checked());
}

TEST(Startup, RuntimeSetupAddsErrorModeAndKeepsClassicLocaleForUnknownNames)
{
    recorded_startup platform;
    SetErrorMode(0);
    EXPECT_TRUE(qz::details::configure_runtime(platform.calls()));
    EXPECT_EQ(GetErrorMode() & (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX), 0x8001u);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_FALSE(platform.exit_code);

    EXPECT_FALSE(qz::details::user_locale_name().empty());
    qz::details::set_global_locale("xx-NOWHERE");
    EXPECT_EQ(std::locale().name(), "C");
    EXPECT_NO_THROW(qz::details::set_global_locale("")); // no locale name: the user's default
    qz::details::set_global_locale("C");
    EXPECT_EQ(std::locale().name(), "C");
}

// A locale name the system cannot give selects the user's default (the empty
// name): no box, no exit.
TEST(Startup, FailingLocaleNameLookupIsTheUsersDefault)
{
    const struct {
        const char* name;
        int (*lookup)(LCID, wchar_t*, int, DWORD);
    } rows[] = {
        {"fails", [](LCID, wchar_t*, int, DWORD) {
             SetLastError(ERROR_INVALID_PARAMETER);
             return 0;
         }},
        {"empty name", [](LCID, wchar_t* name, int, DWORD) {
             name[0] = L'\0';
             return 1;
         }},
        {"system's name", [](LCID locale, wchar_t* name, int size, DWORD flags) {
             return LCIDToLocaleName(locale, name, size, flags); // stdcall on i686
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        recorded_startup platform;
        int lookups = 0;
        qz::startup_calls calls = platform.calls();
        calls.locale_name = [&](LCID locale, wchar_t* name, int size, DWORD flags) {
            ++lookups;
            return row.lookup(locale, name, size, flags);
        };
        EXPECT_TRUE(qz::details::configure_runtime(calls));
        EXPECT_EQ(lookups, 1);
        EXPECT_TRUE(platform.boxes.empty());
        EXPECT_FALSE(platform.exit_code);
    }
    qz::details::set_global_locale("C");
}

TEST(Startup, CommonControlsOlderThan6IsInitializationError)
{
    recorded_startup platform;
    platform.controls_version = 5u << 16 | 81;
    EXPECT_FALSE(qz::details::run_startup_steps(platform.calls()));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].first, L"Initialization Error");
    EXPECT_EQ(platform.boxes[0].second, UINT{MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND});
    EXPECT_EQ(platform.exit_code, static_cast<UINT>(-11));
}

TEST(Startup, RoutineRunsOnceAndRegistersThisProcess)
{
    recorded_startup platform;
    qz::startup_routine(platform.calls());
    qz::startup_routine(platform.calls());
    qz::runtime_setup(platform.calls());
    EXPECT_EQ(platform.controls_probes, 1);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_FALSE(platform.exit_code);
    EXPECT_EQ(qz::running_instances(), 1u);
    // The COM support library's errors arrive as system errors with their HRESULT.
    try {
        _com_issue_error(E_ACCESSDENIED);
        ADD_FAILURE() << "no exception";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), qz::system_error_code(static_cast<DWORD>(E_ACCESSDENIED)));
    }
}

TEST(Startup, ApplicationIdComesFromVersionResource)
{
    EXPECT_EQ(qz::application_id(), L"Gradiva7");
    const std::wstring path = qz::program_file_path();
    EXPECT_TRUE(path.ends_with(L"\\test_app.exe")) << path;
    EXPECT_EQ(qz::program_file_stem(), L"test_app");
}

} // namespace
