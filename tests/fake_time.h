// Pinned clocks for programs the tests start: libfaketime preloaded
// directly, not through the faketime wrapper, whose semaphore (named by its
// own process id) a stale one of an earlier killed run can block.
#ifndef TESTS_FAKE_TIME_H_
#define TESTS_FAKE_TIME_H_

#include <unistd.h>

#include <cstdlib>
#include <string>

// The installed libfaketime, or null.
inline const char* FakeTimeLibrary() {
  static const char* const kPaths[] = {
      "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1",
      "/usr/lib/aarch64-linux-gnu/faketime/libfaketime.so.1",
      "/usr/lib/faketime/libfaketime.so.1",
  };
  for (const char* path : kPaths) {
    if (access(path, R_OK) == 0) return path;
  }
  return nullptr;
}

// The start of a shell command line that runs a program with its clock
// starting at `when` ("2000-03-01 12:00:00"), as a sanitizer build allows
// it (libfaketime ahead of the sanitizer runtime).
inline std::string FakeTimeCommand(const std::string& when) {
  std::string asan = "verify_asan_link_order=0";
  if (const char* options = getenv("ASAN_OPTIONS")) asan = asan + ":" + options;
  const char* lib = FakeTimeLibrary();
  return "ASAN_OPTIONS='" + asan + "' " + (lib == nullptr ? "" : std::string("LD_PRELOAD='") + lib + "' ") +
         "FAKETIME='@" + when + "' FAKETIME_DONT_RESET=1 ";
}

#endif  // TESTS_FAKE_TIME_H_
