#include <unistd.h>

#include <cstdio>

#include "app/vazivev_server.h"

// The one server of the process, constructed before main runs.
HVaziVevServer Server;

int main(int argc, char** argv) {
  SetRestartArguments(argv);
  try {
    Server.Run(argc, argv);
  } catch (...) {
    // Run answers every error itself; nothing may change the exit status.
  }
#ifndef VAZIVEV_FULL_TEARDOWN
  // The request is answered and its data committed: the end of the process
  // releases what it holds at once, where taking the object tree and the
  // page apart piece by piece would cost every request a tenth of its time.
  // Builds with the sanitizers tear down in full, so that leaks show.
  fflush(stdout);
  _exit(0);
#endif
  return 0;
}
