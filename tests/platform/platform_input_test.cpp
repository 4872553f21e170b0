// The event ring, key names, device ids and axes on the headless back end.
#include "platform/null/platform_null.h"
#include "platform/platform_input.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class PlatformInput : public ::testing::Test {
  protected:
    platform_window *w = nullptr;
    void SetUp() override {
        platform_null_reset();
        w = platform_create_gl_window("Zelvo", 0, 0, 32, 0, 24, 8, 0);
        ASSERT_NE(w, nullptr);
    }
    void TearDown() override { platform_destroy_gl_window(w); }
    platform_input *input() { return platform_window_input(w); }
};

platform_time at(int sec, int usec) {
    return platform_time{sec, usec};
}

TEST_F(PlatformInput, RingKeepsOrderAndDropsThe257th) {
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(platform_null_push_event(0x1000 + i, i & 1, at(0, i)), 1);
    EXPECT_EQ(platform_null_push_event(0x1FFF, 1, at(1, 0)), 0);
    platform_event ev;
    for (int i = 0; i < 256; i++) {
        ASSERT_EQ(platform_next_event(w, &ev), 1);
        EXPECT_EQ(ev.code, 0x1000 + i);
        EXPECT_EQ(ev.pressed, i & 1);
        EXPECT_EQ(ev.time.usec, i);
    }
    EXPECT_EQ(platform_next_event(w, &ev), 0);
    // Room again after draining, and the ring wraps correctly.
    EXPECT_EQ(platform_null_push_event(5, 1, at(2, 0)), 1);
    ASSERT_EQ(platform_next_event(w, &ev), 1);
    EXPECT_EQ(ev.code, 5);
}

TEST_F(PlatformInput, EventsAfterTheLimitWait) {
    platform_null_push_event(1, 1, at(1, 0));
    platform_null_push_event(2, 1, at(1, 500000));
    platform_event ev;
    ASSERT_EQ(platform_next_event_until(w, at(1, 0), &ev), 1);
    EXPECT_EQ(ev.code, 1);
    EXPECT_EQ(platform_next_event_until(w, at(1, 499999), &ev), 0);
    ASSERT_EQ(platform_next_event_until(w, at(1, 500000), &ev), 1);
    EXPECT_EQ(ev.code, 2);
}

TEST_F(PlatformInput, QueueButtonStampsWithTheClock) {
    platform_null_set_time(12.25);
    ASSERT_EQ(platform_queue_button(w, 0x2000, 1), 1);
    platform_event ev;
    ASSERT_EQ(platform_next_event(w, &ev), 1);
    EXPECT_EQ(ev.time.sec, 12);
    EXPECT_EQ(ev.time.usec, 250000);
}

TEST_F(PlatformInput, KeyNamesResolveExactlyLooselyAndByScanCode) {
    EXPECT_EQ(platform_code_for_name(w, "Page Up"), 0x1149);
    EXPECT_EQ(platform_code_for_name(w, "page up"), 0x1149);
    EXPECT_EQ(platform_code_for_name(w, "page_up"), 0x1149);
    EXPECT_EQ(platform_code_for_name(w, "PAGE\tUP"), 0x1149);
    EXPECT_EQ(platform_code_for_name(w, "0x1c"), 0x101C);
    EXPECT_EQ(platform_code_for_name(w, "0x1FF"), 0x11FF);
    EXPECT_EQ(platform_code_for_name(w, "0x200"), -1);
    EXPECT_EQ(platform_code_for_name(w, "0x"), -1);
    EXPECT_EQ(platform_code_for_name(w, "0x1g"), -1);
    EXPECT_EQ(platform_code_for_name(w, "Close"), 0xDEAD);
    EXPECT_EQ(platform_code_for_name(w, "mouse right"), 0x2002);
    EXPECT_EQ(platform_code_for_name(w, "Esc"), 0x1001);
    EXPECT_EQ(platform_code_for_name(w, "0"), 0x100B);
    EXPECT_EQ(platform_code_for_name(w, "q"), 0x1010);
    EXPECT_EQ(platform_code_for_name(w, " "), 0x1039);
    EXPECT_EQ(platform_code_for_name(w, "Space"), 0x1039);
    EXPECT_EQ(platform_code_for_name(w, "keypad_enter"), 0x111C);
    EXPECT_EQ(platform_code_for_name(w, "Delete"), 0x1153);
    EXPECT_EQ(platform_code_for_name(w, "Nothing Such"), -1);
    EXPECT_EQ(platform_code_for_name(w, ""), -1);
    EXPECT_EQ(platform_code_for_name(w, nullptr), -1);
}

TEST_F(PlatformInput, BuiltInTableShapeAndNamesForCodes) {
    // 97 names plus the single space that also names 0x39.
    EXPECT_EQ(platform_key_table_size(), 98);
    int scan = 0;
    EXPECT_STREQ(platform_key_table_name(0, &scan), "Esc");
    EXPECT_EQ(scan, 1);
    EXPECT_STREQ(platform_key_table_name(1, &scan), "0");
    EXPECT_EQ(scan, 0x0B);
    // Every name in the table resolves back to its own code (the space included).
    for (int i = 0; i < platform_key_table_size(); i++) {
        const char *name = platform_key_table_name(i, &scan);
        EXPECT_EQ(platform_code_for_name(w, name), 0x1000 + scan) << name;
    }
    char buf[64];
    EXPECT_STREQ(platform_name_for_code(w, 0x1149, buf, sizeof buf), "Page Up");
    EXPECT_STREQ(platform_name_for_code(w, 0x1039, buf, sizeof buf), "Space");
    EXPECT_STREQ(platform_name_for_code(w, 0x1054, buf, sizeof buf), "0x54");
    EXPECT_STREQ(platform_name_for_code(w, 0xDEAD, buf, sizeof buf), "Close");
    EXPECT_STREQ(platform_name_for_code(w, 0x2001, buf, sizeof buf), "Mouse Middle");
    char tiny[4];
    EXPECT_STREQ(platform_name_for_code(w, 0x1149, tiny, sizeof tiny), "Pag");
}

TEST_F(PlatformInput, MalformedNamesFailCleanly) {
    ASSERT_NE(platform_input_add_device(input(), "Pad", 4, 2, nullptr, nullptr, 0), nullptr);
    std::string long_name(5000, 'a');
    EXPECT_EQ(platform_code_for_name(w, long_name.c_str()), -1);
    EXPECT_EQ(platform_code_for_name(w, (long_name + ".key[1]").c_str()), -1);
    EXPECT_EQ(platform_open_axis(w, (long_name + ".axis[0]").c_str()), nullptr);
    EXPECT_EQ(platform_code_for_name(w, "Pad.key[99999999999]"), -1);
    EXPECT_EQ(platform_code_for_name(w, "Pad.key[256]"), -1);
    EXPECT_EQ(platform_code_for_name(w, "Pad.key[]"), -1);
    EXPECT_EQ(platform_code_for_name(w, "Pad button"), -1);
    EXPECT_EQ(platform_code_for_name(w, "%s%n%x"), -1);
    EXPECT_EQ(platform_code_for_name(w, "0x0000000000001c"), 0x101C);
    EXPECT_EQ(platform_code_for_name(w, "0xffffffffffffffff"), -1);
    EXPECT_EQ(platform_open_axis(w, "Pad.axis[-1]"), nullptr);
    EXPECT_EQ(platform_open_axis(w, "Pad.axis[2]"), nullptr);
    EXPECT_EQ(platform_open_axis(w, ""), nullptr);
    EXPECT_EQ(platform_open_axis(w, nullptr), nullptr);
    EXPECT_EQ(platform_read_axis(nullptr), 0);
    platform_close_axis(nullptr);
    char buf[32];
    EXPECT_STREQ(platform_name_for_code(w, 0x7fffffff, buf, sizeof buf), "0x7fffffff");
    EXPECT_STREQ(platform_name_for_code(w, -5, buf, sizeof buf), "0xfffffffb");
}

TEST_F(PlatformInput, AxisHandlesRunOutWithoutHarm) {
    ASSERT_NE(platform_input_add_device(input(), "Pad", 4, 2, nullptr, nullptr, 0), nullptr);
    std::vector<platform_axis *> open;
    for (int i = 0; i < PLATFORM_MAX_DEVICES * 4 + 10; i++) {
        platform_axis *a = platform_open_axis(w, "Pad.axis[1]");
        if (!a) break;
        open.push_back(a);
    }
    EXPECT_EQ(open.size(), (size_t)PLATFORM_MAX_DEVICES * 4);
    for (platform_axis *a : open)
        platform_close_axis(a);
    EXPECT_FALSE(platform_input_find_device(input(), "Pad")->active);
    EXPECT_NE(platform_open_axis(w, "Pad.axis[1]"), nullptr);
}

TEST_F(PlatformInput, AliasesFirstDefinitionWins) {
    EXPECT_STREQ(platform_resolve("cursor-left"), "Mouse Left");
    EXPECT_EQ(platform_code_for_name(w, "cursor-right"), 0x2002);
    EXPECT_EQ(platform_alias("gas", "Up"), 1);
    EXPECT_EQ(platform_alias("gas", "Down"), 0);
    EXPECT_EQ(platform_code_for_name(w, "gas"), 0x1148);
    EXPECT_STREQ(platform_resolve("unaliased"), "unaliased");
    std::string longname(300, 'a');
    EXPECT_EQ(platform_alias(longname.c_str(), "Up"), 0);
}

TEST(PlatformDeviceId, HashAndCollisions) {
    // "ab": even index sum 'a' = 97, odd index sum 'b' = 98 -> 98 * 256 + 97.
    EXPECT_EQ(platform_device_name_hash("ab"), (98 * 256 + 97) % 32768);
    EXPECT_EQ(platform_device_name_hash(""), 0);
    // Bytes count unsigned.
    EXPECT_EQ(platform_device_name_hash("\xff"), 255);
    // A long name: the even sum is taken modulo 65536 before the final modulo.
    std::string many(1000, '\x7f');
    EXPECT_EQ(platform_device_name_hash(many.c_str()),
              (int)((((500u * 127) % 256) * 256 + (500u * 127) % 65536) % 32768));

    platform_null_reset();
    platform_input *in = platform_window_input(nullptr);
    platform_input_reset(in);
    // The empty-hash name moves off 0.
    EXPECT_EQ(platform_input_device_id(in, ""), 1);
    platform_device *a = platform_input_add_device(in, "ab", 4, 2, nullptr, nullptr, 1);
    ASSERT_NE(a, nullptr);
    platform_device *b = platform_input_add_device(in, "ba", 4, 2, nullptr, nullptr, 1);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a->id, b->id);
    // "0b1" has the same sums as "ab" ('0' + '1' = 'a'), so it takes the next free id.
    EXPECT_EQ(platform_device_name_hash("0b1"), a->id);
    platform_device *c = platform_input_add_device(in, "0b1", 1, 0, nullptr, nullptr, 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->id, a->id + 1);
    // A duplicate name is refused.
    EXPECT_EQ(platform_input_add_device(in, "ab", 1, 0, nullptr, nullptr, 1), nullptr);
}

TEST(PlatformDeviceId, IdsWrapInsteadOfOverflowing) {
    platform_null_reset();
    platform_input *in = platform_window_input(nullptr);
    platform_input_reset(in);
    // Find a name hashing to 32767, the top id.
    char name[8] = "";
    for (int x = 1; x < 256 && !name[0]; x++)
        for (int y = 1; y < 256; y++) {
            char n[3] = {(char)x, (char)y, 0};
            if (platform_device_name_hash(n) == 32767) {
                memcpy(name, n, 3);
                break;
            }
        }
    ASSERT_TRUE(name[0]);
    platform_device *top = platform_input_add_device(in, name, 256, 0, nullptr, nullptr, 0);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->id, 32767);
    // A second device wanting 32767 wraps to 1, not 32768.
    EXPECT_EQ(platform_input_device_id(in, name), 1);
    // Button codes of the top id still fit in 31 bits.
    EXPECT_GT(top->id * 65536 + 255, 0);
}

// A scripted device for the shared device logic.
struct fake_device {
    int starts, stops, polls, releases;
    int fail_start;
};

int fake_start(platform_device *d) {
    fake_device *f = (fake_device *)d->user;
    f->starts++;
    return !f->fail_start;
}
void fake_stop(platform_device *d) {
    ((fake_device *)d->user)->stops++;
}
void fake_poll(platform_device *d) {
    ((fake_device *)d->user)->polls++;
}
void fake_release(platform_device *d) {
    ((fake_device *)d->user)->releases++;
}
const platform_device_ops fake_ops = {fake_start, fake_stop, fake_poll, fake_release};

TEST_F(PlatformInput, TwinNamesAxesAndButtons) {
    fake_device f = {};
    char n1[128], n2[128], n3[128];
    platform_input_unique_name(input(), "Game Pad v1.0", n1, sizeof n1);
    EXPECT_STREQ(n1, "GamePadv10");
    ASSERT_NE(platform_input_add_device(input(), n1, 12, 3, &fake_ops, &f, 1), nullptr);
    platform_input_unique_name(input(), "Game Pad v1.0", n2, sizeof n2);
    EXPECT_STREQ(n2, "GamePadv10#2");
    ASSERT_NE(platform_input_add_device(input(), n2, 12, 3, &fake_ops, &f, 1), nullptr);
    platform_input_unique_name(input(), "GamePad v1.0", n3, sizeof n3);
    EXPECT_STREQ(n3, "GamePadv10#3");

    int count = 0;
    const char *const *names = platform_axis_names(w, &count);
    ASSERT_EQ(count, 6);
    EXPECT_STREQ(names[0], "GamePadv10 axis 0");
    EXPECT_STREQ(names[5], "GamePadv10#2 axis 2");

    platform_device *d = platform_input_find_device(input(), "GamePadv10#2");
    ASSERT_NE(d, nullptr);
    // Button lookups in both spellings mark the device active (started once).
    int code = platform_code_for_name(w, "GamePadv10#2.key[3]");
    EXPECT_EQ(code, d->id * 65536 + 3);
    EXPECT_EQ(platform_code_for_name(w, "GamePadv10#2 button 11"), d->id * 65536 + 11);
    EXPECT_EQ(platform_code_for_name(w, "GamePadv10#2 button 12"), -1);
    EXPECT_EQ(platform_code_for_name(w, "GamePadv10#2.key[-1]"), -1);
    EXPECT_EQ(platform_code_for_name(w, "GamePadv10#2.key[3]x"), -1);
    EXPECT_EQ(f.starts, 1);
    EXPECT_TRUE(d->active);
    char buf[256];
    EXPECT_STREQ(platform_name_for_code(w, code, buf, sizeof buf), "GamePadv10#2 button 3");

    // Polling happens for active devices when the queue is empty.
    platform_event ev;
    EXPECT_EQ(platform_next_event(w, &ev), 0);
    EXPECT_EQ(f.polls, 1);

    platform_device_button(d, 3, 1, -1);
    platform_device_button(d, 3, 1, -1);     // no change, no event
    platform_device_button(d, 300, 1, -1);   // beyond the code space: state only
    platform_device_button(d, 99999, 1, -1); // out of range: ignored
    ASSERT_EQ(platform_next_event(w, &ev), 1);
    EXPECT_EQ(ev.code, code);
    EXPECT_EQ(ev.pressed, 1);
    EXPECT_EQ(platform_next_event(w, &ev), 0);
}

TEST_F(PlatformInput, AxesOpenReadAndRelativeMotion) {
    fake_device f = {};
    platform_device *d = platform_input_add_device(input(), "Mouse", 3, 2, &fake_ops, &f, 1);
    ASSERT_NE(d, nullptr);
    d->relative = 1;
    EXPECT_EQ(platform_open_axis(w, "Mouse.axis[2]"), nullptr);
    EXPECT_EQ(platform_open_axis(w, "Nobody.axis[0]"), nullptr);
    platform_axis *x = platform_open_axis(w, "mouse-x"); // alias of Mouse.axis[0]
    ASSERT_NE(x, nullptr);
    platform_axis *y = platform_open_axis(w, "Mouse axis 1");
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(f.starts, 1);
    platform_device_axis(d, 0, 5);
    platform_device_axis(d, 0, 7);
    EXPECT_EQ(platform_read_axis(x), 12);
    EXPECT_EQ(platform_read_axis(x), 0);
    platform_device_axis(d, 1, -3);
    EXPECT_EQ(platform_read_axis(y), -3);
    platform_close_axis(x);
    EXPECT_EQ(f.stops, 0);
    platform_close_axis(y);
    EXPECT_EQ(f.stops, 1);
    EXPECT_FALSE(d->active);

    // An absolute device keeps its value between reads.
    platform_device *s = platform_input_add_device(input(), "Stick", 2, 2, nullptr, nullptr, 1);
    platform_axis *sx = platform_open_axis(w, "Stick.axis[0]");
    ASSERT_NE(sx, nullptr);
    platform_device_axis(s, 0, -32767);
    EXPECT_EQ(platform_read_axis(sx), -32767);
    EXPECT_EQ(platform_read_axis(sx), -32767);
    platform_close_axis(sx);

    // A device that cannot start gives no axis.
    fake_device bad = {};
    bad.fail_start = 1;
    ASSERT_NE(platform_input_add_device(input(), "Broken", 1, 1, &fake_ops, &bad, 1), nullptr);
    EXPECT_EQ(platform_open_axis(w, "Broken.axis[0]"), nullptr);
}

TEST_F(PlatformInput, FutureStampsAreAdjusted) {
    platform_device *d = platform_input_add_device(input(), "Pad", 4, 0, nullptr, nullptr, 0);
    ASSERT_NE(d, nullptr);
    platform_null_set_time(10.0);
    // Stamped 2 s in the future: queued at the current time, adjustment 2000.
    platform_device_button(d, 0, 1, 12000);
    EXPECT_EQ(d->adjust_ms, 2000);
    platform_event ev;
    ASSERT_EQ(platform_next_event(w, &ev), 1);
    EXPECT_EQ(ev.time.sec, 10);
    EXPECT_EQ(ev.time.usec, 0);
    // Later stamps keep the adjustment.
    platform_null_set_time(11.0);
    platform_device_button(d, 0, 0, 12500);
    ASSERT_EQ(platform_next_event(w, &ev), 1);
    EXPECT_EQ(ev.time.sec, 10);
    EXPECT_EQ(ev.time.usec, 500000);
    EXPECT_EQ(d->adjust_ms, 2000);
}

TEST_F(PlatformInput, NullWindowFramesAndClock) {
    int width = 0, height = 0;
    ASSERT_EQ(platform_frame_begin(w, &width, &height), 1);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    platform_swap(w);
    platform_null_set_size(0, 0);
    EXPECT_EQ(platform_frame_begin(w, &width, &height), 0);
    platform_null_set_size(800, 600);
    ASSERT_EQ(platform_frame_begin(w, &width, &height), 1);
    EXPECT_EQ(width, 800);
    platform_swap(w);
    EXPECT_EQ(platform_gl_proc(w, "glClear"), nullptr);
    EXPECT_EQ(platform_gl_context_version(w, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(platform_window_closed(w), 0);
    platform_null_close(w);
    EXPECT_NE(platform_window_closed(w), 0);
    EXPECT_EQ(platform_frame_begin(w, &width, &height), 0);

    platform_destroy_gl_window(w);
    // Events scripted before the window opens are still there after it opens; closing with a
    // null pointer closes the one window.
    platform_null_reset();
    platform_null_push_event(0xDEAD, 1, at(0, 0));
    w = platform_create_gl_window("Zelvo", 0, 0, 32, 0, 24, 8, 0);
    ASSERT_NE(w, nullptr);
    platform_event ev;
    ASSERT_EQ(platform_next_event(w, &ev), 1);
    EXPECT_EQ(ev.code, 0xDEAD);
    platform_null_close(nullptr);
    EXPECT_NE(platform_window_closed(w), 0);

    platform_null_set_time(1.5);
    platform_wait(0, 20000);
    platform_wait(1, 0);
    EXPECT_EQ(platform_null_wait_count(), 2);
    platform_time t = platform_clock();
    EXPECT_EQ(t.sec, 2);
    EXPECT_EQ(t.usec, 520000);
    EXPECT_DOUBLE_EQ(platform_seconds(t), 2.52);
    platform_null_advance(0.5);
    EXPECT_EQ(platform_clock().sec, 3);
}

TEST(PlatformDisplay, FullScreenModeChoice) {
    const platform_display_mode modes[] = {
        {800, 600, 32}, {1280, 1024, 32}, {1024, 768, 32}, {1920, 1080, 32}, {0, 0, 0}};
    platform_display_mode desktop = {1920, 1080, 32};
    platform_display_mode m = platform_choose_fullscreen_mode(modes, 1000, 700, desktop);
    EXPECT_EQ(m.width, 1024);
    EXPECT_EQ(m.height, 768);
    m = platform_choose_fullscreen_mode(modes, 2560, 1440, desktop);
    EXPECT_EQ(m.width, 1920);
    m = platform_choose_fullscreen_mode(modes, 1920, 1081, platform_display_mode{0, 0, 0});
    EXPECT_EQ(m.width, 640);
    EXPECT_EQ(m.height, 480);
    m = platform_choose_fullscreen_mode(modes, 0, 0, desktop);
    EXPECT_EQ(m.width, 1920);
    m = platform_choose_fullscreen_mode(modes, 800, 600, desktop);
    EXPECT_EQ(m.width, 800);
}

} // namespace
