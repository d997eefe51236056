// The benchmarked integrations in double: through a DoubleIntegrator and
// through the double floor, with the same settings as the float runs.
#include <array>
#include <cmath>
#include <cstddef>

#include "model.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/param.hpp"
#include "workloads.hpp"

namespace rkv::bench {
namespace {

// The trajectory model's record, widened once (exactly).
struct DoubleRecord {
  double r0, depth, width, energy, bcoef, mu;
  bool outward;
};

DoubleRecord record;

DoubleRecord widened_record() {
  const app::TrajData t = app::initial_trajdata();
  return DoubleRecord{t.R0, t.DEPTH, t.WIDTH, t.ENERGY, t.BCOEF, t.MU, (t.OUTWARD & 1) != 0};
}

// The trajectory model carried in double throughout, with the float
// model's branches: outside the allowed region the derivative is 10, and a
// derivative below 0.01 in magnitude turns the root positive.
void p1_rhs_double(const std::int32_t& /*neq*/, const double& /*x*/, const double* y,
                   double* yprime) {
  const DoubleRecord& r = record;
  const double d = y[0] - r.r0;
  const double v = r.depth * (std::exp(-(2.0 * d / r.width)) - 2.0 * std::exp(-(d / r.width)));
  const double inverse_square = r.bcoef * r.energy * r.bcoef / y[0] / y[0];
  const double k = r.energy - (v + inverse_square);
  if (k > 0.0) {
    const double s = std::sqrt(2.0 * r.mu * k);
    yprime[0] = r.outward ? s : -s;
  } else {
    yprime[0] = static_cast<double>(app::kOutsideDerivative);
  }
  if (std::fabs(yprime[0]) < static_cast<double>(app::kTurningThreshold)) record.outward = true;
}

constexpr double kTolDouble = 1.0e-6;
constexpr double kP1HmaxDouble = 0.001;

double next_output(double x) {
  return x + 0.1;
}

void statistics(const std::array<double, param::kSize>& prm, DoubleOutcome& out) {
  out.last_step = param::get(prm.data(), param::kLastStep);
  out.accepted = param::get(prm.data(), param::kAcceptedSteps);
  out.evaluations = param::get(prm.data(), param::kEvaluations);
}

void statistics(const DoubleFloor& fl, DoubleOutcome& out) {
  out.last_step = fl.last_step();
  out.accepted = static_cast<double>(fl.accepted());
  out.evaluations = static_cast<double>(fl.evaluations());
  out.rejections = static_cast<double>(fl.rejections());
}

}  // namespace

void p1_solver_double(DoubleOutcome& out) {
  record = widened_record();
  static DoubleIntegrator solver(p1_rhs_double);  // its workspace kept across runs
  std::array<double, param::kSize> prm{};
  param::set(prm.data(), param::kHmax, kP1HmaxDouble);
  param::set(prm.data(), param::kMaxSteps, 0.5);  // no step limit
  out.y.assign(1, 10.0);
  double x = 0.0;
  std::int32_t ido = 1;
  const std::int32_t neq = 1;
  out.ok = true;
  for (std::int32_t k = 0; k < kP1Intervals; ++k) {
    const double xend = next_output(x);
    solver.integrate(ido, neq, x, xend, kTolDouble, prm.data(), out.y.data());
    if (ido != 2 || x != xend) out.ok = false;
  }
  out.x = x;
  statistics(prm, out);
  ido = 3;
  solver.integrate(ido, neq, x, x, kTolDouble, prm.data(), out.y.data());
}

void p1_floor_double(DoubleFloor& fl, DoubleOutcome& out) {
  record = widened_record();
  out.y.assign(1, 10.0);
  double x = 0.0;
  fl.start(1, out.y.data(), kP1HmaxDouble, kTolDouble);
  out.ok = true;
  for (std::int32_t k = 0; k < kP1Intervals; ++k) {
    const double xend = next_output(x);
    if (!fl.advance(p1_rhs_double, x, xend, kTolDouble, out.y.data())) out.ok = false;
  }
  out.x = x;
  statistics(fl, out);
}

void p2_solver_double(std::int32_t neq, DoubleOutcome& out) {
  static DoubleIntegrator solver(p2_rhs_double);
  std::array<double, param::kSize> prm{};
  out.y.assign(static_cast<std::size_t>(neq), static_cast<double>(kP2Start));
  double x = 0.0;
  const double xend = static_cast<double>(p2_xend(neq));
  std::int32_t ido = 1;
  solver.integrate(ido, neq, x, xend, kTolDouble, prm.data(), out.y.data());
  out.ok = ido == 2 && x == xend;
  out.x = x;
  statistics(prm, out);
  ido = 3;
  solver.integrate(ido, neq, x, xend, kTolDouble, prm.data(), out.y.data());
}

void p2_floor_double(DoubleFloor& fl, std::int32_t neq, DoubleOutcome& out) {
  out.y.assign(static_cast<std::size_t>(neq), static_cast<double>(kP2Start));
  double x = 0.0;
  fl.start(neq, out.y.data(), 2.0, kTolDouble);
  out.ok =
      fl.advance(p2_rhs_double, x, static_cast<double>(p2_xend(neq)), kTolDouble, out.y.data());
  out.x = x;
  statistics(fl, out);
}

}  // namespace rkv::bench
