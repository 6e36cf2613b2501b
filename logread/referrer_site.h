// The site a referring address comes from: its host's registrable domain by
// the ICANN section of the Public Suffix List ("news.example.co.uk" gives
// "example.co.uk"). The list is the system's maintained copy
// (/usr/share/publicsuffix), read through libpsl, which is loaded into the
// process only when the first referrer is grouped, so that requests that
// never group one pay nothing for it.
#ifndef LOGREAD_REFERRER_SITE_H_
#define LOGREAD_REFERRER_SITE_H_

#include <string>

// What a referrer that is no http or https address with a host groups as.
extern const char kOtherReferrers[];

// The host of an http or https address, lower case, without user, port
// and final dot ("[" and "]" around an IPv6 address kept); false when the
// address is of another scheme or has an empty host.
bool ReferrerHost(const char* referrer, std::string& host);

// The site of the referrer into `site`: for a host name its ICANN
// registrable domain, or the host itself when it has none (a name of one
// label such as "localhost", a public suffix itself, or any host when the
// list cannot be loaded); for an IPv4 or IPv6 address the address; for
// anything that is no http or https address, kOtherReferrers.
void ReferrerSite(const char* referrer, std::string& site);

// Whether the Public Suffix List can be read (loading it on first use).
bool SuffixListReady();

// The ICANN registrable domain of a lower-case host name into `domain`;
// false when it has none or the list cannot be loaded.
bool RegistrableDomain(const std::string& host, std::string& domain);

#endif  // LOGREAD_REFERRER_SITE_H_
