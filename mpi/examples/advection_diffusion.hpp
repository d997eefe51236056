// A 1-D advection-diffusion equation u_t = D u_xx - a u_x on (0, 1) with
// u = 0 at both ends, by the method of lines on NEQ interior points:
//   u_i' = K (u_{i-1} - 2 u_i + u_{i+1}) - B (u_{i+1} - u_{i-1})
// with K = D / h^2 and B = a / (2 h) in units of the grid spacing h, so
// that the stiffness, and with it the number of steps, does not depend on
// NEQ. Each process owns a contiguous slice and receives one value from
// each neighbour before every evaluation (its halo).
#pragma once

#include <mpi.h>

#include <cmath>
#include <cstdint>

#include "line.hpp"

namespace rkv::mpiexample {

constexpr double kDiffusion = 100.0;  // K
constexpr double kAdvection = 20.0;   // B

// The slice's right-hand side with its halo exchange over `comm`.
template <class Real>
struct AdvectionDiffusion {
  MPI_Comm comm;
  int left;  // the neighbouring ranks, MPI_PROC_NULL at the ends
  int right;
  void operator()(const std::int32_t& n, const Real&, const Real* u, Real* du) const {
    Real from_left;
    Real from_right;
    exchange_halo(comm, left, right, n, u, from_left, from_right);
    for (std::int32_t i = 0; i < n; ++i) {
      const double l = static_cast<double>(i > 0 ? u[i - 1] : from_left);
      const double r = static_cast<double>(i + 1 < n ? u[i + 1] : from_right);
      const double m = static_cast<double>(u[i]);
      du[i] = static_cast<Real>(kDiffusion * (l - 2.0 * m + r) - kAdvection * (r - l));
    }
  }
};

// The slice of `count` components from global index `first` of `neq`: a
// bump of width 1/10 around 0.3.
template <class Real>
void initial_slice(std::int64_t first, std::int32_t count, std::int64_t neq, Real* u) {
  for (std::int32_t i = 0; i < count; ++i) {
    const double s = static_cast<double>(first + i + 1) / static_cast<double>(neq + 1);
    const double d = (s - 0.3) / 0.1;
    u[i] = static_cast<Real>(std::exp(-d * d));
  }
}

// This process's share of `neq` components: as even as it can be.
inline void share_of(std::int64_t neq, int rank, int size, std::int64_t& first,
                     std::int32_t& count) {
  const std::int64_t base = neq / size;
  const std::int64_t extra = neq % size;
  first = rank * base + (rank < extra ? rank : extra);
  count = static_cast<std::int32_t>(base + (rank < extra ? 1 : 0));
}

}  // namespace rkv::mpiexample
