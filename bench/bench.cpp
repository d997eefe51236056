// Benchmarks of IVPRK and its vector kernels against the floor measured in
// the same run. Before timing anything the binary checks that the solver and
// the floor (and each kernel and its plain loop) produce the same bits; a
// mismatch ends it with exit status 1. After the benchmarks it prints a
// short table of medians: time per accepted step, ratio to the floor and,
// for the large systems, the bandwidth next to a triad's; then the ensemble
// on one thread and on every core, with the speed-up.
//
//   rkv_bench [--isa=baseline|avx2|avx512] [--verify-only] [benchmark flags]
//     --isa, first if given, narrows the vector instruction set of the solver's loops (and
//     the floor's) to the one named, where the processor supports it
//   rkv_bench --profile=<p1|p2|p1d|p2d>-<solver|floor>[:NEQ] [runs]
//     runs one workload untimed and unchecked, for a profiler (p1d, p2d: in double)
//
// The checks are in verify.cpp, the benchmarks in benchmarks.cpp, the
// summary in report.cpp; this file reads the command line.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "benchmarks.hpp"
#include "floor.hpp"
#include "report.hpp"
#include "step/isa.hpp"
#include "step/isa_testing.hpp"
#include "verify.hpp"
#include "workloads.hpp"

namespace rkv::bench {
namespace {

// Runs one workload `runs` times, for a profiler; false for an unknown name.
// p1d and p2d are P1 and P2 in double.
bool profile(const std::string& selector, int runs) {
  const std::size_t colon = selector.find(':');
  const std::string what = selector.substr(0, colon);
  const std::int32_t neq = colon == std::string::npos ? 1 : std::stoi(selector.substr(colon + 1));
  Floor fl;
  DoubleFloor dfl;
  Outcome out;
  DoubleOutcome dout;
  for (int i = 0; i < runs; ++i) {
    if (what == "p1-solver") {
      p1_solver(out);
    } else if (what == "p1-floor") {
      p1_floor(fl, out);
    } else if (what == "p2-solver") {
      p2_solver(neq, out);
    } else if (what == "p2-floor") {
      p2_floor(fl, neq, out);
    } else if (what == "p1d-solver") {
      p1_solver_double(dout);
    } else if (what == "p1d-floor") {
      p1_floor_double(dfl, dout);
    } else if (what == "p2d-solver") {
      p2_solver_double(neq, dout);
    } else if (what == "p2d-floor") {
      p2_floor_double(dfl, neq, dout);
    } else {
      return false;
    }
  }
  const bool dbl = what.size() > 2 && what[2] == 'd';
  std::printf("%s x %d: steps=%.0f evaluations=%.0f\n", selector.c_str(), runs,
              dbl ? dout.accepted : static_cast<double>(out.accepted),
              dbl ? dout.evaluations : static_cast<double>(out.evaluations));
  return true;
}

// Takes a leading --isa=<name> off the command line and narrows the
// instruction set to it; false for a name the library does not know.
bool take_isa(int& argc, char**& argv) {
  if (argc < 2 || std::strncmp(argv[1], "--isa=", 6) != 0) return true;
  rkv::ode::Isa want = rkv::ode::Isa::kBaseline;
  if (!rkv::ode::isa_from_name(argv[1] + 6, want)) {
    std::fprintf(stderr, "rkv_bench: unknown instruction set in %s\n", argv[1]);
    return false;
  }
  rkv::ode::select_isa_for_testing(want);
  --argc;
  ++argv;
  argv[0] = argv[-1];
  return true;
}

// The benchmarks with `args` as the benchmark library's command line, then
// the summary; the process's exit status.
int run_benchmarks(std::vector<std::string>& args, const BytesPerStep& p2_bytes) {
  std::vector<char*> argp;
  for (std::string& a : args) argp.push_back(a.data());
  int n = static_cast<int>(argp.size());
  benchmark::Initialize(&n, argp.data());
  if (benchmark::ReportUnrecognizedArguments(n, argp.data())) return 1;
  register_all();
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  print_table(reporter, p2_bytes);
  return 0;
}

}  // namespace
}  // namespace rkv::bench

int main(int argc, char** argv) {
  using namespace rkv::bench;
  if (!take_isa(argc, argv)) return 2;
  const std::string_view isa = rkv::ode::isa_name(rkv::ode::active_isa());
  std::printf("vector instruction set of the loops: %.*s\n", static_cast<int>(isa.size()),
              isa.data());
  if (argc >= 2 && std::strncmp(argv[1], "--profile=", 10) == 0) {
    const int runs = argc >= 3 ? std::atoi(argv[2]) : 1;
    return profile(argv[1] + 10, runs > 0 ? runs : 1) ? 0 : 2;
  }
  bool verify_only = false;
  std::vector<std::string> args = {argv[0], "--benchmark_repetitions=5",
                                   "--benchmark_report_aggregates_only=true"};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--verify-only") == 0) {
      verify_only = true;
    } else {
      args.emplace_back(argv[i]);
    }
  }
  BytesPerStep p2_bytes;
  if (!verify(p2_bytes)) {
    std::printf("The solver and the floor disagree: no timings taken.\n");
    return 1;
  }
  return verify_only ? 0 : run_benchmarks(args, p2_bytes);
}
