#pragma once

#include <string>

namespace palvimo {

// The folder at which the file system holding the folder at `path` begins:
// `path` or its highest ancestor on the same device, "/" at the top. It needs
// no mount table, so it holds also where the table is incomplete, as in a
// chroot. `path` is a full path; an ancestor that cannot be examined ends the
// climb below it.
std::string Mount_Point_Of(const std::string& path);

}  // namespace palvimo
