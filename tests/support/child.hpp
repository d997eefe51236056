// Runs a piece of code in a forked child with its standard output and
// standard error captured, so that tests can compare console reports byte for
// byte and check how the process ended (an orderly stop exits with 0).
#pragma once

#include <functional>
#include <string>

namespace rkv::testing {

struct ChildResult {
  std::string out;        // everything the child wrote on standard output
  std::string err;        // everything it wrote on standard error
  bool exited = false;    // ended by exit() rather than a signal
  int status = -1;        // exit status when exited, else the signal number
  bool returned = false;  // the body returned instead of stopping the run
};

// Exit status a child uses when its body returns normally.
inline constexpr int kBodyReturned = 77;

// Forks; the child runs `body` in `dir` (the current directory when empty).
// If the body returns, the child closes its units and exits with
// kBodyReturned. The parent waits and returns what was captured.
ChildResult run_in_child(const std::function<void()>& body, const std::string& dir = "");

// Reads a whole file (binary); empty when it does not exist.
std::string read_file(const std::string& path);

}  // namespace rkv::testing
