#include "engine/scrub_session.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>

#include "engine/catalogue.h"
#include "engine/run_report.h"

namespace palvimo {

// What the scrub's thread and the front end share. The thread holds it, and
// the file system it reads through, by shared ownership and is never joined:
// a drive that stalls can hold a read for minutes, and neither the front end
// nor the program's end may wait on it. The session's end only asks the
// scrub to stop; the thread then ends by itself after the read under way,
// and the last owner lets the shared part go.
struct Scrub_Session::Shared final : Scrub_Listener {
  std::mutex mutex;
  News news;  // under `mutex`
  std::atomic<bool> stop{false};

  void Progress(const Scrub_Progress& progress) override {
    const std::lock_guard lock(mutex);
    news.progress = progress;
  }

  void Failed(const Failure_Entry& failure) override {
    const std::lock_guard lock(mutex);
    if (Class_Of(failure.kind) == Failure_Class::Drive_Fault) ++news.drive_faults;
    news.failures.push_back(failure);
  }

  bool Stop_Requested() override { return stop.load(); }
};

Scrub_Session::Scrub_Session(std::shared_ptr<File_System> files, std::string catalogue_folder, std::string root,
                             Scrub::Settings settings)
    : shared_(std::make_shared<Shared>()) {
  std::thread([shared = shared_, files = std::move(files), catalogue_folder = std::move(catalogue_folder),
               root = std::move(root), settings] {
    std::optional<std::string> problem;
    Scrub_Result result;
    {
      Catalogue catalogue(catalogue_folder, root);
      Scrub scrub(*files, catalogue, settings, *shared);
      result = scrub.Run(root);
      // The result is told once what it found is committed, so that a scrub
      // begun right after it skips what this one verified.
      catalogue.Flush();
      problem = catalogue.Problem();
    }
    const std::lock_guard lock(shared->mutex);
    shared->news.progress = result.progress;
    shared->news.result = std::move(result);
    shared->news.catalogue_problem = std::move(problem);
  }).detach();
}

Scrub_Session::~Scrub_Session() { Stop(); }

void Scrub_Session::Stop() { shared_->stop = true; }

Scrub_Session::News Scrub_Session::Take_News() {
  const std::lock_guard lock(shared_->mutex);
  News taken = shared_->news;
  shared_->news.failures.clear();
  return taken;
}

}  // namespace palvimo
