// The Verner 6(5) step: stage arguments, candidate solution, error vector and
// error measure. Each formula is evaluated in double from the stored
// single-precision operands, summing from the lowest stage index upward, and
// rounded to single precision once, when stored.
#include "verner.hpp"

#include <cstddef>

#include "calls.hpp"
#include "rkv/ode/kernels.hpp"
#include "verner_table.hpp"

namespace rkv::ode {
namespace {

constexpr std::int32_t kOne = 1;

// Column j (1..10) of the NEQ x 10 workspace.
float* column(float* wk, std::size_t n, std::int32_t j) {
  return wk + static_cast<std::size_t>(j - 1) * n;
}

// Column 9 := (a(s,1) k1 + ... + a(s,m) km) * H + Y for the stage s.
void stage_argument(const SolverState& s, std::int32_t stage, std::size_t n, const float* y,
                    float* wk) {
  const float* a = s.table.data() + kRowA[static_cast<std::size_t>(stage)];
  const std::int32_t m = kRowLength[static_cast<std::size_t>(stage)];
  const double h = static_cast<double>(s.step);
  float* arg = column(wk, n, 9);
  for (std::size_t i = 0; i < n; ++i) {
    double sum = static_cast<double>(a[0]) * static_cast<double>(wk[i]);
    for (std::int32_t j = 1; j < m; ++j) {
      sum += static_cast<double>(a[j]) * static_cast<double>(column(wk, n, j + 1)[i]);
    }
    arg[i] = static_cast<float>(sum * h + static_cast<double>(y[i]));
  }
}

}  // namespace

bool verner_step(SolverState& s, const std::int32_t& neq, RhsFunction fcn, NormFunction fnorm,
                 const float* y, float* wk) {
  const std::size_t n = static_cast<std::size_t>(neq);
  const double h = static_cast<double>(s.step);
  const double x = static_cast<double>(s.xstart);
  const float* k1 = column(wk, n, 1);
  float* arg = column(wk, n, 9);

  // Stage 2: column 9 := Y + (a21 * H) k1, the product rounded first.
  V1VCOPY(neq, y, kOne, arg, kOne);
  const float c = static_cast<float>(static_cast<double>(s.table[0]) * h);
  V1VAXPY(neq, c, k1, kOne, arg, kOne);
  s.xstage = static_cast<float>(h / 6.0 + x);
  if (!call_rhs(s, fcn, neq, s.xstage, arg, column(wk, n, 2))) return false;

  // Stages 3 to 8; the abscissae are the row sums of a: 4/15, 2/3, 5/6, 1, 1/15, 1.
  for (std::int32_t stage = 3; stage <= 8; ++stage) {
    stage_argument(s, stage, n, y, wk);
    double xs = 0.0;
    switch (stage) {
      case 3:
        xs = (h * 4.0) / 15.0 + x;
        break;
      case 4:
        xs = (h * 2.0) / 3.0 + x;
        break;
      case 5:
        xs = (h * 5.0) / 6.0 + x;
        break;
      case 6:
        xs = h + x;
        break;
      case 7:
        xs = h / 15.0 + x;
        break;
      default:
        xs = h + x;
        break;
    }
    s.xstage = static_cast<float>(xs);
    if (!call_rhs(s, fcn, neq, s.xstage, arg, column(wk, n, stage))) return false;
  }

  // Candidate (column 9) and error vector (column 2, which held k2: both sums
  // of element i are formed before it is overwritten).
  const float* b = s.table.data() + kRowB;
  const float* e = s.table.data() + kRowE;
  float* err = column(wk, n, 2);
  for (std::size_t i = 0; i < n; ++i) {
    double sb = static_cast<double>(b[0]) * static_cast<double>(wk[i]);
    double se = static_cast<double>(e[0]) * static_cast<double>(wk[i]);
    for (std::int32_t j = 1; j < 8; ++j) {
      const double kj = static_cast<double>(column(wk, n, j + 1)[i]);
      sb += static_cast<double>(b[j]) * kj;
      se += static_cast<double>(e[j]) * kj;
    }
    arg[i] = static_cast<float>(sb * h + static_cast<double>(y[i]));
    err[i] = static_cast<float>(se);
  }

  if (!call_norm(fnorm, neq, err, y, column(wk, n, 10), s.enorm)) return false;
  s.error = static_cast<float>(static_cast<double>(s.h) * static_cast<double>(s.enorm) *
                               static_cast<double>(s.settings.scale));
  return true;
}

}  // namespace rkv::ode
