// The vectorised loops of the step and of the relative norms against plain
// element-by-element transcriptions of their formulas, bit for bit: lengths
// around every vector width and tail, both step directions, a zero step, and
// the NaN, infinite and tied values whose handling the fast loops re-create
// by other means (selects and bit patterns instead of fmax and an early exit).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "rkv/ode/ivprk.hpp"
#include "step/isa.hpp"
#include "step/isa_testing.hpp"
#include "step/kernels.hpp"
#include "step/solver_state.hpp"
#include "step/user_calls.hpp"
#include "step/verner.hpp"
#include "step/verner_table.hpp"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::uint32_t bits(float v) {
  return std::bit_cast<std::uint32_t>(v);
}

float nan_with_payload(std::uint32_t payload) {
  return std::bit_cast<float>(0x7FC00000u | payload);
}

// Deterministic values of varied magnitude and both signs.
float sample(std::int32_t i, std::int32_t salt) {
  const std::uint32_t u = static_cast<std::uint32_t>(i * 2654435761u + salt * 40503u);
  const float m = static_cast<float>(u % 20011u) / 10007.0f - 1.0f;
  return m * static_cast<float>(1u << (u % 11u));
}

// A nonlinear right-hand side that depends on x, y and the component.
void rhs(const std::int32_t& n, const float& x, const float* y, float* yp) {
  for (std::int32_t i = 0; i < n; ++i) {
    const double yi = static_cast<double>(y[i]);
    yp[i] = static_cast<float>(-yi * static_cast<double>(1 + i % 7) / 7.0 +
                               0.25 * static_cast<double>(x) * static_cast<double>(y[(i + 1) % n]));
  }
}

// The step written out element by element, every sum from k1 upward.
struct ReferenceStep {
  std::vector<float> wk;
  float enorm = 0.0f;

  void run(std::int32_t neq, const std::vector<float>& y, float x, float step) {
    const auto n = static_cast<std::size_t>(neq);
    const auto col = [&](std::int32_t j) {
      return wk.data() + static_cast<std::size_t>(j - 1) * n;
    };
    const auto a = [](std::int32_t k) {
      return static_cast<double>(std::bit_cast<float>(rkv::ode::kVernerTableBits[k]));
    };
    const double h = static_cast<double>(step);
    const double x0 = static_cast<double>(x);
    rhs(neq, x, y.data(), col(1));
    const float c = static_cast<float>(a(0) * h);
    for (std::size_t i = 0; i < n; ++i) col(9)[i] = y[i];
    if (c != 0.0f) {
      for (std::size_t i = 0; i < n; ++i)
        col(9)[i] = static_cast<float>(static_cast<double>(c) * static_cast<double>(col(1)[i]) +
                                       static_cast<double>(col(9)[i]));
    }
    const double xs[9] = {0,
                          0,
                          h / 6.0 + x0,
                          (h * 4.0) / 15.0 + x0,
                          (h * 2.0) / 3.0 + x0,
                          (h * 5.0) / 6.0 + x0,
                          h + x0,
                          h / 15.0 + x0,
                          h + x0};
    float xstage = static_cast<float>(xs[2]);
    rhs(neq, xstage, col(9), col(2));
    for (std::int32_t s = 3; s <= 8; ++s) {
      const std::int32_t first = rkv::ode::kRowA[static_cast<std::size_t>(s)];
      const std::int32_t m = rkv::ode::kRowLength[static_cast<std::size_t>(s)];
      for (std::size_t i = 0; i < n; ++i) {
        double sum = a(first) * static_cast<double>(col(1)[i]);
        for (std::int32_t j = 1; j < m; ++j)
          sum += a(first + j) * static_cast<double>(col(j + 1)[i]);
        col(9)[i] = static_cast<float>(sum * h + static_cast<double>(y[i]));
      }
      xstage = static_cast<float>(xs[s]);
      rhs(neq, xstage, col(9), col(s));
    }
    for (std::size_t i = 0; i < n; ++i) {
      double sb = a(rkv::ode::kRowB) * static_cast<double>(col(1)[i]);
      double se = a(rkv::ode::kRowE) * static_cast<double>(col(1)[i]);
      for (std::int32_t j = 1; j < 8; ++j) {
        sb += a(rkv::ode::kRowB + j) * static_cast<double>(col(j + 1)[i]);
        se += a(rkv::ode::kRowE + j) * static_cast<double>(col(j + 1)[i]);
      }
      col(9)[i] = static_cast<float>(sb * h + static_cast<double>(y[i]));
      col(2)[i] = static_cast<float>(se);
    }
  }
};

// INORM 0 and 2 as first defined: fmax for the divisor, stop at a NaN.
float reference_relative(const std::vector<float>& v, const std::vector<float>& y, float bound) {
  float e = 0.0f;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const float q = static_cast<float>(
        std::fabs(static_cast<double>(v[i])) /
        std::fmax(std::fabs(static_cast<double>(y[i])), static_cast<double>(bound)));
    if (std::isnan(q)) return q;
    if (q >= e) e = q;
  }
  return e;
}

float solver_norm(std::int32_t inorm, float bound, const std::vector<float>& v,
                  const std::vector<float>& y) {
  rkv::ode::Settings& t = rkv::ode::solver_state().settings;
  t.inorm = inorm;
  t.floor = bound;
  float e = -1.0f;
  const auto n = static_cast<std::int32_t>(v.size());
  rkv::I2ERRNRM(n, v.data(), y.data(), y.data(), e);
  return e;
}

const std::vector<std::int32_t> kLengths = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 33, 1000};

// Each loop is compiled once per vector instruction set; these tests run
// with each set in turn (narrowed to the widest the processor has).
class FastPaths : public ::testing::TestWithParam<rkv::ode::Isa> {
 protected:
  void SetUp() override { rkv::ode::select_isa_for_testing(GetParam()); }
  void TearDown() override { rkv::ode::select_isa_for_testing(rkv::ode::supported_isa()); }
};

std::string set_name(const ::testing::TestParamInfo<rkv::ode::Isa>& info) {
  return std::string(rkv::ode::isa_name(info.param));
}

INSTANTIATE_TEST_SUITE_P(EverySet, FastPaths,
                         ::testing::Values(rkv::ode::Isa::kBaseline, rkv::ode::Isa::kAvx2,
                                           rkv::ode::Isa::kAvx512),
                         set_name);

TEST_P(FastPaths, StepMatchesTheElementwiseFormulasBitForBit) {
  for (const std::int32_t neq : kLengths) {
    for (const float step : {0.125f, -0.0625f, 0.0f, 3.0e-5f}) {
      std::vector<float> y(static_cast<std::size_t>(neq));
      for (std::int32_t i = 0; i < neq; ++i) y[static_cast<std::size_t>(i)] = sample(i, neq);
      const float x = 0.5f;

      ReferenceStep ref;
      ref.wk.assign(static_cast<std::size_t>(10 * neq), 0.0f);
      ref.run(neq, y, x, step);

      rkv::ode::SolverState s{};
      for (std::size_t i = 0; i < 43; ++i)
        s.table[i] = std::bit_cast<float>(rkv::ode::kVernerTableBits[i]);
      s.settings.scale = 1.0f;
      s.xstart = x;
      s.step = step;
      s.h = std::fabs(step);
      std::vector<float> wk(static_cast<std::size_t>(10 * neq), 1.0f);
      rhs(neq, x, y.data(), wk.data());
      rkv::ode::solver_state().settings.inorm = 0;
      ASSERT_TRUE(rkv::ode::verner_step(s, neq, rhs, rkv::I2ERRNRM, y.data(), wk.data()));
      // Columns 1 to 9: k1, the error vector, k3 to k8, the candidate.
      for (std::size_t k = 0; k < static_cast<std::size_t>(9 * neq); ++k) {
        ASSERT_EQ(bits(wk[k]), bits(ref.wk[k])) << "NEQ " << neq << " H " << step << " at " << k;
      }
      EXPECT_EQ(bits(s.enorm),
                bits(reference_relative(
                    std::vector<float>(ref.wk.begin() + neq, ref.wk.begin() + 2 * neq), y, 1.0f)));
    }
  }
}

std::vector<float> g_stage2_argument;

// Records the argument of the first call (stage 2), then returns zeros.
void record_stage2(const std::int32_t& n, const float&, const float* arg, float* yp) {
  if (g_stage2_argument.empty()) g_stage2_argument.assign(arg, arg + n);
  for (std::int32_t i = 0; i < n; ++i) yp[i] = 0.0f;
}

TEST_P(FastPaths, ZeroStageTwoFactorLeavesTheArgumentEqualToY) {
  // With a zero factor a21 * H the stage-2 argument is Y bit for bit: no
  // 0 * k1 is added, which would turn -0 into +0 and 0 * inf into NaN.
  const std::vector<float> y{-0.0f, 1.0f, -2.0f, 0.5f, -0.0f};
  const auto neq = static_cast<std::int32_t>(y.size());
  for (const float step : {0.0f, -0.0f, 1.0e-45f}) {  // a21 * 1e-45 rounds to 0
    rkv::ode::SolverState s{};
    for (std::size_t i = 0; i < 43; ++i)
      s.table[i] = std::bit_cast<float>(rkv::ode::kVernerTableBits[i]);
    s.settings.scale = 1.0f;
    s.step = step;
    s.h = std::fabs(step);
    std::vector<float> wk(static_cast<std::size_t>(10 * neq), 0.0f);
    wk[0] = 3.0f;
    wk[1] = kInf;
    wk[2] = kNaN;
    wk[3] = -kInf;
    g_stage2_argument.clear();
    rkv::ode::verner_step(s, neq, record_stage2, rkv::I2ERRNRM, y.data(), wk.data());
    ASSERT_EQ(g_stage2_argument.size(), y.size());
    for (std::size_t i = 0; i < y.size(); ++i) {
      EXPECT_EQ(bits(g_stage2_argument[i]), bits(y[i])) << "H " << step << " at " << i;
    }
  }
}

struct NormCase {
  const char* name;
  std::vector<float> v;
  std::vector<float> y;
  float bound;
};

TEST_P(FastPaths, RelativeNormsAgreeWithTheElementwiseDefinition) {
  const float big = 3.0e38f;
  const std::vector<NormCase> cases = {
      {"plain", {0.5f, -3.0f, 0.25f, 1e-30f}, {0.1f, 6.0f, -0.5f, 0.0f}, 1.0f},
      {"all zero", {0.0f, -0.0f, 0.0f}, {0.0f, 5.0f, -1.0f}, 1.0f},
      {"ties", {2.0f, -2.0f, 2.0f}, {2.0f, 2.0f, -2.0f}, 2.0f},
      {"NaN |y| gives the bound", {1.0f, 4.0f}, {kNaN, -kNaN}, 0.5f},
      {"infinite |y|", {1.0f, 0.0f}, {kInf, -kInf}, 1.0f},
      {"infinite over infinite", {kInf, 1.0f}, {kInf, 1.0f}, 1.0f},
      {"infinite error", {1.0f, -kInf, 2.0f}, {1.0f, 1.0f, 1.0f}, 1.0f},
      {"first NaN wins",
       {1.0f, nan_with_payload(1), 9.0f, nan_with_payload(2)},
       {1.0f, 1.0f, 1.0f, 1.0f},
       1.0f},
      {"negative NaN", {1.0f, -nan_with_payload(3)}, {1.0f, 1.0f}, 1.0f},
      {"overflow to infinity", {big, 1.0f}, {1e-30f, 1.0f}, 1e-30f},
      {"infinite bound", {big, 1.0f}, {2.0f, 1.0f}, kInf},
      {"zero bound", {0.0f, 1.0f, 2.0f}, {0.0f, 0.0f, 4.0f}, 0.0f},
  };
  for (const NormCase& c : cases) {
    // Placed at the front, in the middle and at the tail of longer vectors
    // so that the values meet every lane and the scalar remainder.
    for (const std::int32_t n : kLengths) {
      for (const std::int32_t at : {0, n / 2, n - 1}) {
        std::vector<float> v(static_cast<std::size_t>(n) + c.v.size());
        std::vector<float> y(v.size());
        for (std::size_t i = 0; i < v.size(); ++i) {
          v[i] = 1e-3f * sample(static_cast<std::int32_t>(i), 7);
          y[i] = sample(static_cast<std::int32_t>(i), 11);
        }
        for (std::size_t k = 0; k < c.v.size(); ++k) {
          v[static_cast<std::size_t>(at) + k] = c.v[k];
          y[static_cast<std::size_t>(at) + k] = c.y[k];
        }
        const std::uint32_t want = bits(reference_relative(v, y, c.bound));
        EXPECT_EQ(bits(solver_norm(2, c.bound, v, y)), want)
            << c.name << " n " << n << " at " << at;
        if (c.bound == 1.0f) {
          EXPECT_EQ(bits(solver_norm(0, 7.0f, v, y)), want) << c.name << " n " << n;
        }
      }
    }
  }
}

// One step with the instance's own norm, which the step takes in the pass
// that forms the error vector under INORM 0 and 2: its norm is the norm
// routine's of the error vector it stored, bit for bit, NaN payloads
// included, and its columns are those of the same step with I2ERRNRM
// called on the finished vector. Where two NaNs meet in a sum, which one
// comes out depends on how the compiler ordered the operands, so there
// the columns are compared as NaN only.
TEST_P(FastPaths, OwnNormInTheErrorPassMatchesTheNormRoutine) {
  struct Poison {
    const char* name;
    float value;
    std::size_t where;  // in k1: 0 first, 1 middle, 2 last, 3 none
  };
  const std::vector<Poison> poisons = {{"none", 0.0f, 3},
                                       {"NaN first", nan_with_payload(5), 0},
                                       {"NaN last", -nan_with_payload(9), 2},
                                       {"infinity middle", kInf, 1}};
  const auto same = [](float a, float b) {
    return bits(a) == bits(b) || (std::isnan(a) && std::isnan(b));
  };
  for (const std::int32_t neq : kLengths) {
    const auto n = static_cast<std::size_t>(neq);
    std::vector<float> y(n);
    for (std::size_t i = 0; i < n; ++i) y[i] = sample(static_cast<std::int32_t>(i), neq);
    for (const Poison& p : poisons) {
      for (const std::int32_t inorm : {0, 1, 2, 3}) {
        for (const float bound : {0.25f, 4.0f}) {
          std::vector<float> wk[2];
          float enorm[2];
          for (int way = 0; way < 2; ++way) {
            rkv::ode::SolverState s{};
            s.settings.hmax = 2.0f;
            s.settings.scale = 1.0f;
            s.settings.inorm = inorm;
            s.settings.floor = bound;
            s.xstart = 0.5f;
            s.step = 0.125f;
            s.h = 0.125f;
            wk[way].assign(10 * n, 0.0f);
            rhs(neq, s.xstart, y.data(), wk[way].data());
            const std::size_t at[] = {0, n / 2, n - 1};
            if (p.where < 3) wk[way][at[p.where]] = p.value;
            for (std::size_t i = 0; i < n; ++i) wk[way][9 * n + i] = std::fabs(y[i]);
            rkv::ode::solver_state().settings = s.settings;
            const bool ok = way == 0 ? rkv::ode::verner_step(s, neq, rkv::ode::PlainRhs{rhs},
                                                             rkv::ode::Norm{nullptr, &s.settings},
                                                             y.data(), wk[way].data())
                                     : rkv::ode::verner_step(s, neq, rhs, rkv::I2ERRNRM, y.data(),
                                                             wk[way].data());
            ASSERT_TRUE(ok);
            enorm[way] = s.enorm;
          }
          const std::string where = std::string(p.name) + " NEQ " + std::to_string(neq) +
                                    " INORM " + std::to_string(inorm) + " bound " +
                                    std::to_string(bound);
          float want = -1.0f;
          rkv::ode::error_norm(rkv::ode::solver_state().settings, neq, wk[0].data() + n, y.data(),
                               wk[0].data() + 9 * n, want);
          EXPECT_EQ(bits(enorm[0]), bits(want)) << where;
          EXPECT_TRUE(same(enorm[0], enorm[1])) << where;
          for (std::size_t k = 0; k < wk[0].size(); ++k) {
            ASSERT_TRUE(same(wk[0][k], wk[1][k])) << where << " at " << k;
          }
        }
      }
    }
  }
}

TEST(FastPaths, UnitCopyIntoOverlappingStorageMovesAsTheForwardLoop) {
  // The block copy stands in for the element-by-element forward copy; where
  // the two differ (y starting inside x) the forward copy's result is kept.
  const std::int32_t one = 1;
  for (const std::int32_t shift : {-3, -1, 0, 1, 2, 7}) {
    for (const std::int32_t n : {1, 5, 16, 40}) {
      std::vector<float> a(static_cast<std::size_t>(n + 20));
      for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<float>(i) + 0.5f;
      std::vector<float> want = a;
      float* x = a.data() + 10;
      float* y = x + shift;
      float* wx = want.data() + 10;
      float* wy = wx + shift;
      for (std::int32_t i = 0; i < n; ++i) wy[i] = wx[i];
      rkv::V1VCOPY(n, x, one, y, one);
      EXPECT_EQ(a, want) << "shift " << shift << " n " << n;
    }
  }
}

}  // namespace
