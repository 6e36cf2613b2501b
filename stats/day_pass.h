// HDayPass, one read of a day file for every count of that day that is
// due: each statistic kind gives a counter (IDayCounter) that takes the
// day's lines one by one, and a step that takes the counter's result back
// into the kind's day entry once the whole file was read. A statistic that
// counts a day by itself runs a pass with its one counter, so a day counted
// alone and a day counted together with others go through the same code.
//
// Each counter sees every line exactly as a read of its own through
// CountLogLines (logread/log_line.h) with its read limit would show it: a
// line longer than a read cut to its first piece, a JSON line gathered
// whole. A JSON line comes in a buffer of the counter's own that it may
// write zero bytes into (Offer); every other line comes as the facts of
// that text (OfferFacts, logread/line_facts.h), one record for all the
// counters that see the same text, so that each fact is found once.
#ifndef STATS_DAY_PASS_H_
#define STATS_DAY_PASS_H_

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "logread/line_facts.h"

// Takes the lines of one day file for one statistic.
class IDayCounter {
 public:
  // `limit` is the buffer size the counter reads lines with (its reads hold
  // limit - 1 bytes), as CountLogLines takes it.
  explicit IDayCounter(int limit) : limit_(limit) {}
  virtual ~IDayCounter() = default;
  IDayCounter(const IDayCounter&) = delete;
  IDayCounter& operator=(const IDayCounter&) = delete;

  // Whether the line counts; the line is the counter's own copy.
  virtual bool Offer(char* line) = 0;
  // Whether the line whose facts these are counts: what Offer answers for
  // a copy of facts.Text(). Here: Offer of such a copy.
  virtual bool OfferFacts(HLineFacts& facts) { return Offer(facts.WholeCopy()); }

  int Limit() const { return limit_; }
  // How many lines Offer took so far.
  int Counted() const { return counted_; }
  void Take(char* line) {
    if (Offer(line)) ++counted_;
  }
  void TakeFacts(HLineFacts& facts) {
    if (OfferFacts(facts)) ++counted_;
  }

  // The stamp the count is stored under, taken before the file was read.
  const std::string& Stamp() const { return stamp_; }
  void SetStamp(const std::string& stamp) { stamp_ = stamp; }

  // What the counter gathered besides Counted(), appended to `out` for a
  // counter of another process; LoadResult reads it into a counter made
  // alike, which then finishes as if it had read the file itself. False
  // for a result that does not read. Nothing here.
  virtual void SaveResult(std::string& out) const { (void)out; }
  virtual bool LoadResult(const char*& p, const char* end) {
    (void)p;
    (void)end;
    return true;
  }
  void SetCounted(int counted) { counted_ = counted; }

 private:
  int limit_;
  int counted_ = 0;
  std::string stamp_;
};

// The fields of a saved result: numbers as 8 bytes, texts as their length
// and bytes. The readers move `p` past the field and return false when it
// does not fit before `end`.
void PutResultNumber(std::string& out, long long n);
bool GetResultNumber(const char*& p, const char* end, long long* n);
void PutResultText(std::string& out, const std::string& text);
bool GetResultText(const char*& p, const char* end, std::string* text);

// A counter whose Offer is a function object, as CountLogLines takes one,
// and whose OfferFacts is another (HLineFacts&) giving the same answers.
template <class Fn, class FactsFn>
class HLineCounter : public IDayCounter {
 public:
  HLineCounter(int limit, Fn offer, FactsFn offer_facts)
      : IDayCounter(limit), offer_(std::move(offer)), offer_facts_(std::move(offer_facts)) {}
  bool Offer(char* line) override { return offer_(line); }
  bool OfferFacts(HLineFacts& facts) override { return offer_facts_(facts); }

 private:
  Fn offer_;
  FactsFn offer_facts_;
};

template <class Fn, class FactsFn>
std::unique_ptr<IDayCounter> MakeLineCounter(int limit, Fn offer, FactsFn offer_facts) {
  return std::unique_ptr<IDayCounter>(
      new HLineCounter<Fn, FactsFn>(limit, std::move(offer), std::move(offer_facts)));
}

class HDayPass {
 public:
  // What takes a counter's result once the file was read.
  using Finish = std::function<void(IDayCounter&)>;

  // Adds a count to the pass, under the tag set last; `finish` may be
  // empty.
  void Add(std::unique_ptr<IDayCounter> counter, Finish finish);
  bool IsEmpty() const { return jobs_.empty(); }
  size_t Size() const { return jobs_.size(); }
  // The tag the next counts are added under (the caller's number of the
  // statistic that adds them), 0 at first.
  void SetTag(int tag) { tag_ = tag; }
  int Tag(size_t job) const { return jobs_[job].tag; }
  IDayCounter& Counter(size_t job) { return *jobs_[job].counter; }

  // The day file the pass reads: the first one named (every statistic of
  // one analysis finds the same file for a day).
  void SetFile(const char* file) {
    if (file_.empty() && file != nullptr) file_ = file;
  }
  const std::string& File() const { return file_; }
  // Run over File(); false when no file was named.
  bool Run() { return !file_.empty() && Run(file_.c_str()); }

  // Reads `file` once, offering every line to every counter in the order
  // they were added, then finishes each in that order. False when the file
  // cannot be opened: then no counter is finished. The counters stay until
  // the pass is destroyed.
  bool Run(const char* file);
  // Reads `file` as Run does but finishes nothing: for a pass whose
  // results go to another process.
  bool Read(const char* file);
  // Finishes the counts `ready` names (by job, as added), for counters
  // whose results were loaded (LoadResult) instead of read.
  void FinishLoaded(const std::vector<bool>& ready);

 private:
  struct HJob {
    std::unique_ptr<IDayCounter> counter;
    Finish finish;
    int tag;
  };
  // Offers one line of the file (`size` bytes, its line feed included when
  // it has one, and a zero byte after them) to every counter.
  void OfferLine(const char* text, size_t size);
  // The line as a counter of read limit `limit` takes it, into `out`;
  // false when such a counter skips it.
  bool LineFor(const char* text, size_t size, int limit, std::string& out) const;

  // The line as the counters of one read limit take it, and its facts.
  // A line that fits every read is one text for all of them (limit 0).
  struct HShown {
    int limit = 0;
    bool taken = false;
    std::string text;
    HLineFacts facts;
  };
  // The shown line of the counters of `limit` for the line at hand, made
  // when first asked.
  HShown& ShownFor(const char* text, size_t size, int limit);

  std::vector<HJob> jobs_;
  std::string file_;
  int tag_ = 0;
  // The texts of the line at hand, the first shown_count_ of them.
  std::vector<std::unique_ptr<HShown>> shown_;
  size_t shown_count_ = 0;
  HLineFacts whole_;  // the facts of a line every read holds whole, read in place
  size_t shortest_read_ = 0;  // the fewest bytes a counter's read holds
  std::string own_;  // a counter's copy of a JSON line
};

// Runs `counter` alone over `file`: the lines it took, or -1 when the file
// cannot be opened.
int CountDayFileLines(const char* file, std::unique_ptr<IDayCounter> counter);

#endif  // STATS_DAY_PASS_H_
