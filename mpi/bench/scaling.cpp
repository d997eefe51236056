// Benchmark of rkv::mpi: the time per step of the distributed
// advection-diffusion system (mpi/examples/advection_diffusion.hpp) in
// double, with the max norm (INORM 0, reduced with MPI_MAX) and with the
// Euclidean norm (INORM 3, the ordered sum), and the cost of the pieces:
// one max reduction, one agreement after an evaluation, the ordered sum of
// INORM 3 over this process's slice against the same sum without
// communication, and the chain alone (an empty slice).
//
//   mpirun -np N mpi_scaling [NEQ...]        (default 1000000 10000000)
//
// Rank 0 prints one table per NEQ; times are wall-clock, the median of the
// repetitions for the small pieces.
#include <mpi.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "advection_diffusion.hpp"
#include "rkv/mpi/distributed.hpp"
#include "rkv/mpi/reduce.hpp"
#include "rkv/ode/param.hpp"

namespace {

int g_rank = 0;
int g_size = 1;

// The median wall time of `reps` runs of `f`, in seconds.
template <class F>
double median_time(int reps, F&& f) {
  std::vector<double> t;
  for (int r = 0; r < reps; ++r) {
    MPI_Barrier(MPI_COMM_WORLD);
    const double start = MPI_Wtime();
    f();
    t.push_back(MPI_Wtime() - start);
  }
  MPI_Bcast(t.data(), reps, MPI_DOUBLE, 0, MPI_COMM_WORLD);
  std::nth_element(t.begin(), t.begin() + reps / 2, t.end());
  return t[static_cast<std::size_t>(reps / 2)];
}

// Seconds per accepted step of an integration to X = 0.1 under `inorm`.
double time_per_step(std::int64_t neq, int inorm) {
  std::int64_t first = 0;
  std::int32_t count = 0;
  rkv::mpiexample::share_of(neq, g_rank, g_size, first, count);
  std::vector<double> u(static_cast<std::size_t>(count));
  rkv::mpiexample::initial_slice(first, count, neq, u.data());
  const rkv::mpiexample::AdvectionDiffusion<double> f{
      MPI_COMM_WORLD, g_rank > 0 ? g_rank - 1 : MPI_PROC_NULL,
      g_rank + 1 < g_size ? g_rank + 1 : MPI_PROC_NULL};
  rkv::mpi::DoubleDistributedIntegrator it(MPI_COMM_WORLD, f);
  std::array<double, rkv::param::kSize> param{};
  rkv::param::set(param.data(), rkv::param::kInorm, static_cast<double>(inorm));
  std::int32_t ido = 1;
  double x = 0.0;
  MPI_Barrier(MPI_COMM_WORLD);
  const double start = MPI_Wtime();
  it.integrate(ido, count, x, 0.1, 1.0e-6, param.data(), u.data());
  double seconds = MPI_Wtime() - start;
  MPI_Bcast(&seconds, 1, MPI_DOUBLE, 0, MPI_COMM_WORLD);
  const double steps = rkv::param::get(param.data(), rkv::param::kAcceptedSteps);
  ido = 3;
  it.integrate(ido, count, x, x, 1.0e-6, param.data(), u.data());
  return seconds / steps;
}

// The sum of INORM 3 over a slice, continued from `running`.
double euclidean_part(double running, const std::vector<double>& v) {
  for (const double e : v) running += e * e;
  return running;
}

void report(std::int64_t neq) {
  const double max_step = time_per_step(neq, 0);
  const double sum_step = time_per_step(neq, 3);
  std::int64_t first = 0;
  std::int32_t count = 0;
  rkv::mpiexample::share_of(neq, g_rank, g_size, first, count);
  std::vector<double> v(static_cast<std::size_t>(count), 1.0e-3);
  double sink = 0.0;
  const double t_max = median_time(101, [&] { sink += rkv::mpi::global_max(MPI_COMM_WORLD, 1.0); });
  const double t_agree = median_time(101, [&] {
    int worst[2] = {0, g_rank};
    MPI_Allreduce(MPI_IN_PLACE, worst, 1, MPI_2INT, MPI_MAXLOC, MPI_COMM_WORLD);
    sink += worst[0];
  });
  const double t_chain_empty = median_time(
      101, [&] { sink += rkv::mpi::ordered_sum(MPI_COMM_WORLD, 0.0, [](double s) { return s; }); });
  const double t_local = median_time(11, [&] { sink += euclidean_part(0.0, v); });
  const double t_chain = median_time(11, [&] {
    sink +=
        rkv::mpi::ordered_sum(MPI_COMM_WORLD, 0.0, [&](double s) { return euclidean_part(s, v); });
  });
  if (g_rank != 0) return;
  std::printf("NEQ = %lld on %d process%s%s\n", static_cast<long long>(neq), g_size,
              g_size == 1 ? "" : "es", sink < 0.0 ? " " : "");
  std::printf("  time per step, INORM 0 (max)          %10.3f ms\n", 1e3 * max_step);
  std::printf("  time per step, INORM 3 (ordered sum)  %10.3f ms\n", 1e3 * sum_step);
  std::printf("  one max reduction                     %10.3f us\n", 1e6 * t_max);
  std::printf("  one agreement after an evaluation     %10.3f us\n", 1e6 * t_agree);
  std::printf("  ordered chain alone (empty slices)    %10.3f us\n", 1e6 * t_chain_empty);
  std::printf("  INORM 3 sum of the slice, local only  %10.3f ms\n", 1e3 * t_local);
  std::printf("  INORM 3 ordered sum over all slices   %10.3f ms\n", 1e3 * t_chain);
}

}  // namespace

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  MPI_Comm_rank(MPI_COMM_WORLD, &g_rank);
  MPI_Comm_size(MPI_COMM_WORLD, &g_size);
  std::vector<std::int64_t> sizes;
  for (int a = 1; a < argc; ++a) sizes.push_back(std::atoll(argv[a]));
  if (sizes.empty()) sizes = {1000000, 10000000};
  for (const std::int64_t neq : sizes) report(neq);
  MPI_Finalize();
  return 0;
}
