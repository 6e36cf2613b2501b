#include "app/worker_processes.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

// The whole of a file from its start.
std::string ReadFromStart(int fd) {
  std::string text;
  if (lseek(fd, 0, SEEK_SET) != 0) return text;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  return text;
}

}  // namespace

std::vector<HWorkerProcess> StartWorkers(size_t count, const std::function<bool(size_t k, int fd)>& work) {
  std::vector<HWorkerProcess> workers;
  if (count == 0) return workers;
  fflush(nullptr);  // nothing buffered is written twice
  for (size_t k = 1; k <= count; ++k) {
    FILE* file = tmpfile();
    if (file == nullptr) break;
    const int fd = dup(fileno(file));
    fclose(file);
    if (fd < 0) break;
    const pid_t pid = fork();
    if (pid == 0) {
      bool done = false;
      try {
        done = work(k, fd);
      } catch (...) {
        done = false;
      }
      _exit(done ? 0 : 1);
    }
    if (pid < 0) {
      close(fd);
      break;
    }
    workers.push_back({pid, fd});
  }
  return workers;
}

bool FinishWorker(const HWorkerProcess& worker, std::string* results) {
  int status = 0;
  while (waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
  }
  *results = ReadFromStart(worker.fd);
  close(worker.fd);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
