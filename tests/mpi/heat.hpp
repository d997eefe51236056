// The test system of the MPI tests: a 1-D reaction-diffusion equation by
// the method of lines, y_i' = K (y_{i-1} - 2 y_i + y_{i+1}) + sin(y_i) / 10
// with y = 0 beyond both ends, whole (serial) or split into slices whose
// halo comes from the neighbouring processes; a partition of N components
// over the processes, even or uneven; and the gather of the slices.
#pragma once

#include <mpi.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "line.hpp"
#include "rkv/mpi/reduce.hpp"

namespace rkv::mpitest {

constexpr double kDiffusion = 4.0;

// One component from its neighbours: the same bits serial and distributed.
template <class Real>
Real heat_point(Real left, Real mid, Real right) {
  const double m = static_cast<double>(mid);
  return static_cast<Real>(kDiffusion *
                               (static_cast<double>(left) - 2.0 * m + static_cast<double>(right)) +
                           0.1 * std::sin(m));
}

template <class Real>
void heat_serial(const std::int32_t& n, const Real&, const Real* y, Real* yp) {
  for (std::int32_t i = 0; i < n; ++i) {
    yp[i] = heat_point(i > 0 ? y[i - 1] : Real{0}, y[i], i + 1 < n ? y[i + 1] : Real{0});
  }
}

// The slice's right-hand side with its halo exchange over `comm`.
template <class Real>
struct HeatSlice {
  MPI_Comm comm;
  void operator()(const std::int32_t& n, const Real&, const Real* y, Real* yp) const {
    mpiexample::Line line;
    MPI_Comm_rank(comm, &line.rank);
    MPI_Comm_size(comm, &line.size);
    Real from_left;
    Real from_right;
    mpiexample::exchange_halo(comm, line.left(), line.right(), n, y, from_left, from_right);
    for (std::int32_t i = 0; i < n; ++i) {
      yp[i] = heat_point(i > 0 ? y[i - 1] : from_left, y[i], i + 1 < n ? y[i + 1] : from_right);
    }
  }
};

// The initial state of component i of n.
template <class Real>
Real heat_start(std::int32_t i, std::int32_t n) {
  const double s = (static_cast<double>(i) + 1.0) / (static_cast<double>(n) + 1.0);
  return static_cast<Real>(std::sin(3.141592653589793 * s) + 0.25 * std::cos(7.0 * s));
}

// The slice sizes of n components over `size` processes: even, or rank r
// weighted r + 1 (the last takes the rest).
inline std::vector<int> partition(int n, int size, bool uneven) {
  std::vector<int> counts(static_cast<std::size_t>(size));
  const int total = uneven ? size * (size + 1) / 2 : size;
  int given = 0;
  for (int r = 0; r < size; ++r) {
    const int share = n * (uneven ? r + 1 : 1) / total;
    counts[static_cast<std::size_t>(r)] = r + 1 == size ? n - given : share;
    given += counts[static_cast<std::size_t>(r)];
  }
  return counts;
}

// The slices gathered in rank order on every process.
template <class Real>
std::vector<Real> gather(MPI_Comm comm, const std::vector<Real>& slice,
                         const std::vector<int>& counts) {
  std::vector<int> starts(counts.size(), 0);
  int n = 0;
  for (std::size_t r = 0; r < counts.size(); ++r) {
    starts[r] = n;
    n += counts[r];
  }
  std::vector<Real> whole(static_cast<std::size_t>(n));
  MPI_Allgatherv(slice.data(), static_cast<int>(slice.size()), mpi::datatype<Real>(), whole.data(),
                 counts.data(), starts.data(), mpi::datatype<Real>(), comm);
  return whole;
}

}  // namespace rkv::mpitest
