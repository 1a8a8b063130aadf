#pragma once

#include <functional>
#include <future>
#include <optional>
#include <string>

#include "engine/catalogue.h"
#include "platform/probe_figures.h"

namespace palvimo {

// A probe's read of its file, compared with the volume's catalogue: asked
// for as soon as the copy is made, so that the catalogue's thread works
// while the probe pauses and deletes its copy, and awaited after.
class Catalogue_Check {
 public:
  // Asks `catalogue` about the read in `figures` of the file at `path`;
  // nothing is asked when there is no catalogue or no whole read.
  Catalogue_Check(Catalogue* catalogue, const std::string& path, const Probe_Figures& figures);

  // Waits for the answer, running `run_events` between short waits so that
  // the window never waits on the catalogue; gives up, saying nothing, once
  // `stop_requested` is true. Throws Check_Error of kind Silent_Change when
  // the drive changed the file.
  void Await(const std::function<void()>& run_events, const bool& stop_requested);

 private:
  std::string path_;
  std::optional<std::future<Catalogue_Finding>> finding_;
};

}  // namespace palvimo
