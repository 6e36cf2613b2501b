// Fuzz target for the template engine: the input is a page, parsed and
// rendered by the application's server in a scratch site, with a few
// request parameters. Build with clang and -DVAZIVEV_FUZZ=ON, then run
// build/template_fuzz -max_total_time=60.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/vazivev_server.h"
#include "script/iscript.h"
#include "server/server_script.h"

namespace {

struct Site {
  Site() {
    char pattern[] = "/tmp/vazivev-fuzz-XXXXXX";
    root = mkdtemp(pattern);
    root += "/";
    HomeDir.Assign(root.c_str());
    Params.AddEntry("a", "1");
    Params.AddEntry("text", "\xA4\xA2");
    Params.AddEntry("color", "red");
    Params.AddEntry("color", "blue");
  }
  std::string root;
  HVaziVevServer server;
  HServerScript script;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Site* site = new Site;
  FILE* page = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (page == nullptr) return 0;
  FILE* saved = stdout;
  stdout = fopen("/dev/null", "w");
  try {
    HScriptReader reader(page);
    site->script.Load(reader);
    site->script.Run();
  } catch (const char*) {
    // An error name travels to the driver, which renders its page.
  }
  fclose(stdout);
  stdout = saved;
  fclose(page);
  return 0;
}
