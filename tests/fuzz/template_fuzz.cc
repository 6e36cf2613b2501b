// Fuzz target for the template engine: the input is a page, parsed and
// rendered by the application's server in a scratch site, with a few
// request parameters. Every input is a request of its own: a new server
// (and so a new object tree), the parameters and the script's process-wide
// state as a request starts, and its answers freed after it. Its loops run
// at most kLoopRounds rounds together. Build with clang and
// -DVAZIVEV_FUZZ=ON, then run build/template_fuzz -max_total_time=60.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/vazivev_server.h"
#include "core/answers.h"
#include "script/blocks.h"
#include "script/encoding.h"
#include "script/iscript.h"
#include "script/names.h"
#include "script/parse.h"
#include "script/unicode.h"
#include "server/server_script.h"
#include "tests/fuzz/scratch.h"

namespace {

// What all loops of one input may run together: enough for every branch of
// a loop body, without waiting for a page that asks for billions of rounds.
constexpr long long kLoopRounds = 1000;

// A scratch site made once per process.
struct Site {
  Site() : root(ScratchFolder("vazivev-fuzz") + "/") {}
  std::string root;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Site* site = new Site;
  FILE* page = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (page == nullptr) return 0;
  HomeDir.Assign(site->root.c_str());
  Params.Clear();
  Params.AddEntry("a", "1");
  Params.AddEntry("text", "\xA4\xA2");
  Params.AddEntry("color", "red");
  Params.AddEntry("color", "blue");
  ObjectAliases.Clear();
  IncludeCache.Clear();
  SjisOutput = false;
  Utf8Output = false;
  HScriptFor::round_budget = kLoopRounds;
  FILE* saved = stdout;
  stdout = fopen("/dev/null", "w");
  try {
    HVaziVevServer server;
    HServerScript script;
    HScriptReader reader(page);
    script.Load(reader);
    script.Run();
  } catch (const char*) {
    // An error name travels to the driver, which renders its page.
  }
  ObjectAliases.Clear();  // it points into the server's object tree
  ReleaseAnswers();
  fclose(stdout);
  stdout = saved;
  fclose(page);
  return 0;
}
