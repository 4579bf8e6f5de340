// Tests of the input layer: key translation, key repeat and the event queue.
#include "platform/input.hpp"

#include <SDL_keysym.h>
#include <gtest/gtest.h>
#include <vector>

namespace {

using Codes = std::vector<int>;

class InputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        event_queue_clear();
        key_repeat = {};
    }

    static Codes drain() {
        Codes codes;
        for (int code = event_pop(); code >= 0; code = event_pop()) {
            codes.push_back(code);
        }
        return codes;
    }

    // The codes in the queue after a poll at time now.
    static Codes tick(uint32_t now) {
        repeat_tick(now);
        return drain();
    }
};

TEST(KeyLookup, ModifierRulesAndKeysOutsideTheTable) {
    struct Case {
        int symbol, modifiers, code;
    };
    const Case cases[] = {
        {SDLK_a, 0, 97},
        {SDLK_a, KMOD_LSHIFT, 65},
        {SDLK_a, KMOD_RSHIFT, 65},
        {SDLK_a, KMOD_LCTRL, 1},
        {SDLK_a, KMOD_RCTRL | KMOD_LSHIFT, 1},
        {SDLK_a, KMOD_RALT, 609},
        {SDLK_a, KMOD_LCTRL | KMOD_LALT, 1}, // Ctrl also drops the Alt bit
        {SDLK_a, KMOD_CAPS | KMOD_NUM | KMOD_LMETA | KMOD_MODE, 97},
        {SDLK_F1, KMOD_LCTRL, 0},
        {SDLK_F1, KMOD_LALT, 896},
        {SDLK_F2, 0, KEY_F2},
        {SDLK_RETURN, KMOD_RCTRL, KEY_ENTER},
        {SDLK_ESCAPE, KMOD_LCTRL, KEY_ESCAPE},
        {SDLK_RETURN, KMOD_RALT, 525},
        {SDLK_ESCAPE, KMOD_LALT, 539},
        {SDLK_LEFT, 0, KEY_LEFT},
        {SDLK_RIGHT, 0, KEY_RIGHT},
        {SDLK_PAGEUP, KMOD_LSHIFT, 468},
        {SDLK_PAGEDOWN, KMOD_RSHIFT, 469},
        {SDLK_0, KMOD_LSHIFT, 41},
        {SDLK_2, KMOD_LSHIFT, 64},
        {SDLK_BACKQUOTE, KMOD_LSHIFT, 126},
        {SDLK_CAPSLOCK, 0, -1},
        {SDLK_F12, KMOD_LSHIFT, -1},
        {KEY_TABLE_END, 0, -1},
    };
    for (const Case& c : cases) {
        KeyLookup key = key_lookup(c.symbol, c.modifiers);
        EXPECT_EQ(key.code, c.code) << "symbol " << c.symbol << ", modifiers " << c.modifiers;
        EXPECT_EQ(key.plain < 0, c.code < 0) << "symbol " << c.symbol;
    }
    for (int symbol : {SDLK_BACKSPACE, SDLK_TAB, SDLK_DELETE, SDLK_RETURN, SDLK_SPACE, SDLK_ESCAPE,
                       SDLK_F10, SDLK_UP, SDLK_DOWN, SDLK_HOME, SDLK_END, SDLK_RSHIFT, SDLK_LALT}) {
        EXPECT_EQ(key_lookup(symbol, KMOD_LSHIFT).code, key_lookup(symbol, 0).code) << symbol;
    }
}

TEST_F(InputTest, AHeldKeyRepeatsAfterTheDelayThenOncePerIntervalAndPerPoll) {
    // The same timeline wherever the wrapping millisecond clock stands: the
    // deadlines cross 2^31 and 2^32 at the press, after the first repeat, or
    // in the late polls.
    for (uint32_t t : {0u, 0x80000000u - 100, 0x80000000u - 260, 0x80000000u - 400, 0u - 100,
                       0u - 260, 0u - 400}) {
        SetUp();
        key_press(SDLK_LEFT, 0, t);
        EXPECT_EQ(drain(), Codes{KEY_LEFT});
        EXPECT_EQ(tick(t + 1), Codes{});
        EXPECT_EQ(tick(t + 250), Codes{}) << t; // the clock must pass the deadline
        EXPECT_EQ(tick(t + 251), Codes{KEY_LEFT}) << t;
        EXPECT_EQ(tick(t + 283), Codes{}) << t;
        EXPECT_EQ(tick(t + 284), Codes{KEY_LEFT}) << t;
        // Late polls: deadlines t + 316 to t + 448 have all passed at t + 480, one repeat per poll.
        for (int poll = 0; poll < 5; ++poll) {
            EXPECT_EQ(tick(t + 480), Codes{KEY_LEFT}) << t << ", poll " << poll;
        }
        EXPECT_EQ(tick(t + 480), Codes{}) << t;
    }
}

TEST_F(InputTest, ANewPressRestartsTheRepeatAndAnyReleaseStopsIt) {
    key_press(SDLK_a, 0, 0);
    key_press(SDLK_b, 0, 100);
    mouse_event(EV_MOUSE_MOVE, 5, 6);
    EXPECT_EQ(drain(), (Codes{97, 98, EV_MOUSE_MOVE, 5, 6}));
    EXPECT_EQ(tick(300), Codes{}); // a's deadline no longer counts
    EXPECT_EQ(tick(351), Codes{98});
    key_press(SDLK_CAPSLOCK, 0, 360); // outside the table: queues nothing, changes nothing
    EXPECT_EQ(tick(384), Codes{98});
    key_release(); // b let go: a is still down, but nothing repeats
    EXPECT_EQ(tick(5000), Codes{});
}

TEST_F(InputTest, TheQueueHolds63CodesInOrderAndAMouseEventWholeOrNotAtAll) {
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
        mouse_event(EV_MOUSE_DOWN, 65535, 400);
        if (waiting == 60) {
            codes.insert(codes.end(), {EV_MOUSE_DOWN, 65535, 400});
        }
        EXPECT_EQ(drain(), codes) << waiting << " codes waiting";
    }
}

} // namespace
