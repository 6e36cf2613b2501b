// The rankings of one day: HDomainsHit counts the requests of each client
// domain, HPagesHit those of each requested path. A day is counted from its
// day file the first time a page asks for it, sorted largest first and
// stored; afterwards it is read back in that order and never counted again.
// Pages walk a ranking row by row, each row described by the child
// "Current" ("Name", "Hit", "Rate"), under the "lines" limit and an optional
// text filter. The counts of one ranking are an HItemTable
// (stats/item_table.h).
//
// A day object is owned by its HItemsContainer (stats/item_container.h)
// and borrows the container and the container's settings (IStatsSettings).
#ifndef STATS_ITEMS_H_
#define STATS_ITEMS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/date.h"
#include "core/stored_text.h"
#include "core/text.h"
#include "logread/line_facts.h"
#include "objects/container.h"
#include "stats/item_table.h"

class HDayPass;
class HItemsContainer;
class HStoredCounts;
class IDayCounter;
class IStatsSettings;

// The change from `before` to `now` in whole per cent, with its sign
// ("+12%", "-3%", "0%"); "new" when before is 0 and now is not, empty when
// both are 0.
std::string ChangeText(long long now, long long before);


// A day's ranking (or, held by a container, a sum over days). Type names
// "Domains" and "Pages" belong to the two kinds below, "Statuses" and
// "NotFound" to those of stats/responses.h.
class HItemsHit : public IContainer {
 public:
  // `container` owns this object and outlives it; it may be null (no log:
  // nothing is ever counted and walks list nothing). A name that begins
  // with a digit is the day, read as yyyymmdd.
  HItemsHit(const char* name, HItemsContainer* container);
  ~HItemsHit() override;

  // "Count" counts the day if it needs counting (deleting the container's
  // "total") and gives the number of distinct items. Every other name gives
  // null.
  const char* GetProperty(const char* name) override;
  // "Text" sets the filter of the walk (rows whose name does not contain it
  // are skipped; empty lists every row), "Rows" the most rows a walk lists
  // when that is fewer than the "lines" setting; other names are stored.
  void SetProperty(const char* name, const char* value) override;
  // Starts a walk, counting the day first if it needs counting; false when
  // there is nothing to list.
  bool First() override;
  // The next row that passes the filter while fewer than "lines" rows were
  // listed: sets "Name", "Hit", "Rate" (per cent of the first row's count)
  // and "Share" (per cent of all the ranking's counts, one decimal, filter
  // or not) of "Current" (and, for kinds that CountBytes, "Bytes" and
  // "ReadableBytes", as "1.2 MB"; with a table to compare with, "Before"
  // and "Change") and returns the row's count as a kept answer; null at
  // the end.
  const char* NextName() override;
  IObject* NextObject() override;
  // "Current" is the row object, owned by this ranking; other names go to
  // the container.
  IObject* FindChild(const char* name) override;
  // Takes the stored items (name=count, largest first) from the rest of the
  // file. They are read into the table only as far as they are needed: a
  // walk reads its rows as it goes, "Count" counts the lines, and only a
  // sum or a save reads them all, so a page that lists the first rows of a
  // ranking of thousands reads only those.
  bool Load(HObjectStream& stream) override;
  // Writes the header and one name=count line per item, largest first,
  // the count followed by a blank and the bytes when they are not 0.
  // Items whose names the format cannot hold are left out. When the rows
  // go in ranking order (the RanksFirst group, then largest count, then
  // bucket), a line " =rows N total T size S" goes first: their number,
  // the total of their counts and the bytes of their lines, so that a
  // reader need not read them all to answer "Count" and "Share".
  bool Save(HObjectStream& stream) override;

  // The item of one log line, or null to leave the line out. `path` is the
  // line's page path and `filter` null or the text a cross-tabulation
  // selects by. May write zero bytes into `line`. For a kind that
  // CountsEveryResponse, `path` is null and the line is still whole.
  virtual const char* ItemKey(char* line, int format, const char* path, const char* filter) = 0;
  // Sees each line whose status and client count, while it is still whole,
  // before ItemKey sees it cut after its path: for kinds whose item lies
  // after the path. Does nothing here.
  virtual void ReadWholeLine(const char* /*line*/, int /*format*/) {}
  // ReadWholeLine and ItemKey of the line whose facts these are
  // (logread/line_facts.h): the same answers. ReadWholeFacts is asked only
  // of a line whose path counts, just before FactsKey. Here: ReadWholeLine
  // of the whole text, ItemKey of a copy of the line as it would see it.
  virtual void ReadWholeFacts(HLineFacts& facts) { ReadWholeLine(facts.Text(), facts.Format()); }
  virtual const char* FactsKey(HLineFacts& facts, const char* filter);
  // Called as each counter of the kind's lines is made (ItemCounter): the
  // settings hold while it counts. Does nothing here.
  virtual void BeginCount() {}
  // Whether this kind can count now; when not, CountItems counts nothing
  // and returns -1, so no day is stored as counted. True here.
  virtual bool CanCount() { return true; }
  // Whether the kind counts every line in one of the log layouts, whatever
  // its path, status or client, instead of the page requests only.
  virtual bool CountsEveryResponse() const { return false; }
  // Whether the item belongs to the group a ranking lists before the rest;
  // within each group the order stays largest count first.
  virtual bool RanksFirst(const HItemEntry&) const { return false; }

  // Whether the kind keeps the bytes sent for each item (the lines' bytes
  // fields, "-" as 0). False here.
  virtual bool CountsBytes() const { return false; }

  // Whether every line with a path counts, whatever its status, client or
  // path, not only the page requests of the settings' PageRule (robots
  // fetch everything). False here.
  virtual bool IgnoresPageRule() const { return false; }

  // Counts the day file `file` into the table (the page requests of the
  // settings' PageRule, or every response, items ItemKey finds) and sorts
  // it. Returns the number of lines counted, or -1 when the file cannot be
  // opened or the kind cannot count (CanCount), which changes nothing.
  int CountItems(const char* file, const char* filter);
  // The counter of one day file for a day pass (stats/day_pass.h): it
  // counts into the table as CountItems does, unsorted. `filter` as there,
  // copied.
  std::unique_ptr<IDayCounter> ItemCounter(const char* filter);
  // Sorts every entry largest count first, the RanksFirst group ahead;
  // equal counts keep the table's order. Empties the loaded list first; an
  // empty table leaves the sorted order as it was.
  void SortItems();
  // Counts the day when it is valid and complete and its day file's stamp
  // (IStatsSettings::DayStamp) is not the one its items were counted from:
  // never counted, stored without a stamp, or the file changed since. Then,
  // when `remove_total`, deletes the container's "total", and marks this
  // object modified. True when counted.
  bool ComputeDay(bool remove_total);
  // ComputeDay through `pass`: when the day needs counting, empties the
  // ranking, adds its count to the pass and returns true; the pass sorts
  // and stamps the ranking once it has run.
  bool AddDueDay(HDayPass& pass, bool remove_total);
  // Whether the items are those of the day's file as it is now, or there is
  // no file to count them from (what was counted is then kept).
  bool IsCurrentDay();
  // What else than the day file a kind counts by (a rule list, the site's
  // own hosts), as a short text that changes with it; empty here.
  virtual std::string KindStamp() { return ""; }
  // The stamp a day of this kind is counted under: the day's stamp and the
  // kind's; empty when the day has no file.
  std::string StampFor(const std::string& day_stamp);
  // The stamp the items were counted from; stored at the end of the
  // ranking as a nested header, which readers of rankings stop at.
  const std::string& Stamp() const { return stamp_; }
  // The stamp at the end of the stored ranking `path`, read from its last
  // bytes only; empty when it has none or cannot be read.
  static std::string StoredStamp(const char* path);
  void SetStamp(const std::string& stamp) { stamp_ = stamp; }
  // Forgets every item: the table, the sorted order and the loaded list.
  void Empty();
  // Adds every item into `sum` in ranking order, which is the same whether
  // the day was counted now or read back, so that a sum lists equal counts
  // alike in every request.
  void AddTo(HItemTable& sum);
  // AddTo for a ranking read only for a sum: the stored items not read yet
  // go straight into `sum` without a table of this ranking's own (a stored
  // ranking holds every name once). Leaves this ranking empty.
  void DrainInto(HItemTable& sum);
  // Stored only once its day is counted.
  bool IsStoredWhenAdded() override { return false; }
  // Whether this object has neither read stored items nor been counted.
  bool IsFresh() const { return !read_stored_ && !sorted_; }

  // The rows in ranking order: those sorted when counted or summed, else
  // the stored ones in their stored order (read in full first).
  int RankedCount();
  const HItemEntry* Ranked(int i);

  // Every item, stored ones read in full first.
  HItemTable& Table() {
    ReadAllStored();
    return table_;
  }
  // The table as it stands, stored items not read in: what a count adds to.
  HItemTable& CountingTable() { return table_; }
  IObject& Current() { return current_; }
  // A table each row is compared with: "Before" of "Current" gives the
  // row's count there (0 when absent), "Change" the change from it in per
  // cent ("+12%", "-3%", "new"). Null compares with nothing. Borrowed.
  void SetPrevious(const HItemTable* previous) {
    previous_ = previous;
    previous_counts_ = nullptr;
  }
  // The same with the counts of one stored day instead of a table.
  void SetPrevious(const HStoredCounts* previous) {
    previous_counts_ = previous;
    previous_ = nullptr;
  }

  // Whether the stored lines not read yet came with a header that holds
  // their number, the total of their counts and their length, and the
  // length matched: their order is then the ranking order (see Save).
  bool HasTrustedHeader() const { return trusted_header_; }
  // Whether it holds stored rows with a trusted header of which none was
  // read yet, and nothing else.
  bool HoldsUnreadStoredRows() const {
    return trusted_header_ && !in_runs_ && !sorted_ && loaded_.empty() && table_.Count() == 0;
  }
  // Takes the stored rows of `day`, a day read back from its file with a
  // trusted header and nothing read from it yet, as this result's rows in
  // the order a sum of that one day ranks them, to be read as the walk
  // goes; false (nothing changed) when `day` is not such a day. Empties
  // this ranking first.
  bool TakeStoredDay(const HItemsHit& day);
  // The stored rows not read yet, for the counts of a previous period.
  const HStoredText& StoredText() const { return stored_; }
  size_t StoredPlace() const { return stored_at_; }
  bool RejoinsNames() const { return rejoin_; }

 protected:
  // Keeps the rest of the stored file to read items from. With `rejoin`, a
  // value holding "=" carries the rest of a name that held "=" (the stored
  // line splits at its first "="): the name goes on up to the value's last
  // "=" and the count follows that.
  void ReadItems(HObjectStream& stream, bool rejoin);
  // Takes the stamp from the stored lines, if they hold one.
  void ReadStamp();
  // Reads the next stored item into the table and the loaded list (a name
  // stored twice keeps its first place and takes its last count); false
  // when no stored item is left. Rows taken from a stored day (TakeStoredDay)
  // are read a run at a time instead: the rows of one group, count and
  // bucket, which a sum lists the other way round.
  bool ReadStoredItem();
  // Reads the rows of the next run into the loaded list, last first.
  bool ReadStoredRun();
  // Takes the header line at the start of the stored lines, if there is
  // one, and trusts it when its length matches.
  void ReadHeader();
  void ReadAllStored();
  // The stored item lines from stored_at_ on, counted; with `sum`, their
  // counts are added into it.
  int CountStoredItems(long long* sum = nullptr) const;
  // Whether the stored format holds `name` as a line that reads back as the
  // same item: not empty, no line feed, not read as a nested object's
  // header, short enough for its "=" to come in the line's first piece,
  // and, unless names may hold "=", no "=".
  bool IsStorableItem(const char* name) const;
  // The log's "Unit", read once.
  int Unit();
  // The site's own hosts as one text, for the KindStamp of kinds that tell
  // them apart.
  std::string OwnHostsText();

  IStatsSettings* log_;
  HItemsContainer* container_;
  bool names_hold_equals_ = false;

 private:
  HItemEntry* NextEntry();

  HDate day_;
  int yielded_ = 0;
  int top_ = 0;
  long long total_ = 0;  // every item's count together, for "Share"
  IObject current_;
  HItemTable table_;
  std::unique_ptr<HItemEntry*[]> sorted_;
  int sorted_count_ = 0;
  std::vector<HItemEntry*> loaded_;  // borrowed from table_, in stored order
  size_t loaded_place_ = 0;          // the walk's place in loaded_
  int position_ = 0;
  int unit_ = -1;
  HString filter_;
  int rows_ = -1;  // the walk's own limit, -1 for none
  const HItemTable* previous_ = nullptr;
  const HStoredCounts* previous_counts_ = nullptr;
  bool read_stored_ = false;
  bool trusted_header_ = false;
  long long header_total_ = 0;  // the trusted header's total of the counts
  long long header_size_ = 0;   // and the bytes of the rows
  bool in_runs_ = false;        // the stored rows are read a run at a time
  std::string stamp_;
  // The stored lines not read yet, from stored_at_ on, and whether paths
  // holding "=" are to be rejoined.
  HStoredText stored_;
  size_t stored_at_ = 0;
  int stored_left_ = 0;  // item lines in stored_ not read yet
  bool rejoin_ = false;
};

// Type "Domains": the item of a log line is its client's domain.
class HDomainsHit : public HItemsHit {
 public:
  HDomainsHit(const char* name, HItemsContainer* container);

  // The domain of the line's host; with a filter, only for lines whose path
  // equals it (ignoring case). A domain the stored format cannot hold
  // (one holding "=", which would read back split) is not counted, so a
  // day lists the same items before and after it is stored.
  const char* ItemKey(char* line, int format, const char* path, const char* filter) override;
  bool CountsBytes() const override { return true; }
  // Days counted before the bytes were kept count again.
  std::string KindStamp() override { return "bytes"; }

 private:
  char short_[64];  // a shortened address, when the settings ask for them
};

// Type "Pages": the item of a log line is its path.
class HPagesHit : public HItemsHit {
 public:
  HPagesHit(const char* name, HItemsContainer* container);

  // The path; with a filter, only for lines whose domain equals it
  // (ignoring case).
  const char* ItemKey(char* line, int format, const char* path, const char* filter) override;
  const char* FactsKey(HLineFacts& facts, const char* filter) override;
  // As HItemsHit, with paths that hold "=" rejoined.
  bool Load(HObjectStream& stream) override;
  bool CountsBytes() const override { return true; }
  std::string KindStamp() override { return "bytes"; }
};

#endif  // STATS_ITEMS_H_
