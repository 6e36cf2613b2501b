#include "logread/short_address.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

bool IsV4Mapped(const unsigned char* bytes) {
  static const unsigned char kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  return memcmp(bytes, kPrefix, sizeof kPrefix) == 0;
}

bool ReadAddress(const char* text, bool& v6, unsigned char (&bytes)[16]) {
  if (inet_pton(AF_INET, text, bytes) == 1) {
    v6 = false;
    return true;
  }
  if (inet_pton(AF_INET6, text, bytes) != 1) return false;
  v6 = !IsV4Mapped(bytes);
  if (!v6) memmove(bytes, bytes + 12, 4);
  return true;
}

bool ShortenAddress(const char* text, char* out, size_t size) {
  if (text == nullptr || out == nullptr || size < 64) return false;
  char address[64];
  size_t length = strlen(text);
  if (length >= 2 && text[0] == '[' && text[length - 1] == ']') {
    ++text;
    length -= 2;
  }
  if (length == 0 || length >= sizeof address) return false;
  memcpy(address, text, length);
  address[length] = 0;
  unsigned char bytes[16];
  bool v6 = false;
  if (!ReadAddress(address, v6, bytes)) return false;
  if (!v6) {
    snprintf(out, size, "%u.%u.%u.0/24", bytes[0], bytes[1], bytes[2]);
    return true;
  }
  memset(bytes + 6, 0, 10);
  char network[INET6_ADDRSTRLEN];
  if (inet_ntop(AF_INET6, bytes, network, sizeof network) == nullptr) return false;
  snprintf(out, size, "%s/48", network);
  return true;
}
