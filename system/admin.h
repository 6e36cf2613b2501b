// HAdmin, the one administrator: the password kept as a salted, slow hash
// (the stored property "_hash"; an older site's "_md5" digest still logs in
// and is replaced at that login), the login from a posted form, the "Admin"
// cookie that proves a login on later requests, and the "SetPassword"
// method. Without a password every visitor counts as administrator.
//
// The cookie is a token that reveals nothing about the password: its issue
// time and an HMAC-SHA256, keyed with a random secret of the site
// (data/AdminKey), of that time and the stored hash. It ends after
// kTokenLifetime seconds, when the password changes (the stored hash
// changes) and at a logout (the stored count of logouts changes). Checking it is cheap; the slow hash runs only at a login and
// when a password is set, and a login's runs before the request takes the
// site's lock (PrecheckLogin), so that guesses cost the guesser alone.
//
// Every form that changes something carries "_token", the "FormToken" of
// the login (an HMAC of the cookie's token): a page of another origin, or a
// script on the same site without the page, cannot send a change in the
// administrator's name.
#ifndef SYSTEM_ADMIN_H_
#define SYSTEM_ADMIN_H_

#include <string>

#include "objects/container.h"

// How long a login lasts: twelve hours.
constexpr long long kTokenLifetime = 12 * 60 * 60;

class HAdmin : public IContainer {
 public:
  enum State { kUnknown = -1, kNotLoggedIn = 0, kLoggedIn = 1, kNoPassword = 2 };

  explicit HAdmin(const char* name);

  // "SetPassword" (new password, confirmation); "Logout", which, for a
  // logged-in request, clears this browser's cookie and ends every login
  // made before it (the stored "_logouts", a count that is part of what
  // a token is bound to); other methods as IObject.
  // Raises ErrorFail, ErrorCorrespond, ErrorValue or ErrorFileCreate.
  const char* Call(const char* method, int argc, const char* const* argv) override;
  // Its file holds the password hash: readable by its owner only.
  bool IsPrivate() override { return true; }
  // Marks the administrator broken, so that every check raises
  // ErrorFileLoad rather than count as "no password", when a line of the
  // file could not be read or a stored hash is empty.
  bool Load(HObjectStream& stream) override;
  // "FormToken": the token a changing form of this login carries ("" while
  // nobody is logged in with a password). "HasPassword": "1" when a
  // password is set, else "".
  const char* GetProperty(const char* name) override;

  // The login state, computed once per request from the stored hash and
  // the cookie.
  int CheckAdmin();
  // Whether this request is a visitor's: a password is set and it is not
  // logged in, or the administrator's file cannot be read. Never raises.
  bool IsVisitor();
  // Checks the posted "_password"; raises ErrorPassword on a mismatch (also
  // when no password is set), else writes the cookie. An "_md5" that
  // matched is replaced by a "_hash" of the same password.
  void Login();
  // Raises ErrorForm when a password is set, the administrator is logged
  // in, and `token` is not this login's "FormToken".
  void CheckFormToken(const char* token);

 private:
  void SetPassword(int argc, const char* const* argv);
  void Logout();
  // Writes the "Admin" cookie: a new token for the stored password, or an
  // empty value (which clears it) when there is none.
  void SetAdminCookie();
  // "_hash", else "_md5", else "": what a token is bound to.
  std::string Credential() const;
  // The credential and the count of logouts: what a token is bound to.
  std::string TokenCredential() const;
  // Stores the hash `made` of `password`, or a new one when it is "".
  void StorePassword(const char* password, const std::string& made = "");
  void RefuseBroken() const;
  std::string FormToken() const;

  int state_ = kUnknown;
  bool broken_ = false;
  std::string cookie_token_;  // the login's valid cookie token, once known
  std::string form_token_;    // kept for the answer of GetProperty
};

// The slow part of a login, done before the request takes the site's lock:
// checks `password` against the administrator's file at `path` and keeps
// the answer (and, for an old digest, the new hash) in this process for
// Login, which uses it only while the stored credential is still the one
// checked. Nothing is kept when the file cannot be read.
void PrecheckLogin(const char* path, const char* password);

// The MD5 digest of `text` as 32 lower-case hexadecimal digits.
std::string Md5Hex(const char* text);
// HMAC-SHA256 of `message` under `key`, as 64 lower-case hexadecimal digits.
std::string HmacSha256Hex(const std::string& key, const std::string& message);
// A new salted yescrypt hash of `password` ("$y$..."); "" on failure.
std::string HashPassword(const char* password);
// Whether `password` gives `stored`, a hash made by HashPassword.
bool PasswordMatches(const char* password, const char* stored);
// The token for `credential` issued at `issued` (seconds since the epoch):
// the time in decimal, ".", then 64 hexadecimal digits.
std::string MakeAdminToken(const std::string& secret, const std::string& credential, long long issued);
// Whether `token` is one MakeAdminToken gave for this secret and credential,
// issued no more than kTokenLifetime seconds before `now` (and not after it).
bool IsValidAdminToken(const std::string& secret, const std::string& credential, const char* token, long long now);
// The site's secret, read from `path`, or made there (readable by its owner
// only) when there is none yet; "" when it can be neither read nor made.
std::string AdminSecret(const char* path, bool make);

#endif  // SYSTEM_ADMIN_H_
