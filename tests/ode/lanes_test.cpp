// The ensemble in lanes against each member's own scalar run: Y, X,
// PARAM(31..35) and the error's type and code bit for bit, for float and
// double, on every instruction set the machine offers and with threads;
// the mixed ensemble has members of different lengths (refills),
// rejections, every limit and start-up refusal beside members that finish.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

#include "front/instance.hpp"
#include "reports/report_table.hpp"
#include "rkv/errors/control.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/lane_ensemble.hpp"
#include "rkv/ode/param.hpp"
#include "step/isa.hpp"
#include "step/isa_testing.hpp"

namespace {

using rkv::ode::Isa;

// Lorenz with rho = p[0], written once for Real and its lanes; forced in
// x, so that every stage's abscissa reaches the results.
template <class Real>
struct Lorenz1 {
  template <class T>
  void operator()(const std::int32_t&, const T& x, const T* y, T* yp, const T* p) const {
    yp[0] = Real(10) * (y[1] - y[0]);
    yp[1] = y[0] * (p[0] - y[2]) - y[1];
    yp[2] = y[0] * y[1] - Real(8) / Real(3) * y[2] + x;
  }
};

// One member's settings, by its index: a table of what varies.
struct Variant {
  std::int32_t every;  // applies to members m with m % every == offset
  std::int32_t offset;
  std::int32_t entry;  // PARAM entry, or 0 for X0/XEND/Y0 changes
  double value;
};
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::array<Variant, 12> kVariants{{
    {9, 1, rkv::param::kHmin, 0.2},      // TOL unmet at HMIN
    {11, 2, rkv::param::kMaxSteps, 5},   // step limit
    {13, 3, rkv::param::kMaxEvals, 60},  // evaluation limit
    {17, 4, rkv::param::kInorm, 1},      // the absolute norm
    {19, 5, rkv::param::kInorm, 3},      // the Euclidean norm
    {23, 6, rkv::param::kFloor, 0.5},    // INORM 2 with its floor
    {23, 6, rkv::param::kInorm, 2},
    {10, 7, rkv::param::kHmax, 0.01},  // HMAX binding
    {29, 8, rkv::param::kHmin, 0.5},   // HMIN above HMAX
    {29, 8, rkv::param::kHmax, 0.1},
    {31, 9, rkv::param::kHmax, -1.0},   // refused at start-up
    {14, 10, rkv::param::kScale, 2.0},  // the error scale
}};

template <class Real>
struct Ensemble {
  rkv::LaneProblem<Real> p;
  std::vector<Real> x0, xend, y0, rho, prm;
};

template <class Real>
Ensemble<Real> make_ensemble(std::int32_t members) {
  Ensemble<Real> e;
  for (std::int32_t m = 0; m < members; ++m) {
    e.x0.push_back(Real(0));
    e.xend.push_back(m % 12 == 11 ? Real(-1.5) : static_cast<Real>(0.5 + 0.37 * (m % 7)));
    e.y0.insert(e.y0.end(), {static_cast<Real>(0.25 * m), Real(1), Real(1)});
    e.rho.push_back(static_cast<Real>(20.0 + 0.3 * m));
    std::array<Real, rkv::param::kSize> prm{};
    for (const Variant& v : kVariants) {
      if (m % v.every == v.offset) prm[static_cast<std::size_t>(v.entry - 1)] = Real(v.value);
    }
    e.prm.insert(e.prm.end(), prm.begin(), prm.end());
  }
  e.y0[3 * 27 + 1] = Real(kNaN);  // refused: Y0 not finite
  e.xend[33] = Real(kNaN);        // refused: XEND not finite
  e.xend[40] = Real(0);           // an interval of length 0
  e.prm[50 * 42 + 9] = Real(4);   // refused: INORM 4
  e.p = {members,
         3,
         1,
         e.x0.data(),
         e.xend.data(),
         e.y0.data(),
         e.rho.data(),
         Real(1e-6),
         e.prm.data(),
         rkv::param::kSize};
  return e;
}

// Everything a member's run leaves, as bit patterns.
template <class Real>
using Record = std::array<std::uint64_t, 11>;

template <class Real>
std::uint64_t bits(Real v) {
  return std::bit_cast<std::conditional_t<sizeof(Real) == 4, std::uint32_t, std::uint64_t>>(v);
}

template <class Real>
Record<Real> scalar_run(const Ensemble<Real>& e, std::int32_t m) {
  const std::size_t um = static_cast<std::size_t>(m);
  const Lorenz1<Real> f;
  Real rho = e.rho[um];
  rkv::BasicIntegrator<Real> it(rkv::member_rhs<Real>(f, &rho));
  std::array<Real, rkv::param::kSize> prm{};
  std::copy_n(&e.prm[um * rkv::param::kSize], rkv::param::kSize, prm.begin());
  std::array<Real, 3> y{e.y0[3 * um], e.y0[3 * um + 1], e.y0[3 * um + 2]};
  Real x = e.x0[um];
  const std::int32_t neq = 3;
  std::int32_t ido = 1;
  it.integrate(ido, neq, x, e.xend[um], e.p.tol, prm.data(), y.data());
  const auto point = rkv::ode::instance_of(it).state.last_error;
  ido = 3;
  it.integrate(ido, neq, x, e.xend[um], e.p.tol, prm.data(), y.data());
  const auto& rep = rkv::ode::kReports[static_cast<std::size_t>(point)];
  return {bits(y[0]),
          bits(y[1]),
          bits(y[2]),
          bits(x),
          bits(prm[30]),
          bits(prm[31]),
          bits(prm[32]),
          bits(prm[33]),
          bits(prm[34]),
          static_cast<std::uint64_t>(rep.type),
          static_cast<std::uint64_t>(rep.code)};
}

template <class Real>
std::vector<Record<Real>> lane_run(const Ensemble<Real>& e, std::int32_t threads) {
  const std::size_t n = static_cast<std::size_t>(e.p.members);
  std::vector<Real> y(3 * n), x(n), st(5 * n);
  std::vector<std::int32_t> type(n), code(n);
  const rkv::LaneResults<Real> r{y.data(), x.data(), st.data(), type.data(), code.data()};
  EXPECT_NE(rkv::integrate_lanes(e.p, Lorenz1<Real>{}, r, threads), rkv::kLanesRefused);
  std::vector<Record<Real>> out;
  for (std::size_t m = 0; m < n; ++m) {
    out.push_back({bits(y[3 * m]), bits(y[3 * m + 1]), bits(y[3 * m + 2]), bits(x[m]),
                   bits(st[5 * m]), bits(st[5 * m + 1]), bits(st[5 * m + 2]), bits(st[5 * m + 3]),
                   bits(st[5 * m + 4]), static_cast<std::uint64_t>(type[m]),
                   static_cast<std::uint64_t>(code[m])});
  }
  return out;
}

template <class Real>
class Lanes : public ::testing::Test {
 protected:
  // The scalar runs' reports neither print nor stop.
  void SetUp() override {
    for (std::int32_t t = 1; t <= 7; ++t) rkv::GETERRATTR(t, print_[t - 1], stop_[t - 1]);
    rkv::SETERRATTR(rkv::kAllTypes, 0, 0);
  }
  void TearDown() override {
    for (std::int32_t t = 1; t <= 7; ++t) rkv::SETERRATTR(t, print_[t - 1], stop_[t - 1]);
    rkv::ode::select_isa_for_testing(rkv::ode::supported_isa());
  }
  std::array<std::int32_t, 7> print_{};
  std::array<std::int32_t, 7> stop_{};
};
using RealTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(Lanes, RealTypes);

TYPED_TEST(Lanes, EveryMemberIsItsScalarRunOnEverySetAndWithThreads) {
  using Real = TypeParam;
  const Ensemble<Real> e = make_ensemble<Real>(71);
  std::vector<Record<Real>> want;
  for (std::int32_t m = 0; m < e.p.members; ++m) want.push_back(scalar_run(e, m));
  // The ensemble covers what it claims: each ending and some rejections.
  std::array<int, 6> endings{};
  bool rejected = false;
  for (const Record<Real>& r : want) {
    endings[static_cast<std::size_t>(r[9])] += 1;
    const double acc = static_cast<double>(std::bit_cast<Real>(
        static_cast<std::conditional_t<sizeof(Real) == 4, std::uint32_t, std::uint64_t>>(r[7])));
    const double ev = static_cast<double>(std::bit_cast<Real>(
        static_cast<std::conditional_t<sizeof(Real) == 4, std::uint32_t, std::uint64_t>>(r[8])));
    rejected = rejected || (r[9] == 0 && ev > 8.0 * acc);
  }
  EXPECT_GT(endings[0], 30);
  EXPECT_GE(endings[4], 3);  // TOL unmet, evaluation and step limits
  EXPECT_GE(endings[5], 3);  // start-up refusals
  EXPECT_TRUE(rejected);
  for (const Isa isa : {Isa::kBaseline, Isa::kAvx2, Isa::kAvx512}) {
    const Isa used = rkv::ode::select_isa_for_testing(isa);
    if (used != isa) continue;
    const std::vector<Record<Real>> got = lane_run(e, 1);
    for (std::size_t m = 0; m < got.size(); ++m) {
      EXPECT_EQ(got[m], want[m]) << "member " << m << " on set " << static_cast<int>(isa);
    }
  }
  EXPECT_EQ(lane_run(e, 3), want);
}

// A right-hand side that throws: the exception leaves the call on the
// calling thread, whichever thread met it.
struct Thrower {
  template <class T>
  void operator()(const std::int32_t& neq, const T& x, const T* y, T* yp, T* p) const {
    Lorenz1<float>{}(neq, x, y, yp, p);
    if constexpr (!std::is_same_v<T, float>) {
      for (int l = 0; l < T::kWidth; ++l) {
        if (p[0][l] > 25.0f && x[l] > 0.25f) throw std::runtime_error("member failed");
      }
    }
  }
};

TEST(LanesContract, ExceptionsPassThroughAndBadArgumentsAreRefused) {
  Ensemble<float> e = make_ensemble<float>(40);
  std::vector<float> y(120);
  const rkv::LaneResults<float> r{y.data()};
  for (const std::int32_t threads : {1, 2}) {
    EXPECT_THROW(rkv::integrate_lanes(e.p, Thrower{}, r, threads), std::runtime_error);
  }
  e.p.neq = 0;
  EXPECT_EQ(rkv::integrate_lanes(e.p, Lorenz1<float>{}, r), rkv::kLanesRefused);
  e.p.neq = 3;
  e.p.param_stride = 7;
  EXPECT_EQ(rkv::integrate_lanes(e.p, Lorenz1<float>{}, r), rkv::kLanesRefused);
}

}  // namespace
