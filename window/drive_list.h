#pragma once

#include <QComboBox>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/volume_source.h"

namespace palvimo {

// The navigator's drive list: the mounted volumes that can be walked, each by
// its mount point and label, following the mount table while the program
// runs. The process's own "/" is always offered. Its drive, a mount point,
// changes only when the user picks another entry, Set_Drive names another
// one, or the drive is unmounted.
class Drive_List : public QComboBox {
  Q_OBJECT

 public:
  explicit Drive_List(Volume_Source& volumes, QWidget* parent = nullptr);

  // The mount point of the drive shown; empty while none is.
  const std::string& Drive() const { return drive_; }
  // Shows the listed drive mounted at `drive`, or none when no listed drive
  // is. Raises Drive_Changed when this changes the drive.
  void Set_Drive(const std::string& drive);
  // Takes `drive`, which cannot be read, off the list until it is mounted
  // anew, and shows `previous` again without raising Drive_Changed.
  void Refuse(const std::string& drive, const std::string& previous);
  // Lists the volumes mounted now. The drive shown stays while it is
  // mounted; once it is not, "/" shows and Drive_Gone is raised.
  void Refresh();

  int Entry_Count() const { return count(); }
  // The mount point of the entry at `index`.
  std::string Entry(int index) const;
  int Highlighted_Index() const { return currentIndex(); }

 signals:
  // The drive changed; `previous` is the one shown before, empty for none.
  void Drive_Changed(const std::string& previous);
  // The drive shown was unmounted; "/" shows instead.
  void Drive_Gone();

 protected:
  // The wheel changes the drive only while the list has the focus.
  void wheelEvent(QWheelEvent* event) override;

 private:
  int Index_Of(const std::string& drive) const;
  // Whether the list holds exactly these captions and mount points.
  bool Lists(const std::vector<std::pair<QString, QByteArray>>& entries) const;
  void Index_Changed(int index);

  Volume_Source& volumes_;
  std::set<std::string> refused_;
  std::string drive_;
};

}  // namespace palvimo
