// Fuzz target for reading rotated and archived logs: the input is a file,
// read through HByteSource as the split and the import read it (plain, or
// gzip, bzip2, xz or zstd by its first bytes), in chunks of a size the last
// byte picks, then again with a skip to half of what it gave. Both reads
// must agree, and neither may give more than the bound below (a small
// archive may expand a lot: the bound keeps the run short, not the code).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "logread/byte_source.h"
#include "tests/fuzz/scratch.h"

namespace {

constexpr long long kMostBytes = 8 * 1024 * 1024;

// What the source gives, up to kMostBytes; `ok` false on an error.
std::string ReadAll(HByteSource& source, size_t chunk, bool* ok) {
  std::string out;
  std::vector<char> buffer(chunk);
  *ok = true;
  while (static_cast<long long>(out.size()) < kMostBytes) {
    const ssize_t got = source.Read(buffer.data(), buffer.size());
    if (got < 0) {
      *ok = false;
      break;
    }
    if (got == 0) break;
    if (static_cast<size_t>(got) > buffer.size()) abort();
    out.append(buffer.data(), static_cast<size_t>(got));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFolder("vazivev-decompress-fuzz") + "/input";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const size_t chunk = size == 0 ? 4096 : 1 + data[size - 1] * 37 % 8192;
  HByteSource source;
  if (!source.Open(path.c_str())) return 0;
  bool ok = false;
  const std::string whole = ReadAll(source, chunk, &ok);
  if (!ok || static_cast<long long>(whole.size()) >= kMostBytes) return 0;
  HByteSource again;
  if (!again.Open(path.c_str())) abort();
  const long long half = static_cast<long long>(whole.size() / 2);
  if (!again.Skip(half)) abort();
  bool ok_again = false;
  const std::string rest = ReadAll(again, 4096, &ok_again);
  if (!ok_again || rest != whole.substr(static_cast<size_t>(half))) {
    fprintf(stderr, "decompress_fuzz: a skip to %lld gave other bytes\n", half);
    abort();
  }
  return 0;
}
