#include "stats/count_budget.h"

#include <algorithm>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

bool started = false;
double budget = kRequestCountSeconds;
Clock::time_point start;
int refused = 0;

}  // namespace

void SetCountBudget(double seconds) {
  started = true;
  budget = seconds;
  start = Clock::now();
  refused = 0;
}

bool MayCountAnotherDay() {
  if (!started) SetCountBudget(kRequestCountSeconds);
  if (budget < 0 || std::chrono::duration<double>(Clock::now() - start).count() < budget) return true;
  ++refused;
  return false;
}

int DaysRefused() { return refused; }

bool HUncounted::Holds(int day) const { return std::binary_search(days.begin(), days.end(), day); }

void HUncounted::Settle() {
  std::sort(days.begin(), days.end());
  days.erase(std::unique(days.begin(), days.end()), days.end());
}
