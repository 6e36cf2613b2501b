#include "system/admin.h"

// The plain digest function: it needs none of the library's provider
// machinery, so the static link stays small and start-up stays cheap.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "server/cgi_input.h"
#include "server/errors.h"
#include "server/iserver.h"

namespace {

const int kModulus = 47;
// A hexadecimal digit d ('0' to 'F') is scrambled as the number d - kDigitBase,
// 1 to 23.
const int kDigitBase = '0' - 1;
const int kTable = 24;
// Multipliers (all invertible modulo 47) and offsets by position.
const int kMultiply[kTable] = {5, 11, 29, 3, 17, 41, 7, 23, 13, 37, 2, 31,
                               19, 43, 9, 27, 14, 39, 6, 21, 33, 10, 45, 25};
const int kOffset[kTable] = {12, 40, 3, 27, 19, 8, 33, 1, 44, 22, 15, 36,
                             6, 29, 41, 10, 25, 2, 38, 17, 31, 5, 20, 46};
const char kPlaceholderPassword[] = "***************";
const char kPlaceholderConfirm[] = "---------------";
const int kMaxPassword = 64;

char Symbol(int value) {
  const char c = value < 26 ? static_cast<char>('A' + value) : static_cast<char>('a' + value - 26);
  switch (c) {
    case 'I': return 'v';
    case 'O': return 'w';
    case 'l': return 'x';
    default: return c;
  }
}

// The value of a symbol, or -1 outside the alphabet.
int SymbolValue(char c) {
  switch (c) {
    case 'v': return 'I' - 'A';
    case 'w': return 'O' - 'A';
    case 'x': return 26 + 'l' - 'a';
    case 'I': case 'O': case 'l': return -1;
    default: break;
  }
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'u') return 26 + c - 'a';
  return -1;
}

int Inverse(int m) {
  for (int x = 1; x < kModulus; ++x) {
    if (m * x % kModulus == 1) return x;
  }
  return 0;
}

}  // namespace

std::string Md5Hex(const char* text) {
  unsigned char digest[MD5_DIGEST_LENGTH];
  MD5(reinterpret_cast<const unsigned char*>(text), strlen(text), digest);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < MD5_DIGEST_LENGTH; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

std::string Scramble(const char* text, int start) {
  if (start < 0 || start >= kTable) {
    srand(static_cast<unsigned>(time(nullptr)));
    start = rand() % kTable;
  }
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  unsigned short sum = 0;
  int i = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    for (const char digit : {kHex[*p >> 4], kHex[*p & 15]}) {
      const int k = (start + i++) % kTable;
      const int d = digit - kDigitBase;
      out += Symbol((kMultiply[k] * d + kOffset[k]) % kModulus);
      sum = static_cast<unsigned short>(sum + digit);
    }
  }
  out += Symbol(sum % kModulus);
  out += Symbol(start);
  return out;
}

bool Unscramble(const char* text, std::string& out) {
  const size_t length = strlen(text);
  if (length < 2 || length % 2 != 0) return false;
  const int start = SymbolValue(text[length - 1]);
  if (start < 0 || start >= kTable) return false;
  std::string digits;
  unsigned short sum = 0;
  for (size_t i = 0; i + 2 < length; ++i) {
    const int value = SymbolValue(text[i]);
    if (value < 0) return false;
    const int k = static_cast<int>((start + i) % kTable);
    const int d = ((value - kOffset[k]) % kModulus + kModulus) * Inverse(kMultiply[k]) % kModulus;
    const char digit = static_cast<char>(d + kDigitBase);
    if (HexDigitValue(digit) < 0) return false;
    digits += digit;
    sum = static_cast<unsigned short>(sum + digit);
  }
  if (SymbolValue(text[length - 2]) != sum % kModulus) return false;
  std::string bytes;
  for (size_t i = 0; i < digits.size(); i += 2) {
    const char byte = static_cast<char>(HexDigitValue(digits[i]) * 16 + HexDigitValue(digits[i + 1]));
    if (byte == 0) return false;
    bytes += byte;
  }
  out = bytes;
  return true;
}

HAdmin::HAdmin(const char* name) : IContainer(name, 0) { type_name_ = "Admin"; }

const char* HAdmin::StoredDigest() const {
  const char* digest = properties_.GetValue("_md5");
  return digest == nullptr ? "" : digest;
}

int HAdmin::CheckAdmin() {
  if (state_ != kUnknown) return state_;
  state_ = kNoPassword;
  if (*StoredDigest() == 0) return state_;
  state_ = kNotLoggedIn;
  HString cookie;
  if (!GetCookie("Admin", cookie)) return state_;
  std::string text;
  if (!Unscramble(cookie.CStr(), text)) return state_;
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon + 1 == text.size()) return state_;
  if (Md5Hex(text.c_str() + colon + 1) == StoredDigest()) state_ = kLoggedIn;
  return state_;
}

void HAdmin::Login() {
  const char* password = CurrentServer == nullptr ? nullptr : CurrentServer->GetParam("_password");
  if (password == nullptr) password = "";
  if (Md5Hex(password) != StoredDigest()) throw ErrorPassword;
  SetAdminCookie(password);
  state_ = kLoggedIn;
}

void HAdmin::SetAdminCookie(const char* password) {
  std::string value;
  if (*password != 0) {
    std::string text = std::to_string(time(nullptr) % 1000) + ":" + password;
    value = Scramble(text.c_str());
  }
  if (CurrentServer != nullptr) CurrentServer->SetCookie("Admin", value.c_str(), 0);
}

const char* HAdmin::Call(const char* method, int argc, const char* const* argv) {
  if (CompareNoCase(method, "SetPassword") != 0) return IContainer::Call(method, argc, argv);
  SetPassword(argc, argv);
  return nullptr;
}

void HAdmin::SetPassword(int argc, const char* const* argv) {
  if (argc < 2 || argv[0] == nullptr || argv[1] == nullptr) throw ErrorFail;
  const char* password = argv[0];
  if (strcmp(password, kPlaceholderPassword) == 0 && strcmp(argv[1], kPlaceholderConfirm) == 0) {
    state_ = kLoggedIn;
    return;
  }
  if (strcmp(password, argv[1]) != 0) throw ErrorCorrespond;
  if (strlen(password) > kMaxPassword) throw ErrorValue;
  properties_.SetValue("_md5", *password == 0 ? "" : Md5Hex(password).c_str());
  SetModified(true);
  SetAdminCookie(password);
  state_ = kLoggedIn;
}
