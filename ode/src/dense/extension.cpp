// Evaluation of the continuous extension. The weight polynomials are formed
// once per call in double (Horner's rule), then every element is summed over
// the stages in their table order, multiplied by H, added to y0 and rounded
// once to the storage type, like the step's own candidate (for double the
// rounding is the identity).
#include "dense/extension.hpp"

#include <bit>
#include <cstddef>

#include "rkv/ode/step_record.hpp"

namespace rkv::ode {
namespace {

constexpr std::size_t kStages = static_cast<std::size_t>(kDenseStageCount);
static_assert(kStepRecordColumns == 2 + kDenseStageCount, "a record holds y0, y1 and the stages");
constexpr std::size_t kDegree = static_cast<std::size_t>(kDenseDegree);

double weight(std::size_t s, std::size_t m) {
  return std::bit_cast<double>(kDenseWeightBits[s][m]);
}

}  // namespace

std::array<double, kDenseStageCount - 1> dense_extra_row() {
  std::array<double, kStages - 1> a{};
  for (std::size_t j = 0; j + 1 < kStages; ++j) a[j] = std::bit_cast<double>(kExtraRowBits[j]);
  return a;
}

void dense_weights(double theta, DenseWeights& b, DenseWeights& db) {
  for (std::size_t s = 0; s < kStages; ++s) {
    double p = weight(s, kDegree - 1);
    double dp = static_cast<double>(kDegree) * weight(s, kDegree - 1);
    for (std::size_t m = kDegree - 1; m-- > 0;) {
      p = p * theta + weight(s, m);
      dp = dp * theta + static_cast<double>(m + 1) * weight(s, m);
    }
    b[s] = p * theta;
    db[s] = dp;
  }
}

template <class Real>
Real dense_extra_abscissa(const BasicDenseStep<Real>& d) {
  return static_cast<Real>(static_cast<double>(d.step) / kExtraNodeDivisor +
                           static_cast<double>(d.x0));
}

template <class Real>
void dense_extra_argument(const BasicDenseStep<Real>& d, NoDeduce<Real>* out) {
  const std::size_t n = static_cast<std::size_t>(d.neq);
  const double h = static_cast<double>(d.step);
  const std::array<double, kStages - 1> a = dense_extra_row();
  for (std::size_t i = 0; i < n; ++i) {
    double sum = a[0] * static_cast<double>(d.k[0][i]);
    for (std::size_t j = 1; j + 1 < kStages; ++j) sum += a[j] * static_cast<double>(d.k[j][i]);
    out[i] = static_cast<Real>(sum * h + static_cast<double>(d.y0[i]));
  }
}

template <class Real>
void dense_value_at(const BasicDenseStep<Real>& d, double theta, NoDeduce<Real>* y,
                    NoDeduce<Real>* yprime) {
  const std::size_t n = static_cast<std::size_t>(d.neq);
  // The end points exactly: the extension meets the step's solution and the
  // derivatives there, so values at an end do not depend on rounding.
  const bool at_start = theta == 0.0 || d.step == Real{0};
  if (at_start || theta == 1.0) {
    const Real* yv = at_start ? d.y0 : d.y1;
    const Real* dv = at_start ? d.k[0] : d.k[kStages - 2];
    for (std::size_t i = 0; i < n; ++i) {
      if (y != nullptr) y[i] = yv[i];
      if (yprime != nullptr) yprime[i] = dv[i];
    }
    return;
  }
  DenseWeights b{};
  DenseWeights db{};
  dense_weights(theta, b, db);
  const double h = static_cast<double>(d.step);
  for (std::size_t i = 0; i < n; ++i) {
    if (y != nullptr) {
      double sum = b[0] * static_cast<double>(d.k[0][i]);
      for (std::size_t s = 1; s < kStages; ++s) sum += b[s] * static_cast<double>(d.k[s][i]);
      y[i] = static_cast<Real>(sum * h + static_cast<double>(d.y0[i]));
    }
    if (yprime != nullptr) {
      double sum = db[0] * static_cast<double>(d.k[0][i]);
      for (std::size_t s = 1; s < kStages; ++s) sum += db[s] * static_cast<double>(d.k[s][i]);
      yprime[i] = static_cast<Real>(sum);
    }
  }
}

template <class Real>
void dense_value(const BasicDenseStep<Real>& d, NoDeduce<Real> x, NoDeduce<Real>* y,
                 NoDeduce<Real>* yprime) {
  if (x == d.x1) {
    dense_value_at(d, 1.0, y, yprime);
    return;
  }
  const double theta =
      (static_cast<double>(x) - static_cast<double>(d.x0)) / static_cast<double>(d.step);
  dense_value_at(d, theta, y, yprime);
}

template <class Real>
void dense_record(const BasicDenseStep<Real>& d, NoDeduce<Real>* record) {
  const std::size_t n = static_cast<std::size_t>(d.neq);
  record[0] = d.x0;
  record[1] = d.x1;
  record[2] = d.step;
  Real* col = record + kStepRecordHead;
  for (std::size_t i = 0; i < n; ++i) col[i] = d.y0[i];
  for (std::size_t i = 0; i < n; ++i) col[n + i] = d.y1[i];
  for (std::size_t s = 0; s < kStages; ++s) {
    for (std::size_t i = 0; i < n; ++i) col[(s + 2) * n + i] = d.k[s][i];
  }
}

template <class Real>
BasicDenseStep<Real> dense_step_of_record(std::int32_t neq, const Real* record) {
  const std::size_t n = static_cast<std::size_t>(neq);
  const Real* col = record + kStepRecordHead;
  BasicDenseStep<Real> d{neq, record[0], record[1], record[2], col, col + n, {}};
  for (std::size_t s = 0; s < kStages; ++s) d.k[s] = col + (s + 2) * n;
  return d;
}

// The macro argument names a type, which cannot stand in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define RKV_DENSE_EXTENSION(Real)                                                        \
  template Real dense_extra_abscissa<Real>(const BasicDenseStep<Real>&);                 \
  template void dense_extra_argument<Real>(const BasicDenseStep<Real>&, Real*);          \
  template void dense_value_at<Real>(const BasicDenseStep<Real>&, double, Real*, Real*); \
  template void dense_value<Real>(const BasicDenseStep<Real>&, Real, Real*, Real*);      \
  template void dense_record<Real>(const BasicDenseStep<Real>&, Real*);                  \
  template BasicDenseStep<Real> dense_step_of_record<Real>(std::int32_t, const Real*);
// NOLINTEND(bugprone-macro-parentheses)
RKV_DENSE_EXTENSION(float)
RKV_DENSE_EXTENSION(double)
#undef RKV_DENSE_EXTENSION

}  // namespace rkv::ode

namespace rkv {

// The layer's own evaluation of its output points, on the step read in place.
template <class Real>
void step_record_value(const std::int32_t& neq, const Real* record, const Real& x, Real* y,
                       Real* yprime) {
  ode::dense_value(ode::dense_step_of_record(neq, record), x, y, yprime);
}

template void step_record_value<float>(const std::int32_t&, const float*, const float&, float*,
                                       float*);
template void step_record_value<double>(const std::int32_t&, const double*, const double&, double*,
                                        double*);

}  // namespace rkv
