#include "engine/walk_folder.h"

#include <exception>
#include <limits>
#include <memory>

#include "engine/delay_text.h"
#include "engine/extension_rule.h"
#include "engine/ignore_errors.h"

namespace palvimo {

// What one call of the walk holds, taken before any file is looked at and
// released on every way out of the call.
struct Folder_Walk::Listing {
  std::unique_ptr<Folder> folder;
  std::unique_ptr<Entry_Cursor> subfolders;
  std::unique_ptr<Entry_Cursor> files;
};

Folder_Walk::Folder_Walk(Run_State& state, Window_Ops& window, const Check_Services& services)
    : state_(state), window_(window), services_(services) {}

void Folder_Walk::Walk_Root(const std::string& root) {
  Listing listing;
  try {
    listing = Open_Listing(root);
  } catch (const Check_Error& error) {
    throw Root_Unreachable(error);
  }
  Walk_Listing(listing);
}

Folder_Walk::Listing Folder_Walk::Open_Listing(const std::string& path) {
  Listing listing;
  listing.folder = services_.Files.Open_Folder(path);
  listing.subfolders = listing.folder->Subfolders();
  listing.files = listing.folder->Files();
  return listing;
}

void Folder_Walk::Walk_Folder(const std::string& path) {
  Listing listing = Open_Listing(path);
  Walk_Listing(listing);
}

void Folder_Walk::Walk_Listing(Listing& listing) {
  // The folder guard: until this call's first probe, an error abandons the
  // rest of the folder as if it had been walked to the end. After it, errors
  // go up to the nearest enclosing call that has not probed yet.
  bool probed = false;
  try {
    while (!state_.Stop_Requested) {
      const std::optional<std::string> file = listing.files->Next();
      if (!file) break;
      if (!(services_.Random.Next() < Pick_Threshold)) continue;
      window_.Show_Folder(listing.folder->Path());
      window_.Set_Status(*file);
      Run_Pending_Events();
      probed = true;
      Probe_File(*file);
      Run_Pending_Events();
    }
    if (!state_.Recurse_On) return;
    while (!state_.Stop_Requested) {
      const std::optional<std::string> subfolder = listing.subfolders->Next();
      if (!subfolder) break;
      Run_Pending_Events();
      if (services_.Random.Next() < Pick_Threshold) Walk_Folder(*subfolder);
    }
  } catch (const std::exception&) {
    if (probed) throw;
  }
}

void Folder_Walk::Probe_File(const std::string& file) {
  Probe_Copy made;
  Ignore_Errors([&] {
    const std::string extension = window_.Read_Extension();
    if (const auto problem = Extension_Problem(extension)) throw Check_Error(file, *problem);
    services_.Copier.Copy_File(file, file + extension, made);
  });
  Ignore_Errors([&] {
    if (const auto delay = Parse_Delay(window_.Read_Delay())) services_.Pause.Pause(*delay);
  });
  Ignore_Errors([&] { services_.Copier.Delete_Copy(made); });
  if (state_.File_Count < std::numeric_limits<std::int32_t>::max()) ++state_.File_Count;
  Ignore_Errors([&] { window_.Show_Count(std::to_string(state_.File_Count)); });
}

void Folder_Walk::Run_Pending_Events() {
  ++event_runs_;
  services_.Events.Run_Pending_Events();
}

}  // namespace palvimo
