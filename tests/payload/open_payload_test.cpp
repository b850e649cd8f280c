// The payload resource of this test program, packed at build time by the host
// packer from fixtures/manifest.txt.

#include "payload_fixture.hpp"

using namespace payload_test;

TEST(open_payload, reads_the_packed_resource_in_place)
{
    qz::imemstream payload = qz::open_payload();
    ASSERT_FALSE(payload.view().empty());
    EXPECT_EQ(payload.view().substr(0, 4), "BZh9"); // 900k blocks
    ASSERT_TRUE(qz::verify_archive(payload));
    // The installation's order: check, rewind, extract.
    payload.seekg(0);

    const scratch_folder root(L"resource");
    const extraction x(root);
    recorder r;
    ASSERT_TRUE(qz::extract_archive(payload, x.install, x.samples, x.temp, r.callback()))
        << (r.failure ? r.failure->message() : "");
    EXPECT_EQ(r.texts(ev_file_end),
              (std::vector<std::wstring>{x.install + L"\\Gradiva.txt", x.install + L"\\Uninstall.txt",
                                         x.install + L"\\readme.txt", x.install + L"\\Lang\\deu.txt",
                                         x.install + L"\\Data\\library.txt", x.samples + L"\\Project\\Sample1.txt",
                                         x.temp + L"\\dsetup.txt", x.install + L"\\empty.txt"}));
    EXPECT_EQ(read_file(x.install + L"\\readme.txt"), "Gradiva payload fixture\n");
    EXPECT_EQ(read_file(x.install + L"\\empty.txt"), "");
}

TEST(open_payload, two_streams_read_the_same_bytes)
{
    const qz::imemstream first = qz::open_payload();
    const qz::imemstream second = qz::open_payload();
    EXPECT_EQ(first.view().data(), second.view().data()); // no copy
}
