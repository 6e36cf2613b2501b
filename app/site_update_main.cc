// vazivev-update: counts every statistic of the site for every complete day
// (app/site_update.h). The site is the folder this program is in.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/site_home.h"
#include "app/site_update.h"

int main(int argc, char** argv) {
  if (argc > 1) {
    fputs("usage: vazivev-update\n", stderr);
    return 2;
  }
  const std::string home = SiteHomeOf(argv[0]);
  return RunSiteUpdate(home, stdout, isatty(1) != 0);
}
