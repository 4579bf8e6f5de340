// Keyboard and mouse events as a queue of integer codes, with the game's own key repeat.
#include "platform/input.hpp"

#include <SDL.h>

EventQueue event_queue;
KeyRepeat key_repeat;

// clang-format off
const KeyRow key_table[KEY_TABLE_ROWS + 1] = {
    {48, 48, 41},     // 0 )
    {49, 49, 33},     // 1 !
    {50, 50, 64},     // 2 @
    {51, 51, 35},     // 3 #
    {52, 52, 36},     // 4 $
    {53, 53, 37},     // 5 %
    {54, 54, 94},     // 6 ^
    {55, 55, 38},     // 7 &
    {56, 56, 42},     // 8 *
    {57, 57, 40},     // 9 (
    {97, 97, 65},     // a
    {98, 98, 66},     // b
    {99, 99, 67},     // c
    {100, 100, 68},   // d
    {101, 101, 69},   // e
    {102, 102, 70},   // f
    {103, 103, 71},   // g
    {104, 104, 72},   // h
    {105, 105, 73},   // i
    {106, 106, 74},   // j
    {107, 107, 75},   // k
    {108, 108, 76},   // l
    {109, 109, 77},   // m
    {110, 110, 78},   // n
    {111, 111, 79},   // o
    {112, 112, 80},   // p
    {113, 113, 81},   // q
    {114, 114, 82},   // r
    {115, 115, 83},   // s
    {116, 116, 84},   // t
    {117, 117, 85},   // u
    {118, 118, 86},   // v
    {119, 119, 87},   // w
    {120, 120, 88},   // x
    {121, 121, 89},   // y
    {122, 122, 90},   // z
    {45, 45, 95},     // minus, underscore
    {61, 61, 43},     // equals, plus
    {91, 91, 123},    // left bracket, left brace
    {93, 93, 125},    // right bracket, right brace
    {59, 59, 58},     // semicolon, colon
    {39, 39, 34},     // apostrophe, quotation mark
    {92, 92, 124},    // backslash, vertical bar
    {47, 47, 63},     // slash, question mark
    {46, 46, 62},     // full stop, greater-than
    {44, 44, 60},     // comma, less-than
    {96, 96, 126},    // back quote, tilde
    {8, 8, 8},        // Backspace
    {9, 9, 9},        // Tab
    {127, 127, 127},  // Delete
    {13, 13, 13},     // Return
    {282, 384, 384},  // F1
    {283, 385, 385},  // F2
    {284, 386, 386},  // F3
    {285, 387, 387},  // F4
    {286, 388, 388},  // F5
    {287, 389, 389},  // F6
    {288, 390, 390},  // F7
    {289, 391, 391},  // F8
    {290, 392, 392},  // F9
    {291, 393, 393},  // F10
    {27, 27, 27},     // Escape
    {276, 400, 400},  // Left
    {275, 401, 401},  // Right
    {273, 402, 402},  // Up
    {274, 403, 403},  // Down
    {280, 404, 468},  // Page Up
    {281, 405, 469},  // Page Down
    {32, 32, 32},     // Space
    {278, 406, 406},  // Home
    {279, 407, 407},  // End
    {308, 408, 408},  // Left Alt
    {307, 409, 409},  // Right Alt
    {306, 410, 410},  // Left Ctrl
    {305, 411, 411},  // Right Ctrl
    {304, 412, 412},  // Left Shift
    {303, 413, 413},  // Right Shift
    {KEY_TABLE_END, 0, 0},
};
// clang-format on

namespace {

int queued_count() {
    return (event_queue.write_index - event_queue.read_index) & (EVENT_QUEUE_SLOTS - 1);
}

} // namespace

KeyLookup key_lookup(int symbol, int modifiers) {
    const KeyRow* row = key_table;
    while (row->symbol != KEY_TABLE_END && row->symbol != symbol) {
        ++row;
    }
    if (row->symbol == KEY_TABLE_END) {
        return {-1, -1};
    }
    int code = (modifiers & MOD_SHIFT) != 0 ? row->shifted : row->plain;
    if ((modifiers & MOD_ALT) != 0) {
        code |= KEY_ALT_BIT;
    }
    if ((modifiers & MOD_CTRL) != 0) {
        code &= 31;
    }
    return {code, row->plain};
}

void key_press(int symbol, int modifiers, uint32_t now) {
    KeyLookup key = key_lookup(symbol, modifiers);
    if (key.plain < 0) {
        return;
    }
    if (event_push(key.code)) {
        key_repeat.code = key.code;
    }
    key_repeat.armed = true;
    key_repeat.deadline = now + REPEAT_DELAY_MS;
}

void key_release() {
    key_repeat.armed = false;
}

void mouse_event(int code, int x, int y) {
    if (queued_count() + 3 > EVENT_QUEUE_SLOTS - 1) {
        return;
    }
    event_push(code);
    event_push(x);
    event_push(y);
}

void repeat_tick(uint32_t now) {
    // Both times wrap with the clock (every 49.7 days); their difference read
    // as signed says which comes first as long as they are within 24.8 days.
    if (key_repeat.armed && static_cast<int32_t>(now - key_repeat.deadline) > 0) {
        key_repeat.deadline += REPEAT_INTERVAL_MS;
        event_push(key_repeat.code);
    }
}

void input_poll() {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        switch (static_cast<uint8_t>(event.type)) {
        case SDL_KEYDOWN:
            key_press(event.key.keysym.sym, event.key.keysym.mod, SDL_GetTicks());
            break;
        case SDL_KEYUP:
            key_release();
            break;
        case SDL_MOUSEMOTION:
            mouse_event(EV_MOUSE_MOVE, event.motion.x, event.motion.y);
            break;
        case SDL_MOUSEBUTTONDOWN:
            mouse_event(EV_MOUSE_DOWN, event.button.x, event.button.y);
            break;
        case SDL_MOUSEBUTTONUP:
            mouse_event(EV_MOUSE_UP, event.button.x, event.button.y);
            break;
        default:
            break;
        }
    }
    repeat_tick(SDL_GetTicks());
}

void event_queue_clear() {
    event_queue.write_index = 0;
    event_queue.read_index = 0;
}

void sleep_ms(int ms) {
    SDL_Delay(static_cast<Uint32>(ms));
}

bool event_push(int code) {
    int next = (event_queue.write_index + 1) & (EVENT_QUEUE_SLOTS - 1);
    if (next == event_queue.read_index) {
        return false;
    }
    event_queue.codes[event_queue.write_index] = code;
    event_queue.write_index = next;
    return true;
}

int event_pop() {
    if (event_queue.write_index == event_queue.read_index) {
        return -1;
    }
    int code = event_queue.codes[event_queue.read_index];
    event_queue.read_index = (event_queue.read_index + 1) & (EVENT_QUEUE_SLOTS - 1);
    return code;
}
