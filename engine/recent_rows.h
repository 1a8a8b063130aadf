#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <unordered_map>

#include "engine/catalogue.h"

namespace palvimo {

// The catalogue's rows held in memory, by full path: those of the files
// under the folder it was opened on when they are few, and of the files it
// checked last, the oldest let go first once too many files or sums are
// held. A small folder checked for hours has each of its files read many
// times a minute; its reads are compared with these rows and cost the
// database nothing unless something is to be written.
class Recent_Rows {
 public:
  static constexpr std::size_t Files_Most = 4096;
  // A MiB's sum each: a TiB of files, 8 MiB held.
  static constexpr std::size_t Sums_Most = std::size_t{1} << 20;

  // The row held of the file at `path`, valid until the next Keep.
  const Catalogued_File* Find(const std::string& path) const;
  void Keep(const std::string& path, Catalogued_File row);

 private:
  std::unordered_map<std::string, Catalogued_File> rows_;
  // The order the files were first kept in.
  std::deque<std::string> order_;
  std::size_t sums_ = 0;
};

}  // namespace palvimo
