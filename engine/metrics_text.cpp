#include "engine/metrics_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "engine/run_report.h"
#include "platform/escaped_text.h"
#include "platform/unique_fd.h"

namespace palvimo {

namespace {

// A label value as the format writes it: a backslash, double quote and
// newline escaped. The format's text is UTF-8, so a name that is not is
// written as the program escapes names anywhere else.
std::string Label_Value(const std::string& text) {
  const std::string utf8 = Is_Valid_Utf8(text) ? text : Escaped_Text(text);
  std::string value;
  for (const char c : utf8) {
    if (c == '\\') {
      value += "\\\\";
    } else if (c == '"') {
      value += "\\\"";
    } else if (c == '\n') {
      value += "\\n";
    } else {
      value += c;
    }
  }
  return value;
}

// Numbers as the format reads them: integers whole, others with enough
// digits to come back the same.
std::string Number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}
std::string Number(std::uint64_t value) { return std::to_string(value); }

double Seconds(std::chrono::system_clock::time_point time) {
  return std::chrono::duration<double>(time.time_since_epoch()).count();
}

class Exposition {
 public:
  explicit Exposition(const std::string& root) : root_label_("root=\"" + Label_Value(root) + "\"") {}

  void Metric(const std::string& name, const std::string& help) {
    text_ += "# HELP palvimo_" + name + " " + help + "\n# TYPE palvimo_" + name + " gauge\n";
    name_ = name;
  }
  // A sample of the last metric, with the root's label and `labels`, each
  // `name="value"` already escaped.
  void Sample(const std::string& value, const std::vector<std::string>& labels = {}) {
    text_ += "palvimo_" + name_ + "{" + root_label_;
    for (const std::string& label : labels) text_ += "," + label;
    text_ += "} " + value + "\n";
  }

  const std::string& Text() const { return text_; }

 private:
  std::string root_label_;
  std::string name_;
  std::string text_;
};

std::string Label(const char* name, const std::string& value) {
  return std::string(name) + "=\"" + Label_Value(value) + "\"";
}

}  // namespace

std::string Metrics_Text(const Run_Record& record) {
  Exposition metrics(record.Root());
  metrics.Metric("run_files_checked", "Files the last run probed, whatever the outcome.");
  metrics.Sample(Number(record.Probes()));
  metrics.Metric("run_files_good", "Files the last run copied, read back and found unchanged.");
  metrics.Sample(Number(record.Good()));
  metrics.Metric("run_failures", "Probes of the last run that failed, by kind of failure and its class.");
  for (const Failure_Kind kind : Failure_Kinds) {
    metrics.Sample(Number(record.Failed_Of(kind)),
                   {Label("kind", Kind_Key(kind)), Label("class", Class_Key(Class_Of(kind)))});
  }
  metrics.Metric("run_failures_by_class",
                 "Probes of the last run that failed: drive_fault for the drive's faults, not_checked for files "
                 "left unchecked for another reason.");
  for (const Failure_Class failure_class : {Failure_Class::Drive_Fault, Failure_Class::Not_Checked}) {
    metrics.Sample(Number(record.Failed_Of(failure_class)), {Label("class", Class_Key(failure_class))});
  }
  metrics.Metric("run_files",
                 "Distinct files of the last run: probed whatever the outcome, seen by the walk, checked (good or "
                 "with a drive fault) and not checked.");
  metrics.Sample(Number(record.Files_Probed()), {Label("which", "probed")});
  metrics.Sample(Number(record.Files_Seen()), {Label("which", "seen")});
  metrics.Sample(Number(record.Files_Checked()), {Label("which", "checked")});
  metrics.Sample(Number(record.Files_Not_Checked()), {Label("which", "not_checked")});
  metrics.Metric("run_files_complete",
                 "1 when the counts of distinct files are exact, 0 when the run met too many files to tell.");
  metrics.Sample(record.Coverage_Complete() ? "1" : "0");
  const Probe_Figures& totals = record.Totals();
  metrics.Metric("run_bytes", "Bytes the last run read from files, wrote as copies and read back from the drive.");
  metrics.Sample(Number(totals.bytes_read), {Label("step", "read")});
  metrics.Sample(Number(totals.bytes_written), {Label("step", "write")});
  metrics.Sample(Number(totals.bytes_read_back), {Label("step", "read_back")});
  metrics.Metric("run_speed_bytes_per_second", "Average speed of each step over the last run.");
  metrics.Sample(Number(record.Read_Speed()), {Label("step", "read")});
  metrics.Sample(Number(record.Write_Speed()), {Label("step", "write")});
  metrics.Sample(Number(record.Read_Back_Speed()), {Label("step", "read_back")});
  const double elapsed = std::chrono::duration<double>(record.Elapsed()).count();
  metrics.Metric("run_elapsed_seconds", "How long the last run took.");
  metrics.Sample(Number(elapsed));
  metrics.Metric("run_start_time_seconds", "When the last run began, in seconds since the Unix epoch.");
  metrics.Sample(Number(Seconds(record.Start_Time())));
  metrics.Metric("run_end_time_seconds", "When the last run ended, in seconds since the Unix epoch.");
  metrics.Sample(Number(Seconds(record.Start_Time()) + elapsed));
  metrics.Metric("run_ended_early", "1 when something other than its end or a stop cut the last run short.");
  metrics.Sample(record.Ended_Because().empty() ? "0" : "1");
  return metrics.Text();
}

void Write_Metrics_File(const std::string& path, const std::string& text) {
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // A collector reads only names ending in ".prom": the temporary name does
  // not, so it is never read half-written.
  std::string temporary = folder + "/." + name + ".XXXXXX";
  Unique_Fd file(mkstemp(temporary.data()));
  if (!file.Valid()) throw Error_From_Errno(path, "cannot write the metrics", errno);
  const auto fail = [&temporary, &path](const char* action, int error_number) {
    unlink(temporary.c_str());
    return Error_From_Errno(path, action, error_number);
  };
  for (std::size_t written = 0; written < text.size();) {
    const ssize_t wrote = write(file.Get(), text.data() + written, text.size() - written);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) throw fail("cannot write the metrics", errno);
    written += static_cast<std::size_t>(wrote);
  }
  if (fchmod(file.Get(), 0644) != 0) throw fail("cannot write the metrics", errno);
  if (file.Close() != 0) throw fail("cannot write the metrics", errno);
  if (rename(temporary.c_str(), path.c_str()) != 0) throw fail("cannot put the metrics in place", errno);
}

}  // namespace palvimo
