// The continuous extension: its order, from the local error on problems with
// known solutions; its values from the stored single-precision stages; its
// values at the ends of a step.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "dense/extension.hpp"
#include "step/solver_state.hpp"
#include "step/verner.hpp"
#include "step/verner_table.hpp"

namespace {

using rkv::ode::DenseStep;
using rkv::ode::DenseWeights;

// y' = y (the tall trees only), y' = 2 y (1 - y) (nonlinear), y' = -2 x y^2
// (nonlinear, non-autonomous), with their solutions through (x0, y0).
struct Problem {
  const char* name;
  double (*f)(double x, double y);
  float x0;
  float y0;
  double (*exact)(double x, double x0, double y0);
};

double f_exp(double, double y) {
  return y;
}
double f_logistic(double, double y) {
  return 2.0 * y * (1.0 - y);
}
double f_rational(double x, double y) {
  return -2.0 * x * y * y;
}

const std::array<Problem, 3> kProblems = {{
    {"y'=y", f_exp, 0.0f, 1.0f,
     [](double x, double x0, double y0) { return y0 * std::exp(x - x0); }},
    {"y'=2y(1-y)", f_logistic, 0.0f, 0.25f,
     [](double x, double x0, double y0) {
       return 1.0 / (1.0 + (1.0 / y0 - 1.0) * std::exp(2.0 * (x0 - x)));
     }},
    {"y'=-2xy^2", f_rational, 1.0f, 0.5f,
     [](double x, double x0, double y0) { return 1.0 / (x * x - x0 * x0 + 1.0 / y0); }},
}};

// The problem as the solver calls it: in double from the stored operands,
// rounded once.
template <std::size_t P>
void rhs(const std::int32_t&, const float& x, const float* y, float* yp) {
  yp[0] = static_cast<float>(kProblems[P].f(static_cast<double>(x), static_cast<double>(y[0])));
}
constexpr std::array<rkv::RhsFunction, 3> kRhs = {rhs<0>, rhs<1>, rhs<2>};

// The pair's exact coefficients (row by row, then b) and abscissae.
constexpr std::array<std::array<double, 7>, 8> kA = {{
    {},
    {1.0 / 6},
    {4.0 / 75, 16.0 / 75},
    {5.0 / 6, -8.0 / 3, 5.0 / 2},
    {-165.0 / 64, 55.0 / 6, -425.0 / 64, 85.0 / 96},
    {12.0 / 5, -8.0, 4015.0 / 612, -11.0 / 36, 88.0 / 255},
    {-8263.0 / 15000, 124.0 / 75, -643.0 / 680, -81.0 / 250, 2484.0 / 10625},
    {3501.0 / 1720, -300.0 / 43, 297275.0 / 52632, -319.0 / 2322, 24068.0 / 84065, 0.0,
     3850.0 / 26703},
}};
constexpr std::array<double, 8> kB = {3.0 / 40,     0.0, 875.0 / 2244,  23.0 / 72,
                                      264.0 / 1955, 0.0, 125.0 / 11592, 43.0 / 616};
constexpr std::array<double, 8> kC = {0.0, 1.0 / 6, 4.0 / 15, 2.0 / 3, 5.0 / 6, 1.0, 1.0 / 15, 1.0};

// One step in double of the pair plus the extension's two stages: the
// extension's values at x0 + theta H for each theta.
std::vector<double> double_extension(const Problem& p, double h, const std::vector<double>& th) {
  const double x0 = static_cast<double>(p.x0);
  const double y0 = static_cast<double>(p.y0);
  std::array<double, 8> k{};
  for (std::size_t s = 0; s < 8; ++s) {
    double sum = 0.0;
    for (std::size_t j = 0; j < s; ++j) sum += kA[s][j] * k[j];
    k[s] = p.f(x0 + kC[s] * h, y0 + h * sum);
  }
  double y1 = y0;
  for (std::size_t j = 0; j < 8; ++j) y1 += h * kB[j] * k[j];
  // k1, k3..k8, k9 = f(x1, y1), k10 from the extra row.
  DenseWeights ks = {k[0], k[2], k[3], k[4], k[5], k[6], k[7], p.f(x0 + h, y1), 0.0};
  const auto a = rkv::ode::dense_extra_row();
  double sum = 0.0;
  for (std::size_t j = 0; j < a.size(); ++j) sum += a[j] * ks[j];
  ks[8] = p.f(x0 + h / 2, y0 + h * sum);
  std::vector<double> out;
  for (const double theta : th) {
    DenseWeights b{};
    DenseWeights db{};
    rkv::ode::dense_weights(theta, b, db);
    double v = 0.0;
    for (std::size_t s = 0; s < ks.size(); ++s) v += b[s] * ks[s];
    out.push_back(y0 + h * v);
  }
  return out;
}

// One accepted step of the solver itself (single-precision stages), with f at
// the new point and the extra stage, as the extension is fed after a step.
struct FloatStep {
  rkv::ode::SolverState s{};
  float y0;
  std::vector<float> wk = std::vector<float>(10, 0.0f);
  float k9 = 0.0f;
  float k10 = 0.0f;
  float arg = 0.0f;
  DenseStep d{};

  FloatStep(std::size_t problem, float h) : y0(kProblems[problem].y0) {
    const rkv::RhsFunction f = kRhs[problem];
    const std::int32_t neq = 1;
    const float x0 = kProblems[problem].x0;
    for (std::size_t i = 0; i < 43; ++i)
      s.table[i] = std::bit_cast<float>(rkv::ode::kVernerTableBits[i]);
    s.settings.scale = 1.0f;
    s.xstart = x0;
    s.step = h;
    s.h = std::fabs(h);
    wk[9] = std::fabs(y0);
    f(neq, x0, &y0, &wk[0]);
    EXPECT_TRUE(rkv::ode::verner_step(s, neq, f, rkv::I2ERRNRM, &y0, wk.data()));
    const float x1 = static_cast<float>(static_cast<double>(x0) + static_cast<double>(h));
    f(neq, x1, &wk[8], &k9);
    d = DenseStep{neq,
                  x0,
                  x1,
                  h,
                  &y0,
                  &wk[8],
                  {&wk[0], &wk[2], &wk[3], &wk[4], &wk[5], &wk[6], &wk[7], &k9, nullptr}};
    rkv::ode::dense_extra_argument(d, &arg);
    f(neq, rkv::ode::dense_extra_abscissa(d), &arg, &k10);
    d.k[8] = &k10;
  }
};

const std::vector<double> kThetas = {0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875};

double local_error(const Problem& p, double h) {
  const std::vector<double> v = double_extension(p, h, kThetas);
  double worst = 0.0;
  for (std::size_t j = 0; j < kThetas.size(); ++j) {
    const double x = static_cast<double>(p.x0) + kThetas[j] * h;
    const double exact = p.exact(x, static_cast<double>(p.x0), static_cast<double>(p.y0));
    worst = std::max(worst, std::fabs(v[j] - exact));
  }
  return worst;
}

TEST(DenseExtension, LocalErrorFallsWithTheSixthPowerOfTheStep) {
  // The extension's weights on exact stages, in double: the largest error
  // inside one step from the exact start value, for steps 0.4 * 2^(-k/2).
  // Order 5 means a local error of order h^6: the slope of log error over
  // log h between neighbouring rows tends to 6.
  std::printf("%-10s %9s %12s %6s\n", "problem", "h", "local error", "slope");
  for (const Problem& p : kProblems) {
    double h = 0.4;
    double previous = local_error(p, h);
    std::printf("%-10s %9.5f %12.4e\n", p.name, h, previous);
    for (int k = 1; k <= 8; ++k) {
      const double hk = 0.4 * std::pow(2.0, -0.5 * k);
      const double e = local_error(p, hk);
      const double observed = std::log(previous / e) / std::log(h / hk);
      std::printf("%-10s %9.5f %12.4e %6.2f\n", p.name, hk, e, observed);
      if (k >= 3) {
        EXPECT_NEAR(observed, 6.0, 0.25) << p.name << " h = " << hk;
      }
      h = hk;
      previous = e;
    }
  }
}

TEST(DenseExtension, SinglePrecisionStagesLoseOnlyTheirRounding) {
  // The solver's own step and the extension from its stored stages against
  // the same extension in double: apart from the rounding of the stages
  // (relative 2^-24 each, weighed by H and the weights) and of the result,
  // they agree. A wrong stage column or weight row would show at 1e-3.
  for (std::size_t p = 0; p < kProblems.size(); ++p) {
    for (const float h : {0.4f, 0.1f, -0.2f}) {
      const FloatStep st(p, h);
      const std::vector<double> ref =
          double_extension(kProblems[p], static_cast<double>(h), kThetas);
      for (std::size_t j = 0; j < kThetas.size(); ++j) {
        float y = 0.0f;
        rkv::ode::dense_value_at(st.d, kThetas[j], &y, nullptr);
        const double bound = 4e-7 * (std::fabs(ref[j]) + 1.0);
        EXPECT_NEAR(static_cast<double>(y), ref[j], bound)
            << kProblems[p].name << " h = " << h << " theta = " << kThetas[j];
      }
    }
  }
}

TEST(DenseExtension, EndsOfTheStepAreTheStepsValuesBitForBit) {
  // theta = 0 gives y0 and k1, theta = 1 (and x = x1) y1 and f(x1, y1): the
  // extension is continuous with its first derivative across steps.
  const FloatStep st(2, 0.3f);
  float y = 0.0f;
  float yp = 0.0f;
  rkv::ode::dense_value_at(st.d, 0.0, &y, &yp);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(y), std::bit_cast<std::uint32_t>(st.y0));
  EXPECT_EQ(std::bit_cast<std::uint32_t>(yp), std::bit_cast<std::uint32_t>(st.wk[0]));
  rkv::ode::dense_value(st.d, st.d.x1, &y, &yp);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(y), std::bit_cast<std::uint32_t>(st.wk[8]));
  EXPECT_EQ(std::bit_cast<std::uint32_t>(yp), std::bit_cast<std::uint32_t>(st.k9));
  // Just inside either end the values are within rounding of the ends.
  rkv::ode::dense_value_at(st.d, 1.0 - 1e-9, &y, &yp);
  EXPECT_NEAR(y, st.wk[8], 2e-7f);
  EXPECT_NEAR(yp, st.k9, 2e-7f);
  rkv::ode::dense_value_at(st.d, 1e-9, &y, &yp);
  EXPECT_NEAR(y, st.y0, 2e-7f);
  EXPECT_NEAR(yp, st.wk[0], 2e-7f);
}

}  // namespace
