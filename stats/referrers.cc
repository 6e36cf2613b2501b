#include "stats/referrers.h"

#include <cstring>

#include "logread/referrer_site.h"
#include "stats/stats_settings.h"

namespace {

HItemsHit* MakeReferrers(const char* name, HItemsContainer* container) { return new HReferrersHit(name, container); }

}  // namespace

HReferrersHit::HReferrersHit(const char* name, HItemsContainer* container) : HItemsHit(name, container) {
  type_name_ = "Referrers";
  names_hold_equals_ = true;
  referrer_[0] = 0;
}

void HReferrersHit::ReadWholeLine(const char* line, int format) {
  TakeReferrer(referrer_, ExtractReferrer(line, format, referrer_, sizeof referrer_));
}

void HReferrersHit::ReadWholeFacts(HLineFacts& facts) {
  const char* referrer = nullptr;
  const int length = facts.Referrer(&referrer);
  TakeReferrer(referrer, length);
}

void HReferrersHit::TakeReferrer(const char* referrer, int length) {
  referrer_text_ = referrer;
  taken_ = length > 0;
  if (taken_ && ReferrerHost(referrer_text_, host_) && log_ != nullptr) {
    for (const std::string& own : log_->OwnHosts()) {
      if (own == host_) taken_ = false;
    }
  }
}

bool HReferrersHit::CanCount() { return SuffixListReady(); }

const char* HReferrersHit::ItemKey(char*, int, const char*, const char* filter) {
  if (!taken_) return nullptr;
  taken_ = false;
  ReferrerSite(referrer_text_, site_);
  if (filter == nullptr) return IsStorableItem(site_.c_str()) ? site_.c_str() : nullptr;
  return site_ == filter && IsStorableItem(referrer_text_) ? referrer_text_ : nullptr;
}

bool HReferrersHit::Load(HObjectStream& stream) {
  ReadItems(stream, true);
  return true;
}

HReferrersContainer::HReferrersContainer(const char* name, IStatsSettings* log)
    : HItemsContainer(name, log, "ReferrersContainer", "Referrers", MakeReferrers) {}

std::string HReferrersHit::KindStamp() { return OwnHostsText(); }
