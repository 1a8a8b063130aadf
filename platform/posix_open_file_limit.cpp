#include <sys/resource.h>

#include "platform/open_file_limit.h"

namespace palvimo {

void Raise_Open_File_Limit() {
  struct rlimit limit {};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace palvimo
