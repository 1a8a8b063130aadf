#pragma once

#include <string>

#include "engine/run_record.h"

namespace palvimo {

// The run's figures in the Prometheus text exposition format, each metric
// with its HELP and TYPE lines and the run's root folder as the label
// `root`, for a metrics collector that reads files (node_exporter's textfile
// collector). Every metric is a gauge of the last run: a file is replaced by
// each run, not added to.
//   palvimo_run_files_checked, palvimo_run_files_good
//   palvimo_run_failures{kind, class}     every kind, 0 where none failed
//   palvimo_run_failures_by_class{class}
//   palvimo_run_files{which}             distinct files; which: probed, seen,
//                                         checked, not_checked
//   palvimo_run_files_complete           1 when those counts are exact
//   palvimo_run_bytes{step}               step: read, write, read_back
//   palvimo_run_speed_bytes_per_second{step}
//   palvimo_run_elapsed_seconds
//   palvimo_run_start_time_seconds, palvimo_run_end_time_seconds (Unix time)
//   palvimo_run_ended_early               1 when something cut the run short
std::string Metrics_Text(const Run_Record& record);

// Writes `text` to the file at `path` under a temporary name in the same
// folder and renames it into place, so that a reader sees the last whole
// file or the new whole file, never a part. The file is readable by all, as
// a collector running as another user needs. Throws Check_Error, leaving no
// temporary file behind.
void Write_Metrics_File(const std::string& path, const std::string& text);

}  // namespace palvimo
