// The SDL back end with no display and no sound card: offscreen video, dummy audio, virtual
// joysticks and synthesised SDL events.
#include "platform/platform_audio.h"
#include "platform/sdl/platform_sdl.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Before any SDL_Init: no display and no sound card are needed.
struct sdl_env {
    sdl_env() {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
} g_sdl_env;

} // namespace

// The GL driver that the offscreen video driver loads keeps allocations for the life of the
// process; they are not ours to free. Leak checking in sanitizer builds skips them.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libEGL_mesa\nleak:_dri.so\nleak:libLLVM\nleak:libglapi\nleak:libgallium\n"
           "leak:libdbus\n";
}

namespace {

// Keep the GL library loaded across windows so the driver stays mapped (and nameable).
void hold_gl_library() {
    static int held = 0;
    if (!held && SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0)
        held = 1;
}

std::string slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class SdlPlatform : public ::testing::Test {
  protected:
    platform_window *w = nullptr;
    std::string log_path;
    std::vector<int> virtual_sticks;

    void SetUp() override {
        log_path = std::string(ZV_BINARY_DIR) + "/platform_sdl_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        platform_log(nullptr);
        platform_log_reset();
        platform_options_reset();
        platform_alias_reset();
        setenv("QUVA_LOGFILE", log_path.c_str(), 1);
        unsetenv("QUVA_OPTIONS");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER), 0)
            << SDL_GetError();
        hold_gl_library();
    }
    void TearDown() override {
        if (platform_audio_driver()) platform_close_audio(nullptr);
        if (w) platform_destroy_gl_window(w);
        for (int i = (int)virtual_sticks.size() - 1; i >= 0; i--)
            SDL_JoystickDetachVirtual(virtual_sticks[i]);
        platform_log(nullptr);
        platform_log_reset();
        platform_options_reset();
        unsetenv("QUVA_OPTIONS");
        unsetenv("QUVA_LOGFILE");
    }
    void open_window() {
        platform_request_gl_version(3, 1, PLATFORM_GL_CORE);
        w = platform_create_gl_window("Zelvo", 320, 240, 32, 0, 24, 8, 0);
        if (!w) GTEST_SKIP() << "no window on the offscreen driver: " << platform_last_error();
    }
    int attach(const char *name, int type, int axes, int buttons) {
        SDL_VirtualJoystickDesc desc = {};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = (Uint16)type;
        desc.naxes = (Uint16)axes;
        desc.nbuttons = (Uint16)buttons;
        desc.name = name;
        int index = SDL_JoystickAttachVirtualEx(&desc);
        EXPECT_GE(index, 0) << SDL_GetError();
        virtual_sticks.push_back(index);
        return index;
    }
    // Every message is flushed as it is written, so the file can be read while it is open.
    std::string log_text() { return slurp(log_path); }
    void push(SDL_Event e) {
        // Peep keeps the time stamp we set; SDL_PushEvent would restamp it.
        ASSERT_EQ(SDL_PeepEvents(&e, 1, SDL_ADDEVENT, 0, 0), 1) << SDL_GetError();
    }
    std::vector<platform_event> drain() {
        std::vector<platform_event> out;
        platform_event ev;
        while (platform_next_event(w, &ev))
            out.push_back(ev);
        return out;
    }
};

TEST(SdlScanCodes, TranslationTable) {
    EXPECT_EQ(platform_sdl_scan_code(SDL_SCANCODE_PAGEUP), 0x149);
    EXPECT_EQ(platform_sdl_scan_code(SDL_SCANCODE_RETURN), 0x1C);
    EXPECT_EQ(platform_sdl_scan_code(SDL_SCANCODE_KP_ENTER), 0x11C);
    EXPECT_EQ(platform_sdl_scan_code(SDL_SCANCODE_ESCAPE), 0x01);
    EXPECT_EQ(platform_sdl_scan_code(SDL_SCANCODE_A), 0x1E);
    EXPECT_EQ(platform_sdl_scan_code(SDL_SCANCODE_RCTRL), 0x11D);
    EXPECT_EQ(platform_sdl_scan_code(SDL_SCANCODE_UNKNOWN), 0);
    // Every key of the built-in name table is reachable from some SDL scancode, and no two
    // SDL keys share a code except the two backslash positions.
    std::vector<int> seen(0x200, 0);
    for (int sc = 0; sc < SDL_NUM_SCANCODES; sc++) {
        int s = platform_sdl_scan_code((SDL_Scancode)sc);
        ASSERT_LT(s, 0x200);
        if (s && s != 0x2B) {
            EXPECT_EQ(seen[s], 0) << "scancode " << sc;
        }
        if (s) seen[s]++;
    }
    for (int i = 0; i < platform_key_table_size(); i++) {
        int scan = 0;
        const char *name = platform_key_table_name(i, &scan);
        EXPECT_GT(seen[scan], 0) << name;
    }
}

TEST_F(SdlPlatform, KeysCharactersMouseAndClose) {
    open_window();
    if (!w) return;
    drain();
    SDL_Event e = {};
    e.type = SDL_KEYDOWN;
    e.key.timestamp = SDL_GetTicks();
    e.key.keysym.scancode = SDL_SCANCODE_PAGEUP;
    e.key.keysym.sym = SDLK_PAGEUP;
    push(e);
    e.key.keysym.scancode = SDL_SCANCODE_RETURN;
    e.key.keysym.sym = SDLK_RETURN;
    push(e);
    e.type = SDL_KEYUP;
    push(e);
    SDL_Event t = {};
    t.type = SDL_TEXTINPUT;
    t.text.timestamp = SDL_GetTicks();
    snprintf(t.text.text, sizeof t.text.text, "a\xc3\xa9\xe2\x82\xac"); // a, e-acute, euro sign
    push(t);
    SDL_Event m = {};
    m.type = SDL_MOUSEBUTTONDOWN;
    m.button.timestamp = SDL_GetTicks();
    m.button.button = SDL_BUTTON_RIGHT;
    push(m);
    SDL_Event c = {};
    c.type = SDL_WINDOWEVENT;
    c.window.timestamp = SDL_GetTicks();
    c.window.event = SDL_WINDOWEVENT_CLOSE;
    push(c);
    std::vector<platform_event> ev = drain();
    std::vector<int> codes;
    for (const platform_event &x : ev)
        codes.push_back(x.code * 2 + x.pressed);
    std::vector<int> want = {0x1149 * 2 + 1, 0x101C * 2 + 1, 13 * 2 + 1,     0x101C * 2,
                             'a' * 2 + 1,    0xE9 * 2 + 1,   0x2002 * 2 + 1, 0xDEAD * 2 + 1};
    EXPECT_EQ(codes, want);
    // Stamps lie on the platform clock, never after now.
    platform_time now = platform_clock();
    for (const platform_event &x : ev)
        EXPECT_LE(platform_seconds(x.time), platform_seconds(now));
    EXPECT_EQ(platform_window_closed(w), 0); // a close request does not close the window
}

TEST_F(SdlPlatform, FullQueueDropsThe257th) {
    open_window();
    if (!w) return;
    drain();
    for (int i = 0; i < 300; i++) {
        SDL_Event e = {};
        e.type = i % 2 ? SDL_KEYUP : SDL_KEYDOWN;
        e.key.timestamp = SDL_GetTicks();
        e.key.keysym.scancode = SDL_SCANCODE_A;
        e.key.keysym.sym = SDLK_a;
        push(e);
    }
    std::vector<platform_event> ev = drain();
    EXPECT_EQ(ev.size(), 256u);
}

TEST_F(SdlPlatform, NamesWithLayout) {
    open_window();
    if (!w) return;
    EXPECT_EQ(platform_code_for_name(w, "Page Up"), 0x1149);
    EXPECT_EQ(platform_code_for_name(w, "page up"), 0x1149);
    EXPECT_EQ(platform_code_for_name(w, "page_up"), 0x1149);
    EXPECT_EQ(platform_code_for_name(w, "0x1c"), 0x101C);
    EXPECT_EQ(platform_code_for_name(w, "0x200"), -1);
    char buf[64];
    // The layout's own name where SDL has one, and it resolves back to the same code.
    const char *name = platform_name_for_code(w, 0x1149, buf, sizeof buf);
    ASSERT_STRNE(name, "");
    EXPECT_EQ(platform_code_for_name(w, name), 0x1149);
    EXPECT_EQ(platform_code_for_name(w, "cursor-left"), 0x2000);
    platform_axis *x = platform_open_axis(w, "cursor-x");
    ASSERT_NE(x, nullptr);
    SDL_Event m = {};
    m.type = SDL_MOUSEMOTION;
    m.motion.x = 17;
    m.motion.y = 9;
    push(m);
    drain();
    EXPECT_EQ(platform_read_axis(x), 17);
    platform_close_axis(x);
}

TEST_F(SdlPlatform, TwinJoysticksAndControllers) {
    attach("Acme Stick 2.0", SDL_JOYSTICK_TYPE_UNKNOWN, 2, 4);
    attach("Acme Stick 2.0", SDL_JOYSTICK_TYPE_UNKNOWN, 2, 4);
    attach("Virtual Pad", SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15);
    attach("Virtual Pad", SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15);
    open_window();
    if (!w) return;
    platform_input *in = platform_window_input(w);
    ASSERT_NE(platform_input_find_device(in, "AcmeStick20"), nullptr);
    platform_device *twin = platform_input_find_device(in, "AcmeStick20#2");
    ASSERT_NE(twin, nullptr);
    platform_device *pad0 = platform_input_find_device(in, "XInputGamepad0");
    platform_device *pad1 = platform_input_find_device(in, "XInputGamepad1");
    ASSERT_NE(pad0, nullptr);
    ASSERT_NE(pad1, nullptr);
    EXPECT_EQ(pad0->buttons, 16);
    EXPECT_EQ(pad0->axes, 6);
    EXPECT_NE(twin->id, platform_input_find_device(in, "AcmeStick20")->id);

    int count = 0;
    const char *const *names = platform_axis_names(w, &count);
    std::vector<std::string> axes(names, names + count);
    EXPECT_NE(std::find(axes.begin(), axes.end(), "AcmeStick20#2 axis 1"), axes.end());
    EXPECT_NE(std::find(axes.begin(), axes.end(), "XInputGamepad1 axis 5"), axes.end());

    // The joystick-b aliases reach a device named Joystick2 only; ours are named otherwise.
    EXPECT_EQ(platform_open_axis(w, "joystick-b-x"), nullptr);

    // Buttons of the twin after a lookup has started it; SDL joystick events carry them.
    int code = platform_code_for_name(w, "AcmeStick20#2.key[1]");
    ASSERT_EQ(code, twin->id * 65536 + 1);
    drain();
    SDL_Joystick *j =
        SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(virtual_sticks[1]));
    ASSERT_NE(j, nullptr);
    ASSERT_EQ(SDL_JoystickSetVirtualButton(j, 1, SDL_PRESSED), 0);
    ASSERT_EQ(SDL_JoystickSetVirtualAxis(j, 0, -32768), 0);
    SDL_JoystickUpdate();
    std::vector<platform_event> ev = drain();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].code, code);
    EXPECT_EQ(ev[0].pressed, 1);
    platform_axis *ax = platform_open_axis(w, "AcmeStick20#2.axis[0]");
    ASSERT_NE(ax, nullptr);
    EXPECT_EQ(platform_read_axis(ax), -32767); // clamped to the symmetric range
    platform_close_axis(ax);

    // A game controller is polled: pressing A (bit 12) queues a change when it is polled.
    SDL_Joystick *pj =
        SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(virtual_sticks[2]));
    ASSERT_NE(pj, nullptr);
    platform_axis *trigger = platform_open_axis(w, "XInputGamepad0 axis 5");
    ASSERT_NE(trigger, nullptr);
    ASSERT_EQ(SDL_JoystickSetVirtualButton(pj, SDL_CONTROLLER_BUTTON_A, SDL_PRESSED), 0);
    ASSERT_EQ(SDL_JoystickSetVirtualAxis(pj, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767), 0);
    ASSERT_EQ(SDL_JoystickSetVirtualAxis(pj, SDL_CONTROLLER_AXIS_LEFTY, -32768), 0);
    SDL_JoystickUpdate();
    EXPECT_EQ(platform_read_axis(trigger), 32767);
    ev = drain();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].code, pad0->id * 65536 + 12);
    platform_axis *ly = platform_open_axis(w, "XInputGamepad0.axis[1]");
    ASSERT_NE(ly, nullptr);
    EXPECT_EQ(platform_read_axis(ly), 32767); // up is positive
    platform_close_axis(ly);
    platform_close_axis(trigger);

    std::string log = log_text();
    EXPECT_NE(log.find("DirectInput roll call...\n"), std::string::npos);
    EXPECT_NE(log.find("Ignoring XInput device\n"), std::string::npos);
    EXPECT_NE(log.find("XInputGamepad1 found\n"), std::string::npos);
    EXPECT_NE(log.find("2 axes, 4 keys\n"), std::string::npos);
    EXPECT_LT(log.find("End of DirectInput roll call"), log.find("XInput roll call..."));
}

TEST_F(SdlPlatform, ControllersWithoutTheFirstFamilyAreJoysticks) {
    setenv("QUVA_OPTIONS", "[xinput:off]", 1);
    attach("Virtual Pad", SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15);
    attach("Virtual Pad", SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15);
    open_window();
    if (!w) return;
    platform_input *in = platform_window_input(w);
    EXPECT_NE(platform_input_find_device(in, "VirtualPad"), nullptr);
    EXPECT_NE(platform_input_find_device(in, "VirtualPad#2"), nullptr);
    EXPECT_EQ(platform_input_find_device(in, "XInputGamepad0"), nullptr);
    EXPECT_NE(log_text().find("XInput disabled\n"), std::string::npos);
}

TEST_F(SdlPlatform, RelativeMouseAxes) {
    setenv("QUVA_OPTIONS", "[dinputsticksonly:off]", 1);
    open_window();
    if (!w) return;
    platform_axis *x = platform_open_axis(w, "mouse-x");
    ASSERT_NE(x, nullptr);
    drain();
    SDL_Event m = {};
    m.type = SDL_MOUSEMOTION;
    m.motion.xrel = 5;
    push(m);
    m.motion.xrel = -2;
    push(m);
    drain();
    EXPECT_EQ(platform_read_axis(x), 3);
    EXPECT_EQ(platform_read_axis(x), 0);
    platform_close_axis(x);

    // The mouse's own buttons: left, right, middle, as the short names say.
    int right = platform_code_for_name(w, "mouse-right");
    int middle = platform_code_for_name(w, "mouse-middle");
    platform_device *mouse = platform_input_find_device(platform_window_input(w), "Mouse");
    ASSERT_NE(mouse, nullptr);
    EXPECT_EQ(right, mouse->id * 65536 + 1);
    EXPECT_EQ(middle, mouse->id * 65536 + 2);
    SDL_Event b = {};
    b.type = SDL_MOUSEBUTTONDOWN;
    b.button.timestamp = SDL_GetTicks();
    b.button.button = SDL_BUTTON_RIGHT;
    push(b);
    std::vector<platform_event> ev = drain();
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0].code, PLATFORM_MOUSE_RIGHT);
    EXPECT_EQ(ev[1].code, right);
}

TEST_F(SdlPlatform, FutureStampIsAdjusted) {
    attach("Stamp Stick", SDL_JOYSTICK_TYPE_UNKNOWN, 1, 2);
    open_window();
    if (!w) return;
    platform_input *in = platform_window_input(w);
    platform_device *d = platform_input_find_device(in, "StampStick");
    ASSERT_NE(d, nullptr);
    ASSERT_GE(platform_code_for_name(w, "StampStick button 0"), 0);
    drain();
    SDL_Event e = {};
    e.type = SDL_JOYBUTTONDOWN;
    e.jbutton.which = SDL_JoystickGetDeviceInstanceID(virtual_sticks[0]);
    e.jbutton.button = 0;
    e.jbutton.state = SDL_PRESSED;
    e.jbutton.timestamp = SDL_GetTicks() + 2000;
    push(e);
    std::vector<platform_event> ev = drain();
    platform_time after = platform_clock();
    ASSERT_EQ(ev.size(), 1u);
    // Queued at the current time: within a few milliseconds of now, not 2 s ahead.
    EXPECT_LE(platform_seconds(ev[0].time), platform_seconds(after));
    EXPECT_GT(platform_seconds(ev[0].time), platform_seconds(after) - 0.5);
    // SDL stamps are whole milliseconds from a different start: allow that rounding.
    EXPECT_GE(d->adjust_ms, 1900); // less whatever time passed before the pump ran
    EXPECT_LE(d->adjust_ms, 2002);
    platform_destroy_gl_window(w);
    w = nullptr;
    EXPECT_NE(log_text().find("Timestamp adjustment was "), std::string::npos);
}

TEST_F(SdlPlatform, WaveOutputOpensOnceAndMixesAhead) {
    setenv("QUVA_OPTIONS", "[sound-rate:0][sound-mixahead:10]", 1);
    platform_audio *a = platform_open_audio(nullptr);
    ASSERT_NE(a, nullptr) << platform_last_error();
    EXPECT_EQ(a->rate, 22050); // the absurd rate fell back to the default
    EXPECT_EQ(a->fragment_samples, 344);
    EXPECT_EQ(platform_sdl_audio_mixahead(), 1);
    const platform_audio_ops *ops = platform_audio_driver();
    ASSERT_NE(ops, nullptr);
    EXPECT_EQ(ops->read_block(a), nullptr); // playback has no blocks to read
    EXPECT_EQ(platform_audio_block_bytes(a), 0);
    EXPECT_EQ(platform_open_audio(nullptr), nullptr);
    EXPECT_EQ(platform_open_readback(nullptr, 88320, 690), nullptr);
    // The thread keeps producing fragments at the device's pace.
    Uint32 start = SDL_GetTicks();
    while (platform_sdl_audio_fragments() < 4 && SDL_GetTicks() - start < 3000)
        SDL_Delay(5);
    EXPECT_GE(platform_sdl_audio_fragments(), 4);
    // Paced by the device: about one fragment per 1/64 s, not as fast as the thread can run.
    long long before = platform_sdl_audio_fragments();
    SDL_Delay(500);
    long long made = platform_sdl_audio_fragments() - before;
    EXPECT_GE(made, 3);
    EXPECT_LE(made, 64);
    platform_close_audio(a);
    EXPECT_EQ(platform_audio_driver(), nullptr);
    std::string log = log_text();
    EXPECT_NE(log.find("Opening waveOut audio...\n"), std::string::npos);
    EXPECT_NE(log.find("unrecognized setting for sound-rate\n"), std::string::npos);
    EXPECT_NE(log.find("Waveout rate: 22050\n"), std::string::npos);
    EXPECT_NE(log.find("Waveout mixahead: 15\n"), std::string::npos);
    EXPECT_NE(log.find("Audio already open\n"), std::string::npos);
    EXPECT_NE(log.find("Audio thread begin\n"), std::string::npos);
    EXPECT_NE(log.find("Audio thread end\n"), std::string::npos);
}

TEST_F(SdlPlatform, WaveOutputRefusedWhenDisallowed) {
    setenv("QUVA_OPTIONS", "[waveout:off]", 1);
    EXPECT_EQ(platform_open_audio(nullptr), nullptr);
    EXPECT_EQ(platform_audio_driver(), nullptr);
}

TEST_F(SdlPlatform, ReadbackGivesATicOfBytes) {
    platform_audio *a = platform_open_readback(nullptr, 88320, 690);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(platform_audio_block_bytes(a), 1380);
    const platform_audio_ops *ops = platform_audio_driver();
    for (int tic = 0; tic < 3; tic++)
        ASSERT_NE(ops->read_block(a), nullptr);
    EXPECT_EQ(platform_open_audio(nullptr), nullptr);
    platform_close_audio(a);
}

TEST_F(SdlPlatform, TerminationSignalBecomesACloseEvent) {
    open_window();
    if (!w) return;
    drain();
    // SDL turns SIGTERM into a quit request; the game sees the same close event as the button.
    raise(SIGTERM);
    std::vector<platform_event> ev = drain();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].code, PLATFORM_CLOSE);
    EXPECT_EQ(platform_window_closed(w), 0);
}

TEST_F(SdlPlatform, ResizeUpdatesSizeAndLogs) {
    open_window();
    if (!w) return;
    SDL_SetWindowSize(w->window, 200, 100);
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    e.window.data1 = 200;
    e.window.data2 = 100;
    push(e);
    drain();
    int width = 0, height = 0;
    ASSERT_EQ(platform_frame_begin(w, &width, &height), 1);
    // Reading input while drawing pumps window messages under the held window lock.
    SDL_SetWindowSize(w->window, 210, 110);
    push(e);
    drain();
    platform_swap(w);
    ASSERT_EQ(platform_frame_begin(w, &width, &height), 1);
    EXPECT_EQ(width, 210);
    platform_swap(w);
    SDL_SetWindowSize(w->window, 200, 100);
    push(e);
    drain();
    ASSERT_EQ(platform_frame_begin(w, &width, &height), 1);
    EXPECT_EQ(width, 200);
    EXPECT_EQ(height, 100);
    platform_swap(w);
    EXPECT_NE(log_text().find("] WM_SIZE message 200x100\n"), std::string::npos);
    // Hidden (the offscreen driver cannot minimise): frame begin fails at once and the lock
    // is not held, so a later begin after showing works.
    SDL_HideWindow(w->window);
    ASSERT_TRUE(SDL_GetWindowFlags(w->window) & SDL_WINDOW_HIDDEN);
    EXPECT_EQ(platform_frame_begin(w, &width, &height), 0);
    SDL_ShowWindow(w->window);
    ASSERT_EQ(platform_frame_begin(w, &width, &height), 1);
    platform_swap(w);
    platform_destroy_gl_window(w);
    w = nullptr;
    EXPECT_EQ(platform_frame_begin(nullptr, &width, &height), 0);
}

TEST_F(SdlPlatform, MessageBoxWithoutDisplayGoesToStandardError) {
    open_window();
    if (!w) return;
    ::testing::internal::CaptureStderr();
    platform_message_box("Error", "Out of %s memory", "virtual");
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Error: Out of virtual memory\n");
    EXPECT_NE(log_text().find("] Error: Out of virtual memory\n"), std::string::npos);
}

TEST_F(SdlPlatform, ClockAndWait) {
    platform_time a = platform_clock();
    platform_wait(0, 20000);
    platform_time b = platform_clock();
    double d = platform_seconds(b) - platform_seconds(a);
    EXPECT_GE(d, 0.020);
    EXPECT_LT(d, 0.5);
    EXPECT_GE(a.usec, 0);
    EXPECT_LT(a.usec, 1000000);
}

} // namespace
