#include "base/zv_alloc.h"
#include "base/zv_sha1.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct checking_scope {
    checking_scope() { zv_alloc_set_checking(1); }
    ~checking_scope() { zv_alloc_set_checking(0); }
};

TEST(zv_alloc, checker_reports_unfreed_block_with_serial) {
    checking_scope on;
    void *a = zv_alloc(10);
    void *b = zv_alloc_zeroed(4, 8);
    EXPECT_EQ(zv_alloc_live_count(), 2);
    zv_free(a);
    EXPECT_EQ(zv_alloc_live_count(), 1);
    testing::internal::CaptureStderr();
    zv_alloc_report();
    std::string out = testing::internal::GetCapturedStderr();
    char want[64];
    snprintf(want, sizeof want, "%p:1\n", b);
    EXPECT_EQ(out, want);
    zv_free(b);
    testing::internal::CaptureStderr();
    zv_alloc_report();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(zv_alloc, checker_reports_unknown_free_and_leaves_block_alone) {
    static char not_ours[16] = "still here";
    checking_scope on;
    testing::internal::CaptureStderr();
    zv_free(not_ours);
    EXPECT_EQ(zv_realloc(not_ours, 64), nullptr);
    std::string out = testing::internal::GetCapturedStderr();
    char want[128];
    snprintf(want, sizeof want, "Allocation not found for %p!\nAllocation not found for %p!\n",
             (void *)not_ours, (void *)not_ours);
    EXPECT_EQ(out, want);
    EXPECT_STREQ(not_ours, "still here");
    // A double free is an unknown free the second time.
    void *p = zv_alloc(8);
    zv_free(p);
    testing::internal::CaptureStderr();
    zv_free(p);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Allocation not found"),
              std::string::npos);
}

TEST(zv_alloc, resize_keeps_contents_and_record) {
    checking_scope on;
    char *p = (char *)zv_alloc(4);
    memcpy(p, "abc", 4);
    p = (char *)zv_realloc(p, 1 << 16);
    EXPECT_STREQ(p, "abc");
    EXPECT_EQ(zv_alloc_live_count(), 1);
    p = (char *)zv_realloc(p, 2);
    EXPECT_EQ(memcmp(p, "ab", 2), 0);
    zv_free(p);
    EXPECT_EQ(zv_alloc_live_count(), 0);
    // Many blocks exercise the table's probing and reuse of deleted slots.
    static void *blocks[5000];
    for (int round = 0; round < 3; round++) {
        for (auto &b : blocks)
            b = zv_alloc(16);
        EXPECT_EQ(zv_alloc_live_count(), 5000);
        for (auto &b : blocks)
            zv_free(b);
        EXPECT_EQ(zv_alloc_live_count(), 0);
    }
}

TEST(zv_alloc, zero_size_and_zeroed_blocks) {
    void *p = zv_alloc(0);
    EXPECT_NE(p, nullptr);
    zv_free(p);
    unsigned char *z = (unsigned char *)zv_alloc_zeroed(100, 3);
    for (int i = 0; i < 300; i++)
        ASSERT_EQ(z[i], 0);
    zv_free(z);
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(zv_alloc_death, out_of_memory_exits_with_code_1) {
    EXPECT_EXIT(zv_alloc(SIZE_MAX / 2), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(zv_alloc_zeroed(SIZE_MAX / 4, 8), testing::ExitedWithCode(1), "");
}
#endif

TEST(zv_sha1, known_digests_and_streaming) {
    uint8_t d[ZV_SHA1_SIZE];
    char hex[ZV_SHA1_HEX_SIZE];
    zv_sha1("abc", 3, d);
    EXPECT_STREQ(zv_sha1_hex(d, hex), "a9993e364706816aba3e25717850c26c9cd0d89d");
    zv_sha1("", 0, d);
    EXPECT_STREQ(zv_sha1_hex(d, hex), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    // Fed in odd pieces across block boundaries, the digest is the same as in one go.
    std::string text;
    for (int i = 0; i < 1000; i++)
        text += (char)('a' + i % 26);
    uint8_t whole[ZV_SHA1_SIZE], parts[ZV_SHA1_SIZE];
    zv_sha1(text.data(), text.size(), whole);
    zv_sha1_ctx c;
    zv_sha1_init(&c);
    size_t at = 0, step = 1;
    while (at < text.size()) {
        size_t n = std::min(step, text.size() - at);
        zv_sha1_update(&c, text.data() + at, n);
        at += n;
        step = step * 3 + 1;
    }
    zv_sha1_final(&c, parts);
    EXPECT_EQ(memcmp(whole, parts, ZV_SHA1_SIZE), 0);
}

} // namespace
