// Process-wide services: the one exit for a failed allocation, and seeding rand().
#pragma once

// Site codes printed by fatal_no_memory: which allocation failed.
constexpr int NO_MEMORY_READ_BUFFER = 1;   // the picture reader's 1024-byte buffer
constexpr int NO_MEMORY_COLOUR_TABLES = 5; // dim_table or brighten_table
constexpr int NO_MEMORY_MASK = 20;         // mask_bitmap
constexpr int NO_MEMORY_SAVE_BUFFER = 25;  // one of the screen_save buffers

// Prints "No memory: <site>" on standard output and exits with status 1.
// The one service every module may call: any allocation that fails ends the
// program here, so platform, render and image include this header too.
[[noreturn]] void fatal_no_memory(int site);

// Seeds rand() with the seconds plus microseconds of the current time (wrapping).
void seed_random();
