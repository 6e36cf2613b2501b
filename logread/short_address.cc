#include "logread/short_address.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

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
  if (inet_pton(AF_INET, address, bytes) == 1) {
    snprintf(out, size, "%u.%u.%u.0/24", bytes[0], bytes[1], bytes[2]);
    return true;
  }
  if (inet_pton(AF_INET6, address, bytes) != 1) return false;
  static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  if (memcmp(bytes, kMapped, sizeof kMapped) == 0) {
    snprintf(out, size, "%u.%u.%u.0/24", bytes[12], bytes[13], bytes[14]);
    return true;
  }
  memset(bytes + 6, 0, 10);
  char network[INET6_ADDRSTRLEN];
  if (inet_ntop(AF_INET6, bytes, network, sizeof network) == nullptr) return false;
  snprintf(out, size, "%s/48", network);
  return true;
}
