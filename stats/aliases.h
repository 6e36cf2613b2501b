// HAliases, a small lookup table kept by the HVaziVev: a list container
// whose children, named with automatic numbers, are plain objects that
// each carry a "Name" property, and whose "find" turns a name into the
// number of its child. The children are stored inline with the table.
#ifndef STATS_ALIASES_H_
#define STATS_ALIASES_H_

#include "objects/container.h"

// Type "Aliases".
class HAliases : public IContainer {
 public:
  explicit HAliases(const char* name);

  // "find" with a name gives the number of the first child whose "Name"
  // property equals it, ignoring ASCII case; no such child, or no
  // argument, gives null. Other methods go to the list.
  const char* Call(const char* method, int argc, const char* const* argv) override;

 private:
  const char* Find(const char* name);
};

#endif  // STATS_ALIASES_H_
