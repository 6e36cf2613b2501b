#include "core/write_guard.h"

namespace {

HWriteHandler write_handler = nullptr;

}  // namespace

void SetWriteHandler(HWriteHandler handler) { write_handler = handler; }

void WillWrite() {
  // Taken off first: whatever the handler does on its way out must not
  // come back here.
  const HWriteHandler handler = write_handler;
  write_handler = nullptr;
  if (handler != nullptr) handler();
}
