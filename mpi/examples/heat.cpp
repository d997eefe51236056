// Example: one system across MPI processes. A 1-D advection-diffusion
// equation by the method of lines (advection_diffusion.hpp), NEQ = 10^6 by
// default, integrated in double to X = 0.1 in outputs of 0.02, each
// process owning a slice and exchanging its halo in the right-hand side.
//
//   mpirun -np N heat [NEQ]
//
// Rank 0 prints, at each output, X, the accepted steps, the largest u and
// the sum of u over the whole rod; these lines are the same bits whatever
// N, and the same as one process's run.
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

int main(int argc, char** argv) {
  const rkv::mpiexample::Line line = rkv::mpiexample::start_line(argc, argv);
  const int rank = line.rank;
  const int size = line.size;
  const std::int64_t neq = argc >= 2 ? std::atoll(argv[1]) : 1000000;
  std::int64_t first = 0;
  std::int32_t count = 0;
  rkv::mpiexample::share_of(neq, rank, size, first, count);
  std::vector<double> u(static_cast<std::size_t>(count));
  rkv::mpiexample::initial_slice(first, count, neq, u.data());

  const rkv::mpiexample::AdvectionDiffusion<double> f{MPI_COMM_WORLD, line.left(), line.right()};
  rkv::mpi::DoubleDistributedIntegrator it(MPI_COMM_WORLD, f);
  std::array<double, rkv::param::kSize> param{};
  rkv::param::set(param.data(), rkv::param::kMaxSteps, 1.0e6);
  if (rank == 0) {
    std::printf("NEQ = %lld on %d process%s\n", static_cast<long long>(neq), size,
                size == 1 ? "" : "es");
    std::printf("       X   steps              max u                   sum u\n");
  }
  std::int32_t ido = 1;
  double x = 0.0;
  for (int k = 1; k <= 5; ++k) {
    const double xend = 0.02 * k;
    it.integrate(ido, count, x, xend, 1.0e-6, param.data(), u.data());
    if (ido != 2) break;
    const double top = rkv::mpi::global_max(MPI_COMM_WORLD, *std::max_element(u.begin(), u.end()));
    const double sum = rkv::mpi::ordered_sum(MPI_COMM_WORLD, 0.0, [&](double s) {
      for (const double v : u) s += v;
      return s;
    });
    if (rank == 0) {
      std::printf("%8.3f %7.0f %24.17e %23.17e\n", x,
                  rkv::param::get(param.data(), rkv::param::kAcceptedSteps), top, sum);
    }
  }
  ido = 3;
  it.integrate(ido, count, x, x, 1.0e-6, param.data(), u.data());
  MPI_Finalize();
  return 0;
}
