#include "stats/stored_counts.h"

#include <cstdlib>
#include <cstring>

#include "objects/object_stream.h"

namespace {

const char kObjectWord[] = "object ";
constexpr size_t kObjectWordLength = sizeof kObjectWord - 1;

}  // namespace

uint32_t HStoredCounts::Hash(const char* name, size_t length) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < length; ++i) {
    hash ^= static_cast<unsigned char>(name[i]);
    hash *= 16777619u;
  }
  return hash;
}

bool HStoredCounts::Index(const std::string& text, size_t from, bool rejoin) {
  if (text.size() > UINT32_MAX) return false;
  text_.assign(text, from < text.size() ? from : text.size(), std::string::npos);
  rows_.clear();
  slots_.clear();
  mask_ = 0;
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  rows_.reserve(text_.size() / 16);
  for (const char* line = begin; line < end;) {
    const char* feed = static_cast<const char*>(memchr(line, '\n', static_cast<size_t>(end - line)));
    const char* line_end = feed == nullptr ? end : feed;
    const size_t length = static_cast<size_t>(line_end - line);
    if (length == 0 || line[0] != ' ' ||
        (length > kObjectWordLength && strncmp(line + 1, kObjectWord, kObjectWordLength) == 0)) {
      break;  // the end of the ranking, as its reader sees it
    }
    if (length >= static_cast<size_t>(HObjectStream::kLineSize - 1)) return false;
    const char* equals = static_cast<const char*>(memchr(line + 1, '=', length - 1));
    if (equals == nullptr) return false;
    const char* number = equals + 1;
    if (rejoin) {
      for (const char* at = line_end - 1; at > equals; --at) {
        if (*at == '=') {
          number = at + 1;
          break;
        }
      }
    }
    const char* name_end = number - 1;
    Row row;
    row.name = static_cast<uint32_t>(line + 1 - begin);
    row.length = static_cast<uint32_t>(name_end - line - 1);
    row.hash = Hash(line + 1, row.length);
    row.number = static_cast<uint32_t>(number - begin);
    rows_.push_back(row);
    line = feed == nullptr ? end : feed + 1;
  }
  size_t size = 8;
  while (size < rows_.size() * 2) size *= 2;
  slots_.assign(size, 0);
  mask_ = static_cast<uint32_t>(size - 1);
  for (size_t i = 0; i < rows_.size(); ++i) {
    const Row& row = rows_[i];
    for (uint32_t slot = row.hash & mask_;; slot = (slot + 1) & mask_) {
      if (slots_[slot] == 0) {
        slots_[slot] = static_cast<uint32_t>(i + 1);
        break;
      }
      Row& other = rows_[slots_[slot] - 1];
      if (other.hash == row.hash && other.length == row.length &&
          memcmp(begin + other.name, begin + row.name, row.length) == 0) {
        other.number = row.number;  // stored twice: the last count holds
        break;
      }
    }
  }
  return true;
}

long long HStoredCounts::Find(const char* name) const {
  if (slots_.empty()) return 0;
  const size_t length = strlen(name);
  const uint32_t hash = Hash(name, length);
  for (uint32_t slot = hash & mask_; slots_[slot] != 0; slot = (slot + 1) & mask_) {
    const Row& row = rows_[slots_[slot] - 1];
    if (row.hash == hash && row.length == length && memcmp(text_.data() + row.name, name, length) == 0) {
      return atoi(text_.data() + row.number);
    }
  }
  return 0;
}
