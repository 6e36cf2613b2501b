// Shared helpers of the unit tests: a scratch directory removed afterwards,
// standard output capture, and RaisedBy, which returns the error name a
// call throws.
#ifndef TESTS_TEST_UTIL_H_
#define TESTS_TEST_UTIL_H_

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "core/params.h"

// A fresh directory under /tmp, removed with everything in it on destruction.
class ScratchDir {
 public:
  ScratchDir() {
    char pattern[] = "/tmp/vazivev-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made == nullptr ? "/tmp" : made;
  }
  ~ScratchDir() {
    const std::string command = "rm -rf '" + path_ + "'";
    if (system(command.c_str()) != 0) {
    }
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs fn with standard output redirected to a file and returns what it
// wrote. Standard output is restored even when fn throws.
inline std::string CaptureStdout(const std::function<void()>& fn) {
  fflush(stdout);
  char pattern[] = "/tmp/vazivev-out-XXXXXX";
  const int fd = mkstemp(pattern);
  const int saved = dup(1);
  dup2(fd, 1);
  struct Restore {
    int saved, fd;
    ~Restore() {
      fflush(stdout);
      dup2(saved, 1);
      close(saved);
      close(fd);
    }
  };
  std::string out;
  {
    Restore restore{saved, fd};
    fn();
  }
  out = ReadFile(pattern);
  unlink(pattern);
  return out;
}

// The error name fn throws, or "" when it returns normally.
inline std::string RaisedBy(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const char* name) {
    return name;
  }
  return "";
}

// Every entry as name=value; in order.
inline std::string DumpParams(const HParams& params) {
  std::string out;
  for (HListNode* node = params.Head(); node != nullptr; node = node->next) {
    const HParamEntry* e = HParams::EntryOf(node);
    out += std::string(e->name.CStr()) + "=" + e->value.CStr() + ";";
  }
  return out;
}

#endif  // TESTS_TEST_UTIL_H_
