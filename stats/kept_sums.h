// HKeptSums: the folder "sums" of a ranking container, where the sums over
// ranges of days and the cross-tabulations it made are kept, each in a file
// named for what it holds and stamped with the days it was made from. The
// folder holds at most kMostKept files of each kind (the first letter of
// their names; kMostDays of one-day cross-tabulations): a use makes a file the newest (its modification time), and
// a new one removes those used longest ago beyond the limit.
#ifndef STATS_KEPT_SUMS_H_
#define STATS_KEPT_SUMS_H_

#include <sys/stat.h>

#include <string>
#include <vector>

class HKeptSums {
 public:
  static constexpr int kMostKept = 16;
  // The cross-tabulations of single days (kind "d"): two months of them.
  static constexpr int kMostDays = 64;

  // `folder` is the container's own folder, ending in "/".
  explicit HKeptSums(const std::string& folder) : folder_(folder + "sums") {}

  // The path of the kept file `name`.
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  // Makes the folder when it is missing; false when it cannot.
  bool MakeFolder() const;
  // Marks the file `name` used now, so that it is removed last.
  void Touch(const std::string& name) const;
  // Removes the files whose names begin with `kind`, beyond the `most`
  // used most recently.
  void Prune(char kind, int most) const;

 private:
  struct Kept {
    struct timespec used;
    std::string name;
  };
  // The files of that kind, used most recently first.
  std::vector<Kept> List(char kind) const;

  std::string folder_;
};

#endif  // STATS_KEPT_SUMS_H_
