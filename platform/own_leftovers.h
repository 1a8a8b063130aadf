#pragma once

#include <string>

#include "platform/copy_journal.h"
#include "platform/copy_volumes.h"

namespace palvimo {

// What was at a name a leftover copy may have: a copy this program left,
// now removed; a copy a running instance of it holds, left alone; or,
// touched by nothing, anything else or nothing at all.
enum class Leftover { Other, Removed, In_Use };

// Removes the file `name` of the folder `folder_fd` (at the full path
// `path`, on `volume`) when it is provably a copy this program left: it
// carries the mark, or the journal holds it as a copy of an instance no
// longer running and it still matches what the journal says. Another
// user's leftover copy raises Check_Error saying so and where it is; so
// does a removal that fails. The journal's entry of the token `making`, the
// copy about to be made at that name, is no proof of anything there.
Leftover Remove_If_Own(int folder_fd, const std::string& name, const std::string& path, const Copy_Volume& volume,
                       Copy_Journal& journal, std::uint64_t making = 0);

// Removes, on `volume`, every copy the journal holds of an instance no
// longer running that is still there and provably that copy, wherever the
// walk goes; forgets those gone. How many were removed. Never throws.
int Remove_Journaled_Leftovers(const Copy_Volume& volume, Copy_Journal& journal);

// Removes from the folder the files the volume check of an instance that
// is no longer running left there (own_names.h's Checking_Prefix, followed
// by the instance's process number): a check's files are tiny and live for
// a moment, so only ours, small and a minute old go. How many were
// removed. Never throws.
int Remove_Check_Leftovers(int folder_fd);

}  // namespace palvimo
