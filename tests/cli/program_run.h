// Runs the real mendora-cli with stdout and stderr in files (so neither is a
// terminal), for the tests that see what a user sees.
#ifndef MENDORA_TESTS_CLI_PROGRAM_RUN_H_
#define MENDORA_TESTS_CLI_PROGRAM_RUN_H_

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/engine/engine_test_util.h"

namespace mendora::testing {

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

struct ProgramRun {
  int code = -1;
  std::string out;
  std::string err;
};

inline ProgramRun RunProgram(const ScratchDir& dir, const std::vector<std::string>& args) {
  const std::string out_path = dir.File("stdout.txt");
  const std::string err_path = dir.File("stderr.txt");
  const pid_t pid = fork();
  if (pid == 0) {
    const int out_fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>("mendora-cli")};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(MENDORA_CLI_PATH, argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadAll(out_path), ReadAll(err_path)};
}

}  // namespace mendora::testing

#endif  // MENDORA_TESTS_CLI_PROGRAM_RUN_H_
