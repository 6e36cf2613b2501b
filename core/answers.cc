#include "core/answers.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/text.h"

namespace {

// Blocks of kBlockSize bytes are filled from the front; a text of more than
// a quarter block gets a block of its own, so a long value never wastes the
// rest of a shared one.
constexpr size_t kBlockSize = 16 * 1024;

class HAnswerStore {
 public:
  HAnswerStore() = default;
  HAnswerStore(const HAnswerStore&) = delete;
  HAnswerStore& operator=(const HAnswerStore&) = delete;
  ~HAnswerStore() { Release(); }

  void Release() {
    while (blocks_ != nullptr) {
      Block* next = blocks_->next;
      free(blocks_);
      blocks_ = next;
    }
    next_ = nullptr;
    end_ = nullptr;
  }

  char* Allocate(size_t size) {
    if (size <= static_cast<size_t>(end_ - next_)) {
      char* room = next_;
      next_ += size;
      return room;
    }
    if (size > kBlockSize / 4) return NewBlock(size);  // the shared block stays current
    char* data = NewBlock(kBlockSize);
    next_ = data + size;
    end_ = data + kBlockSize;
    return data;
  }

 private:
  // A block's bytes follow its header.
  struct Block {
    Block* next;
  };

  // The bytes of a new block of `size`.
  char* NewBlock(size_t size) {
    auto* block = static_cast<Block*>(malloc(sizeof(Block) + size));
    if (block == nullptr) throw std::bad_alloc();
    block->next = blocks_;
    blocks_ = block;
    return reinterpret_cast<char*>(block + 1);
  }

  Block* blocks_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;
};

// Made on first use, released when the process exits.
HAnswerStore& Store() {
  static HAnswerStore store;
  return store;
}

}  // namespace

void ReleaseAnswers() { Store().Release(); }

char* AnswerSpace(int size) { return Store().Allocate(size < 0 ? 0 : static_cast<size_t>(size)); }

const char* KeepAnswer(const char* text, int n) {
  if (text == nullptr) return nullptr;
  const size_t length = n < 0 ? strlen(text) : static_cast<size_t>(n);
  char* kept = Store().Allocate(length + 1);
  memcpy(kept, text, length);
  kept[length] = 0;
  return kept;
}

const char* NumberAnswer(int value) { return DecimalAnswer(value); }

const char* DecimalAnswer(long long value) {
  char digits[kDecimalSize];
  return KeepAnswer(digits, FormatDecimal(digits, value));
}

const char* FormatAnswer(const char* format, ...) {
  char small[64];
  va_list args;
  va_start(args, format);
  const int length = vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) return KeepAnswer("");
  if (static_cast<size_t>(length) < sizeof small) return KeepAnswer(small, length);
  char* kept = AnswerSpace(length + 1);
  va_start(args, format);
  vsnprintf(kept, static_cast<size_t>(length) + 1, format, args);
  va_end(args);
  return kept;
}
