// Reductions over the processes of a distributed system that give the bits
// of the serial computation: the maximum and minimum (exact in any order),
// and a sum continued from process to process in rank order (the serial
// order of additions, hence the serial roundings). The distributed
// integrator reduces its error norms with them; an event function of a
// distributed state reduces its value with them as well, so that every
// process sees the same value and the events fall at the same points:
//
//   // g = the largest temperature of the whole rod, minus a threshold
//   auto g = [&](float, const float* y) {
//     float top = *std::max_element(y, y + neq);
//     return rkv::mpi::global_max(comm, top) - threshold;
//   };
//
// Every process must call the same reductions in the same order.
#pragma once

#include <mpi.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv::mpi {

// The MPI datatype of a storage type or accumulator.
template <class T>
MPI_Datatype datatype() {
  static_assert(std::is_same_v<T, float> || std::is_same_v<T, double>, "float or double");
  if constexpr (std::is_same_v<T, float>) {
    return MPI_FLOAT;
  } else {
    return MPI_DOUBLE;
  }
}

// The largest of the processes' values; NaN when any of them is NaN.
template <class T>
T global_max(MPI_Comm comm, T value) {
  // MPI_MAX over a NaN is unspecified: the NaN travels as a flag.
  T pair[2] = {std::isnan(value) ? T{1} : T{0}, std::isnan(value) ? T{0} : value};
  MPI_Allreduce(MPI_IN_PLACE, pair, 2, datatype<T>(), MPI_MAX, comm);
  return pair[0] > T{0} ? std::numeric_limits<T>::quiet_NaN() : pair[1];
}

// The smallest of the processes' values; NaN when any of them is NaN.
template <class T>
T global_min(MPI_Comm comm, T value) {
  return -global_max(comm, -value);
}

// A sum in rank order: `partial(running)` continues the running sum of the
// lower ranks with this process's terms, in its own order, and returns it;
// rank 0 starts from `start`. Every process receives the total of the last
// rank. The additions are made one after another, as one process would make
// them: the time is that of the whole sum on one process plus one message
// per process.
template <class T, class F>
T ordered_sum(MPI_Comm comm, T start, F&& partial) {
  int rank = 0;
  int size = 1;
  MPI_Comm_rank(comm, &rank);
  MPI_Comm_size(comm, &size);
  constexpr int kTag = 0x52;
  T running = start;
  if (rank > 0) MPI_Recv(&running, 1, datatype<T>(), rank - 1, kTag, comm, MPI_STATUS_IGNORE);
  running = partial(running);
  if (rank + 1 < size) MPI_Send(&running, 1, datatype<T>(), rank + 1, kTag, comm);
  MPI_Bcast(&running, 1, datatype<T>(), size - 1, comm);
  return running;
}

}  // namespace rkv::mpi

#pragma GCC visibility pop
