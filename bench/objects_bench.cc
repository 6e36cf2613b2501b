// Storage benchmarks: loading one child from a data directory that holds
// many stored children (it must cost one file, whatever the directory
// holds), and saving an object of 1,000 properties (a checked, synced
// write of a temporary file and its rename).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/iserver.h"
#include "objects/container.h"
#include "objects/factory.h"
#include "objects/ncontainer.h"
#include "tests/objects/fake_server.h"

namespace {

// A program directory with `children` stored day rankings in
// data/, each a plain container of 40 properties; removed afterwards.
class Site {
 public:
  explicit Site(int children) {
    // VAZIVEV_BENCH_DIR picks the file system (default /tmp).
    const char* base = getenv("VAZIVEV_BENCH_DIR");
    std::string pattern = std::string(base == nullptr ? "/tmp" : base) + "/vazivev-bench-XXXXXX";
    home_ = mkdtemp(&pattern[0]);
    server_ = new FakeServer(home_);
    const std::string data = home_ + "/data/";
    mkdir(data.c_str(), 0755);
    for (int i = 0; i < children; ++i) {
      const std::string name = std::to_string(19990000 + i);
      FILE* file = fopen((data + name).c_str(), "w");
      fprintf(file, "object %s : Container\n", name.c_str());
      for (int p = 0; p < 40; ++p) fprintf(file, " host%d.example.jp=%d\n", p, 1000 - p);
      fputs("end\n", file);
      fclose(file);
    }
  }
  ~Site() {
    delete server_;
    if (system(("rm -rf '" + home_ + "'").c_str()) != 0) {
    }
  }

 private:
  std::string home_;
  FakeServer* server_;
};

void BM_LoadOneStoredChild(benchmark::State& state) {
  const int children = static_cast<int>(state.range(0));
  Site site(children);
  const std::string name = std::to_string(19990000 + children / 2);
  for (auto _ : state) {
    INContainer root("", 0);  // a new request's tree
    root.SetDirectory("data/");
    IObject* child = root.FindChild(name.c_str());
    if (child == nullptr) state.SkipWithError("child not found");
    benchmark::DoNotOptimize(child);
  }
}
BENCHMARK(BM_LoadOneStoredChild)->Arg(10)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_SaveThousandProperties(benchmark::State& state) {
  Site site(0);
  INContainer root("", 0);
  root.SetDirectory("data/");
  IObject* child = root.CreateChild("big", "Container");
  for (int p = 0; p < 1000; ++p) {
    child->SetProperty(("/path/to/page" + std::to_string(p) + ".html").c_str(), std::to_string(p * 7).c_str());
  }
  root.SetModified(false);  // only the child's file is written
  for (auto _ : state) {
    if (!root.SaveFiles()) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_SaveThousandProperties)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
