// Every process ends a call alike: a start refused for one process's slice
// (a non-finite Y, a zero weight) is refused on every process with the
// serial run's report, and an error posted or an exception thrown by one
// process's right-hand side ends the call on every process, none left
// waiting in a collective. Run under mpirun with 1, 2 and 3 processes.
#include <mpi.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "heat.hpp"
#include "rkv/errors/control.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/mpi/distributed.hpp"

namespace {

int g_failures = 0;
int g_rank = 0;
int g_size = 1;
constexpr int kN = 23;

void check(bool ok, const std::string& what) {
  if (ok) return;
  ++g_failures;
  std::printf("rank %d: FAILED %s\n", g_rank, what.c_str());
}

// Whether every process holds the same value.
bool agreed(int value) {
  int range[2] = {value, -value};
  MPI_Allreduce(MPI_IN_PLACE, range, 2, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
  return range[0] == -range[1];
}

struct Slice {
  std::vector<int> counts;
  int first = 0;
  int mine = 0;
};

Slice slice_of() {
  Slice s;
  s.counts = rkv::mpitest::partition(kN, g_size, true);
  for (int r = 0; r < g_rank; ++r) s.first += s.counts[static_cast<std::size_t>(r)];
  s.mine = s.counts[static_cast<std::size_t>(g_rank)];
  return s;
}

// The start refused for the last component of the whole system: its Y not
// finite, or (with ATOL = 0) its Y zero; the text as the serial run's.
void refused_start(int which) {
  const Slice s = slice_of();
  std::vector<double> whole(kN, 1.0);
  whole[kN - 1] = which == 0 ? std::numeric_limits<double>::infinity() : 0.0;
  std::vector<double> part(whole.begin() + s.first, whole.begin() + s.first + s.mine);
  std::array<double, 50> p{};
  rkv::DoubleIntegrator serial(&rkv::mpitest::heat_serial<double>);
  rkv::mpi::DoubleDistributedIntegrator dist(MPI_COMM_WORLD,
                                             rkv::mpitest::HeatSlice<double>{MPI_COMM_WORLD});
  if (which == 1) {
    serial.set_tolerances(1e-6, 0.0);
    dist.set_tolerances(1e-6, 0.0);
  }
  std::int32_t ido = 1;
  double x = 0.0;
  const std::int32_t o1 = serial.integrate(ido, kN, x, 1.0, 1.0, p.data(), whole.data());
  const std::string expected(rkv::GETERRTEXT());
  ido = 1;
  x = 0.0;
  const std::int32_t o2 = dist.integrate(ido, s.mine, x, 1.0, 1.0, p.data(), part.data());
  const std::string got(rkv::GETERRTEXT());
  check(o1 == rkv::kTerminal && o2 == o1, "refused start " + std::to_string(which) + ": outcome");
  check(got == expected, "refused start: \"" + got + "\" for \"" + expected + "\"");
}

// The last process's right-hand side fails beyond x = 0.3: `how` 0 posts a
// FATAL error, 1 throws.
void failing_rhs(int how) {
  const Slice s = slice_of();
  const rkv::mpitest::HeatSlice<double> heat{MPI_COMM_WORLD};
  const bool last = g_rank + 1 == g_size;
  rkv::mpi::DoubleDistributedIntegrator dist(
      MPI_COMM_WORLD, [&](const std::int32_t& n, const double& x, const double* y, double* yp) {
        heat(n, x, y, yp);
        if (!last || x < 0.3) return;
        if (how == 1) throw std::runtime_error("right-hand side");
        rkv::E1MES(rkv::kFatal, 7, "The right-hand side failed.");
      });
  std::vector<double> part(static_cast<std::size_t>(s.mine), 0.5);
  std::array<double, 50> p{};
  std::int32_t ido = 1;
  double x = 0.0;
  std::int32_t outcome = -1;
  bool thrown = false;
  try {
    outcome = dist.integrate(ido, s.mine, x, 1.0, 1e-8, p.data(), part.data());
  } catch (const std::runtime_error&) {
    thrown = true;
  }
  const std::string label =
      how == 0 ? "error on the last process" : "exception on the last process";
  check(thrown == (how == 1 && last), label + ": thrown where it was thrown");
  if (!thrown) check(outcome == rkv::kFatal, label + ": outcome " + std::to_string(outcome));
  // The others report the failed process's own words.
  const std::string text(rkv::GETERRTEXT());
  const std::string want = how == 0 ? "The right-hand side failed." : "an exception was thrown.";
  if (!last) check(text.find(want) != std::string::npos, label + ": \"" + text + "\"");
  check(x > 0.2 && x < 0.5 && agreed(static_cast<int>(std::lround(x * 1e6))), label + ": X alike");
}

}  // namespace

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  MPI_Comm_rank(MPI_COMM_WORLD, &g_rank);
  MPI_Comm_size(MPI_COMM_WORLD, &g_size);
  rkv::SETERRATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff);
  refused_start(0);
  refused_start(1);
  failing_rhs(0);
  failing_rhs(1);
  int failures = g_failures;
  MPI_Allreduce(MPI_IN_PLACE, &failures, 1, MPI_INT, MPI_SUM, MPI_COMM_WORLD);
  if (g_rank == 0) std::printf("%s: %d failed checks\n", argv[0], failures);
  MPI_Finalize();
  return failures == 0 ? 0 : 1;
}
