#include "window/drive_list.h"

#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "platform/pseudo_file_systems.h"
#include "window/display_text.h"

namespace palvimo {

namespace {

QString Caption(const Volume& volume) {
  const QString mount_point = Display_Text(volume.Mount_Point);
  return volume.Label.empty() ? mount_point
                              : mount_point + QStringLiteral("  [") + Display_Text(volume.Label) + ']';
}

// The process's own root, offered whether or not the table lists it.
const std::string Root_Drive = "/";

// How often a table that reports no changes is read again.
constexpr int Poll_Milliseconds = 1000;

}  // namespace

Drive_List::Drive_List(Volume_Source& volumes, QWidget* parent) : QComboBox(parent), volumes_(volumes) {
  // The wheel does not take the focus to the list, so that scrolling over
  // the window never changes the drive by chance.
  setFocusPolicy(Qt::StrongFocus);
  Refresh();
  // No drive until one is set: the window chooses the first at start-up.
  setCurrentIndex(-1);
  connect(this, &QComboBox::currentIndexChanged, this, &Drive_List::Index_Changed);
  if (volumes_.Change_Fd() >= 0) {
    auto* changes = new QSocketNotifier(volumes_.Change_Fd(), QSocketNotifier::Exception, this);
    connect(changes, &QSocketNotifier::activated, this, &Drive_List::Refresh);
  } else {
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &Drive_List::Refresh);
    poll->start(Poll_Milliseconds);
  }
}

void Drive_List::Refresh() {
  const std::vector<Volume> volumes = volumes_.Volumes();
  // By mount point, in order; a later mount hides an earlier one there.
  std::map<std::string, Volume> mounted;
  for (const Volume& volume : volumes) mounted[volume.Mount_Point] = volume;
  std::erase_if(refused_, [&mounted](const std::string& drive) { return !mounted.count(drive); });
  mounted.try_emplace(Root_Drive, Volume{Root_Drive, {}, {}});

  std::vector<std::pair<QString, QByteArray>> entries;
  for (const auto& [mount_point, volume] : mounted) {
    if (mount_point != Root_Drive && (Is_Pseudo_File_System_Type(volume.Type) || refused_.count(mount_point))) continue;
    if (Is_Kernel_Mount_Point(mount_point)) continue;
    entries.emplace_back(Caption(volume), QByteArray::fromStdString(mount_point));
  }
  if (Lists(entries)) return;

  const QByteArray shown = QByteArray::fromStdString(drive_);
  const bool gone = !drive_.empty() && std::none_of(entries.begin(), entries.end(),
                                                    [&shown](const auto& entry) { return entry.second == shown; });
  if (gone) drive_ = Root_Drive;
  {
    const QSignalBlocker quiet(this);
    clear();
    for (const auto& [caption, mount_point] : entries) addItem(caption, mount_point);
    setCurrentIndex(Index_Of(drive_));
  }
  if (gone) emit Drive_Gone();
}

bool Drive_List::Lists(const std::vector<std::pair<QString, QByteArray>>& entries) const {
  if (static_cast<int>(entries.size()) != count()) return false;
  for (int i = 0; i < count(); ++i) {
    const auto& [caption, mount_point] = entries[static_cast<std::size_t>(i)];
    if (itemText(i) != caption || itemData(i).toByteArray() != mount_point) return false;
  }
  return true;
}

void Drive_List::Set_Drive(const std::string& drive) { setCurrentIndex(Index_Of(drive)); }

void Drive_List::Refuse(const std::string& drive, const std::string& previous) {
  refused_.insert(drive);
  const QSignalBlocker quiet(this);
  removeItem(Index_Of(drive));
  drive_ = previous;
  setCurrentIndex(Index_Of(previous));
}

int Drive_List::Index_Of(const std::string& drive) const {
  return drive.empty() ? -1 : findData(QByteArray::fromStdString(drive));
}

std::string Drive_List::Entry(int index) const { return itemData(index).toByteArray().toStdString(); }

void Drive_List::Index_Changed(int index) {
  std::string drive = index < 0 ? std::string() : Entry(index);
  if (drive == drive_) return;
  std::string previous = std::exchange(drive_, std::move(drive));
  emit Drive_Changed(previous);
}

void Drive_List::wheelEvent(QWheelEvent* event) {
  if (hasFocus())
    QComboBox::wheelEvent(event);
  else
    event->ignore();
}

}  // namespace palvimo
