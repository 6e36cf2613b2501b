// vazivev-import FILE...: brings a site's history into its day files
// (app/log_import.h). The site is the folder this program is in.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/log_import.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fputs("usage: vazivev-import FILE...\n", stderr);
    return 2;
  }
  const std::string self = argv[0];
  const size_t slash = self.rfind('/');
  std::string home = slash == std::string::npos ? "./" : self.substr(0, slash + 1);
  char* real = realpath(home.c_str(), nullptr);
  if (real != nullptr) home = std::string(real) + "/";
  free(real);
  const std::vector<std::string> files(argv + 1, argv + argc);
  return RunImport(home, files, stdout, isatty(1) != 0);
}
