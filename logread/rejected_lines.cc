#include "logread/rejected_lines.h"

#include <cstdlib>
#include <cstring>

#include "core/file.h"
#include "core/file_write.h"

namespace {

const char kRejectedName[] = "logs/rejected";
const char* const kWords[kRejectReasons] = {"undated", "ahead", "long"};

// A line as the file keeps it: no line feed, tab or other control byte.
std::string Sample(const char* line, size_t length) {
  while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) --length;
  std::string text(line, length < kRejectedSampleBytes ? length : kRejectedSampleBytes);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

}  // namespace

const char* RejectReasonWord(RejectReason reason) { return kWords[reason]; }

HRejectedDays ReadRejected(const char* home) {
  HRejectedDays days;
  HFile in;
  if (!in.Open((std::string(home) + kRejectedName).c_str(), "r")) return days;
  char buffer[kRejectedSampleBytes + 64];
  while (in.RawGets(buffer, sizeof buffer) != nullptr) {
    std::string line = buffer;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    // "day<TAB>reason<TAB>count" or "day<TAB>reason<TAB>sample<TAB>text".
    const size_t a = line.find('\t');
    const size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
    if (b == std::string::npos) continue;
    const int day = atoi(line.substr(0, a).c_str());
    HRejected& entry = days[day][line.substr(a + 1, b - a - 1)];
    const std::string rest = line.substr(b + 1);
    if (rest.compare(0, 7, "sample\t") == 0) {
      if (entry.samples.size() < kRejectedSamples) entry.samples.push_back(rest.substr(7));
    } else {
      entry.count += atoll(rest.c_str());
    }
  }
  return days;
}

void HRejectedNote::Add(RejectReason reason, const char* line, size_t length) {
  ++counts_[reason];
  if (samples_[reason].size() < kRejectedSamples) samples_[reason].push_back(Sample(line, length));
}

bool HRejectedNote::Empty() const {
  for (const long long count : counts_) {
    if (count != 0) return false;
  }
  return true;
}

bool HRejectedNote::Save(const char* home, int day) const {
  if (Empty()) return true;
  HRejectedDays days = ReadRejected(home);
  for (int r = 0; r < kRejectReasons; ++r) {
    if (counts_[r] == 0) continue;
    HRejected& entry = days[day][kWords[r]];
    entry.count += counts_[r];
    for (const std::string& sample : samples_[r]) {
      if (entry.samples.size() < kRejectedSamples) entry.samples.push_back(sample);
    }
  }
  std::string text;
  int kept = 0;
  for (const auto& [number, reasons] : days) {
    if (++kept > kRejectedDays) break;
    for (const auto& [word, entry] : reasons) {
      const std::string head = std::to_string(number) + "\t" + word + "\t";
      text += head + std::to_string(entry.count) + "\n";
      for (const std::string& sample : entry.samples) text += head + "sample\t" + sample + "\n";
    }
  }
  return WriteFileWhole((std::string(home) + kRejectedName).c_str(), text.data(), text.size());
}
