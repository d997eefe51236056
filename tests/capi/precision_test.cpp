// The C handles over both storage types: the double handle gives the bits of
// rkv::DoubleIntegrator, and tolerances and an error norm set from C give
// the bits of the same settings made in C++, for float and double alike;
// the refusals of the new routines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "rkv/dintegrator.h"
#include "rkv/errors/control.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/state.hpp"
#include "rkv/integrator.h"
#include "rkv/ode/integrator.hpp"
#include "state_testing.hpp"

namespace {

// y1' = y2, y2' = -y1 (1 - y1^2 / 4): a mildly nonlinear oscillator.
template <class Real>
void swing(void*, const int32_t*, const Real*, const Real* y, Real* yp) {
  yp[0] = y[1];
  yp[1] = -y[0] * (Real{1} - y[0] * y[0] / Real{4});
}
// A norm of the caller's own: the largest |v_i| / (scale + |y1_i|).
template <class Real>
Real relative(void* scale, int32_t neq, const Real* v, const Real*, const Real* y1, const Real*) {
  Real m = 0;
  const Real s = *static_cast<const Real*>(scale);
  for (int32_t i = 0; i < neq; ++i) m = std::fmax(m, std::fabs(v[i]) / (s + std::fabs(y1[i])));
  return m;
}

// The C routines of each storage type.
template <class Real>
struct C;
template <>
struct C<float> {
  using Handle = rkv_integrator;
  static constexpr auto create = rkv_integrator_create;
  static constexpr auto destroy = rkv_integrator_destroy;
  static constexpr auto ivprk = rkv_integrator_ivprk;
  static constexpr auto tolerances = rkv_integrator_set_tolerances;
  static constexpr auto norm = rkv_integrator_set_error_norm;
};
template <>
struct C<double> {
  using Handle = rkv_dintegrator;
  static constexpr auto create = rkv_dintegrator_create;
  static constexpr auto destroy = rkv_dintegrator_destroy;
  static constexpr auto ivprk = rkv_dintegrator_ivprk;
  static constexpr auto tolerances = rkv_dintegrator_set_tolerances;
  static constexpr auto norm = rkv_dintegrator_set_error_norm;
};

enum class Setting { kTolOnly, kOneAtol, kAtolEach, kOwnNorm };

// Everything the calls show, as bytes: outcome, IDO, X, Y, PARAM(31..35).
template <class Real>
void record(std::vector<unsigned char>& t, int32_t outcome, int32_t ido, Real x, const Real* y,
            const Real* param) {
  const auto put = [&t](const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    t.insert(t.end(), b, b + n);
  };
  put(&outcome, sizeof outcome);
  put(&ido, sizeof ido);
  put(&x, sizeof x);
  put(y, 2 * sizeof(Real));
  put(param + 30, 5 * sizeof(Real));
}

// Four intervals and the closing call; `call` is one IDO call.
template <class Real, class Call>
std::vector<unsigned char> drive(Call call, Real tol) {
  std::vector<unsigned char> t;
  int32_t ido = 1;
  Real x = 0, y[2] = {1, 0}, param[50] = {};
  for (int k = 1; k <= 4; ++k) {
    const Real xend = Real{2} * static_cast<Real>(k);
    record(t, call(ido, x, xend, tol, param, y), ido, x, y, param);
  }
  ido = 3;
  record(t, call(ido, x, x, tol, param, y), ido, x, y, param);
  return t;
}

template <class Real>
class CapiPrecision : public ::testing::Test {};
using Reals = ::testing::Types<float, double>;
TYPED_TEST_SUITE(CapiPrecision, Reals);

TYPED_TEST(CapiPrecision, SameBitsAsTheCppIntegratorWithEachSetting) {
  using Real = TypeParam;
  using Api = C<Real>;
  static Real scale = Real{1e-3f};
  const Real rtol = Real{1e-6f}, atol[2] = {Real{1e-7f}, Real{1e-9f}};
  const int32_t one = 1, two = 2, max = RKV_NORM_MAX, rms = RKV_NORM_RMS;
  const Setting settings[] = {Setting::kTolOnly, Setting::kOneAtol, Setting::kAtolEach,
                              Setting::kOwnNorm};
  std::vector<std::vector<unsigned char>> seen;
  for (const Setting s : settings) {
    rkv::BasicIntegrator<Real> cpp(rkv::BasicRhsPointerFunction<Real>{swing<Real>}, nullptr);
    typename Api::Handle* h = Api::create(swing<Real>, nullptr);
    ASSERT_NE(h, nullptr);
    Real tol = Real{1e-5f};
    int32_t c_set = 0, cpp_set = 0;
    if (s == Setting::kOneAtol) {
      c_set = Api::tolerances(h, &rtol, atol, &one, &max);
      cpp_set = cpp.set_tolerances(rtol, atol[0], rkv::ToleranceNorm::kMax);
      tol = 1;
    } else if (s == Setting::kAtolEach) {
      c_set = Api::tolerances(h, &rtol, atol, &two, &rms);
      cpp_set = cpp.set_tolerances(rtol, atol, 2, rkv::ToleranceNorm::kRms);
      tol = 1;
    } else if (s == Setting::kOwnNorm) {
      c_set = Api::norm(h, relative<Real>, &scale);
      cpp_set = cpp.set_error_norm(relative<Real>, &scale);
    }
    EXPECT_EQ(c_set, RKV_NONE);
    EXPECT_EQ(cpp_set, RKV_NONE);
    const auto want = drive<Real>([&](int32_t& ido, Real& x, Real xend, Real t, Real* p,
                                      Real* y) { return cpp.integrate(ido, 2, x, xend, t, p, y); },
                                  tol);
    const auto got = drive<Real>(
        [&](int32_t& ido, Real& x, Real xend, Real t, Real* p, Real* y) {
          const int32_t neq = 2;
          return Api::ivprk(h, &ido, &neq, &x, &xend, &t, p, y);
        },
        tol);
    EXPECT_EQ(got, want) << static_cast<int>(s);
    for (const auto& other : seen) EXPECT_NE(want, other) << static_cast<int>(s);  // took effect
    seen.push_back(want);
    Api::destroy(h);
  }
}

// The refusals with the stops off: routine, code and the call.
struct Refusal {
  const char* what;
  int32_t code;
  std::function<int32_t()> call;
};

TEST(CapiPrecisionRefusals, NullArgumentsABadNormAndAChangeWhileOpen) {
  rkv_integrator* f = rkv_integrator_create(swing<float>, nullptr);
  rkv_dintegrator* d = rkv_dintegrator_create(swing<double>, nullptr);
  static float fr = 1e-6f;
  static double dr = 1e-9, dx = 0, dxend = 1, dtol = 1e-8, dy[2] = {1, 0}, dparam[50] = {};
  static int32_t one = 1, neq = 2, bad = 0, max = RKV_NORM_MAX, ido = 1;
  const Refusal cases[] = {
      {"float RTOL", 20,
       [&] { return rkv_integrator_set_tolerances(f, nullptr, &fr, &one, &max); }},
      {"float ATOL", 20,
       [&] { return rkv_integrator_set_tolerances(f, &fr, nullptr, &one, &max); }},
      {"float NORM 0", RKV_BAD_NORM_CODE,
       [&] { return rkv_integrator_set_tolerances(f, &fr, &fr, &one, &bad); }},
      {"float FCN", 20, [&] { return rkv_integrator_set_error_norm(f, nullptr, nullptr); }},
      {"float INTEGRATOR", 20, [&] { return rkv_integrator_clear_error_norm(nullptr); }},
      {"double INTEGRATOR", 20,
       [&] { return rkv_dintegrator_ivprk(nullptr, &ido, &neq, &dx, &dxend, &dtol, dparam, dy); }},
      {"double Y", 20,
       [&] { return rkv_dintegrator_ivprk(d, &ido, &neq, &dx, &dxend, &dtol, dparam, nullptr); }},
      {"double COUNT", 20,
       [&] { return rkv_dintegrator_set_tolerances(d, &dr, &dr, nullptr, &max); }},
      {"double NORM 3", RKV_BAD_NORM_CODE,
       [&] {
         bad = 3;
         return rkv_dintegrator_set_tolerances(d, &dr, &dr, &one, &bad);
       }},
      {"double INTEGRATOR", 20, [&] { return rkv_dintegrator_clear_tolerances(nullptr); }},
      {"double open", 24,
       [&] {
         rkv_dintegrator_ivprk(d, &ido, &neq, &dx, &dxend, &dtol, dparam, dy);  // opens
         return rkv_dintegrator_set_tolerances(d, &dr, &dr, &one, &max);
       }},
  };
  for (const Refusal& k : cases) {
    rkv::detail::reset_error_state_for_testing();
    rkv::SETERRATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff);
    EXPECT_EQ(k.call(), RKV_TERMINAL) << k.what;
    EXPECT_EQ(rkv::N1RTY(1), RKV_TERMINAL) << k.what;
    EXPECT_EQ(rkv::E1ERRSTATE().level_code(2), k.code) << k.what;
  }
  EXPECT_EQ(dx, 1.0);  // the one call that was not refused ran
  rkv_integrator_destroy(f);
  rkv_dintegrator_destroy(d);
  EXPECT_EQ(rkv_dintegrator_create(nullptr, nullptr), nullptr);
}

}  // namespace
