// vazivev-update: counts every statistic of the site for every complete day
// (app/site_update.h). The site is the folder this program is in.
//
//     vazivev-update [--jobs N]   N processes count days (default: the online cores)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/site_home.h"
#include "app/site_update.h"

namespace {

// The online cores, 1 when unknown.
int OnlineCores() {
  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  return cores < 1 ? 1 : cores > 64 ? 64 : static_cast<int>(cores);
}

}  // namespace

int main(int argc, char** argv) {
  int jobs = OnlineCores();
  for (int i = 1; i < argc; ++i) {
    char* end = nullptr;
    const long n = i + 1 < argc && strcmp(argv[i], "--jobs") == 0 ? strtol(argv[i + 1], &end, 10) : 0;
    if (end == nullptr || *end != 0 || n < 1 || n > 64) {
      fputs("usage: vazivev-update [--jobs N]   (N from 1 to 64)\n", stderr);
      return 2;
    }
    jobs = static_cast<int>(n);
    ++i;
  }
  const std::string home = SiteHomeOf(argv[0]);
  return RunSiteUpdate(home, stdout, isatty(1) != 0, jobs);
}
