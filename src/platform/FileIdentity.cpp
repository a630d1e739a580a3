// The byte digest: whole little-endian words, each mixed into its lane by a
// multiply and a rotation, so that a block costs about one instruction a byte.
#include "FileIdentity.h"

#include <cstring>

namespace qv {
namespace {

// Eight bytes as a little-endian word, on any byte order.
uint64_t LittleEndianWord(const unsigned char* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap64(word);
#endif
    return word;
}

}  // namespace

void ByteDigest::Add(const void* data, size_t bytes) {
    const unsigned char* next = static_cast<const unsigned char*>(data);
    const unsigned char* const end = next + bytes;
    // An unfinished word first, byte by byte.
    while (next < end && (bytes_ & 7)) {
        pending_ |= static_cast<uint64_t>(*next++) << (8 * (bytes_ & 7));
        if ((++bytes_ & 7) == 0) {
            bytes_ -= 8;
            AddWord(pending_);
            pending_ = 0;
        }
    }
    // Whole words, a round of every lane at a time once lane 0 is next.
    while (end - next >= 8 && (bytes_ >> 3) % kLanes != 0) {
        AddWord(LittleEndianWord(next));
        next += 8;
    }
    uint64_t a = lanes_[0], b = lanes_[1], c = lanes_[2], d = lanes_[3];
    for (; end - next >= 8 * kLanes; next += 8 * kLanes) {
        a = Mix(a, LittleEndianWord(next));
        b = Mix(b, LittleEndianWord(next + 8));
        c = Mix(c, LittleEndianWord(next + 16));
        d = Mix(d, LittleEndianWord(next + 24));
        bytes_ += 8 * kLanes;
    }
    lanes_[0] = a, lanes_[1] = b, lanes_[2] = c, lanes_[3] = d;
    for (; end - next >= 8; next += 8) AddWord(LittleEndianWord(next));
    // The rest begins a word.
    for (; next < end; ++next, ++bytes_) pending_ |= static_cast<uint64_t>(*next) << (8 * (bytes_ & 7));
}

uint64_t ByteDigest::Value() const {
    uint64_t state = lanes_[0];
    for (int lane = 1; lane < kLanes; ++lane) state = Mix(state, lanes_[lane]);
    // The count goes in last, so that trailing zero bytes count.
    if (bytes_ & 7) state = Mix(state, pending_);
    state = Mix(state, bytes_);
    state ^= state >> 33;
    state *= kMultiplier;
    return state ^ (state >> 29);
}

}  // namespace qv
