// Framebuffer primitives, the shadow mask and the screen save buffers.
#include "render/draw.hpp"

#include "frame/services.hpp"
#include "image/pcx.hpp"
#include "platform/display.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdlib>
#include <cstring>

uint16_t* screen_save[SCREEN_SAVE_SLOTS];
uint8_t* mask_bitmap;
int32_t mask_stride;

namespace {

// A rectangle after clipping to the screen, and how far its top-left corner
// moved to get there (what blit_image adds to its source origin).
struct Clipped {
    int x, y, width, height;
    int shift_x, shift_y;
};

// Clips (x, y, width, height) to the screen. Works in 64 bits so that no
// combination of int arguments overflows. Returns false when nothing is left.
// Inline, so that -O2 builds it into its callers too: out then stays in
// registers, and a small rectangle costs no call and no stack-protector check.
inline bool clip_rect(int x, int y, int width, int height, Clipped* out) {
    int64_t left = x, top = y, w = width, h = height;
    int64_t shift_x = 0, shift_y = 0;
    if (top < 0) {
        h += top;
        shift_y = -top;
        top = 0;
    }
    if (left < 0) {
        w += left;
        shift_x = -left;
        left = 0;
    }
    w = std::min(w, display.width - left);
    h = std::min(h, display.height - top);
    if (w <= 0 || h <= 0) {
        return false;
    }
    *out = {static_cast<int>(left), static_cast<int>(top),     static_cast<int>(w),
            static_cast<int>(h),    static_cast<int>(shift_x), static_cast<int>(shift_y)};
    return true;
}

size_t mask_size() {
    return static_cast<size_t>(display.width + 7) * static_cast<size_t>(display.height) / 8;
}

// Sets (fill 0xFF) or clears (fill 0) the bits of byte that are set in bits.
void apply_bits(uint8_t* byte, uint8_t bits, uint8_t fill) {
    *byte = static_cast<uint8_t>((*byte & ~bits) | (fill & bits));
}

// Darkens the pixels of one screen row whose bits are set in its mask row.
void dim_row(uint16_t* pixels, const uint8_t* mask_row, uint8_t last_byte_bits) {
    for (int i = 0; i < mask_stride; ++i) {
        unsigned bits = mask_row[i];
        if (bits == 0) {
            continue;
        }
        if (i == mask_stride - 1) {
            bits &= last_byte_bits; // never past the row's last pixel
        }
        uint16_t* group = pixels + 8 * i;
        while (bits != 0) {
            uint16_t* pixel = group + std::countr_zero(bits);
            *pixel = dim_table[*pixel];
            bits &= bits - 1;
        }
    }
}

} // namespace

// Zeroed, so the mask reads as "no shadow" even before the first mask_clear; a
// second call keeps the buffer it already has.
void mask_alloc() {
    mask_stride = (display.width + 7) / 8;
    if (mask_bitmap != nullptr) {
        return;
    }
    mask_bitmap = static_cast<uint8_t*>(std::calloc(mask_size(), 1));
    if (mask_bitmap == nullptr) {
        fatal_no_memory(NO_MEMORY_MASK);
    }
}

void blit_image(int x, int y, const IndexedImage* image, int src_x, int src_y, int width,
                int height) {
    Clipped r{};
    if (!clip_rect(x, y, width, height, &r)) {
        return;
    }
    src_x += r.shift_x;
    src_y += r.shift_y;
    assert(src_x >= 0 && src_y >= 0 && src_x + r.width <= image->width &&
           src_y + r.height <= image->height);
    for (int row = 0; row < r.height; ++row) {
        const uint8_t* src =
            image->pixels + static_cast<ptrdiff_t>(src_y + row) * image->width + src_x;
        uint16_t* dst = screen_pixel(r.x, r.y + row);
        // Four pixels a turn: one pixel is so little work that the loop's own
        // jump would take as long, and -O2 does not unroll by itself.
#pragma GCC unroll 4
        for (int i = 0; i < r.width; ++i) {
            dst[i] = static_cast<uint16_t>(image->palette[src[i]]);
        }
    }
}

void remap_rect(int x, int y, int width, int height, const uint16_t* table) {
    Clipped r{};
    if (!clip_rect(x, y, width, height, &r)) {
        return;
    }
    for (int row = 0; row < r.height; ++row) {
        uint16_t* dst = screen_pixel(r.x, r.y + row);
        for (int i = 0; i < r.width; ++i) {
            dst[i] = table[dst[i]];
        }
    }
}

void brighten_rect(int x, int y, int width, int height) {
    remap_rect(x, y, width, height, brighten_table);
}

void fill_rect(int x, int y, int width, int height, int red, int green, int blue) {
    auto colour = static_cast<uint16_t>(map_rgb(red, green, blue));
    Clipped r{};
    if (!clip_rect(x, y, width, height, &r)) {
        return;
    }
    for (int row = 0; row < r.height; ++row) {
        std::fill_n(screen_pixel(r.x, r.y + row), r.width, colour);
    }
}

void fill_rect_unmask(int x, int y, int width, int height, uint32_t colour) {
    fill_rect(x, y, width, height, static_cast<int>((colour >> 16) & 255),
              static_cast<int>((colour >> 8) & 255), static_cast<int>(colour & 255));
    mask_rect(x, y, width, height, 0);
}

void dim_masked(const uint8_t* mask) {
    int tail = display.width % 8;
    auto last_byte_bits = static_cast<uint8_t>(tail == 0 ? 0xFF : (1 << tail) - 1);
    for (int y = 0; y < display.height; ++y) {
        dim_row(screen_pixel(0, y), mask + static_cast<ptrdiff_t>(y) * mask_stride, last_byte_bits);
    }
}

void save_screen(unsigned n) {
    if (n >= SCREEN_SAVE_SLOTS) {
        return;
    }
    size_t row_bytes = static_cast<size_t>(display.width) * sizeof(uint16_t);
    if (screen_save[n] == nullptr) {
        screen_save[n] = static_cast<uint16_t*>(std::malloc(row_bytes * display.height));
        if (screen_save[n] == nullptr) {
            fatal_no_memory(NO_MEMORY_SAVE_BUFFER);
        }
    }
    for (int y = 0; y < display.height; ++y) {
        std::memcpy(screen_save[n] + static_cast<size_t>(y) * display.width, screen_pixel(0, y),
                    row_bytes);
    }
}

void restore_screen(unsigned n) {
    if (n >= SCREEN_SAVE_SLOTS || screen_save[n] == nullptr) {
        return;
    }
    size_t row_bytes = static_cast<size_t>(display.width) * sizeof(uint16_t);
    for (int y = 0; y < display.height; ++y) {
        std::memcpy(screen_pixel(0, y), screen_save[n] + static_cast<size_t>(y) * display.width,
                    row_bytes);
    }
}

void mask_clear() {
    assert(mask_bitmap != nullptr);
    std::memset(mask_bitmap, 0, mask_size());
}

// Every row of the rectangle covers the same mask bytes, first_byte to
// last_byte: the partial bytes at both ends bit-wise, whole bytes between them
// at once. The bytes and bits are worked out once for all rows, and the mask's
// address and stride are read once, since a store through a byte pointer
// could change them as far as the compiler knows.
void mask_rect(int x, int y, int width, int height, int value) {
    Clipped r{};
    if (!clip_rect(x, y, width, height, &r)) {
        return;
    }
    assert(mask_bitmap != nullptr);
    int end = r.x + r.width;
    int first_byte = r.x / 8;
    int last_byte = (end - 1) / 8;
    auto head = static_cast<uint8_t>(0xFF << (r.x % 8));
    auto tail = static_cast<uint8_t>(0xFF >> (7 - (end - 1) % 8));
    auto fill = static_cast<uint8_t>(value != 0 ? 0xFF : 0);
    ptrdiff_t stride = mask_stride;
    uint8_t* row = mask_bitmap + r.y * stride;
    if (first_byte == last_byte) {
        auto bits = static_cast<uint8_t>(head & tail);
        for (int i = 0; i < r.height; ++i, row += stride) {
            apply_bits(row + first_byte, bits, fill);
        }
        return;
    }
    auto whole_bytes = static_cast<size_t>(last_byte - first_byte - 1);
    for (int i = 0; i < r.height; ++i, row += stride) {
        apply_bits(row + first_byte, head, fill);
        std::memset(row + first_byte + 1, fill, whole_bytes);
        apply_bits(row + last_byte, tail, fill);
    }
}
