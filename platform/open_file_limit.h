#pragma once

namespace palvimo {

// Lets the process hold as many open files as the system allows it: each
// level of a deep folder tree holds its folder and listing open while the
// levels below it are walked. Only ever raises the limit; a refusal leaves
// it as it was.
void Raise_Open_File_Limit();

}  // namespace palvimo
