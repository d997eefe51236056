// Output points and events through rkv::DenseOutput: the steps stay those of
// the integrator alone, bit for bit; values and located events against the
// known solution; the reports of the layer, byte for byte.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "rkv/errors/state.hpp"
#include "rkv/host/units.hpp"
#include "rkv/ode/dense_output.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/param.hpp"
#include "solver_support.hpp"
#include "support/child.hpp"

namespace {

using rkv::odetest::fact;
using rkv::odetest::keep_running;

namespace param = rkv::param;
constexpr double kPi = 3.14159265358979323846;

std::uint32_t bits(float v) {
  return std::bit_cast<std::uint32_t>(v);
}

// y1' = y2, y2' = -y1 from (1, 0) at x = 0: y = (cos x, -sin x).
void oscillator(const std::int32_t&, const float&, const float* y, float* yp) {
  yp[0] = y[1];
  yp[1] = -y[0];
}

// One integration's arguments.
struct Args {
  std::int32_t ido = 1;
  std::int32_t neq = 2;
  float x = 0.0f;
  std::array<float, 2> y = {1.0f, 0.0f};
  float tol = 1e-6f;
  std::array<float, param::kSize> prm{};
};

// The same integration through the integrator alone: X, Y, PARAM(31..35).
void expect_same_steps(const Args& a, const Args& plain, const std::string& where) {
  EXPECT_EQ(bits(a.x), bits(plain.x)) << where;
  EXPECT_EQ(bits(a.y[0]), bits(plain.y[0])) << where;
  EXPECT_EQ(bits(a.y[1]), bits(plain.y[1])) << where;
  for (std::int32_t k = param::kLastStep; k <= param::kEvaluations; ++k) {
    EXPECT_EQ(bits(param::get(a.prm.data(), k)), bits(param::get(plain.prm.data(), k)))
        << where << " PARAM(" << k << ")";
  }
}

struct OutputCase {
  const char* name;
  float tol;
  std::vector<float> xends;
  std::vector<std::vector<float>> points;  // per interval (empty: none)
};

TEST(DenseOutput, OutputPointsLeaveTheStepsUnchangedBitForBit) {
  const std::vector<OutputCase> cases = {
      {"one interval, ends included", 1e-6f, {3.0f}, {{0.0f, 0.1f, 1.0f, 1.0f, 2.5f, 3.0f}}},
      {"several intervals, one without points",
       1e-5f,
       {0.5f, 2.0f, 4.0f},
       {{0.25f}, {}, {2.0f, 2.01f, 3.3f, 3.99f}}},
      {"towards smaller x", 1e-6f, {-1.5f, -4.0f}, {{-0.2f, -1.5f}, {-3.0f, -3.1f}}},
  };
  for (const OutputCase& c : cases) {
    Args a;
    Args plain;
    a.tol = plain.tol = c.tol;
    rkv::Integrator with(oscillator);
    rkv::Integrator without(oscillator);
    rkv::DenseOutput dense(with);
    for (std::size_t k = 0; k < c.xends.size(); ++k) {
      const std::vector<float>& xs = c.points[k];
      std::vector<float> y(2 * xs.size());
      std::vector<float> yp(2 * xs.size());
      if (!xs.empty())
        dense.set_output(xs.data(), static_cast<std::int32_t>(xs.size()), y.data(), yp.data());
      dense.integrate(a.ido, a.neq, a.x, c.xends[k], a.tol, a.prm.data(), a.y.data());
      without.integrate(plain.ido, plain.neq, plain.x, c.xends[k], plain.tol, plain.prm.data(),
                        plain.y.data());
      ASSERT_EQ(a.ido, 2) << c.name;
      expect_same_steps(a, plain, std::string(c.name) + " interval " + std::to_string(k + 1));
      EXPECT_EQ(dense.outputs_done(), static_cast<std::int32_t>(xs.size())) << c.name;
      for (std::size_t j = 0; j < xs.size(); ++j) {
        const double x = static_cast<double>(xs[j]);
        const double bound = 20.0 * static_cast<double>(c.tol);
        EXPECT_NEAR(y[2 * j], std::cos(x), bound) << c.name << " x = " << x;
        EXPECT_NEAR(y[2 * j + 1], -std::sin(x), bound) << c.name << " x = " << x;
        EXPECT_NEAR(yp[2 * j], -std::sin(x), bound) << c.name << " x = " << x;
        EXPECT_NEAR(yp[2 * j + 1], -std::cos(x), bound) << c.name << " x = " << x;
      }
      // A point at XEND is the solution there, bit for bit.
      if (!xs.empty() && xs.back() == c.xends[k]) {
        EXPECT_EQ(bits(y[2 * xs.size() - 2]), bits(a.y[0])) << c.name;
      }
    }
    // One extra evaluation at most per point, none for points at step ends.
    std::size_t total = 0;
    for (const auto& xs : c.points) total += xs.size();
    EXPECT_LE(dense.extra_evaluations(), static_cast<std::int32_t>(total)) << c.name;
  }
}

// g = y[component] - level, or x - level for component 2.
struct Level {
  std::int32_t component;
  float level;
};
float level_g(void* context, const std::int32_t&, const float& x, const float* y, const float*) {
  const Level& l = *static_cast<const Level*>(context);
  const float v = l.component == 2 ? x : y[l.component];
  return static_cast<float>(static_cast<double>(v) - static_cast<double>(l.level));
}

struct Found {
  std::int32_t stop;  // which stop of the integration reported it
  std::int32_t index;
  float x;
};

// Integrates to xend through the events, collecting every located event.
std::vector<Found> run_events(const std::vector<rkv::Event>& events, float xend, Args& a,
                              rkv::DenseOutput& dense) {
  std::vector<Found> found;
  dense.set_events(events.data(), static_cast<std::int32_t>(events.size()));
  std::int32_t stop = 0;
  do {
    if (a.ido == rkv::kIdoEvents) a.ido = 2;
    dense.integrate(a.ido, a.neq, a.x, xend, a.tol, a.prm.data(), a.y.data());
    for (std::int32_t i = 0; i < dense.event_count(); ++i) {
      found.push_back({stop, dense.event(i).index, dense.event(i).x});
    }
    ++stop;
  } while (a.ido == rkv::kIdoEvents && !dense.ended());
  return found;
}

struct Watch {
  Level level;
  rkv::Crossing crossing;
  bool terminal;
};

struct EventCase {
  const char* name;
  std::vector<Watch> watch;
  float xend;
  std::vector<std::pair<std::int32_t, double>> expected;  // index, x
  bool one_stop;                                          // all reported by one call
};

TEST(DenseOutput, EventsAreLocatedInOrderWithTheStepsUnchanged) {
  using C = rkv::Crossing;
  const Level zero{0, 0.0f};
  const std::vector<EventCase> cases = {
      {"falling", {{zero, C::kFalling, false}}, 8.0f, {{1, kPi / 2}, {1, 2.5 * kPi}}, false},
      {"rising", {{zero, C::kRising, false}}, 8.0f, {{1, 1.5 * kPi}}, false},
      {"either",
       {{zero, C::kEither, false}},
       8.0f,
       {{1, kPi / 2}, {1, 1.5 * kPi}, {1, 2.5 * kPi}},
       false},
      {"towards smaller x",
       {{zero, C::kEither, false}},
       -5.0f,
       {{1, -kPi / 2}, {1, -1.5 * kPi}},
       false},
      {"terminal ends at the first",
       {{zero, C::kEither, true}, {{1, 0.0f}, C::kEither, false}},
       8.0f,
       {{1, kPi / 2}},
       true},
      // 0.012 apart: one step holds both; reported in the order of x.
      {"two in one step",
       {{{0, 0.54f}, C::kFalling, false}, {{0, 0.55f}, C::kFalling, false}},
       2.0f,
       {{2, std::acos(0.55)}, {1, std::acos(0.54)}},
       true},
  };
  for (const EventCase& c : cases) {
    std::vector<rkv::Event> events;
    for (const Watch& w : c.watch) {
      events.push_back({level_g, const_cast<Level*>(&w.level), w.crossing, w.terminal});
    }
    Args a;
    a.tol = 1e-5f;
    rkv::Integrator it(oscillator);
    rkv::DenseOutput dense(it);
    const std::vector<Found> found = run_events(events, c.xend, a, dense);
    ASSERT_EQ(found.size(), c.expected.size()) << c.name;
    for (std::size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].index, c.expected[i].first) << c.name << " event " << i;
      EXPECT_NEAR(found[i].x, c.expected[i].second, 1e-4) << c.name << " event " << i;
      if (c.one_stop) {
        EXPECT_EQ(found[i].stop, 0) << c.name << " event " << i;
      }
    }
    if (c.watch[0].terminal) {
      // X and Y are at the event; the integration takes no further step.
      EXPECT_TRUE(dense.ended()) << c.name;
      EXPECT_EQ(bits(a.x), bits(found[0].x)) << c.name;
      EXPECT_NEAR(a.y[0], 0.0f, 1e-5f) << c.name;
      continue;
    }
    Args plain;
    plain.tol = a.tol;
    rkv::Integrator alone(oscillator);
    alone.integrate(plain.ido, plain.neq, plain.x, c.xend, plain.tol, plain.prm.data(),
                    plain.y.data());
    expect_same_steps(a, plain, c.name);
  }
}

TEST(DenseOutput, EachEventIsBracketedToAFewUnitsInTheLastPlace) {
  // The same integration again, with output points at each located x and the
  // four numbers before it (the steps, hence the extension, are the same):
  // the extension's g has the new sign (or 0) at x and the old sign within
  // those four.
  const Level zero{0, 0.0f};
  const std::vector<rkv::Event> events = {
      {level_g, const_cast<Level*>(&zero), rkv::Crossing::kEither, false}};
  Args a;
  rkv::Integrator it(oscillator);
  rkv::DenseOutput dense(it);
  const std::vector<Found> found = run_events(events, 8.0f, a, dense);
  ASSERT_EQ(found.size(), 3u);
  std::vector<float> xs;
  for (const Found& f : found) {
    float v = f.x;
    std::vector<float> before;
    for (int k = 0; k < 4; ++k) before.insert(before.begin(), v = std::nextafter(v, 0.0f));
    xs.insert(xs.end(), before.begin(), before.end());
    xs.push_back(f.x);
  }
  std::vector<float> ys(2 * xs.size());
  Args b;
  rkv::Integrator again(oscillator);
  rkv::DenseOutput dense_again(again);
  dense_again.set_output(xs.data(), static_cast<std::int32_t>(xs.size()), ys.data());
  dense_again.integrate(b.ido, b.neq, b.x, 8.0f, b.tol, b.prm.data(), b.y.data());
  ASSERT_EQ(dense_again.outputs_done(), static_cast<std::int32_t>(xs.size()));
  for (std::size_t i = 0; i < found.size(); ++i) {
    const float old_sign = i % 2 == 0 ? 1.0f : -1.0f;  // y1 = cos x falls first
    const float* g = &ys[2 * 5 * i];                   // y1 at the 5 points, stride 2
    EXPECT_LE(g[8] * old_sign, 0.0f) << "event " << i;
    EXPECT_TRUE(g[0] * old_sign > 0.0f || g[2] * old_sign > 0.0f || g[4] * old_sign > 0.0f ||
                g[6] * old_sign > 0.0f)
        << "event " << i << " at " << found[i].x;
  }
}

TEST(DenseOutput, AnEventExactlyAtAStepsEndIsReportedOnce) {
  // The step ends, from a run that pauses before each step.
  Args p;
  param::set(p.prm.data(), param::kPauseBefore, 1.0f);
  rkv::Integrator probe(oscillator);
  std::vector<float> ends;
  do {
    probe.integrate(p.ido, p.neq, p.x, 3.0f, p.tol, p.prm.data(), p.y.data());
    if (p.ido == 4) ends.push_back(p.x);  // answered with 4: take the step
  } while (p.ido == 4);
  ASSERT_GT(ends.size(), 4u);
  // g = x - (an inner step end) and g = x - XEND of the first interval.
  const Level inner{2, ends[3]};
  const Level at_xend{2, 1.5f};
  const std::vector<rkv::Event> events = {
      {level_g, const_cast<Level*>(&inner), rkv::Crossing::kRising, false},
      {level_g, const_cast<Level*>(&at_xend), rkv::Crossing::kEither, false}};
  Args a;
  rkv::Integrator it(oscillator);
  rkv::DenseOutput dense(it);
  std::vector<Found> found = run_events(events, 1.5f, a, dense);
  EXPECT_EQ(a.ido, 2);
  std::vector<Found> more = run_events(events, 3.0f, a, dense);
  found.insert(found.end(), more.begin(), more.end());
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].index, 1);
  EXPECT_EQ(bits(found[0].x), bits(inner.level));
  EXPECT_EQ(found[1].index, 2);
  EXPECT_EQ(bits(found[1].x), bits(1.5f));
}

TEST(DenseOutput, StaleFirstStageAfterAStop) {
  // After a call ends at events the caller may change Y; the next step must
  // start from f at the new Y, not from f at the step's end computed before.
  // Moved to the equilibrium (0, 0), the oscillator stays there exactly.
  Args a;
  rkv::Integrator it(oscillator);
  rkv::DenseOutput dense(it);
  const Level l{0, 0.5f};
  const rkv::Event e{level_g, const_cast<Level*>(&l), rkv::Crossing::kFalling, false};
  dense.set_events(&e, 1);
  dense.integrate(a.ido, a.neq, a.x, 3.0f, a.tol, a.prm.data(), a.y.data());
  ASSERT_EQ(a.ido, rkv::kIdoEvents);
  a.y = {0.0f, 0.0f};
  a.ido = 2;
  dense.integrate(a.ido, a.neq, a.x, 3.0f, a.tol, a.prm.data(), a.y.data());
  EXPECT_EQ(a.ido, 2);
  EXPECT_EQ(a.y[0], 0.0f);
  EXPECT_EQ(a.y[1], 0.0f);
}

TEST(DenseOutput, StaleEventValueAfterAStop) {
  // After a stop at events the caller restarts the oscillation, y = (1, 0):
  // g = y1 - 1/2 is positive again at the same x. Compared with its value
  // there before the change (negative), the first step would show a rising
  // change that never happens; the only event is the next fall, pi/3 on.
  Args a;
  rkv::Integrator it(oscillator);
  rkv::DenseOutput dense(it);
  const Level half{0, 0.5f};
  const rkv::Event e{level_g, const_cast<Level*>(&half), rkv::Crossing::kEither, false};
  dense.set_events(&e, 1);
  dense.integrate(a.ido, a.neq, a.x, 3.0f, a.tol, a.prm.data(), a.y.data());
  ASSERT_EQ(a.ido, rkv::kIdoEvents);
  const float restart = a.x;
  a.y = {1.0f, 0.0f};
  std::vector<float> found;
  do {
    a.ido = 2;
    dense.integrate(a.ido, a.neq, a.x, 3.0f, a.tol, a.prm.data(), a.y.data());
    for (std::int32_t i = 0; i < dense.event_count(); ++i) found.push_back(dense.event(i).x);
  } while (a.ido == rkv::kIdoEvents);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_NEAR(found[0], static_cast<double>(restart) + kPi / 3, 1e-4);
}

// Reports of the layer, printed; the run goes on after each, and what the
// integration holds afterwards is printed as facts.

float nan_after(void*, const std::int32_t&, const float& x, const float* y, const float*) {
  return x > 0.3f ? std::numeric_limits<float>::quiet_NaN() : y[0] - 2.0f;
}

struct ReportCase {
  const char* name;
  void (*body)();
  std::string expected;
};

TEST(DenseOutput, ReportsAndWhatTheyLeave) {
  const std::vector<ReportCase> cases = {
      {"output point outside the interval",
       [] {
         keep_running();
         Args a;
         rkv::Integrator it(oscillator);
         rkv::DenseOutput dense(it);
         const float xs[2] = {0.5f, 1.5f};
         float ys[4];
         dense.set_output(xs, 2, ys);
         dense.integrate(a.ido, a.neq, a.x, 1.0f, a.tol, a.prm.data(), a.y.data());
         fact("IDO " + std::to_string(a.ido) + " steps " +
              std::to_string(static_cast<int>(param::get(a.prm.data(), param::kAcceptedSteps))));
       },
       "\n"
       " *** TERMINAL ERROR 1 from IVPEV.  The output point XOUT(2) = 1.500000E+00 is\n"
       " ***          outside the interval from X = 0.000000E+00 to XEND = \n"
       " ***          1.000000E+00.\n"
       " IDO 1 steps 0\n"},
      {"output points out of order",
       [] {
         keep_running();
         Args a;
         rkv::Integrator it(oscillator);
         rkv::DenseOutput dense(it);
         const float xs[3] = {-0.5f, -0.7f, -0.6f};
         float ys[6];
         dense.set_output(xs, 3, ys);
         dense.integrate(a.ido, a.neq, a.x, -1.0f, a.tol, a.prm.data(), a.y.data());
       },
       "\n"
       " *** TERMINAL ERROR 2 from IVPEV.  The output point XOUT(3) = -6.000000E-01\n"
       " ***          comes before XOUT(2) = -7.000000E-01 in the direction of \n"
       " ***          integration.  The output points must be in order.\n"},
      {"empty event list",
       [] {
         keep_running();
         rkv::Integrator it(oscillator);
         rkv::DenseOutput dense(it);
         dense.set_events(nullptr, 0);
       },
       "\n"
       " *** TERMINAL ERROR 4 from IVPEV.  The number of event functions is 0.  The\n"
       " ***          event list must not be empty.\n"},
      {
          "NaN from an event function",
          [] {
            keep_running();
            Args a;
            rkv::Integrator it(oscillator);
            rkv::DenseOutput dense(it);
            const rkv::Event e{nan_after, nullptr, rkv::Crossing::kEither, false};
            dense.set_events(&e, 1);
            dense.integrate(a.ido, a.neq, a.x, 1.0f, a.tol, a.prm.data(), a.y.data());
            // The step was taken; the next call goes on from it.
            fact("IDO " + std::to_string(a.ido) + " events " + std::to_string(dense.event_count()));
            dense.clear_events();
            a.ido = 2;
            dense.integrate(a.ido, a.neq, a.x, 1.0f, a.tol, a.prm.data(), a.y.data());
            fact("IDO " + std::to_string(a.ido) + " X " + std::to_string(a.x));
          },
          "\n"
          " *** FATAL    ERROR 6 from IVPEV.  Event function 1 returned NaN at X =\n"
          " ***          5.224810E-01.  No sign change can be located.\n"
          " IDO 7 events 0\n"
          " IDO 2 X 1.000000\n",
      },
      {
          "a call after a terminal event",
          [] {
            keep_running();
            Args a;
            rkv::Integrator it(oscillator);
            rkv::DenseOutput dense(it);
            Level l{0, 0.0f};
            const rkv::Event e{level_g, &l, rkv::Crossing::kEither, true};
            dense.set_events(&e, 1);
            dense.integrate(a.ido, a.neq, a.x, 3.0f, a.tol, a.prm.data(), a.y.data());
            a.ido = 2;
            dense.integrate(a.ido, a.neq, a.x, 3.0f, a.tol, a.prm.data(), a.y.data());
            a.ido = 3;
            dense.integrate(a.ido, a.neq, a.x, 3.0f, a.tol, a.prm.data(), a.y.data());
            fact("closed, IDO " + std::to_string(a.ido));
          },
          "\n"
          " *** TERMINAL ERROR 7 from IVPEV.  The integration ended at a terminal event\n"
          " ***          at X = 1.570796E+00.  The next call must have IDO = 3.\n"
          " closed, IDO 3\n",
      },
  };
  for (const ReportCase& c : cases) {
    const rkv::testing::ChildResult r = rkv::testing::run_in_child(c.body);
    EXPECT_TRUE(r.exited) << c.name;
    EXPECT_EQ(r.status, rkv::testing::kBodyReturned) << c.name;
    EXPECT_EQ(r.out, c.expected) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
  }
}

}  // namespace
