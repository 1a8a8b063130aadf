#include "engine/catalogue_check.h"

#include <chrono>

#include "platform/check_error.h"

namespace palvimo {

namespace {

// The longest the window goes without its events while the catalogue answers.
constexpr std::chrono::milliseconds Event_Interval{20};

}  // namespace

Catalogue_Check::Catalogue_Check(Catalogue* catalogue, const std::string& path, const Probe_Figures& figures)
    : path_(path) {
  const bool whole_read = (!figures.chunk_sums.empty() || figures.stamp.size == 0) &&
                          figures.bytes_read == figures.stamp.size;
  // A catalogue that cannot be kept answers nothing worth the asking.
  if (catalogue && whole_read && !catalogue->Given_Up()) {
    finding_ = catalogue->Check(path, figures.stamp, figures.chunk_sums);
  }
}

void Catalogue_Check::Await(const std::function<void()>& run_events, const bool& stop_requested) {
  if (!finding_) return;
  while (finding_->wait_for(Event_Interval) != std::future_status::ready) {
    if (stop_requested) return;
    run_events();
  }
  const Catalogue_Finding finding = finding_->get();
  if (finding.outcome == Catalogue_Outcome::Silent_Change) {
    throw Check_Error(path_, Silent_Change_Reason(finding.changed_at), Failure_Kind::Silent_Change);
  }
}

}  // namespace palvimo
