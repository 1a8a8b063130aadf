#include "engine/walk_folder.h"

#include <exception>
#include <limits>
#include <memory>
#include <string>

#include "engine/catalogue_check.h"
#include "engine/delay_text.h"
#include "engine/extension_rule.h"
#include "engine/ignore_errors.h"
#include "platform/own_names.h"
#include "platform/path_hash.h"
#include "platform/volume_space.h"

namespace palvimo {

// What one call of the walk holds, taken before any file is looked at and
// released on every way out of the call; the root folder is the run's.
struct Folder_Walk::Listing {
  std::unique_ptr<Folder> folder;
  std::unique_ptr<Entry_Cursor> subfolders;
  std::unique_ptr<Entry_Cursor> files;
};

Folder_Walk::Folder_Walk(Run_State& state, Window_Ops& window, const Check_Services& services,
                         Run_Record& record)
    : state_(state), window_(window), services_(services), record_(record), failures_(services.Log) {}

std::unique_ptr<Folder> Folder_Walk::Open_Root(const std::string& path) {
  catalogue_.reset();
  guard_.Clear();
  if (!services_.Catalogue_Folder.empty()) catalogue_ = std::make_unique<Catalogue>(services_.Catalogue_Folder, path);
  try {
    return services_.Files.Open_Folder(path);
  } catch (const Check_Error& error) {
    throw Root_Unreachable(error);
  }
}

void Folder_Walk::Walk_Root(Folder& root) {
  // Before anything is written on it: the copier learns once what the
  // volume offers, and leftovers of killed runs go even where no walk passes.
  // The first pass's note, which says what leftovers went, is the run's.
  const std::string note = services_.Copier.Know_Volume(root);
  if (record_.Volume_Note().empty()) record_.Set_Volume_Note(note);
  if (!record_.Space_At_Start()) {
    if (const auto space = Space_Of_Folder(static_cast<int>(root.Native_Handle()))) record_.Set_Space_At_Start(*space);
  }
  Listing listing;
  try {
    Take_Collections(root, listing);
  } catch (const Check_Error& error) {
    throw Root_Unreachable(error);
  }
  Walk_Listing(root, listing);
}

void Folder_Walk::Take_Collections(Folder& folder, Listing& listing) {
  listing.subfolders = folder.Subfolders();
  listing.files = folder.Files();
}

void Folder_Walk::Walk_Folder(Folder& parent, const std::string& name) {
  Listing listing;
  listing.folder = parent.Open_Subfolder(name);
  Take_Collections(*listing.folder, listing);
  Walk_Listing(*listing.folder, listing);
}

void Folder_Walk::Walk_Listing(Folder& folder, Listing& listing) {
  // The folder guard: until this call's first probe, an error abandons the
  // rest of the folder as if it had been walked to the end. After it, errors
  // go up to the nearest enclosing call that has not probed yet.
  bool probed = false;
  const std::uint64_t folder_hash = Path_Hash(folder.Path());
  try {
    while (!state_.Stop_Requested) {
      const std::optional<std::string> file = listing.files->Next();
      if (!file) break;
      // What the walk could pick is what it covers; its own files are none
      // of the user's.
      if (!Is_Private_Name(*file)) record_.Add_Seen(Entry_Hash(folder_hash, *file));
      if (!Picked()) continue;
      window_.Show_Folder(folder.Path());
      const std::string path = folder.Path_Of(*file);
      window_.Set_Status(path);
      Run_Pending_Events();
      probed = true;
      Probe_File(folder, *file, path);
      Run_Pending_Events();
    }
    // Done with the files before going deeper: a deep tree then holds only
    // the folder and its subfolder listing open at each level.
    listing.files.reset();
    if (!state_.Recurse_On) return;
    while (!state_.Stop_Requested) {
      const std::optional<std::string> subfolder = listing.subfolders->Next();
      if (!subfolder) break;
      Run_Pending_Events();
      if (Picked()) Walk_Folder(folder, *subfolder);
    }
  } catch (const std::exception&) {
    if (probed) throw;
  }
}

bool Folder_Walk::Picked() {
  ++draws_;
  return services_.Random.Next() < Pick_Threshold;
}

namespace {

bool Ends_With(const std::string& text, const std::string& end) {
  return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

void Folder_Walk::Probe_File(Folder& folder, const std::string& name, const std::string& path) {
  // A FUSE file system keeps a file removed while still open, such as a
  // copy of this program's between its removal and its close, under such a
  // name until it is closed: no file of the user's, and gone a moment later.
  if (name.starts_with(".fuse_hidden")) return;
  Ignore_Errors attempt;
  const std::string extension = window_.Read_Extension();
  // A copy this program made and could not delete (a crash, a power cut) is
  // removed when the walk meets it, under its copy name or a private name,
  // instead of being copied in its turn; nothing at a private name is ever
  // copied.
  bool own_file = Is_Private_Name(name);
  // A file mounted here from another drive is no part of the drive under
  // check: it is neither copied nor counted as a fault.
  bool elsewhere = false;
  Probe_Figures figures;
  std::optional<Catalogue_Check> catalogue_check;
  attempt([&] {
    if (own_file) {
      services_.Copier.Remove_Leftover(folder, name);
      return;
    }
    if (const auto problem = Extension_Problem(extension)) throw Check_Error(path, *problem);
    own_file = Ends_With(name, extension) && services_.Copier.Remove_Leftover(folder, name);
    if (own_file) return;
    try {
      figures = services_.Copier.Copy_File(folder, name, name + extension);
      catalogue_check.emplace(catalogue_.get(), path, figures);
    } catch (const Not_On_Drive&) {
      elsewhere = true;
    }
  });
  if (!own_file && !elsewhere) {
    try {
      attempt([&] {
        if (const auto delay = Parse_Delay(window_.Read_Delay())) services_.Pause.Pause(*delay);
      });
    } catch (const Program_End&) {
      // Ending mid-pause: the copy goes before the program does.
      attempt([&] { services_.Copier.Delete_Copy(); });
      throw;
    }
    attempt([&] { services_.Copier.Delete_Copy(); });
  }
  if (catalogue_check) attempt([&] { catalogue_check->Await([&] { Run_Pending_Events(); }, state_.Stop_Requested); });
  if (state_.File_Count < std::numeric_limits<std::int32_t>::max()) ++state_.File_Count;
  attempt([&] { window_.Show_Count(std::to_string(state_.File_Count)); });
  if (const std::optional<Probe_Failure> failure = attempt.First_Failure()) {
    // An error raised on any other path than the file's was the copy's.
    const bool on_copy = !failure->path.empty() && failure->path != path;
    const Failure_Entry entry =
        record_.Add_Failure(path, figures, failure->kind, failure->reason, failure->error_number, on_copy);
    failures_.Record(path, failure->reason);
    if (services_.Journal) services_.Journal->Probe_Failed(record_, entry);
    attempt([&] { window_.Show_Failure(path, failure->reason); });
  } else if (!own_file && !elsewhere) {
    // A leftover removed, or a file of another drive left alone, checked
    // nothing: the record counts neither.
    record_.Add_Probe(path, figures);
    guard_.Hold(path, figures);
  }
  if (figures.bytes_written > 0) {
    const auto failure = attempt.First_Failure();
    Guard_After_Copy(figures.bytes_written, failure && failure->kind == Failure_Kind::Data_Changed);
  }
  attempt([&] { window_.Show_Record(record_); });
}

// The guard's sample after a copy; files the drive changed are the run's
// last failures, and writing stops with them.
void Folder_Walk::Guard_After_Copy(std::uint64_t bytes_written, bool copy_differed) {
  guard_.Sample_After_Copy(bytes_written, copy_differed);
  const std::vector<Guard_Finding> findings = guard_.Await([&] { Run_Pending_Events(); }, state_.Stop_Requested);
  if (findings.empty()) return;
  Ignore_Errors attempt;
  for (const Guard_Finding& finding : findings) {
    const Failure_Entry entry =
        record_.Add_Failure(finding.path, {}, finding.kind, finding.reason, finding.error_number);
    failures_.Record(finding.path, finding.reason);
    if (services_.Journal) services_.Journal->Probe_Failed(record_, entry);
    attempt([&] { window_.Show_Failure(finding.path, finding.reason); });
  }
  record_.Stop_Writing(findings.size());
  state_.Stop_Requested = true;
}

void Folder_Walk::Run_Pending_Events() {
  ++event_runs_;
  services_.Events.Run_Pending_Events();
}

}  // namespace palvimo
