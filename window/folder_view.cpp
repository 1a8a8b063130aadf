#include "window/folder_view.h"

#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "platform/mount_point.h"
#include "window/sorted_entries.h"

namespace palvimo {

namespace {

using Outcome = std::variant<Folder_Contents, Check_Error>;

// How often the window's thread looks for the outcome of a read under way.
constexpr std::chrono::milliseconds Look_Interval{5};

std::string Parent_Of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

// The folders from the mount point of the path's file system down to the
// path itself.
std::vector<std::string> Folder_Chain(const std::string& path) {
  const std::string mount_point = Mount_Point_Of(path);
  std::vector<std::string> chain{path};
  while (chain.back() != mount_point && chain.back() != "/") chain.push_back(Parent_Of(chain.back()));
  std::reverse(chain.begin(), chain.end());
  return chain;
}

// A listing that ends early once its read has been superseded: what it has
// yielded by then is dropped anyway.
class Until_Superseded final : public Entry_Cursor {
 public:
  Until_Superseded(std::unique_ptr<Entry_Cursor> cursor, std::function<bool()> superseded)
      : cursor_(std::move(cursor)), superseded_(std::move(superseded)) {}

  std::optional<std::string> Next() override { return superseded_() ? std::nullopt : cursor_->Next(); }

 private:
  std::unique_ptr<Entry_Cursor> cursor_;
  std::function<bool()> superseded_;
};

Folder_Contents Read_Folder(File_System& files, const std::string& path, Folder_View::Listing listing,
                            const std::function<bool()>& superseded) {
  const std::unique_ptr<Folder> folder = files.Open_Folder(path);
  Folder_Contents contents{folder->Path(), {}, {}};
  if (listing == Folder_View::Listing::Files) {
    Until_Superseded files_found(folder->Files(), superseded);
    contents.Entries = Sorted_Names(files_found);
    return contents;
  }
  Until_Superseded subfolders(folder->Subfolders(), superseded);
  contents.Entries = Sorted_Names(subfolders);
  for (std::string& name : contents.Entries) name = folder->Path_Of(name);
  contents.Chain = Folder_Chain(contents.Path);
  return contents;
}

}  // namespace

// What a view and its reader share; a reader whose drive stalls may outlive
// the view. The reader never touches the window: the window's thread looks
// for the outcome itself while a read is under way, so that all that passes
// between them passes under this lock.
struct Folder_View::Hand_Back {
  // A read asked for, holding what it reads through until it is done.
  struct Request {
    std::uint64_t number = 0;
    std::string path;
    std::shared_ptr<File_System> files;
  };

  std::mutex mutex;
  std::condition_variable asked;
  // The number of the newest read asked for; read without the lock by the
  // reader, to stop early.
  std::atomic<std::uint64_t> newest{0};
  // The newest read not yet begun. Each one asked for replaces the one
  // waiting, so that however often the user moves while the drive stalls,
  // one read is under way and one waits behind it.
  std::optional<Request> request;
  // The newest read's outcome, until the view takes it.
  std::optional<Outcome> outcome;
  bool reader_started = false;
  // The view is gone: the reader ends once its read returns.
  bool closing = false;

  // The reader's thread: serves the newest request until the view goes.
  static void Serve(const std::shared_ptr<Hand_Back>& hand_back, Listing listing) {
    std::unique_lock lock(hand_back->mutex);
    for (;;) {
      hand_back->asked.wait(lock, [&] { return hand_back->request || hand_back->closing; });
      if (hand_back->closing) return;
      Request request = std::move(*std::exchange(hand_back->request, std::nullopt));
      lock.unlock();
      const auto superseded = [&hand_back, number = request.number] { return hand_back->newest.load() != number; };
      std::optional<Outcome> outcome;
      if (!superseded()) {
        try {
          outcome = Read_Folder(*request.files, request.path, listing, superseded);
        } catch (const Check_Error& error) {
          outcome = error;
        }
      }
      request.files.reset();
      lock.lock();
      if (outcome && !superseded()) hand_back->outcome = std::move(outcome);
    }
  }
};

Folder_View::Folder_View(std::shared_ptr<File_System> files, Listing listing, QWidget* parent)
    : QListView(parent),
      files_(std::move(files)),
      listing_(listing),
      hand_back_(std::make_shared<Hand_Back>()),
      look_(new QTimer(this)) {
  look_->setInterval(Look_Interval);
  connect(look_, &QTimer::timeout, this, &Folder_View::Take_Outcome);
}

Folder_View::~Folder_View() {
  {
    const std::lock_guard lock(hand_back_->mutex);
    hand_back_->closing = true;
    hand_back_->request.reset();
    ++hand_back_->newest;
  }
  hand_back_->asked.notify_all();
}

void Folder_View::Read(const std::string& path) {
  {
    const std::lock_guard lock(hand_back_->mutex);
    const std::uint64_t number = ++hand_back_->newest;
    hand_back_->outcome.reset();
    hand_back_->request = Hand_Back::Request{number, path, files_};
    if (!hand_back_->reader_started) {
      try {
        std::thread([hand_back = hand_back_, listing = listing_] { Hand_Back::Serve(hand_back, listing); }).detach();
        hand_back_->reader_started = true;
      } catch (const std::system_error& error) {
        // Out of threads: the folder is not read, said as any folder that
        // cannot be; the next read tries again.
        hand_back_->request.reset();
        hand_back_->outcome = Error_From_Errno(path, "cannot read", error.code().value(), Failure_Kind::Other);
      }
    }
  }
  hand_back_->asked.notify_all();
  reading_ = true;
  look_->start();
  viewport()->update();
}

void Folder_View::Take_Outcome() {
  std::optional<Outcome> outcome;
  {
    const std::lock_guard lock(hand_back_->mutex);
    outcome = std::exchange(hand_back_->outcome, std::nullopt);
  }
  if (!outcome) return;
  look_->stop();
  reading_ = false;
  viewport()->update();
  if (auto* contents = std::get_if<Folder_Contents>(&*outcome))
    Listed(std::move(*contents));
  else
    Not_Listed(std::get<Check_Error>(*outcome));
}

void Folder_View::paintEvent(QPaintEvent* event) {
  QListView::paintEvent(event);
  if (!reading_) return;
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  painter.drawText(viewport()->rect().adjusted(margin, margin, -margin, -margin), Qt::AlignLeft | Qt::AlignTop,
                   tr("Reading\u2026"));
}

}  // namespace palvimo
