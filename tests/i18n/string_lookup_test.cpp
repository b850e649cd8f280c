// String lookup against a module with hand-made string blocks: candidate
// languages, the "#" marker, the fallback chain and damaged blocks.
#include "i18n/language.hpp"
#include "support/unique_resource.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace qz;

constexpr int german = 2, portuguese = 4;

using entries = std::initializer_list<std::pair<unsigned, std::wstring_view>>;

// A string block as the resource compiler writes it: 16 counted strings.
std::vector<wchar_t> block_of(entries texts)
{
    std::vector<std::wstring_view> slots(16);
    for (const auto& [id, text] : texts)
        slots[id % 16] = text;
    std::vector<wchar_t> block;
    for (const std::wstring_view text : slots) {
        block.push_back(static_cast<wchar_t>(text.size()));
        block.insert(block.end(), text.begin(), text.end());
    }
    return block;
}

struct block_resource {
    unsigned first_id;
    LANGID lang;
    std::vector<wchar_t> data;
    std::size_t bytes = data.size() * sizeof(wchar_t);
};

// A copy of this program whose only resources are the given string blocks.
class string_module {
public:
    explicit string_module(const std::vector<block_resource>& blocks)
    {
        wchar_t self[MAX_PATH] = {}, folder[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        GetTempPathW(MAX_PATH, folder);
        path_ = std::wstring(folder) + L"i18n-strings-" + std::to_wstring(GetCurrentProcessId()) + L".dll";
        if (!CopyFileW(self, path_.c_str(), FALSE))
            return;
        const HANDLE update = BeginUpdateResourceW(path_.c_str(), TRUE);
        if (!update)
            return;
        for (const block_resource& b : blocks)
            UpdateResourceW(update, RT_STRING, MAKEINTRESOURCEW(b.first_id / 16 + 1), b.lang,
                            const_cast<wchar_t*>(b.data.data()), static_cast<DWORD>(b.bytes));
        if (EndUpdateResourceW(update, FALSE))
            module_.reset(LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    }
    ~string_module()
    {
        module_.reset();
        DeleteFileW(path_.c_str());
    }
    [[nodiscard]] HMODULE get() const noexcept { return module_.get(); }

private:
    std::wstring path_;
    unique_module module_;
};

class string_lookup : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const std::vector<wchar_t> overlong = {50, L'a', L'b'};
        module_ = new string_module({
            // The fallback chain.
            {3200, 0x0409, block_of({{3200, L"E3200"}, {3202, L"E3202"}})},
            {3200, 0x040C, block_of({{3201, L"F3201"}, {3202, L"#"}})},
            {3200, 0x0407, block_of({{3200, L"#"}})},
            // Candidate languages for Portuguese (Portugal), 0x0816.
            {3232, 0x0816, block_of({{3235, L"pt-PT"}})},
            {3232, 0x0416, block_of({{3232, L"pt-BR"}})},
            {3232, 0x0016, block_of({{3232, L"pt"}, {3233, L"pt"}})},
            {3232, 0x0400, block_of({{3232, L"neutral"}, {3233, L"neutral"}, {3234, L"neutral"}})},
            // A block whose first entry claims more text than the block holds.
            {3248, 0x0409, overlong},
            {3248, 0x0400, block_of({{3248, L"fallback"}})},
            // A block of a single byte.
            {3264, 0x0409, {L'x'}, 1},
            {3264, 0x0400, block_of({{3264, L"whole"}})},
            // A block only in a language no candidate names.
            {3280, 0x0411, block_of({{3280, L"ja"}})},
        });
    }
    static void TearDownTestSuite()
    {
        delete module_;
        module_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(module_->get()) << "could not build the test module"; }
    void TearDown() override { set_language(language_french); }

    // Makes a language current with the test module as the resource module.
    static void use(int index)
    {
        set_language(index);
        language_state().resource_module = module_->get();
    }

    static inline string_module* module_ = nullptr;
};

TEST_F(string_lookup, untranslated_text_falls_back_to_english)
{
    use(german);
    EXPECT_TRUE(load_string_in(german, 3200).empty());
    EXPECT_EQ(load_string(3200), L"E3200");
    EXPECT_EQ(load_string(3202), L"E3202");
}

TEST_F(string_lookup, english_falls_back_to_french)
{
    use(language_english);
    EXPECT_EQ(load_string(3201), L"F3201");
    use(german);
    EXPECT_EQ(load_string(3201), L"F3201");
}

TEST_F(string_lookup, french_has_no_fallback)
{
    use(language_french);
    EXPECT_EQ(load_string(3202), L"");
    EXPECT_EQ(load_string(3201), L"F3201");
}

TEST_F(string_lookup, candidates_are_tried_from_the_exact_language_to_the_neutral_one)
{
    use(portuguese);
    EXPECT_EQ(load_string_in(portuguese, 3235), L"pt-PT");
    EXPECT_EQ(load_string_in(portuguese, 3232), L"pt-BR");
    EXPECT_EQ(load_string_in(portuguese, 3233), L"pt");
    EXPECT_EQ(load_string_in(portuguese, 3234), L"neutral");
    EXPECT_EQ(load_string_in(portuguese, 3236), L"");
}

TEST_F(string_lookup, damaged_blocks_are_skipped)
{
    use(language_english);
    EXPECT_EQ(load_string_in(language_english, 3248), L"fallback");
    EXPECT_EQ(load_string_in(language_english, 3249), L"");
    EXPECT_EQ(load_string_in(language_english, 3263), L"");
    EXPECT_EQ(load_string_in(language_english, 3264), L"whole");
}

TEST_F(string_lookup, last_try_leaves_the_language_to_the_system)
{
    use(language_english);
    EXPECT_EQ(load_string_in(language_english, 3280), L"ja");
}

} // namespace
