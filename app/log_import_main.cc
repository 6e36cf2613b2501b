// vazivev-import FILE...: brings a site's history into its day files
// (app/log_import.h). The site is the folder this program is in.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/log_import.h"
#include "app/site_home.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fputs("usage: vazivev-import FILE...\n", stderr);
    return 2;
  }
  const std::string home = SiteHomeOf(argv[0]);
  const std::vector<std::string> files(argv + 1, argv + argc);
  return RunImport(home, files, stdout, isatty(1) != 0);
}
