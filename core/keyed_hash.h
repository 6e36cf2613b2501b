// A keyed hash of texts for in-memory indexes that hold texts from outside
// (paths and host names from the access log): SipHash-2-4 under a key made
// at random once per process, so that nobody who only sends texts can
// choose ones that collide. Its values differ from process to process and
// must never be stored or decide an order that pages show.
#ifndef CORE_KEYED_HASH_H_
#define CORE_KEYED_HASH_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

// The keyed hash of `length` bytes at `text`. The first call makes the key.
uint64_t KeyedHash(const char* text, size_t length);
// KeyedHash of a zero-terminated text.
uint64_t KeyedHash(const char* text);

// The hasher of unordered containers keyed by texts from outside, which
// the library's own hash would let a sender fill with colliding keys.
struct HKeyedTextHash {
  size_t operator()(std::string_view text) const { return static_cast<size_t>(KeyedHash(text.data(), text.size())); }
};

#endif  // CORE_KEYED_HASH_H_
