// The distributed error norms (norms.hpp). Each local part is written as
// the solver writes the whole norm: the same quotients, evaluated in double
// and rounded where the solver rounds them, so that the reduction of the
// parts is the serial result.
#include "norms.hpp"

#include <cmath>
#include <limits>

#include "rkv/mpi/reduce.hpp"

namespace rkv::mpi {
namespace {

template <class Real>
constexpr Real kNaN = std::numeric_limits<Real>::quiet_NaN();

// max_i |v_i| / max(|y_i|, bound) over the slice (INORM 0 and 2), each
// quotient rounded to the storage type; NaN at the first NaN quotient.
template <class Real>
Real relative_max(std::int32_t neq, const Real* v, const Real* y, Real bound) {
  Real top = Real{0};
  for (std::int32_t i = 0; i < neq; ++i) {
    const Real q = static_cast<Real>(
        std::fabs(static_cast<double>(v[i])) /
        std::fmax(std::fabs(static_cast<double>(y[i])), static_cast<double>(bound)));
    if (std::isnan(q)) return kNaN<Real>;
    top = q > top ? q : top;
  }
  return top;
}

// max_i |v_i| over the slice (INORM 1); NaN when any v_i is.
template <class Real>
Real absolute_max(std::int32_t neq, const Real* v) {
  Real top = Real{0};
  for (std::int32_t i = 0; i < neq; ++i) {
    if (std::isnan(v[i])) return kNaN<Real>;
    const Real a = std::fabs(v[i]);
    top = a > top ? a : top;
  }
  return top;
}

// The running sum of INORM 3, continued over the slice: rounded to the
// storage type after each addition, as the solver's ENORM is.
template <class Real>
Real euclidean_part(Real running, std::int32_t neq, const Real* v, const Real* w) {
  for (std::int32_t i = 0; i < neq; ++i) {
    const Real r = static_cast<Real>(static_cast<double>(v[i]) /
                                     std::fmax(std::fabs(static_cast<double>(w[i])), 1.0));
    running = static_cast<Real>(static_cast<double>(running) +
                                static_cast<double>(r) * static_cast<double>(r));
  }
  return running;
}

// The weighted quotient |v_i| / (ATOL_i + RTOL * max(|y0_i|, |y1_i|)).
template <class Real>
double weighted_quotient(const NormSettings<Real>& n, std::int32_t i, const Real* v, const Real* y0,
                         const Real* y1) {
  const double size =
      std::fmax(std::fabs(static_cast<double>(y0[i])), std::fabs(static_cast<double>(y1[i])));
  const double weight = static_cast<double>(n.atol_of(i)) + static_cast<double>(n.rtol) * size;
  return std::fabs(static_cast<double>(v[i])) / weight;
}

template <class Real>
Real tolerance_norm(const NormSettings<Real>& n, MPI_Comm comm, std::int32_t neq, const Real* v,
                    const Real* y0, const Real* y1) {
  if (n.kind == ToleranceNorm::kMax) {
    double top = 0.0;
    for (std::int32_t i = 0; i < neq; ++i) {
      const double q = weighted_quotient(n, i, v, y0, y1);
      if (std::isnan(q)) {
        top = q;
        break;
      }
      top = q > top ? q : top;
    }
    return static_cast<Real>(global_max(comm, top));
  }
  // The sum of squares in double, in element order over the whole system;
  // a NaN quotient makes it NaN, as it makes the serial norm.
  const double sum = ordered_sum(comm, 0.0, [&](double running) {
    for (std::int32_t i = 0; i < neq; ++i) {
      const double q = weighted_quotient(n, i, v, y0, y1);
      running += q * q;
    }
    return running;
  });
  return static_cast<Real>(std::sqrt(sum / static_cast<double>(n.global_neq)));
}

}  // namespace

template <class Real>
Real distributed_norm(const NormSettings<Real>& n, MPI_Comm comm, std::int32_t neq, const Real* v,
                      const Real* y0, const Real* y1, const Real* ymax) {
  if (n.tolerances) return tolerance_norm(n, comm, neq, v, y0, y1);
  switch (n.inorm) {
    case 1:
      return global_max(comm, absolute_max(neq, v));
    case 2:
      return global_max(comm, relative_max(neq, v, y0, n.floor));
    case 3: {
      const Real sum = ordered_sum(
          comm, Real{0}, [&](Real running) { return euclidean_part(running, neq, v, ymax); });
      return static_cast<Real>(std::sqrt(static_cast<double>(sum)));
    }
    default:  // 0 (the start-up checks admit nothing above 3)
      return global_max(comm, relative_max(neq, v, y0, Real{1}));
  }
}

template float distributed_norm<float>(const NormSettings<float>&, MPI_Comm, std::int32_t,
                                       const float*, const float*, const float*, const float*);
template double distributed_norm<double>(const NormSettings<double>&, MPI_Comm, std::int32_t,
                                         const double*, const double*, const double*,
                                         const double*);

}  // namespace rkv::mpi
