// The processes of a program as a line, for the examples and the tests of
// rkv::mpi: MPI started and this process's place in the line, and the halo
// exchange of a 1-D grid split into contiguous slices along it (the last
// value of each slice to the right neighbour, the first to the left one;
// 0 beyond the ends).
#pragma once

#include <mpi.h>

#include <cstdint>

#include "rkv/mpi/reduce.hpp"

namespace rkv::mpiexample {

struct Line {
  int rank = 0;
  int size = 1;
  [[nodiscard]] int left() const { return rank > 0 ? rank - 1 : MPI_PROC_NULL; }
  [[nodiscard]] int right() const { return rank + 1 < size ? rank + 1 : MPI_PROC_NULL; }
};

// MPI_Init, and the place of this process in MPI_COMM_WORLD.
inline Line start_line(int& argc, char**& argv) {
  MPI_Init(&argc, &argv);
  Line line;
  MPI_Comm_rank(MPI_COMM_WORLD, &line.rank);
  MPI_Comm_size(MPI_COMM_WORLD, &line.size);
  return line;
}

// The values next to the slice u[0..n-1] from the neighbouring processes
// (MPI_PROC_NULL at an end leaves 0); collective over `comm`.
template <class Real>
void exchange_halo(MPI_Comm comm, int left, int right, std::int32_t n, const Real* u,
                   Real& from_left, Real& from_right) {
  from_left = Real{0};
  from_right = Real{0};
  const MPI_Datatype t = mpi::datatype<Real>();
  MPI_Sendrecv(&u[n - 1], 1, t, right, 1, &from_left, 1, t, left, 1, comm, MPI_STATUS_IGNORE);
  MPI_Sendrecv(&u[0], 1, t, left, 2, &from_right, 1, t, right, 2, comm, MPI_STATUS_IGNORE);
}

}  // namespace rkv::mpiexample
