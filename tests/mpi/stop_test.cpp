// A report that stops the run, with the error family's initial attributes:
// the start refused for a non-finite Y in the last process's slice, or
// (argument "rhs") a FATAL error posted by the last process's right-hand
// side, which stops that process inside it while the others wait for its
// agreement. check_stop.cmake runs it under mpirun and wants every process
// to end with status 0 and the report printed once.
#include <mpi.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <vector>

#include <string_view>

#include "heat.hpp"
#include "line.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/mpi/distributed.hpp"

int main(int argc, char** argv) {
  const rkv::mpiexample::Line line = rkv::mpiexample::start_line(argc, argv);
  const int rank = line.rank;
  const int size = line.size;
  const bool in_rhs = argc >= 2 && std::string_view(argv[1]) == "rhs";
  const bool last = rank + 1 == size;
  std::vector<double> y(4, 1.0);
  if (last && !in_rhs) y[2] = std::numeric_limits<double>::quiet_NaN();
  std::array<double, 50> param{};
  const rkv::mpitest::HeatSlice<double> heat{MPI_COMM_WORLD};
  rkv::mpi::DoubleDistributedIntegrator dist(
      MPI_COMM_WORLD, [&](const std::int32_t& n, const double& x, const double* u, double* du) {
        heat(n, x, u, du);
        if (last && x > 0.25) rkv::E1MES(rkv::kFatal, 9, "HEATSOURCE failed.");
      });
  std::int32_t ido = 1;
  double x = 0.0;
  dist.integrate(ido, 4, x, 1.0, 1e-6, param.data(), y.data());
  std::printf("rank %d: not stopped\n", rank);
  MPI_Finalize();
  return 1;
}
