#include "engine/recent_rows.h"

#include <utility>

namespace palvimo {

const Catalogued_File* Recent_Rows::Find(const std::string& path) const {
  const auto found = rows_.find(path);
  return found == rows_.end() ? nullptr : &found->second;
}

void Recent_Rows::Keep(const std::string& path, Catalogued_File row) {
  sums_ += row.chunk_sums.size();
  const auto [at, added] = rows_.try_emplace(path);
  if (added) {
    order_.push_back(path);
  } else {
    sums_ -= at->second.chunk_sums.size();
  }
  at->second = std::move(row);
  while (!order_.empty() && (rows_.size() > Files_Most || sums_ > Sums_Most)) {
    const auto oldest = rows_.find(order_.front());
    sums_ -= oldest->second.chunk_sums.size();
    rows_.erase(oldest);
    order_.pop_front();
  }
}

}  // namespace palvimo
