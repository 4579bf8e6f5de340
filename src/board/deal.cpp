// Dealing: shuffled faces handed out along a random game played in advance.
#include "board/deal.hpp"

#include "board/moves.hpp"
#include "board/rules.hpp"

#include <cassert>
#include <cstdlib>

int32_t deal_solution[TILE_COUNT];
int32_t deal_attempts;

namespace {

// The random part of a sort key: bits 8..23 of a rand() result, left in
// place; the low 8 bits carry the payload (a face or a tile index).
constexpr int32_t KEY_RANDOM_BITS = 0xFFFF00;
constexpr int32_t KEY_PAYLOAD_BITS = 0xFF;
// Marks a shuffled face that already has its partner; no face uses it.
constexpr int32_t FACE_PAIRED = -1;

int32_t random_key(int32_t payload) {
    return (std::rand() & KEY_RANDOM_BITS) | payload;
}

// The dealt face set: each plain face FACE_GROUP_SIZE times, then every
// flower and every season once.
int32_t dealt_face(int i) {
    constexpr int plain_tiles = FACE_PLAIN_COUNT * FACE_GROUP_SIZE;
    return i < plain_tiles ? i / FACE_GROUP_SIZE : FACE_FLOWER_FIRST + (i - plain_tiles);
}

// Fills faces with the dealt face set in random order.
void shuffle_faces(int32_t (&faces)[TILE_COUNT]) {
    for (int i = 0; i < TILE_COUNT; ++i) {
        faces[i] = random_key(dealt_face(i));
    }
    std::qsort(faces, TILE_COUNT, sizeof faces[0], compare_keys);
    for (int32_t& key : faces) {
        key &= KEY_PAYLOAD_BITS;
    }
}

// Groups the shuffled faces into matching pairs, in the order in which their
// first members stand; consumes faces.
void pair_faces(int32_t (&faces)[TILE_COUNT], int32_t (&face_pairs)[TILE_COUNT]) {
    int filled = 0;
    for (int i = 0; i < TILE_COUNT - 1; ++i) {
        if (faces[i] == FACE_PAIRED) {
            continue;
        }
        for (int j = i + 1; j < TILE_COUNT; ++j) {
            if (faces[j] != FACE_PAIRED && faces_match(faces[i], faces[j]) != 0) {
                face_pairs[filled++] = faces[i];
                face_pairs[filled++] = faces[j];
                faces[i] = FACE_PAIRED;
                faces[j] = FACE_PAIRED;
                break;
            }
        }
    }
    // Every face of the dealt set has partners.
    assert(filled == TILE_COUNT);
}

// Keys of the free tiles of the current position, one rand() each in index
// order; returns how many.
int free_tile_keys(int32_t (&keys)[TILE_COUNT]) {
    int count = 0;
    for (int i = 0; i < TILE_COUNT; ++i) {
        if ((tiles[i].flags & (TILE_BLOCKED | TILE_REMOVED)) == 0) {
            keys[count++] = random_key(i);
        }
    }
    return count;
}

// One attempt of the random game from the full board, handing out the faces
// pair by pair. False when it reached a position with fewer than two free tiles.
bool play_attempt(const int32_t (&face_pairs)[TILE_COUNT]) {
    for (Tile& tile : tiles) {
        tile.flags = 0;
    }
    int32_t keys[TILE_COUNT];
    for (int k = 0; k < TILE_COUNT; k += 2) {
        update_free_tiles();
        int count = free_tile_keys(keys);
        if (count < 2) {
            return false;
        }
        std::qsort(keys, count, sizeof keys[0], compare_keys);
        int a = keys[0] & KEY_PAYLOAD_BITS;
        int b = keys[1] & KEY_PAYLOAD_BITS;
        tiles[a].flags |= TILE_REMOVED;
        tiles[b].flags |= TILE_REMOVED;
        tiles[a].face = face_pairs[k];
        tiles[b].face = face_pairs[k + 1];
        deal_solution[k] = a;
        deal_solution[k + 1] = b;
    }
    return true;
}

} // namespace

// Keys are below 2^24, so the difference cannot overflow.
int compare_keys(const void* first, const void* second) {
    return *static_cast<const int32_t*>(first) - *static_cast<const int32_t*>(second);
}

void deal_board(const LayoutEntry* table) {
    int32_t faces[TILE_COUNT];
    int32_t face_pairs[TILE_COUNT];
    shuffle_faces(faces);
    pair_faces(faces, face_pairs);
    build_tiles(table);
    assert(tile_count == TILE_COUNT); // every face of the set needs a place
    deal_attempts = 1;
    while (!play_attempt(face_pairs)) {
        ++deal_attempts;
    }
    for (Tile& tile : tiles) {
        tile.flags &= ~TILE_REMOVED;
    }
    // A click handled before the next draw must meet the full board's marks
    // and positions, not those the random game left behind.
    update_free_tiles();
    place_tiles();
    reset_moves();
}
