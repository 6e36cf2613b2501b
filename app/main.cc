#include "app/vazivev_server.h"

// The one server of the process, constructed before main runs.
HVaziVevServer Server;

int main(int argc, char** argv) {
  try {
    Server.Run(argc, argv);
  } catch (...) {
    // Run answers every error itself; nothing may change the exit status.
  }
  return 0;
}
