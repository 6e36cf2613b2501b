// Fuzz target for the object store: the input is a stored block, read by
// HObjectStream into objects made by the plain factory, saved, and read back.
// The second reading must give the same tree as the first, but for what the
// format cannot hold by design: a property whose name it refuses, carriage
// returns in a value that holds a line feed (and with them the last id a
// list took from such an id), numbered children, and the container
// children of a numbered container (these have files of their own; read
// inline, they are never written back). Any other difference aborts. Build with clang and -DVAZIVEV_FUZZ=ON, then run
// build/store_fuzz -max_total_time=60.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "objects/container.h"
#include "objects/factory.h"
#include "objects/object.h"
#include "objects/object_stream.h"
#include "tests/fuzz/scratch.h"
#include "tests/objects/fake_server.h"

namespace {

// A scratch folder made once per process.
struct Site {
  Site() : home(ScratchFolder("vazivev-store-fuzz")), server(new FakeServer(home)) {}
  std::string home;
  FakeServer* server;
};

// The object stored at `path`, or null when it holds no block of a known type.
IObject* Load(const std::string& path) {
  HObjectStream stream;
  if (!stream.Open(path.c_str(), "r") || !stream.ReadHeader(true)) return nullptr;
  IObjectFactory factory;
  IObject* object = factory.Create(stream.EntryName(), stream.EntryValue());
  if (object != nullptr) object->Load(stream);
  return object;
}

// The tree as text, as far as the stored format can hold it.
// `altered` holds the places of the lists whose last id is left out: the
// first dump adds them, the second only reads them.
void Dump(IObject* object, std::string& out, const std::string& place, std::set<std::string>& altered_lists,
          bool first) {
  out += std::string(object->GetTypeName()) + " " + object->GetName() + "\n";
  const bool items = object->IsItems();
  bool altered = false;
  for (const HParamEntry* entry : object->Properties()) {
    if (!items && !IsStorablePropertyName(entry->name.CStr())) continue;
    std::string value(entry->value.CStr(), entry->value.Length());
    if (value.find('\n') != std::string::npos) {
      std::string kept;
      for (const char c : value) {
        if (c != '\r') kept += c;
      }
      altered = altered || kept != value;
      value = kept;
    }
    out += " " + std::string(items ? "" : entry->name.CStr()) + "=" + value + "\n";
  }
  if (!object->IsContainer()) return;
  auto* container = static_cast<IContainer*>(object);
  // A list's last id follows its ids as read: one whose carriage returns
  // were dropped may read as another number.
  if (first && object->IsList() && altered) altered_lists.insert(place);
  if (altered_lists.count(place) == 0) out += " lastid " + std::to_string(container->LastId()) + "\n";
  int shown = 0;  // the place counts only what both readings hold
  for (int i = 0; i < container->ChildCount(); ++i) {
    IObject* child = container->ChildAt(i);
    if (child->IsNumbered() || (object->IsNumbered() && child->IsContainer())) continue;
    Dump(child, out, place + "/" + std::to_string(shown++), altered_lists, first);
  }
  out += "end\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Site* site = new Site;
  const std::string in = site->home + "/in";
  const std::string out = site->home + "/out";
  FILE* file = fopen(in.c_str(), "wb");
  if (file == nullptr) abort();
  if (size > 0) fwrite(data, 1, size, file);
  fclose(file);
  IObject* first = Load(in);
  if (first == nullptr) return 0;
  {
    HObjectStream stream;
    if (!stream.Open(out.c_str(), "w")) abort();
    first->Save(stream);
    if (!stream.Close()) abort();
  }
  IObject* second = Load(out);
  if (second == nullptr) abort();
  std::string a, b;
  std::set<std::string> altered_lists;
  Dump(first, a, "", altered_lists, true);
  Dump(second, b, "", altered_lists, false);
  if (a != b) {
    fprintf(stderr, "first reading:\n%s\nsecond reading:\n%s\n", a.c_str(), b.c_str());
    abort();
  }
  first->Release();
  second->Release();
  return 0;
}
