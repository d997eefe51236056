// The C dense handle against rkv::DenseOutput: the same problem through both
// gives the same bits in every call (IDO, X, Y, PARAM(31..35), the output
// points, the located events, the counters), in float and in double; the handle's own refusals and
// the lifetime the C++ layer guarantees.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "rkv/ddense.h"
#include "rkv/dense.h"
#include "rkv/errors/control.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/state.hpp"
#include "rkv/ode/dense_output.hpp"
#include "state_testing.hpp"

namespace {

std::uint64_t bits(float v) {
  return std::bit_cast<std::uint32_t>(v);
}
std::uint64_t bits(double v) {
  return std::bit_cast<std::uint64_t>(v);
}
using Trace = std::vector<std::uint64_t>;

// y1' = y2, y2' = -y1 from (1, 0): y = (cos x, -sin x).
template <class Real>
void oscillator(void*, const int32_t*, const Real*, const Real* y, Real* yp) {
  yp[0] = y[1];
  yp[1] = -y[0];
}
// g = y1 - level; in C and in C++ form, the same arithmetic.
template <class Real>
Real level_c(void* level, const int32_t*, const Real*, const Real* y, const Real*) {
  return y[0] - *static_cast<const Real*>(level);
}
template <class Real>
Real level_cpp(void* level, const std::int32_t&, const Real&, const Real* y, const Real*) {
  return y[0] - *static_cast<const Real*>(level);
}

// One problem: two events on y1 (the second may be terminal), output points
// with derivatives over each interval of length `step`.
struct Problem {
  const char* name;
  float step;  // negative: backwards
  int32_t crossing;
  int32_t terminal;
};

// Everything a call shows, as bits.
template <class Real>
Trace trace_call(int32_t outcome, int32_t ido, Real x, const Real* y, const Real* param,
                 const Real* yo, const Real* ypo) {
  Trace t = {static_cast<std::uint64_t>(outcome), static_cast<std::uint64_t>(ido), bits(x),
             bits(y[0]), bits(y[1])};
  for (int k = 30; k < 35; ++k) t.push_back(bits(param[k]));
  for (int k = 0; k < 6; ++k) t.insert(t.end(), {bits(yo[k]), bits(ypo[k])});
  return t;
}
template <class Real>
void trace_hit(Trace& t, int32_t index, Real x, int32_t terminal, const Real* y, const Real* yp) {
  t.insert(t.end(),
           {static_cast<std::uint64_t>(index), bits(x), static_cast<std::uint64_t>(terminal),
            bits(y[0]), bits(y[1]), bits(yp[0]), bits(yp[1])});
}

// Drives an integration to x = 4 * step through either interface (`Dense`
// wraps it); the record of every call.
template <class Dense>
std::vector<Trace> run(Dense& d, const Problem& p) {
  using Real = typename Dense::Real;
  std::vector<Trace> out;
  int32_t ido = 1;
  const int32_t neq = 2, n = 3;
  Real x = 0, y[2] = {1, 0}, param[50] = {};
  const Real tol = sizeof(Real) == sizeof(float) ? Real(1e-5) : Real(1e-11);
  for (int k = 1; k <= 4 && !d.ended(); ++k) {
    const Real xend = Real(p.step) * static_cast<Real>(k);
    const Real xs[3] = {x + Real(0.25) * (xend - x), x + Real(0.5) * (xend - x), xend};
    Real yo[6] = {}, ypo[6] = {};
    d.set_output(xs, n, yo, ypo);
    do {
      if (ido == RKV_IDO_EVENTS) ido = 2;
      const int32_t outcome = d.integrate(ido, neq, x, xend, tol, param, y);
      out.push_back(trace_call(outcome, ido, x, y, param, yo, ypo));
      for (int32_t i = 0; i < d.event_count(); ++i) d.hit(out.back(), i);
      out.back().insert(out.back().end(), {static_cast<std::uint64_t>(d.outputs_done()),
                                           static_cast<std::uint64_t>(d.extra_evaluations()),
                                           static_cast<std::uint64_t>(d.ended())});
    } while (ido == RKV_IDO_EVENTS && !d.ended());
  }
  ido = 3;
  d.integrate(ido, neq, x, x, tol, param, y);
  return out;
}

template <class Real>
Real g_levels[2] = {Real(0.5), Real(-0.25)};

template <class RealT>
struct CppDense {
  using Real = RealT;
  explicit CppDense(const Problem& p)
      : it(rkv::BasicRhsPointerFunction<Real>{oscillator<Real>}, nullptr), d(it) {
    const rkv::BasicEvent<Real> ev[2] = {
        {level_cpp<Real>, &g_levels<Real>[0], rkv::Crossing::kEither, false},
        {level_cpp<Real>, &g_levels<Real>[1], static_cast<rkv::Crossing>(p.crossing),
         p.terminal != 0}};
    d.set_events(ev, 2);
  }
  void set_output(const Real* x, int32_t n, Real* y, Real* yp) { d.set_output(x, n, y, yp); }
  int32_t integrate(int32_t& ido, int32_t neq, Real& x, Real xend, Real tol, Real* prm, Real* y) {
    return d.integrate(ido, neq, x, xend, tol, prm, y);
  }
  int32_t event_count() const { return d.event_count(); }
  void hit(Trace& t, int32_t i) const {
    const rkv::BasicEventHit<Real>& e = d.event(i);
    trace_hit(t, e.index, e.x, e.terminal ? 1 : 0, e.y, e.yprime);
  }
  bool ended() const { return d.ended(); }
  int32_t outputs_done() const { return d.outputs_done(); }
  int32_t extra_evaluations() const { return d.extra_evaluations(); }
  rkv::BasicIntegrator<Real> it;
  rkv::BasicDenseOutput<Real> d;
};

// The C routines of one precision.
template <class Real>
struct CApi;
template <>
struct CApi<float> {
  using It = rkv_integrator;
  using D = rkv_dense;
  using Event = rkv_event;
  using Hit = rkv_event_hit;
  static constexpr auto create_it = rkv_integrator_create;
  static constexpr auto destroy_it = rkv_integrator_destroy;
  static constexpr auto create = rkv_dense_create;
  static constexpr auto destroy = rkv_dense_destroy;
  static constexpr auto set_events = rkv_dense_set_events;
  static constexpr auto set_output = rkv_dense_set_output;
  static constexpr auto ivprk = rkv_dense_ivprk;
  static constexpr auto event_count = rkv_dense_event_count;
  static constexpr auto event = rkv_dense_event;
  static constexpr auto ended = rkv_dense_ended;
  static constexpr auto outputs_done = rkv_dense_outputs_done;
  static constexpr auto extra_evaluations = rkv_dense_extra_evaluations;
};
template <>
struct CApi<double> {
  using It = rkv_dintegrator;
  using D = rkv_ddense;
  using Event = rkv_devent;
  using Hit = rkv_devent_hit;
  static constexpr auto create_it = rkv_dintegrator_create;
  static constexpr auto destroy_it = rkv_dintegrator_destroy;
  static constexpr auto create = rkv_ddense_create;
  static constexpr auto destroy = rkv_ddense_destroy;
  static constexpr auto set_events = rkv_ddense_set_events;
  static constexpr auto set_output = rkv_ddense_set_output;
  static constexpr auto ivprk = rkv_ddense_ivprk;
  static constexpr auto event_count = rkv_ddense_event_count;
  static constexpr auto event = rkv_ddense_event;
  static constexpr auto ended = rkv_ddense_ended;
  static constexpr auto outputs_done = rkv_ddense_outputs_done;
  static constexpr auto extra_evaluations = rkv_ddense_extra_evaluations;
};

template <class RealT>
struct CDense {
  using Real = RealT;
  using C = CApi<Real>;
  explicit CDense(const Problem& p)
      : it(C::create_it(oscillator<Real>, nullptr)), d(C::create(it)) {
    const typename C::Event ev[2] = {{level_c<Real>, &g_levels<Real>[0], RKV_CROSSING_EITHER, 0},
                                     {level_c<Real>, &g_levels<Real>[1], p.crossing, p.terminal}};
    const int32_t m = 2;
    C::set_events(d, ev, &m, nullptr);  // copied: ev may go
  }
  ~CDense() {
    C::destroy(d);
    C::destroy_it(it);
  }
  CDense(const CDense&) = delete;
  CDense& operator=(const CDense&) = delete;
  void set_output(const Real* x, int32_t n, Real* y, Real* yp) { C::set_output(d, x, &n, y, yp); }
  int32_t integrate(int32_t& ido, int32_t neq, Real& x, Real xend, Real tol, Real* prm, Real* y) {
    return C::ivprk(d, &ido, &neq, &x, &xend, &tol, prm, y);
  }
  int32_t event_count() const { return C::event_count(d); }
  void hit(Trace& t, int32_t i) const {
    typename C::Hit e;
    C::event(d, &i, &e);
    trace_hit(t, e.index, e.x, e.terminal, e.y, e.yprime);
  }
  bool ended() const { return C::ended(d) != 0; }
  int32_t outputs_done() const { return C::outputs_done(d); }
  int32_t extra_evaluations() const { return C::extra_evaluations(d); }
  typename C::It* it;
  typename C::D* d;
};

template <class Real>
void expect_same_bits() {
  const Problem problems[] = {
      {"forward, terminal falling", 1.0f, RKV_CROSSING_FALLING, 1},
      {"forward, rising watched on", 1.5f, RKV_CROSSING_RISING, 0},
      {"backwards, either, terminal", -1.0f, RKV_CROSSING_EITHER, 1},
  };
  for (const Problem& p : problems) {
    CppDense<Real> cpp(p);
    CDense<Real> c(p);
    ASSERT_NE(c.d, nullptr);
    const auto want = run(cpp, p);
    const auto got = run(c, p);
    EXPECT_EQ(got, want) << p.name;
    // Events were met, and a terminal one ended the run where asked.
    ASSERT_FALSE(want.empty()) << p.name;
    int with_events = 0;
    for (const auto& call : want) with_events += call[1] == RKV_IDO_EVENTS ? 1 : 0;
    EXPECT_GE(with_events, 2) << p.name;
    EXPECT_EQ(want.back().back(), p.terminal != 0 ? 1u : 0u) << p.name;
  }
}

TEST(CapiDense, SameBitsAsTheCppDenseOutputInFloat) {
  expect_same_bits<float>();
}
TEST(CapiDense, SameBitsAsTheCppDenseOutputInDouble) {
  expect_same_bits<double>();
}

// Refusals under IVPEV with the stops off; the type and code the call left.
struct Refused {
  int32_t type, code;
};
Refused last_refusal() {
  const rkv::ErrorState& s = rkv::E1ERRSTATE();
  return {rkv::N1RTY(1), s.level_code(2)};
}
void quiet() {
  rkv::detail::reset_error_state_for_testing();
  rkv::SETERRATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff);
}

TEST(CapiDense, ARefusedEventListLeavesTheOneInForce) {
  quiet();
  rkv_integrator* it = rkv_integrator_create(oscillator<float>, nullptr);
  rkv_dense* d = rkv_dense_create(it);
  const rkv_event good = {level_c<float>, &g_levels<float>[0], RKV_CROSSING_FALLING, 1};
  const rkv_event bad_crossing = {level_c<float>, &g_levels<float>[0], 3, 0};
  const rkv_event no_g = {nullptr, nullptr, RKV_CROSSING_EITHER, 0};
  const rkv_event_settings bad_ulps = {-1, 200}, bad_iterations = {4, 0};
  const int32_t one = 1, zero = 0;
  rkv_dense_set_events(d, &good, &one, nullptr);
  struct Case {
    const rkv_event* list;
    const int32_t* m;
    const rkv_event_settings* settings;
    Refused want;
  };
  const Case cases[] = {
      {&bad_crossing, &one, nullptr, {RKV_TERMINAL, RKV_BAD_CROSSING_CODE}},
      {&no_g, &one, nullptr, {RKV_TERMINAL, 5}},
      {nullptr, &zero, nullptr, {RKV_TERMINAL, 4}},
      {&good, &one, &bad_ulps, {RKV_TERMINAL, 11}},
      {&good, &one, &bad_iterations, {RKV_TERMINAL, 12}},
  };
  for (const Case& k : cases) {
    quiet();
    rkv_dense_set_events(d, k.list, k.m, k.settings);
    const Refused r = last_refusal();
    EXPECT_EQ(r.type, k.want.type) << k.want.code;
    EXPECT_EQ(r.code, k.want.code) << k.want.code;
  }
  // The first list still watches y1 falling through 0.5 (at x = pi/3), and
  // its C function is still reached.
  quiet();
  int32_t ido = 1;
  const int32_t neq = 2;
  float x = 0.0f, xend = 2.0f, tol = 1e-5f, y[2] = {1.0f, 0.0f}, param[50] = {};
  EXPECT_EQ(rkv_dense_ivprk(d, &ido, &neq, &x, &xend, &tol, param, y), RKV_NONE);
  EXPECT_EQ(ido, RKV_IDO_EVENTS);
  EXPECT_EQ(rkv_dense_ended(d), 1);
  EXPECT_NEAR(x, 1.0471976f, 1e-4f);
  rkv_dense_destroy(d);
  rkv_integrator_destroy(it);
}

TEST(CapiDense, OverADestroyedIntegratorTheCallIsRefused) {
  quiet();
  rkv_integrator* it = rkv_integrator_create(oscillator<float>, nullptr);
  rkv_dense* d = rkv_dense_create(it);
  rkv_integrator_destroy(it);
  int32_t ido = 1;
  const int32_t neq = 2;
  float x = 0.0f, xend = 1.0f, tol = 1e-5f, y[2] = {1.0f, 0.0f}, param[50] = {};
  EXPECT_EQ(rkv_dense_ivprk(d, &ido, &neq, &x, &xend, &tol, param, y), RKV_TERMINAL);
  EXPECT_EQ(last_refusal().code, 10);
  EXPECT_EQ(x, 0.0f);
  rkv_dense_destroy(d);
  EXPECT_EQ(rkv_dense_create(nullptr), nullptr);
}

}  // namespace
