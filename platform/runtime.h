#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/interface.h"

namespace palvimo {

// Thrown out of Event_Pump::Run_Pending_Events once a handler has ended the
// program. It is deliberately not a std::exception: no folder guard or error
// handler of the check catches it, so the whole walk unwinds, releasing what
// it holds on the way, and no further probe begins.
struct Program_End {};

// The window's event loop as the check sees it.
class Event_Pump : public Interface {
 public:
  // Handles every window event already waiting; its handlers run nested in
  // this call. Throws Program_End when the program has been ended.
  virtual void Run_Pending_Events() = 0;
  // Lets the window repaint during a long copy or pause; runs no handler of
  // the program and never throws. Cheap enough to call every few milliseconds.
  // False once the program is ending: the copy or pause should then stop.
  [[nodiscard]] virtual bool Keep_Alive() = 0;
  // Ends the program: the next return from Run_Pending_Events throws
  // Program_End.
  virtual void End_Program() = 0;
};

// Identifies the one file a probe copy created, so that only that file is
// ever deleted.
struct Probe_Copy {
  std::string Path;
  bool Created = false;
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
};

class Probe_Copier : public Interface {
 public:
  // Copies source, byte for byte through the drive, to a new file at
  // copy_path that only the owner may read and write, marked as this
  // program's. A marked leftover at copy_path is replaced; any other file
  // there is left untouched and raises Check_Error. As soon as the new file
  // exists `made` names it, so that even after a failed copy Delete_Copy can
  // remove the partial file. Throws Check_Error.
  virtual void Copy_File(const std::string& source, const std::string& copy_path,
                         Probe_Copy& made) = 0;
  // Deletes the file `made` names, and only while its path still names that
  // very file. Throws Check_Error when nothing was made or it cannot be
  // deleted.
  virtual void Delete_Copy(const Probe_Copy& made) = 0;
};

class Pauser : public Interface {
 public:
  // Waits that many milliseconds; no handler of the program runs meanwhile.
  virtual void Pause(std::uint32_t milliseconds) = 0;
};

class Random_Source : public Interface {
 public:
  // The next number of the sequence, uniform in [0, 1); never 1.
  virtual float Next() = 0;
  // Starts a fresh sequence seeded from the clock.
  virtual void Reseed() = 0;
};

// The copy and the pause keep the window alive through `events` while they
// last.
std::unique_ptr<Probe_Copier> Make_Probe_Copier(Event_Pump& events);
std::unique_ptr<Pauser> Make_Pauser(Event_Pump& events);
std::unique_ptr<Random_Source> Make_Clock_Random();

}  // namespace palvimo
