#include "run_command.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace palvimo::bench {

namespace {

std::string Command_Line(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) line += (line.empty() ? "" : " ") + argument;
  return line;
}

// posix_spawn's file actions, released on every way out.
class Spawn_Actions {
 public:
  Spawn_Actions() { posix_spawn_file_actions_init(&actions_); }
  Spawn_Actions(const Spawn_Actions&) = delete;
  Spawn_Actions& operator=(const Spawn_Actions&) = delete;
  ~Spawn_Actions() { posix_spawn_file_actions_destroy(&actions_); }

  posix_spawn_file_actions_t* Get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

}  // namespace

void Run_Command(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  Spawn_Actions actions;
  posix_spawn_file_actions_addopen(actions.Get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawn_error = posix_spawnp(&child, argv[0], actions.Get(), nullptr, argv.data(), environ);
  if (spawn_error != 0) {
    throw std::runtime_error("cannot start " + Command_Line(arguments) + ": " +
                             std::strerror(spawn_error));
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("cannot wait for " + Command_Line(arguments));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(Command_Line(arguments) + " failed");
  }
}

}  // namespace palvimo::bench
