#include "window/system_volumes.h"

#ifndef __linux__
#include <QFile>
#include <QStorageInfo>
#endif

namespace palvimo {

#ifdef __linux__

std::unique_ptr<Volume_Source> Make_System_Volumes() { return Make_Mount_Info_Volumes(); }

#else

namespace {

// Qt reports no changes of its list: the drive list asks again now and then.
class Storage_Info_Volumes final : public Volume_Source {
 public:
  std::vector<Volume> Volumes() override {
    std::vector<Volume> volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
      if (!volume.isValid() || !volume.isReady()) continue;
      volumes.push_back({QFile::encodeName(volume.rootPath()).toStdString(), volume.fileSystemType().toStdString(),
                         volume.name().toStdString()});
    }
    return volumes;
  }
  int Change_Fd() const override { return -1; }
};

}  // namespace

std::unique_ptr<Volume_Source> Make_System_Volumes() { return std::make_unique<Storage_Info_Volumes>(); }

#endif

}  // namespace palvimo
