// vazivev-log ACCESS_LOG [LOCK_FILE]: the piped logger (app/log_pipe.h).
// The lock file defaults to vazivev.txt beside this program.
#include <cstdio>
#include <string>

#include "app/log_pipe.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    fputs("usage: vazivev-log ACCESS_LOG [LOCK_FILE]\n", stderr);
    return 2;
  }
  std::string lock;
  if (argc == 3) {
    lock = argv[2];
  } else {
    const std::string self = argv[0];
    const size_t slash = self.rfind('/');
    lock = (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + "vazivev.txt";
  }
  const int status = RunLogPipe(argv[1], lock.c_str(), 0);
  if (status != 0) fprintf(stderr, "vazivev-log: cannot open %s\n", argv[1]);
  return status;
}
