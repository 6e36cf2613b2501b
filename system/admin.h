// HAdmin, the one administrator: the password's MD5 digest as the stored
// property "_md5", the login check, the "Admin" cookie that proves a login
// on later requests, and the "SetPassword" method. Without a password
// every visitor counts as administrator.
#ifndef SYSTEM_ADMIN_H_
#define SYSTEM_ADMIN_H_

#include <string>

#include "objects/container.h"

class HAdmin : public IContainer {
 public:
  enum State { kUnknown = -1, kNotLoggedIn = 0, kLoggedIn = 1, kNoPassword = 2 };

  explicit HAdmin(const char* name);

  // "SetPassword" (new password, confirmation); other methods as IObject.
  // Raises ErrorFail, ErrorCorrespond or ErrorValue.
  const char* Call(const char* method, int argc, const char* const* argv) override;

  // The login state, computed once per request from "_md5" and the cookie.
  int CheckAdmin();
  // Checks the request's "_password" against "_md5"; raises ErrorPassword
  // on a mismatch (also when no password is set), else writes the cookie.
  void Login();
  // Writes the "Admin" cookie for `password`; an empty password clears it.
  void SetAdminCookie(const char* password);

 private:
  void SetPassword(int argc, const char* const* argv);
  const char* StoredDigest() const;

  int state_ = kUnknown;
};

// The MD5 digest of `text` as 32 lower-case hexadecimal digits.
std::string Md5Hex(const char* text);

// The reversible cookie scrambler: each byte becomes two hexadecimal digits,
// each digit a symbol of a 47-letter alphabet depending on its position and
// a start index, followed by a check symbol and the start index. `start` of
// -1 draws the index at random. The result has 2 * length + 2 symbols.
std::string Scramble(const char* text, int start = -1);
// False for anything Scramble cannot have produced.
bool Unscramble(const char* text, std::string& out);

#endif  // SYSTEM_ADMIN_H_
