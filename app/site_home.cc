#include "app/site_home.h"

#include <cstdlib>

std::string SiteHomeOf(const char* argv0) {
  const std::string self = argv0 == nullptr ? "" : argv0;
  const size_t slash = self.rfind('/');
  std::string home = slash == std::string::npos ? "./" : self.substr(0, slash + 1);
  char* real = realpath(home.c_str(), nullptr);
  if (real != nullptr) home = std::string(real) + "/";
  free(real);
  return home;
}
