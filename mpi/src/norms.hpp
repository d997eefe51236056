// The error norms of a distributed system: each process holds its slice of
// the error vector v, of Y at the step's start (y0), of the candidate (y1)
// and of the running maximum of |y| (ymax, kept per component by the local
// integrator); the norm is that of the whole vectors, bit for bit as one
// process computes it. Maxima reduce exactly with MPI_MAX; the sums (INORM
// 3 and the RMS tolerance norm) continue from rank to rank in the serial
// order (rkv/mpi/reduce.hpp).
#pragma once

#include <mpi.h>

#include <cstdint>
#include <vector>

#include "rkv/ode/integrator.hpp"

namespace rkv::mpi {

// The norm in force: INORM and its floor (PARAM(10), PARAM(11), read at
// each start), or tolerances (kind kMax or kRms), which take their place.
template <class Real>
struct NormSettings {
  std::int32_t inorm = 0;
  Real floor = Real{1};
  bool tolerances = false;
  ToleranceNorm kind = ToleranceNorm::kMax;
  Real rtol = Real{0};
  Real atol = Real{0};
  bool per_component = false;
  std::vector<Real> each;  // this process's ATOL_i, copied when set
  std::int64_t global_neq = 0;
  [[nodiscard]] Real atol_of(std::int32_t i) const {
    return per_component ? each[static_cast<std::size_t>(i)] : atol;
  }
};

// The norm of the whole system; collective over `comm`.
template <class Real>
Real distributed_norm(const NormSettings<Real>& n, MPI_Comm comm, std::int32_t neq, const Real* v,
                      const Real* y0, const Real* y1, const Real* ymax);

}  // namespace rkv::mpi
