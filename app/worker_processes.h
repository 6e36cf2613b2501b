// The worker processes of vazivev-update: each does its share of a piece's
// work while this process holds the lock, and hands its results over in a
// file made before the fork.
#ifndef APP_WORKER_PROCESSES_H_
#define APP_WORKER_PROCESSES_H_

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct HWorkerProcess {
  pid_t pid;
  int fd;  // the file its results go to
};

// Starts up to `count` workers: worker k (from 1) runs work(k, fd) and ends
// with status 0 when that returns true, 1 when it returns false or throws.
// Fewer start when a file or a process cannot be made; the shares of those
// that did not start are the caller's.
std::vector<HWorkerProcess> StartWorkers(size_t count, const std::function<bool(size_t k, int fd)>& work);

// Waits for the worker to end, closes its file and gives what it wrote in
// `results`; false when it did not end with status 0 (what it wrote is
// given all the same).
bool FinishWorker(const HWorkerProcess& worker, std::string* results);

#endif  // APP_WORKER_PROCESSES_H_
