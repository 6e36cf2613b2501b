// vazivev-update: counts every statistic of the site for every complete day
// (app/site_update.h). The site is the folder this program is in.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/site_update.h"

int main(int argc, char** argv) {
  if (argc > 1) {
    fputs("usage: vazivev-update\n", stderr);
    return 2;
  }
  const std::string self = argv[0];
  const size_t slash = self.rfind('/');
  std::string home = slash == std::string::npos ? "./" : self.substr(0, slash + 1);
  char* real = realpath(home.c_str(), nullptr);
  if (real != nullptr) home = std::string(real) + "/";
  free(real);
  return RunSiteUpdate(home, stdout, isatty(1) != 0);
}
