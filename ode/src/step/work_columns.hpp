// The integrator's workspace of NEQ x 10 reals, column by column, and the
// one accessor through which every layer finds a column by its role.
//
// Columns 1 to 8 hold the stages k1..k8 of the current attempt. Two columns
// change role within an attempt: column 9 holds each stage's argument and,
// after the last stage, the candidate solution at XNEW; column 2 is
// overwritten by the error vector once the candidate is formed (k2 is then
// gone). Column 10 keeps the running maximum of |y| since IDO = 1.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rkv::ode {

inline constexpr std::int32_t kWorkColumns = 10;  // workspace columns of NEQ reals

enum class Column : std::int32_t {
  kK1 = 1,         // f(X, Y) at the start of the step; k2..k8 follow in 2..8
  kError = 2,      // the error vector (not multiplied by H), over k2
  kCandidate = 9,  // the stage argument, then the candidate solution at XNEW
  kMaxAbsY = 10,   // the running maximum of |y|, for the error norm
};

static_assert(static_cast<std::int32_t>(Column::kMaxAbsY) == kWorkColumns,
              "the running max |y| is the workspace's last column");

// The column of stage k_j, j = 1..8.
constexpr Column stage_column(std::int32_t j) {
  return static_cast<Column>(static_cast<std::int32_t>(Column::kK1) + j - 1);
}

// Column `c` of a workspace whose columns are `n` reals long. `Real` may be
// const-qualified, so that readers of the workspace get read-only columns.
template <class Real>
constexpr Real* column(Real* wk, std::size_t n, Column c) {
  return wk + static_cast<std::size_t>(static_cast<std::int32_t>(c) - 1) * n;
}

}  // namespace rkv::ode
