// Runs a helper program in a child process with a chosen environment and collects its standard
// output, so each run starts with a logger that has not been built yet.

#ifndef UNIT__CHILD_PROCESS_HPP_
#define UNIT__CHILD_PROCESS_HPP_

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

extern char ** environ;

namespace test_util {

struct ChildResult
{
  /// Exit code, or -1 when the child did not exit normally.
  int exit_code{-1};
  /// Everything the child wrote to standard output.
  std::string out;
};

/**
 * Runs `program` with `args` and the parent's environment, minus every SPDLOG_* variable, plus
 * `env`. Standard error is inherited so sanitizer reports show in the test log.
 */
inline ChildResult runChild(
    const std::string & program,
    const std::vector<std::string> & args,
    const std::map<std::string, std::string> & env)
{
  std::vector<std::string> env_strings;
  for (char ** entry = environ; *entry != nullptr; ++entry) {
    const std::string item(*entry);
    if (item.rfind("SPDLOG_", 0) != 0) {
      env_strings.push_back(item);
    }
  }
  for (const auto & [name, value] : env) {
    env_strings.push_back(name + "=" + value);
  }
  std::vector<std::string> arg_strings{program};
  arg_strings.insert(arg_strings.end(), args.begin(), args.end());

  std::vector<char *> argv;
  for (std::string & arg : arg_strings) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  std::vector<char *> envp;
  for (std::string & item : env_strings) {
    envp.push_back(item.data());
  }
  envp.push_back(nullptr);

  int fds[2];
  if (pipe(fds) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    throw std::system_error(spawned, std::generic_category(), "posix_spawn " + program);
  }

  ChildResult result;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fds[0], buffer, sizeof(buffer));
    if (got > 0) {
      result.out.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  close(fds[0]);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      throw std::system_error(errno, std::generic_category(), "waitpid");
    }
  }
  if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  }
  return result;
}

}  // namespace test_util

#endif  // UNIT__CHILD_PROCESS_HPP_
