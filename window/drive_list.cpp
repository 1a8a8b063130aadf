#include "window/drive_list.h"

#include <QFile>
#include <QStorageInfo>
#include <algorithm>
#include <utility>

namespace palvimo {

namespace {

QString Caption(const QStorageInfo& volume) {
  const QString label = volume.name();
  return label.isEmpty() ? volume.rootPath() : volume.rootPath() + QStringLiteral("  [") + label + ']';
}

}  // namespace

Drive_List::Drive_List(QWidget* parent) : QComboBox(parent) {
  QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
  std::sort(volumes.begin(), volumes.end(),
            [](const QStorageInfo& a, const QStorageInfo& b) { return a.rootPath() < b.rootPath(); });
  for (const QStorageInfo& volume : volumes) {
    const QByteArray mount_point = QFile::encodeName(volume.rootPath());
    // A folder mounted over more than once is one drive.
    if (!volume.isValid() || !volume.isReady() || findData(mount_point) >= 0) continue;
    addItem(Caption(volume), mount_point);
  }
  // No drive until one is set: the window chooses the first at start-up.
  setCurrentIndex(-1);
  connect(this, &QComboBox::currentIndexChanged, this, &Drive_List::Index_Changed);
}

void Drive_List::Set_Drive(const std::string& drive) { setCurrentIndex(Index_Of(drive)); }

void Drive_List::Revert_To(const std::string& drive) {
  drive_ = drive;
  setCurrentIndex(Index_Of(drive));
}

int Drive_List::Index_Of(const std::string& drive) const {
  return drive.empty() ? -1 : findData(QByteArray::fromStdString(drive));
}

std::string Drive_List::Entry(int index) const {
  return itemData(index).toByteArray().toStdString();
}

void Drive_List::Index_Changed(int index) {
  std::string drive = index < 0 ? std::string() : Entry(index);
  if (drive == drive_) return;
  std::string previous = std::exchange(drive_, std::move(drive));
  emit Drive_Changed(previous);
}

}  // namespace palvimo
