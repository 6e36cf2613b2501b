// Client addresses read as bytes, and kept shortened for sites that would
// rather not keep whole ones: an IPv4 address to its /24 network, an IPv6
// address to its /48 (an IPv4 address written as IPv6 counts as IPv4).
#ifndef LOGREAD_SHORT_ADDRESS_H_
#define LOGREAD_SHORT_ADDRESS_H_

#include <cstddef>

// Whether the 16 bytes of an IPv6 address are an IPv4 address written as
// IPv6 (::ffff:a.b.c.d).
bool IsV4Mapped(const unsigned char* bytes);
// Reads an IPv4 or IPv6 address into bytes (4 or 16 of them); an IPv4
// address written as IPv6 gives its 4 bytes. False for anything else.
bool ReadAddress(const char* text, bool& v6, unsigned char (&bytes)[16]);

// Writes the network of `text` ("192.0.2.0/24", "2001:db8:1::/48") into
// `out` (size bytes, at least 64) when `text` is an IPv4 or IPv6 address,
// also in brackets; false, writing nothing, for anything else (a host
// name is no address).
bool ShortenAddress(const char* text, char* out, size_t size);

#endif  // LOGREAD_SHORT_ADDRESS_H_
