// The byte digest: whole little-endian words, each mixed in by a multiply and
// a rotation, so that a block costs a few instructions per eight bytes.
#include "FileIdentity.h"

namespace qv {
namespace {

const uint64_t kMultiplier = 0xFF51AFD7ED558CCDULL;

uint64_t Mix(uint64_t state, uint64_t word) {
    state ^= word;
    state *= kMultiplier;
    return (state << 29) | (state >> 35);
}

}  // namespace

void ByteDigest::Add(const void* data, size_t bytes) {
    const unsigned char* next = static_cast<const unsigned char*>(data);
    size_t i = 0;
    for (; i < bytes && (bytes_ & 7); ++i) {
        pending_ |= static_cast<uint64_t>(next[i]) << (8 * (bytes_ & 7));
        if ((++bytes_ & 7) == 0) {
            state_ = Mix(state_, pending_);
            pending_ = 0;
        }
    }
    // Whole words: assembled byte by byte, so that the value is the same on
    // every byte order, which compilers turn into one load.
    for (; i + 8 <= bytes; i += 8) {
        uint64_t word = 0;
        for (int b = 7; b >= 0; --b) word = (word << 8) | next[i + b];
        state_ = Mix(state_, word);
        bytes_ += 8;
    }
    for (; i < bytes; ++i) {
        pending_ |= static_cast<uint64_t>(next[i]) << (8 * (bytes_ & 7));
        ++bytes_;
        if ((bytes_ & 7) == 0) {
            state_ = Mix(state_, pending_);
            pending_ = 0;
        }
    }
}

uint64_t ByteDigest::Value() const {
    // The count goes in last, so that trailing zero bytes count.
    uint64_t state = (bytes_ & 7) ? Mix(state_, pending_) : state_;
    state = Mix(state, bytes_);
    state ^= state >> 33;
    state *= kMultiplier;
    return state ^ (state >> 29);
}

}  // namespace qv
