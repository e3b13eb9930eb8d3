#include "platform/spawn.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace vexa::platform {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

bool FindProgram(const std::string& name, std::string* path) {
  if (name.empty()) return false;
  if (name.find('/') != std::string::npos) {
    if (!IsExecutableFile(name)) return false;
    if (path) *path = name;
    return true;
  }
  const char* search = std::getenv("PATH");
  std::string list = search ? search : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string folder = list.substr(start, end - start);
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/" + name;
    if (IsExecutableFile(candidate)) {
      if (path) *path = candidate;
      return true;
    }
    start = end + 1;
  }
  return false;
}

bool RunProgram(const std::vector<std::string>& argv, int* exit_code, std::string* output,
                std::string* error) {
  if (argv.empty() || !exit_code) {
    if (error) *error = "no program to run";
    return false;
  }
  std::string program;
  if (!FindProgram(argv[0], &program)) {
    if (error) *error = "program not found: " + argv[0];
    return false;
  }
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) {
    if (error) *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) {
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    if (error) *error = std::string("cannot start a process: ") + std::strerror(errno);
    return false;
  }
  if (child == 0) {
    const int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd >= 0) ::dup2(null_fd, 0);
    ::dup2(pipe_fds[1], 1);
    ::dup2(pipe_fds[1], 2);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    ::execv(program.c_str(), args.data());
    _exit(127);
  }
  ::close(pipe_fds[1]);
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
    if (n > 0) {
      if (output) output->append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;
  }
  ::close(pipe_fds[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      if (error) *error = std::string("lost the process: ") + std::strerror(errno);
      return false;
    }
  }
  *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

}  // namespace vexa::platform
