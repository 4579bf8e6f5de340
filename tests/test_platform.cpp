// Tests of the platform layer: the display's shading tables, its fatal paths
// and missing displays; key translation, key repeat, the queue and SDL's events.
#include "frame/services.hpp"
#include "image/pcx.hpp"
#include "platform/display.hpp"
#include "platform/input.hpp"
#include "render/draw.hpp"
#include "support.hpp"

#include <SDL.h>
#include <csignal>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <tuple>

// SDL's SDL_SetVideoMode, unless a test has it refuse the mode, as SDL does
// when the display cannot give it; the game's own calls come here.
bool refuse_video_mode = false;
SDL_Surface* SDL_SetVideoMode(int width, int height, int bpp, Uint32 flags) {
    using SetVideoMode = SDL_Surface* (*)(int, int, int, Uint32);
    if (refuse_video_mode) {
        SDL_SetError("no such mode");
        return nullptr;
    }
    static auto real = reinterpret_cast<SetVideoMode>(dlsym(RTLD_NEXT, "SDL_SetVideoMode"));
    return real(width, height, bpp, flags);
}

namespace {

using Codes = std::vector<int>;
IndexedImage any_image;

TEST(Display, ShadesDimEveryColourAndBrightenOnlyColoursAbove128) {
    struct Case {
        Colour colour, dim, bright; // the first three are brightened, the others kept
    } cases[] = {{{255, 255, 255}, {191, 191, 191}, {255, 255, 255}},
                 {{129, 129, 129}, {96, 96, 96}, {192, 192, 192}},
                 {{130, 201, 254}, {97, 150, 190}, {192, 228, 254}},
                 {{128, 255, 255}, {96, 191, 191}, {128, 255, 255}},
                 {{255, 128, 200}, {191, 96, 150}, {255, 128, 200}},
                 {{200, 255, 128}, {150, 191, 96}, {200, 255, 128}}};
    for (const Case& c : cases) {
        Shades s = shade_colour(c.colour);
        auto rgb = [](Colour k) { return std::tuple(k.red, k.green, k.blue); };
        EXPECT_EQ(rgb(s.dim), rgb(c.dim));
        EXPECT_EQ(rgb(s.bright), rgb(c.bright));
        EXPECT_EQ(s.brightened, &c < cases + 3);
    }
}

TEST(Display, TablesHoldTheShadesOfWhatSdlSaysEachPixelIs) {
    open_test_display();
    ASSERT_EQ(display.screen->format->BitsPerPixel, 16);
    ASSERT_EQ(display.pixels, display.screen->pixels);
    ASSERT_EQ(display.pitch, display.screen->pitch);
    for (int p = 0; p < 65536; ++p) {
        Colour c{};
        SDL_GetRGB(static_cast<Uint32>(p), display.screen->format, &c.red, &c.green, &c.blue);
        Shades s = shade_colour(c);
        ASSERT_EQ(dim_table[p], test_pixel(s.dim.red, s.dim.green, s.dim.blue)) << p;
        ASSERT_EQ(brighten_table[p],
                  s.brightened ? test_pixel(s.bright.red, s.bright.green, s.bright.blue) : p);
    }
    EXPECT_EQ(map_rgb(256 + 200, -256 + 10, 512 + 30), test_pixel(200, 10, 30));
}

// Each runs in a fresh process, before SDL is initialised there.
TEST(DisplayDeathTest, OpeningEmptiesTheQueueOrEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    EXPECT_EXIT((event_push(13), display_open(640, 400), std::exit(event_pop() + 1)),
                ::testing::ExitedWithCode(0), "");
    // SDL would turn these signals into quit events, which the game does not act on.
    for (int signal : {SIGINT, SIGTERM}) {
        EXPECT_EXIT((display_open(640, 400), std::raise(signal), std::exit(0)),
                    ::testing::KilledBySignal(signal), "");
    }
    EXPECT_EXIT((refuse_video_mode = true, display_open(640, 400)), ::testing::ExitedWithCode(5),
                "^Couldn't set display mode: no such mode\n$");
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    EXPECT_EXIT(display_open(640, 400), ::testing::ExitedWithCode(1),
                "^Couldn't initialize SDL: .+\n$");
    // With nowhere to show a window, SDL settles on a driver that draws into memory or text.
    unsetenv("SDL_VIDEODRIVER"), unsetenv("DISPLAY"), unsetenv("WAYLAND_DISPLAY");
    EXPECT_EXIT((std::freopen("/dev/null", "w", stdout), display_open(640, 400)),
                ::testing::ExitedWithCode(1),
                "Couldn't initialize SDL: no display \\(neither DISPLAY nor WAYLAND_DISPLAY is "
                "set\\)\n$");
    setenv("SDL_VIDEODRIVER", "dummy", 1);
}

TEST(Display, HiddenDriversCountAsNoDisplayOnlyWhenNobodyAskedForThem) {
    const char* none = "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    const std::tuple<const char*, const char*, const char*, const char*, std::string> cases[] = {
        // driver, SDL_VIDEODRIVER, DISPLAY, WAYLAND_DISPLAY, the reason
        {"offscreen", "", "", "", none},
        {"caca", "x11,cacafoo", nullptr, nullptr, none},
        {"offscreen", "x11,Offscreen", ":77", nullptr, ""},
        {"OFFSCREEN", nullptr, "", "wl-1", "the display WAYLAND_DISPLAY=wl-1 cannot be opened"},
        {"dummy", nullptr, ":7", "wl-1",
         "the displays DISPLAY=:7 and WAYLAND_DISPLAY=wl-1 cannot be opened"}};
    for (const auto& [driver, requested, x11, wayland, reason] : cases) {
        EXPECT_EQ(display_missing_reason(driver, requested, x11, wayland), reason);
    }
}

// Each allocation that fails ends the game with its own code on standard output (buffered:
// exit must flush it). Memory runs out when the heap cannot grow and its free blocks are taken;
// the sanitizers' allocator keeps small blocks apart, so there only a large one can fail.
TEST(FatalNoMemory, EachAllocationSiteEndsTheGameWithItsCode) {
#if defined(__SANITIZE_ADDRESS__)
    const bool small_ones_fail = false;
#else
    const bool small_ones_fail = true;
#endif
    display.width = 640, display.height = 400; // what the buffers are sized for
    // The code, the allocation, and whether it is large.
    const std::tuple<int, void (*)(), bool> sites[] = {
        {25, [] { save_screen(6); }, true},
        {1, [] { pcx_load("any.pcx", &any_image); }, false},
        {5, [] { display_open(640, 400); }, false},
        {20, [] { mask_alloc(); }, false},
    };
    for (auto [code, allocate, large] : sites) {
        if (large || small_ones_fail) {
            ChildResult child = run_in_child([&] {
                static char output[64];
                std::setvbuf(stdout, output, _IOFBF, sizeof output);
                std::atexit([] { // the leak checker, which runs after this, needs memory
                    rlimit none{RLIM_INFINITY, RLIM_INFINITY};
                    setrlimit(RLIMIT_DATA, &none);
                });
                limit_data(0);
                for (size_t size = 1 << 20; size > 4 && small_ones_fail; size /= 2) {
                    while (void* block = std::malloc(size)) { // kept: the child ends soon
                        *static_cast<volatile char*>(block) = 1;
                    }
                }
                allocate();
            });
            EXPECT_EQ(child.exit_status, 1) << code;
            EXPECT_EQ(child.out, "No memory: " + std::to_string(code) + "\n");
        }
    }
}

Codes drain() {
    Codes codes;
    for (int code = event_pop(); code >= 0; code = event_pop()) {
        codes.push_back(code);
    }
    return codes;
}

Codes tick(uint32_t now) { // the codes in the queue after a poll at time now
    repeat_tick(now);
    return drain();
}

class Input : public testing::Test {
  protected:
    void SetUp() override { event_queue_clear(), key_repeat = {}; }
};

TEST(KeyLookup, TheKeysAndTheirModifierRules) {
    // FNV-1a of the plain and the shifted code of every symbol from 0 to 511 (-1 where there is
    // no key), worked out once from the key listing of the game's design, not from the table.
    Codes codes;
    for (int symbol = 0; symbol < 512; ++symbol) {
        codes.insert(codes.end(),
                     {key_lookup(symbol, 0).code, key_lookup(symbol, KMOD_RSHIFT).code});
    }
    EXPECT_EQ(fnv1a(codes), 0x95A897E2u);
    // Symbol, modifiers, code: Ctrl keeps only the low five bits, other modifiers count not.
    // clang-format off
    const int cases[][3] = {
        {SDLK_a, KMOD_LSHIFT, 65}, {SDLK_a, KMOD_RALT, 609}, {SDLK_F1, KMOD_LALT, 896},
        {SDLK_RETURN, KMOD_RALT, 525}, {SDLK_a, KMOD_RCTRL | KMOD_LSHIFT, 1},
        {SDLK_a, KMOD_LCTRL | KMOD_LALT, 1}, {SDLK_F1, KMOD_LCTRL, 0},
        {SDLK_ESCAPE, KMOD_RCTRL, 27}, {KEY_TABLE_END, 0, -1},
        {SDLK_a, KMOD_CAPS | KMOD_NUM | KMOD_LMETA | KMOD_MODE, 97}};
    // clang-format on
    for (auto [symbol, modifiers, code] : cases) {
        KeyLookup key = key_lookup(symbol, modifiers);
        EXPECT_EQ(key.code, code) << "symbol " << symbol << ", modifiers " << modifiers;
        EXPECT_EQ(key.plain, code < 0 ? -1 : key_lookup(symbol, 0).code) << symbol;
    }
}

TEST_F(Input, AHeldKeyRepeatsAfterTheDelayThenOncePerIntervalAndPerPoll) {
    // The same timeline wherever the wrapping millisecond clock stands: the deadlines cross 2^31
    // and 2^32 at the press, after the first repeat, or in the late polls.
    for (uint32_t t : {0u, 0x80000000u - 100, 0x80000000u - 260, 0x80000000u - 400, 0u - 100,
                       0u - 260, 0u - 400}) {
        SetUp();
        key_press(SDLK_LEFT, 0, t);
        EXPECT_EQ(drain(), Codes{400});
        EXPECT_EQ(tick(t + 250), Codes{}) << t; // the clock must pass the deadline
        EXPECT_EQ(tick(t + 251), Codes{400}) << t;
        EXPECT_EQ(tick(t + 283), Codes{}) << t;
        EXPECT_EQ(tick(t + 284), Codes{400}) << t;
        // Late polls: deadlines t + 316 to t + 448 have all passed at t + 480, one repeat per poll.
        for (int poll = 0; poll < 5; ++poll) {
            EXPECT_EQ(tick(t + 480), Codes{400}) << t << ", poll " << poll;
        }
        EXPECT_EQ(tick(t + 480), Codes{}) << t;
        // Another key pressed while Left is held takes over, and its release ends all repeating.
        key_press(SDLK_b, 0, t + 490);
        EXPECT_EQ(tick(t + 700), Codes{98}) << t; // Left's deadline no longer counts
        EXPECT_EQ(tick(t + 741), Codes{98}) << t;
        key_press(SDLK_CAPSLOCK, 0, t + 750); // outside the table: queues nothing, changes nothing
        EXPECT_EQ(tick(t + 774), Codes{98}) << t;
        key_release();
        EXPECT_EQ(tick(t + 5000), Codes{}) << t;
    }
}

TEST_F(Input, TheQueueHolds63CodesInOrderAndAMouseEventWholeOrNotAtAll) {
    key_press(SDLK_a, 0, 0);
    Codes expected{97};
    for (int i = 1; i < 63; ++i) {
        EXPECT_TRUE(event_push(i));
        expected.push_back(i);
    }
    EXPECT_FALSE(event_push(999));
    key_press(SDLK_b, 0, 10);         // dropped, but the repeat re-sends a
    mouse_event(EV_MOUSE_DOWN, 1, 2); // no room at all
    EXPECT_EQ(drain(), expected);
    EXPECT_EQ(tick(261), Codes{97});
    // The ring has wrapped: 61 codes leave two free slots, 60 leave three.
    for (int waiting : {61, 60}) {
        Codes codes(waiting, 7);
        for (int code : codes) {
            event_push(code);
        }
        mouse_event(EV_MOUSE_MOVE, 65535, 400);
        if (waiting == 60) {
            codes.insert(codes.end(), {EV_MOUSE_MOVE, 65535, 400});
        }
        EXPECT_EQ(drain(), codes) << waiting << " codes waiting";
    }
}

TEST_F(Input, PollTurnsSdlEventsIntoCodesAndRepeatsTheLastKeyUntilARelease) {
    open_test_display();
    input_poll(); // whatever SDL reported on its own at start-up
    SetUp();
    auto push = [](Uint8 type, int a, int b = 0) { // a key and its modifiers, or x and y
        SDL_Event event{};
        event.type = type;
        if (type == SDL_KEYDOWN || type == SDL_KEYUP) {
            event.key.keysym = {0, static_cast<SDLKey>(a), static_cast<SDLMod>(b), 0};
        } else {
            event.button.button = SDL_BUTTON_RIGHT;
            (type == SDL_MOUSEMOTION ? event.motion.x : event.button.x) = static_cast<Uint16>(a);
            (type == SDL_MOUSEMOTION ? event.motion.y : event.button.y) = static_cast<Uint16>(b);
        }
        ASSERT_EQ(SDL_PushEvent(&event), 0);
    };
    push(SDL_KEYDOWN, SDLK_5, KMOD_LSHIFT);
    push(SDL_MOUSEMOTION, 3, 4);
    push(SDL_MOUSEBUTTONDOWN, 639, 399);
    push(SDL_MOUSEBUTTONUP, 7, 8);
    push(SDL_KEYDOWN, SDLK_F12); // no key of the game's
    push(SDL_KEYDOWN, SDLK_LEFT);
    input_poll();
    EXPECT_EQ(drain(), (Codes{'%', 1030, 3, 4, 1024, 639, 399, 1027, 7, 8, 400}));
    key_repeat.deadline = SDL_GetTicks() - 1000; // well past: the poll adds one repeat
    input_poll();
    EXPECT_EQ(drain(), Codes{400});
    push(SDL_KEYUP, SDLK_CAPSLOCK); // any release stops it, and queues nothing
    key_repeat.deadline = SDL_GetTicks() - 1000;
    input_poll();
    EXPECT_EQ(drain(), Codes{});
}

} // namespace
