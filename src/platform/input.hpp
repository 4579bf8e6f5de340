// Keyboard and mouse events as a queue of integer codes, with the game's own key repeat.
#pragma once

#include <cstdint>

constexpr int EVENT_QUEUE_SLOTS = 64;

// Ring of codes: empty when the indices are equal, full at 63 codes.
struct EventQueue {
    int32_t codes[EVENT_QUEUE_SLOTS];
    int32_t write_index; // slot the next code goes to
    int32_t read_index;  // slot the next code comes from
};

// The one queue; emptied by display_open, filled by input_poll, drained by the main loop.
extern EventQueue event_queue;

// Mouse codes, each followed in the queue by x and then y.
constexpr int EV_MOUSE_BIT = 1024;
constexpr int EV_MOUSE_DOWN = 1024;
constexpr int EV_MOUSE_UP = 1027;
constexpr int EV_MOUSE_MOVE = 1030;

// Key codes the game acts on (every key code is below 1024).
constexpr int KEY_ENTER = 13;
constexpr int KEY_ESCAPE = 27;
constexpr int KEY_F1 = 384;
constexpr int KEY_F2 = 385;
constexpr int KEY_LEFT = 400;
constexpr int KEY_RIGHT = 401;
constexpr int KEY_ALT_BIT = 512;

constexpr int REPEAT_DELAY_MS = 250;
constexpr int REPEAT_INTERVAL_MS = 33;

// One row of the key table: SDL 1.2 key symbol, plain code, code with Shift.
struct KeyRow {
    int32_t symbol;
    int32_t plain;
    int32_t shifted;
};

constexpr int KEY_TABLE_ROWS = 77;
constexpr int32_t KEY_TABLE_END = 0xFFFFFF;
// The keys the game knows, ending with a KEY_TABLE_END row.
extern const KeyRow key_table[KEY_TABLE_ROWS + 1];

// SDL modifier bits that count (either key of a pair).
constexpr int MOD_SHIFT = 0x0003;
constexpr int MOD_CTRL = 0x00C0;
constexpr int MOD_ALT = 0x0300;

struct KeyLookup {
    int code;  // the event code under the modifiers, or -1
    int plain; // the key's plain code, or -1 when the symbol is not in the table
};

// Key repeat: while armed, repeat_code is re-sent each time the clock passes
// repeat_deadline, which then moves on by REPEAT_INTERVAL_MS.
struct KeyRepeat {
    bool armed;
    uint32_t deadline; // milliseconds on the SDL_GetTicks clock, wrapping with it
    int32_t code;      // the code of the last key press that entered the queue
};

// Idle at start; armed by a key press, stopped by any key release.
extern KeyRepeat key_repeat;

// Translates a key symbol under the modifier state: Shift picks the shifted
// code, Alt adds KEY_ALT_BIT, Ctrl keeps only the low five bits.
KeyLookup key_lookup(int symbol, int modifiers);

// A key press at time now: queues its code (when it fits) and arms the repeat,
// due REPEAT_DELAY_MS later. Keys outside the table do nothing.
void key_press(int symbol, int modifiers, uint32_t now);

// Any key release stops the repeat.
void key_release();

// Queues a mouse code with x and y, all three or none when fewer than three slots are free.
void mouse_event(int code, int x, int y);

// After the SDL events of a poll: pushes at most one due repeat at time now.
void repeat_tick(uint32_t now);

// Moves every pending SDL event into the queue, then adds at most one key repeat.
void input_poll();

// Empties the queue; display_open calls it before SDL starts.
void event_queue_clear();

// Waits ms milliseconds (the main loop's pause between passes), on the clock
// the key repeat reads.
void sleep_ms(int ms);

// Appends a code; returns false (and drops the code) when the queue is full.
bool event_push(int code);

// Removes and returns the oldest code, or -1 when the queue is empty.
int event_pop();
