// Example: landmarks of the trajectory model, located on the solver's
// continuous extension. The model of the trajectory program (y comes in from
// 10, turns inside the well at y = R0 = 2 and goes out again) is integrated
// with the program's tolerance and largest step, but with the step limit
// lifted, watching four events:
//   1. y falls through R0 (on the way in),
//   2. y rises through R0 (on the way out),
//   3. y' rises through 0: the turning point, the smallest y,
//   4. y rises back to 10, which ends the integration.
// It prints each event's x and y, then checks that watching the events left
// the steps unchanged: a second integration without them, to the same end,
// takes the same steps (X, Y and the statistics PARAM(31..35), bit for bit).
#include <bit>
#include <cstdint>
#include <cstdio>

#include "model.hpp"
#include "rkv/ode/dense_output.hpp"
#include "rkv/ode/events.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/param.hpp"

namespace {

namespace param = rkv::param;

constexpr float kStart = 10.0f;
constexpr float kXEnd = 20.0f;  // beyond the return to y = 10

// g = y - level, the level given as context.
float above(void* level, const std::int32_t& /*neq*/, const float& /*x*/, const float* y,
            const float* /*yprime*/) {
  return static_cast<float>(static_cast<double>(y[0]) -
                            static_cast<double>(*static_cast<const float*>(level)));
}

// g = y', from the extension's derivative.
float slope(void* /*context*/, const std::int32_t& /*neq*/, const float& /*x*/, const float* /*y*/,
            const float* yprime) {
  return yprime[0];
}

struct Run {
  rkv::app::TrajData model = rkv::app::initial_trajdata();
  rkv::Integrator integrator{rkv::app::RHSTRAJ, &model};
  std::int32_t ido = 1;
  const std::int32_t neq = 1;
  float x = 0.0f;
  float y[1] = {kStart};
  const float tol = 1.0e-6f;
  float prm[param::kSize] = {};

  Run() {
    param::set(prm, param::kHmax, 0.001f);      // as the trajectory program
    param::set(prm, param::kMaxSteps, 1.0e7f);  // the step limit lifted
  }
};

bool same_bits(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

}  // namespace

int main() {
  float r0 = rkv::app::initial_trajdata().R0;
  float start = kStart;
  const char* const names[] = {"in through R0", "out through R0", "turning point",
                               "back at y = 10"};

  // With the events; the last one ends the integration.
  Run a;
  rkv::DenseOutput dense(a.integrator);
  const rkv::Event events[] = {
      {above, &r0, rkv::Crossing::kFalling, false},
      {above, &r0, rkv::Crossing::kRising, false},
      {slope, nullptr, rkv::Crossing::kRising, false},
      {above, &start, rkv::Crossing::kRising, true},
  };
  dense.set_events(events, 4);
  std::printf("Landmarks of the trajectory (x, y):\n");
  for (dense.integrate(a.ido, a.neq, a.x, kXEnd, a.tol, a.prm, a.y);
       a.ido == rkv::kIdoEvents && !dense.ended();
       dense.integrate(a.ido, a.neq, a.x, kXEnd, a.tol, a.prm, a.y)) {
    for (std::int32_t i = 0; i < dense.event_count(); ++i) {
      const rkv::EventHit& h = dense.event(i);
      std::printf("  %-16s x = %10.6f  y = %10.7f\n", names[h.index - 1], static_cast<double>(h.x),
                  static_cast<double>(h.y[0]));
    }
    a.ido = 2;
  }
  for (std::int32_t i = 0; dense.ended() && i < dense.event_count(); ++i) {
    const rkv::EventHit& h = dense.event(i);
    std::printf("  %-16s x = %10.6f  y = %10.7f\n", names[h.index - 1], static_cast<double>(h.x),
                static_cast<double>(h.y[0]));
  }
  const float steps = param::get(a.prm, param::kAcceptedSteps);
  std::printf("Ended at x = %.6f after %.0f steps and %.0f evaluations (%d extra).\n",
              static_cast<double>(a.x), static_cast<double>(steps),
              static_cast<double>(param::get(a.prm, param::kEvaluations)),
              dense.extra_evaluations());

  // Both, with the events not terminal, and without them, to x = 20.
  Run b;
  Run c;
  rkv::DenseOutput watched(b.integrator);
  rkv::Event open_events[4] = {events[0], events[1], events[2], events[3]};
  open_events[3].terminal = false;
  watched.set_events(open_events, 4);
  do {
    if (b.ido == rkv::kIdoEvents) b.ido = 2;
    watched.integrate(b.ido, b.neq, b.x, kXEnd, b.tol, b.prm, b.y);
  } while (b.ido == rkv::kIdoEvents);
  c.integrator.integrate(c.ido, c.neq, c.x, kXEnd, c.tol, c.prm, c.y);
  bool same = same_bits(b.x, c.x) && same_bits(b.y[0], c.y[0]);
  for (std::int32_t k = param::kLastStep; k <= param::kEvaluations; ++k) {
    same = same && same_bits(param::get(b.prm, k), param::get(c.prm, k));
  }
  std::printf("At x = %.1f with and without events: y = %.7f, %.0f steps, %s.\n",
              static_cast<double>(c.x), static_cast<double>(c.y[0]),
              static_cast<double>(param::get(c.prm, param::kAcceptedSteps)),
              same ? "the same steps bit for bit" : "DIFFERENT STEPS");

  for (Run* r : {&a, &b, &c}) r->ido = 3;
  dense.integrate(a.ido, a.neq, a.x, kXEnd, a.tol, a.prm, a.y);
  watched.integrate(b.ido, b.neq, b.x, kXEnd, b.tol, b.prm, b.y);
  c.integrator.integrate(c.ido, c.neq, c.x, kXEnd, c.tol, c.prm, c.y);
  return same ? 0 : 1;
}
