// A report that stops the run, with the error family's initial attributes:
// the start is refused for a non-finite Y in the last process's slice, so
// every process reaches the stop in the same call. check_stop.cmake runs it
// under mpirun and wants exit status 0 and the report printed once.
#include <mpi.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <vector>

#include "heat.hpp"
#include "rkv/mpi/distributed.hpp"

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  int rank = 0;
  int size = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  std::vector<double> y(4, 1.0);
  if (rank + 1 == size) y[2] = std::numeric_limits<double>::quiet_NaN();
  std::array<double, 50> param{};
  rkv::mpi::DoubleDistributedIntegrator dist(MPI_COMM_WORLD,
                                             rkv::mpitest::HeatSlice<double>{MPI_COMM_WORLD});
  std::int32_t ido = 1;
  double x = 0.0;
  dist.integrate(ido, 4, x, 1.0, 1e-6, param.data(), y.data());
  std::printf("rank %d: not stopped\n", rank);
  MPI_Finalize();
  return 1;
}
