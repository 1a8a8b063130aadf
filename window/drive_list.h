#pragma once

#include <QComboBox>
#include <string>

namespace palvimo {

// The navigator's drive list: the mounted storage volumes that are ready,
// each by its mount point and label. Its drive, a mount point, changes only
// when the user picks another entry or Set_Drive names another one.
class Drive_List : public QComboBox {
  Q_OBJECT

 public:
  explicit Drive_List(QWidget* parent = nullptr);

  // The mount point of the drive shown; empty while none is.
  const std::string& Drive() const { return drive_; }
  // Shows the listed drive mounted at `drive`, or none when no listed drive
  // is. Raises Drive_Changed when this changes the drive.
  void Set_Drive(const std::string& drive);
  // Shows `drive` again without raising Drive_Changed: for a change of drive
  // that could not be followed.
  void Revert_To(const std::string& drive);

  int Entry_Count() const { return count(); }
  // The mount point of the entry at `index`.
  std::string Entry(int index) const;
  int Highlighted_Index() const { return currentIndex(); }

 signals:
  // The drive changed; `previous` is the one shown before, empty for none.
  void Drive_Changed(const std::string& previous);

 private:
  int Index_Of(const std::string& drive) const;
  void Index_Changed(int index);

  std::string drive_;
};

}  // namespace palvimo
