#include "core/keyed_hash.h"

#include <sodium.h>

#include <cstring>

namespace {

const unsigned char* Key() {
  static unsigned char key[crypto_shorthash_KEYBYTES];
  static const bool made = [] {
    randombytes_buf(key, sizeof key);
    return true;
  }();
  (void)made;
  return key;
}

}  // namespace

uint64_t KeyedHash(const char* text, size_t length) {
  unsigned char out[crypto_shorthash_BYTES];
  crypto_shorthash(out, reinterpret_cast<const unsigned char*>(text), length, Key());
  uint64_t value;
  memcpy(&value, out, sizeof value);
  return value;
}

uint64_t KeyedHash(const char* text) { return KeyedHash(text, strlen(text)); }
