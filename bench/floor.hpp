// The floor: the smallest loop that takes exactly the steps of IVPRK with the
// default settings (INORM 0, scale 1, no pauses, no limits), with the same
// Verner 6(5) pair, the same step-size controller and the same arithmetic
// (float storage, every formula evaluated in double and rounded once when
// stored). It has no status protocol, no error family and no argument checks,
// so the time it takes is the reference every benchmark ratio is taken
// against. Its results are compared bit for bit with the solver's.
#pragma once

#include <cstdint>
#include <vector>

#include "rkv/ode/ivprk.hpp"

namespace rkv::bench {

class Floor {
 public:
  // Opens an integration of `neq` equations at y with the largest step
  // `hmax` and the tolerance `tol` (the first trial step is derived from
  // both, as the solver does). The workspace is requested here, once.
  void start(std::int32_t neq, const float* y, float hmax, float tol);

  // Requests and touches the workspace for `neq` equations ahead of time,
  // so that a timed start() finds its memory mapped and only clears it.
  void reserve(std::int32_t neq);

  // Integrates from x to xend; on success x == xend. Returns false only when
  // a step of magnitude at most HMIN is rejected (the tolerance cannot be
  // met), leaving x and y at the last accepted point.
  bool advance(RhsFunction f, float& x, float xend, float tol, float* y);

  std::int32_t accepted() const { return accepted_; }
  std::int32_t evaluations() const { return evaluations_; }
  float last_step() const { return step_; }  // the solver's PARAM(31)
  std::int32_t rejections() const { return total_rejections_; }

 private:
  // advance() for each vector instruction set, as the solver has them: the
  // same loop compiled for SSE2, AVX2 and AVX-512F, the active one chosen as
  // the solver chooses its own.
  bool advance_body(RhsFunction f, float& x, float xend, float tol, float* y);
  bool advance_avx512(RhsFunction f, float& x, float xend, float tol, float* y);
  bool advance_avx2(RhsFunction f, float& x, float xend, float tol, float* y);
  bool advance_baseline(RhsFunction f, float& x, float xend, float tol, float* y);

  std::int32_t neq_ = 0;
  std::vector<float> wk_;  // k1..k8, stage argument / candidate, running max |y|
  float h_ = 0.0f;         // trial step magnitude
  float step_ = 0.0f;      // signed step of the last attempt
  float e_ = 0.0f;         // error measure of the last attempt
  float hmin_ = 0.0f;      // 0 until the first attempt fixes it
  float hmax_ = 0.0f;
  std::int32_t rejections_ = 0;
  std::int32_t accepted_ = 0;
  std::int32_t evaluations_ = 0;
  std::int32_t total_rejections_ = 0;
};

}  // namespace rkv::bench
