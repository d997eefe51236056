// Forked-child runner for tests of stops and console reports.
#include "support/child.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "rkv/host/units.hpp"

namespace rkv::testing {
namespace {

std::string slurp_fd(int fd) {
  std::string s;
  lseek(fd, 0, SEEK_SET);
  char buf[4096];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    s.append(buf, static_cast<std::size_t>(n));
  }
  return s;
}

int temp_fd() {
  char name[] = "/tmp/rkv-child-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) std::abort();
  unlink(name);
  return fd;
}

}  // namespace

ChildResult run_in_child(const std::function<void()>& body, const std::string& dir) {
  std::fflush(nullptr);  // nothing buffered may be written twice
  const int out_fd = temp_fd();
  const int err_fd = temp_fd();
  const pid_t pid = fork();
  if (pid < 0) std::abort();
  if (pid == 0) {
    dup2(out_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
    body();
    rkv::host::close_all();
    std::fflush(nullptr);
    _exit(kBodyReturned);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  ChildResult r;
  r.out = slurp_fd(out_fd);
  r.err = slurp_fd(err_fd);
  close(out_fd);
  close(err_fd);
  if (WIFEXITED(wstatus)) {
    r.exited = true;
    r.status = WEXITSTATUS(wstatus);
    r.returned = r.status == kBodyReturned;
  } else if (WIFSIGNALED(wstatus)) {
    r.status = WTERMSIG(wstatus);
  }
  return r;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace rkv::testing
