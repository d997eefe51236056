// The floor: the smallest loop that takes exactly the steps of IVPRK with the
// default settings (INORM 0, scale 1, no pauses, no limits), with the same
// Verner 6(5) pair, the same step-size controller and the same arithmetic
// (Real storage, every formula evaluated in double and rounded once when
// stored). It has no status protocol, no error family and no argument checks,
// so the time it takes is the reference every benchmark ratio is taken
// against. Its results are compared bit for bit with the solver's.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "rkv/ode/integrator.hpp"
#include "rkv/ode/ivprk.hpp"

namespace rkv::bench {

// Real is the storage type, Real or double, as the solver's.
template <class Real>
class BasicFloor {
 public:
  using Rhs = rkv::BasicRhsFunction<Real>;

  // Opens an integration of `neq` equations at y with the largest step
  // `hmax` and the tolerance `tol` (the first trial step is derived from
  // both, as the solver does). The workspace is requested here, once.
  void start(std::int32_t neq, const Real* y, Real hmax, Real tol);

  // Requests and touches the workspace for `neq` equations ahead of time,
  // so that a timed start() finds its memory mapped and only clears it.
  void reserve(std::int32_t neq);

  // Integrates from x to xend; on success x == xend. Returns false only when
  // a step of magnitude at most HMIN is rejected (the tolerance cannot be
  // met), leaving x and y at the last accepted point.
  bool advance(Rhs f, Real& x, Real xend, Real tol, Real* y);

  std::int32_t accepted() const { return accepted_; }
  std::int32_t evaluations() const { return evaluations_; }
  Real last_step() const { return step_; }  // the solver's PARAM(31)
  std::int32_t rejections() const { return total_rejections_; }

 private:
  // advance() for each vector instruction set, as the solver has them: the
  // same loop compiled for SSE2, AVX2 and AVX-512F, the active one chosen as
  // the solver chooses its own.
  bool advance_body(Rhs f, Real& x, Real xend, Real tol, Real* y);
  bool advance_avx512(Rhs f, Real& x, Real xend, Real tol, Real* y);
  bool advance_avx2(Rhs f, Real& x, Real xend, Real tol, Real* y);
  bool advance_baseline(Rhs f, Real& x, Real xend, Real tol, Real* y);

  struct Free {
    void operator()(void* p) const { std::free(p); }
  };

  std::int32_t neq_ = 0;
  // k1..k8, stage argument / candidate, running max |y|: `capacity_` reals
  // from `wk_` on, on a cache line within `block_`, as the solver's.
  std::unique_ptr<void, Free> block_;
  Real* wk_ = nullptr;
  std::size_t capacity_ = 0;
  Real h_ = 0;     // trial step magnitude
  Real step_ = 0;  // signed step of the last attempt
  Real e_ = 0;     // error measure of the last attempt
  Real hmin_ = 0;  // 0 until the first attempt fixes it
  Real hmax_ = 0;
  std::int32_t rejections_ = 0;
  std::int32_t accepted_ = 0;
  std::int32_t evaluations_ = 0;
  std::int32_t total_rejections_ = 0;
};

using Floor = BasicFloor<float>;
using DoubleFloor = BasicFloor<double>;

}  // namespace rkv::bench
