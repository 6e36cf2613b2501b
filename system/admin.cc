#include "system/admin.h"

// The digests come from libraries that run nothing at start-up: a library
// that probes the processor when loaded would cost every request that
// probe, and under a hypervisor each probe is a trap.
#include <crypt.h>
#include <fcntl.h>
#include <md5.h>
#include <sodium.h>
#include <sys/random.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/errors.h"
#include "core/file_write.h"
#include "core/iserver.h"
#include "objects/object_stream.h"
#include "server/cgi_input.h"

namespace {

const char kPlaceholderPassword[] = "***************";
const char kPlaceholderConfirm[] = "---------------";
const int kMaxPassword = 64;
const char kSecretFile[] = "data/AdminKey";
constexpr int kSecretBytes = 32;
const char kHashMethod[] = "$y$";  // yescrypt
const char kHex[] = "0123456789abcdef";

std::string Hex(const unsigned char* bytes, size_t n) {
  std::string hex;
  for (size_t i = 0; i < n; ++i) {
    hex += kHex[bytes[i] >> 4];
    hex += kHex[bytes[i] & 15];
  }
  return hex;
}

// Compares in a time that does not depend on where the texts differ.
bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace

std::string HmacSha256Hex(const std::string& key, const std::string& message) {
  // Standard HMAC: a key longer than the block is hashed first.
  crypto_auth_hmacsha256_state state;
  unsigned char mac[crypto_auth_hmacsha256_BYTES];
  crypto_auth_hmacsha256_init(&state, reinterpret_cast<const unsigned char*>(key.data()), key.size());
  crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(message.data()), message.size());
  crypto_auth_hmacsha256_final(&state, mac);
  return Hex(mac, sizeof mac);
}

namespace {

// What PrecheckLogin found, for the Login of the same process.
struct LoginCheck {
  std::string credential;  // the "_hash" or "_md5" checked
  std::string password;
  bool matched = false;
  std::string new_hash;  // for a digest that matched: the hash replacing it
};

LoginCheck& Prechecked() {
  static LoginCheck checked;
  return checked;
}

std::string SecretPath() {
  std::string path = CurrentServer == nullptr ? "" : CurrentServer->GetHomeDir();
  return path + kSecretFile;
}

}  // namespace

std::string Md5Hex(const char* text) {
  MD5_CTX context;
  unsigned char digest[MD5_DIGEST_LENGTH];
  MD5Init(&context);
  MD5Update(&context, reinterpret_cast<const unsigned char*>(text), strlen(text));
  MD5Final(digest, &context);
  return Hex(digest, sizeof digest);
}

std::string HashPassword(const char* password) {
  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  if (crypt_gensalt_rn(kHashMethod, 0, nullptr, 0, setting, sizeof setting) == nullptr) return "";
  crypt_data data = {};
  const char* hash = crypt_rn(password, setting, &data, sizeof data);
  return hash == nullptr || hash[0] == '*' ? "" : hash;
}

bool PasswordMatches(const char* password, const char* stored) {
  if (stored == nullptr || *stored == 0) return false;
  crypt_data data = {};
  const char* hash = crypt_rn(password, stored, &data, sizeof data);
  return hash != nullptr && hash[0] != '*' && SameText(hash, stored);
}

std::string MakeAdminToken(const std::string& secret, const std::string& credential, long long issued) {
  const std::string time = std::to_string(issued);
  return time + "." + HmacSha256Hex(secret, time + ":" + credential);
}

bool IsValidAdminToken(const std::string& secret, const std::string& credential, const char* token, long long now) {
  if (secret.empty() || credential.empty() || token == nullptr) return false;
  const char* dot = strchr(token, '.');
  // At most 18 digits: every such time fits a long long.
  if (dot == nullptr || dot == token || dot - token > 18) return false;
  long long issued = 0;
  for (const char* p = token; p < dot; ++p) {
    if (!IsDigit(*p)) return false;
    issued = issued * 10 + (*p - '0');
  }
  if (issued > now || now - issued > kTokenLifetime) return false;
  return SameText(MakeAdminToken(secret, credential, issued), token);
}

std::string AdminSecret(const char* path, bool make) {
  char text[2 * kSecretBytes + 2] = {};
  const int in = open(path, O_RDONLY | O_CLOEXEC);
  if (in >= 0) {
    const ssize_t got = read(in, text, sizeof text - 1);
    close(in);
    if (got >= 2 * kSecretBytes) return std::string(text, 2 * kSecretBytes);
    if (!make) return "";
  }
  if (!make) return "";
  unsigned char bytes[kSecretBytes];
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return "";
  const std::string secret = Hex(bytes, sizeof bytes);
  // Written whole under a temporary name, then renamed, readable by its
  // owner only: a secret is there complete or not at all.
  const std::string line = secret + "\n";
  if (!WriteFileWhole(path, line.data(), line.size(), 0600)) return "";
  return secret;
}

void PrecheckLogin(const char* path, const char* password) {
  HObjectStream stream;
  if (password == nullptr || !stream.Open(path, "r") || !stream.ReadHeader(true)) return;
  HAdmin admin(stream.EntryName());
  if (!admin.Load(stream)) return;
  const char* hash = admin.Properties().GetValue("_hash");
  const char* digest = admin.Properties().GetValue("_md5");
  LoginCheck& checked = Prechecked();
  checked = LoginCheck();
  if (hash != nullptr && *hash != 0) {
    checked.credential = hash;
    checked.matched = PasswordMatches(password, hash);
  } else if (digest != nullptr && *digest != 0) {
    checked.credential = digest;
    checked.matched = SameText(Md5Hex(password), digest);
    if (checked.matched) checked.new_hash = HashPassword(password);
  } else {
    return;
  }
  checked.password = password;
}

HAdmin::HAdmin(const char* name) : IContainer(name, 0) { type_name_ = "Admin"; }

bool HAdmin::Load(HObjectStream& stream) {
  broken_ = !IContainer::Load(stream) || stream.SkippedLines() != 0;
  for (const char* name : {"_hash", "_md5"}) {
    const char* value = properties_.GetValue(name);
    if (value != nullptr && *value == 0) broken_ = true;
  }
  return !broken_;
}

std::string HAdmin::TokenCredential() const {
  const char* logouts = properties_.GetValue("_logouts");
  return logouts == nullptr ? Credential() : Credential() + ":" + logouts;
}

std::string HAdmin::Credential() const {
  const char* hash = properties_.GetValue("_hash");
  if (hash != nullptr && *hash != 0) return hash;
  const char* digest = properties_.GetValue("_md5");
  return digest == nullptr ? "" : digest;
}

int HAdmin::CheckAdmin() {
  RefuseBroken();
  if (state_ != kUnknown) return state_;
  const std::string credential = Credential();
  state_ = kNoPassword;
  if (credential.empty()) return state_;
  state_ = kNotLoggedIn;
  HString cookie;
  if (!GetCookie("Admin", cookie)) return state_;
  if (IsValidAdminToken(AdminSecret(SecretPath().c_str(), false), TokenCredential(), cookie.CStr(), time(nullptr))) {
    state_ = kLoggedIn;
    cookie_token_ = cookie.CStr();
  }
  return state_;
}

bool HAdmin::IsVisitor() { return broken_ || CheckAdmin() == kNotLoggedIn; }

void HAdmin::Logout() {
  RefuseBroken();
  // Only a login ends logins: a visitor's POST must not end the
  // administrator's.
  if (CheckAdmin() != kLoggedIn) return;
  // A new count of logouts is a new credential for the tokens: every token
  // made before no longer matches.
  const char* logouts = properties_.GetValue("_logouts");
  properties_.SetValue("_logouts", std::to_string((logouts == nullptr ? 0 : atoll(logouts)) + 1).c_str());
  SetModified(true);
  cookie_token_.clear();
  if (CurrentServer != nullptr) CurrentServer->SetCookie("Admin", "", 1);  // expired: the browser drops it
  state_ = kNotLoggedIn;
}

void HAdmin::Login() {
  RefuseBroken();
  const char* password = CurrentServer == nullptr ? nullptr : CurrentServer->GetParam("_password");
  if (password == nullptr) password = "";
  const char* hash = properties_.GetValue("_hash");
  const char* digest = properties_.GetValue("_md5");
  const LoginCheck& checked = Prechecked();
  const bool prechecked = checked.password == password;
  if (hash != nullptr && *hash != 0) {
    const bool matches = prechecked && checked.credential == hash ? checked.matched : PasswordMatches(password, hash);
    if (!matches) throw ErrorPassword;
  } else if (digest != nullptr && *digest != 0 && SameText(Md5Hex(password), digest)) {
    // The old digest gives way to the slow hash.
    StorePassword(password, prechecked && checked.credential == digest ? checked.new_hash : "");
  } else {
    throw ErrorPassword;
  }
  SetAdminCookie();
  state_ = kLoggedIn;
}

void HAdmin::StorePassword(const char* password, const std::string& made) {
  if (*password == 0) {
    properties_.RemoveAll("_hash");
    properties_.RemoveAll("_md5");
  } else {
    const std::string hash = made.empty() ? HashPassword(password) : made;
    if (hash.empty()) throw ErrorFail;
    properties_.SetValue("_hash", hash.c_str());
    properties_.RemoveAll("_md5");
  }
  SetModified(true);
}

void HAdmin::RefuseBroken() const {
  if (broken_) throw ErrorFileLoad;
}

std::string HAdmin::FormToken() const {
  if (cookie_token_.empty()) return "";
  const std::string secret = AdminSecret(SecretPath().c_str(), false);
  return secret.empty() ? "" : HmacSha256Hex(secret, "form:" + cookie_token_);
}

const char* HAdmin::GetProperty(const char* name) {
  if (CompareNoCase(name, "HasPassword") == 0) return CheckAdmin() == kNoPassword ? "" : "1";
  if (CompareNoCase(name, "FormToken") != 0) return IContainer::GetProperty(name);
  CheckAdmin();
  form_token_ = state_ == kLoggedIn ? FormToken() : "";
  return form_token_.c_str();
}

void HAdmin::CheckFormToken(const char* token) {
  if (CheckAdmin() != kLoggedIn) return;
  const std::string expected = FormToken();
  if (expected.empty() || token == nullptr || !SameText(expected, token)) throw ErrorForm;
}

void HAdmin::SetAdminCookie() {
  std::string value;
  const std::string credential = Credential();
  if (!credential.empty()) {
    const std::string secret = AdminSecret(SecretPath().c_str(), true);
    if (secret.empty()) throw ErrorFileCreate;
    value = MakeAdminToken(secret, TokenCredential(), time(nullptr));
  }
  cookie_token_ = value;
  if (CurrentServer != nullptr) CurrentServer->SetCookie("Admin", value.c_str(), 0);
}

const char* HAdmin::Call(const char* method, int argc, const char* const* argv) {
  if (CompareNoCase(method, "Logout") == 0) {
    Logout();
    return nullptr;
  }
  if (CompareNoCase(method, "SetPassword") != 0) return IContainer::Call(method, argc, argv);
  SetPassword(argc, argv);
  return nullptr;
}

void HAdmin::SetPassword(int argc, const char* const* argv) {
  RefuseBroken();
  if (argc < 2 || argv[0] == nullptr || argv[1] == nullptr) throw ErrorFail;
  const char* password = argv[0];
  if (strcmp(password, kPlaceholderPassword) == 0 && strcmp(argv[1], kPlaceholderConfirm) == 0) {
    state_ = kLoggedIn;
    return;
  }
  if (strcmp(password, argv[1]) != 0) throw ErrorCorrespond;
  if (strlen(password) > kMaxPassword) throw ErrorValue;
  StorePassword(password);
  SetAdminCookie();
  state_ = kLoggedIn;
}
