#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/interface.h"
#include "platform/probe_figures.h"

namespace palvimo {

// Thrown once the program has been ended: out of Event_Pump's event runs, and
// out of a copy, pause or delete that the end cut short. It is deliberately
// not a std::exception: no folder guard or error handler of the check catches
// it, so the whole walk unwinds, releasing what it holds on the way, and no
// further probe begins.
struct Program_End {};

// The window's event loop as the check sees it. Called from the window's
// thread only.
class Event_Pump : public Interface {
 public:
  // Handles every window event already waiting, input held back by
  // Keep_Alive first, in the order it came; its handlers run nested in this
  // call. Throws Program_End when the program has been ended.
  virtual void Run_Pending_Events() = 0;
  // As Run_Pending_Events, but when no event is waiting, first waits for one
  // for at most `longest`. Throws Program_End.
  virtual void Wait_For_Events(std::chrono::milliseconds longest) = 0;
  // Keeps the window answering during a long copy, pause or stalled read: it
  // repaints, and acts at once on what ends the program (Exit, the window's
  // close, a signal); all other input is held for the next event run. Runs no
  // other handler of the program and never throws. Cheap enough to call every
  // few milliseconds. False once the program is ending: the caller then stops
  // its work at once, removes its copy, and throws Program_End.
  [[nodiscard]] virtual bool Keep_Alive() = 0;
  // Ends the program: Keep_Alive returns false from now on, and the next
  // event run throws Program_End.
  virtual void End_Program() = 0;
};

// The probe's copy: at most one exists at a time, made by Copy_File and
// removed by Delete_Copy.
class Probe_Copier : public Interface {
 public:
  // Copies the file `name` of `folder`, every byte through the drive, to a
  // new file `copy_name` beside it that only the owner may read and write,
  // marked as this program's, flushed to the drive and read back from it
  // when this returns: a copy that reads back unlike what was read fails
  // (Data_Changed), as does a source that ends before its size.
  // A copy left by this program at `copy_name` is removed first; anything
  // else there is left untouched and raises Check_Error. The copy is skipped
  // (Check_Error) when it would leave too little space for other programs.
  // A copy that fails is removed before this throws. Returns what the copy
  // did on the drive. Throws Check_Error, whose Kind() says which step
  // failed, and Program_End, with the copy removed, when the program ends
  // meanwhile.
  virtual Probe_Figures Copy_File(Folder& folder, const std::string& name, const std::string& copy_name) = 0;
  // Deletes the copy the last Copy_File made, and never any other file,
  // whatever has been renamed or replaced meanwhile. Throws Check_Error when
  // there is no copy or it cannot be deleted; a copy that was not deleted is
  // let go of all the same.
  virtual void Delete_Copy() = 0;
  // True when the file `name` of `folder` is a copy this program made (known
  // by its mark, or by the journal of copies): removed when it was left
  // over, left alone while the running instance that made it holds it.
  // False, touching nothing, for any other file. Throws Check_Error (for
  // another user's leftover copy too), and Program_End.
  virtual bool Remove_Leftover(Folder& folder, const std::string& name) = 0;
  // Finds out, once per volume, what the file system of the run's root
  // `root` offers, chooses from that how copies are made, known and removed
  // on it, and removes the leftover copies of earlier runs that the journal
  // of copies proves there. Returns one line saying what it found, also
  // where the volume could not be tried ("exfat: no marks kept; copies
  // tracked in the journal"). Throws Program_End only.
  virtual std::string Know_Volume(Folder& root) = 0;
};

class Pauser : public Interface {
 public:
  // Waits that many milliseconds, keeping the window alive; no handler of the
  // program runs meanwhile. Throws Program_End, at once, when the program
  // ends meanwhile.
  virtual void Pause(std::uint32_t milliseconds) = 0;
};

class Random_Source : public Interface {
 public:
  // The next number of the sequence, uniform in [0, 1); never 1.
  virtual float Next() = 0;
  // Starts a fresh sequence seeded from the clock.
  virtual void Reseed() = 0;
};

class Io_Worker;

// The copy's blocking work runs on `worker`, which keeps the window alive
// while it lasts; so does the pause, through `events`.
std::unique_ptr<Probe_Copier> Make_Probe_Copier(Io_Worker& worker);
std::unique_ptr<Pauser> Make_Pauser(Event_Pump& events);
std::unique_ptr<Random_Source> Make_Clock_Random();

}  // namespace palvimo
