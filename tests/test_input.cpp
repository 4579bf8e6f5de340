// Tests of the input layer: key translation, key repeat and the event queue.
#include "platform/input.hpp"

#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int SYM_A = 97;
constexpr int SYM_B = 98;
constexpr int SYM_F1 = 282;
constexpr int SYM_LEFT = 276;
constexpr int SYM_RETURN = 13;
constexpr int SYM_ESCAPE = 27;
constexpr int SYM_PAGEUP = 280;
constexpr int SYM_CAPSLOCK = 301;
constexpr int SYM_F12 = 293;
constexpr int LSHIFT = 0x0001;
constexpr int RSHIFT = 0x0002;
constexpr int LCTRL = 0x0040;
constexpr int RALT = 0x0200;
constexpr int CAPS = 0x2000;
constexpr int NUM = 0x1000;

class InputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        event_queue = {};
        key_repeat = {};
    }

    static std::vector<int> drain() {
        std::vector<int> codes;
        for (int code = event_pop(); code >= 0; code = event_pop()) {
            codes.push_back(code);
        }
        return codes;
    }
};

int code_of(int symbol, int modifiers) {
    return key_lookup(symbol, modifiers).code;
}

TEST(KeyTable, HasItsRowsAndEndsWithTheTerminator) {
    EXPECT_EQ(key_table[KEY_TABLE_ROWS].symbol, KEY_TABLE_END);
    for (int i = 0; i < KEY_TABLE_ROWS; ++i) {
        EXPECT_NE(key_table[i].symbol, KEY_TABLE_END) << "row " << i;
        EXPECT_LT(key_table[i].plain | key_table[i].shifted, 512) << "row " << i;
        for (int j = 0; j < i; ++j) {
            EXPECT_NE(key_table[i].symbol, key_table[j].symbol) << "rows " << j << " and " << i;
        }
    }
}

TEST(KeyLookup, ModifierRules) {
    EXPECT_EQ(code_of(SYM_A, 0), 97);
    EXPECT_EQ(code_of(SYM_A, LSHIFT), 65);
    EXPECT_EQ(code_of(SYM_A, RSHIFT), 65);
    EXPECT_EQ(code_of(SYM_A, LCTRL), 1);
    EXPECT_EQ(code_of(SYM_A, LCTRL | LSHIFT), 1);
    EXPECT_EQ(code_of(SYM_A, RALT), 609);
    EXPECT_EQ(code_of(SYM_A, LCTRL | RALT), 1);
    EXPECT_EQ(code_of(SYM_F1, LCTRL), 0);
    EXPECT_EQ(code_of(SYM_F1, RALT), 896);
    EXPECT_EQ(code_of(SYM_RETURN, LCTRL), KEY_ENTER);
    EXPECT_EQ(code_of(SYM_ESCAPE, LCTRL), KEY_ESCAPE);
    EXPECT_EQ(code_of(SYM_RETURN, RALT), 525);
    EXPECT_EQ(code_of(SYM_ESCAPE, RALT), 539);
    EXPECT_EQ(code_of(SYM_PAGEUP, LSHIFT), 468);
    EXPECT_EQ(code_of(281, RSHIFT), 469);
    EXPECT_EQ(code_of(50, LSHIFT), 64);  // 2 gives @
    EXPECT_EQ(code_of(48, LSHIFT), 41);  // 0 gives )
    EXPECT_EQ(code_of(96, LSHIFT), 126); // back quote gives ~
}

TEST(KeyLookup, ShiftLeavesControlKeysAlone) {
    for (int symbol : {8, 9, 127, 13, 32, 27, 282, 291, 276, 275, 273, 274, 278, 279, 303, 308}) {
        EXPECT_EQ(code_of(symbol, LSHIFT), code_of(symbol, 0)) << "symbol " << symbol;
    }
    EXPECT_EQ(code_of(SYM_LEFT, 0), KEY_LEFT);
    EXPECT_EQ(code_of(275, 0), KEY_RIGHT);
    EXPECT_EQ(code_of(283, 0), KEY_F2);
}

TEST(KeyLookup, OtherModifiersAndUnknownKeys) {
    EXPECT_EQ(code_of(SYM_A, CAPS), 97);
    EXPECT_EQ(code_of(SYM_A, NUM | 0x0400 | 0x4000), 97);
    EXPECT_EQ(key_lookup(SYM_CAPSLOCK, 0).plain, -1);
    EXPECT_EQ(key_lookup(SYM_F12, LSHIFT).code, -1);
    EXPECT_EQ(key_lookup(KEY_TABLE_END, 0).code, -1);
    EXPECT_EQ(key_lookup(-1, 0).code, -1);
}

TEST_F(InputTest, HeldKeyRepeatsAfterTheDelayThenEveryInterval) {
    key_press(SYM_LEFT, 0, 1000);
    EXPECT_EQ(drain(), std::vector<int>{KEY_LEFT});
    repeat_tick(1250); // not yet: the clock must pass the deadline
    EXPECT_TRUE(drain().empty());
    repeat_tick(1251);
    EXPECT_EQ(drain(), std::vector<int>{KEY_LEFT});
    repeat_tick(1283);
    EXPECT_TRUE(drain().empty());
    repeat_tick(1284);
    EXPECT_EQ(drain(), std::vector<int>{KEY_LEFT});
}

TEST_F(InputTest, LatePollsCatchUpOneRepeatPerPoll) {
    key_press(SYM_LEFT, 0, 0);
    drain();
    // Deadlines 250, 283, 316, 349 and 382 have all passed at 400: five
    // repeats are owed, one per poll.
    for (int i = 0; i < 5; ++i) {
        repeat_tick(400);
        EXPECT_EQ(drain().size(), 1u) << "poll " << i;
    }
    repeat_tick(400);
    EXPECT_TRUE(drain().empty());
    EXPECT_EQ(key_repeat.deadline, 250 + 5 * 33);
}

TEST_F(InputTest, ReleaseStopsRepeatEvenWhileAnotherKeyIsHeld) {
    key_press(SYM_A, 0, 0);
    key_press(SYM_B, 0, 100);
    EXPECT_EQ(drain(), (std::vector<int>{97, 98}));
    repeat_tick(300); // the second press restarted the delay
    EXPECT_TRUE(drain().empty());
    repeat_tick(351);
    EXPECT_EQ(drain(), std::vector<int>{98});
    key_release(); // B let go; A is still down but nothing repeats
    repeat_tick(1000);
    EXPECT_TRUE(drain().empty());
}

TEST_F(InputTest, UnknownKeyQueuesNothingAndItsReleaseStopsRepeat) {
    key_press(SYM_LEFT, 0, 0);
    key_press(SYM_CAPSLOCK, 0, 10);
    EXPECT_EQ(drain(), std::vector<int>{KEY_LEFT});
    key_release();
    repeat_tick(5000);
    EXPECT_TRUE(drain().empty());
}

TEST_F(InputTest, MouseEventsDoNotChangeTheRepeat) {
    key_press(SYM_A, LSHIFT, 0);
    mouse_event(EV_MOUSE_MOVE, 5, 6);
    repeat_tick(251);
    EXPECT_EQ(drain(), (std::vector<int>{65, EV_MOUSE_MOVE, 5, 6, 65}));
}

TEST_F(InputTest, RepeatSendsThePreviousCodeWhenAPressFoundTheQueueFull) {
    key_press(SYM_A, 0, 0);
    for (int i = 0; i < 62; ++i) {
        event_push(7);
    }
    key_press(SYM_B, 0, 10); // dropped, but arms the repeat
    drain();
    repeat_tick(261);
    EXPECT_EQ(drain(), std::vector<int>{97});
}

TEST_F(InputTest, QueueHoldsSixtyThreeCodesInOrderThenDrops) {
    for (int i = 0; i < 63; ++i) {
        EXPECT_TRUE(event_push(i));
    }
    EXPECT_FALSE(event_push(999));
    std::vector<int> codes = drain();
    ASSERT_EQ(codes.size(), 63u);
    for (int i = 0; i < 63; ++i) {
        EXPECT_EQ(codes[i], i);
    }
    EXPECT_EQ(event_pop(), -1);
}

TEST_F(InputTest, QueueWrapsAroundTheRing) {
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 40; ++i) {
            ASSERT_TRUE(event_push(round * 100 + i));
        }
        for (int i = 0; i < 40; ++i) {
            ASSERT_EQ(event_pop(), round * 100 + i);
        }
    }
    EXPECT_EQ(event_pop(), -1);
}

TEST_F(InputTest, MouseEventEntersWholeOrNotAtAll) {
    for (int i = 0; i < 61; ++i) {
        event_push(1);
    }
    mouse_event(EV_MOUSE_DOWN, 10, 20); // two free slots: dropped whole
    std::vector<int> codes = drain();
    EXPECT_EQ(codes.size(), 61u);
    for (int i = 0; i < 60; ++i) {
        event_push(1);
    }
    mouse_event(EV_MOUSE_DOWN, 65535, 400); // exactly three free slots
    codes = drain();
    ASSERT_EQ(codes.size(), 63u);
    EXPECT_EQ((std::vector<int>(codes.end() - 3, codes.end())),
              (std::vector<int>{EV_MOUSE_DOWN, 65535, 400}));
}

} // namespace
