#include "support/memstream.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string read_all(std::istream& in)
{
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(membuf, growth_steps)
{
    using qz::details::membuf_next_capacity;
    const std::size_t big = SIZE_MAX;
    EXPECT_EQ(membuf_next_capacity(0, big), 256u);
    EXPECT_EQ(membuf_next_capacity(256, big), 512u);
    EXPECT_EQ(membuf_next_capacity(511, big), 767u);
    EXPECT_EQ(membuf_next_capacity(512, big), 768u);
    EXPECT_EQ(membuf_next_capacity(600, big), 900u);
    EXPECT_EQ(membuf_next_capacity(768, big), 1152u);
    // Near the limit the increment is halved until it fits, then there is no room.
    EXPECT_EQ(membuf_next_capacity(1000, 1300), 1250u);
    EXPECT_EQ(membuf_next_capacity(1000, 1001), 0u);
    EXPECT_EQ(membuf_next_capacity(1000, 1002), 0u);
    EXPECT_EQ(membuf_next_capacity(1000, 1003), 1003u);
    EXPECT_EQ(membuf_next_capacity(big - 10, big), big - 3);
    EXPECT_EQ(membuf_next_capacity(big, big), 0u);
}

TEST(membuf, grows_while_written)
{
    qz::memstream s(std::string(600, 'a'), std::ios::in | std::ios::out | std::ios::ate);
    EXPECT_EQ(s.rdbuf()->capacity(), 600u);
    s.put('b');
    EXPECT_EQ(s.rdbuf()->capacity(), 900u);
    EXPECT_EQ(s.view().size(), 601u);

    qz::memstream empty;
    std::vector<std::size_t> seen;
    for (int i = 0; i < 1200; ++i) {
        empty.put(static_cast<char>(i));
        if (seen.empty() || seen.back() != empty.rdbuf()->capacity())
            seen.push_back(empty.rdbuf()->capacity());
    }
    EXPECT_EQ(seen, (std::vector<std::size_t>{256, 512, 768, 1152, 1728}));
    ASSERT_EQ(empty.view().size(), 1200u);
    EXPECT_EQ(empty.view()[1000], static_cast<char>(1000));
}

TEST(membuf, reads_writes_and_seeks_like_a_string_stream)
{
    qz::memstream s;
    s << "hello world";
    EXPECT_EQ(s.view(), "hello world");
    EXPECT_EQ(read_all(s), "hello world");

    // Overwrite in the middle: the extent stays where it was.
    s.clear();
    s.seekp(6);
    s << "W";
    EXPECT_EQ(s.view(), "hello World");
    s.seekg(-5, std::ios::end);
    EXPECT_EQ(read_all(s), "World");
    s.clear();
    EXPECT_EQ(s.tellg(), 11);
    EXPECT_EQ(s.tellp(), 7);

    // Seeking beyond the written extent or before the start fails.
    s.seekg(12);
    EXPECT_TRUE(s.fail());
    s.clear();
    s.seekp(-1);
    EXPECT_TRUE(s.fail());
    s.clear();
    EXPECT_EQ(s.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in | std::ios::out), -1);

    // Put back: the same character always, another one only where writing is allowed.
    s.seekg(1);
    EXPECT_EQ(s.get(), 'e');
    EXPECT_TRUE(s.putback('e'));
    EXPECT_TRUE(s.putback('X'));
    EXPECT_EQ(s.view(), "Xello World");
    EXPECT_EQ(s.get(), 'X');

    s.rdbuf()->clear();
    s.seekg(0);
    EXPECT_EQ(s.view(), "");
    EXPECT_EQ(read_all(s), "");
}

TEST(imemstream, reads_a_block_in_place_and_rewinds)
{
    const char block[] = "\x42\x5a\x68\x39payload";
    qz::imemstream in(block, sizeof block - 1);
    EXPECT_EQ(in.view().data(), block);
    char head[4];
    ASSERT_TRUE(in.read(head, 4));
    EXPECT_EQ(std::string(head, 4), "BZh9");
    EXPECT_EQ(read_all(in), "payload");
    EXPECT_EQ(in.get(), std::char_traits<char>::eof());
    in.clear();
    in.seekg(0);
    ASSERT_TRUE(in.good());
    EXPECT_EQ(read_all(in), std::string(block, sizeof block - 1));

    // Read-only: it neither writes nor puts back a different character.
    in.clear();
    in.seekg(1);
    EXPECT_FALSE(in.putback('Q'));
    EXPECT_EQ(block[0], '\x42');
    EXPECT_EQ(in.rdbuf()->sputc('x'), std::char_traits<char>::eof());
    in.clear();
    EXPECT_EQ(in.rdbuf()->pubseekoff(0, std::ios::end, std::ios::in), 11);
}

TEST(imemstream, empty_and_moved)
{
    qz::imemstream empty;
    EXPECT_TRUE(empty.good());
    EXPECT_EQ(empty.rdbuf()->in_avail(), -1);
    EXPECT_EQ(empty.get(), std::char_traits<char>::eof());
    empty.clear();
    empty.seekg(0);
    EXPECT_TRUE(empty.good());

    const std::string text = "abcdef";
    auto make = [&] {
        qz::imemstream s(text);
        s.get();
        return s;
    };
    qz::imemstream moved = make();
    EXPECT_EQ(read_all(moved), "bcdef");
    moved.clear();
    moved.seekg(0);
    EXPECT_EQ(moved.get(), 'a');

    qz::memstream a;
    a << std::string(300, 'z');
    qz::memstream b(std::move(a));
    b << "!";
    EXPECT_EQ(b.view().size(), 301u);
    EXPECT_EQ(b.view().back(), '!');
    EXPECT_EQ(a.view().size(), 0u);
}
