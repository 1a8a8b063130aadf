#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace palvimo::testing {

// A test that needs another process to do part of its work (a run killed
// midway, say) starts this test program again, in a role, rather than fork
// a child that goes on running: a child forked from a program with threads
// can find the memory allocator locked by one of them, and hang.
//
// The role is a name and its arguments, lines of one environment variable.
// A test file claims its roles before any test runs:
//   const bool Claimed = Claim_Role("name", [](const std::vector<std::string>& arguments) { ...; _exit(0); });
inline constexpr const char* Role_Variable = "PALVIMO_TEST_ROLE";

// Starts this program again in the role `name` with `arguments` (none with
// a line break), waits for it and gives its wait status, or -1.
inline int Run_In_Role(const std::string& name, const std::vector<std::string>& arguments) {
  std::string role = name;
  for (const std::string& argument : arguments) role += "\n" + argument;
  std::vector<std::string> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) environment.emplace_back(*variable);
  environment.push_back(std::string(Role_Variable) + "=" + role);
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  char program[] = "/proc/self/exe";
  char* argv[] = {program, nullptr};
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    execve(program, argv, envp.data());
    _exit(127);
  }
  int status = 0;
  return waitpid(child, &status, 0) == child ? status : -1;
}

// When this program was started in the role `name`, runs `play` with its
// arguments, which must end the process; otherwise returns false.
template <typename Play>
bool Claim_Role(const std::string& name, Play play) {
  const char* role = std::getenv(Role_Variable);
  if (role == nullptr) return false;
  std::vector<std::string> lines;
  std::string line;
  for (std::istringstream text(role); std::getline(text, line);) lines.push_back(line);
  if (lines.empty() || lines.front() != name) return false;
  play(std::vector<std::string>(lines.begin() + 1, lines.end()));
  _exit(126);  // the role did not end the process
}

}  // namespace palvimo::testing
