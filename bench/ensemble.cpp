// The ensemble workload and its threaded driver, and the solver's member
// through an integrator object of its own.
#include "ensemble.hpp"

#include <atomic>
#include <thread>

#include "rkv/ode/integrator.hpp"
#include "rkv/ode/param.hpp"
#include "trajectory.hpp"

namespace rkv::bench {
namespace {

// The trajectory program's own loop constants.
using app::kHighYLimit;
using app::kLowYLimit;
using app::kOutputStep;
using app::kTolerance;
using app::kXLimit;

std::size_t solver_member(const Member& m, MemberResult& out) {
  app::TrajData data = m.data;
  Integrator it(app::RHSTRAJ, &data);
  std::array<float, param::kSize> prm{};
  param::set(prm.data(), param::kHmax, kEnsembleHmax);
  param::set(prm.data(), param::kMaxSteps, kEnsembleStepLimit);
  float x = 0.0f;
  float y = m.y0;
  std::int32_t ido = 1;
  const std::int32_t neq = 1;
  const float tol = kTolerance;
  out.ok = true;
  while (member_goes_on(x, y)) {
    float xstart = x;
    x = next_member_output(x);
    it.integrate(ido, neq, xstart, x, tol, prm.data(), &y);
    if (ido != 2 || xstart != x) {
      out.ok = false;
      break;
    }
    if (!member_below_top(y)) break;
  }
  out.x = x;
  out.y = y;
  for (std::size_t k = 0; k < out.stats.size(); ++k) {
    out.stats[k] = param::get(prm.data(), param::kLastStep + static_cast<std::int32_t>(k));
  }
  out.accepted = param::get(prm.data(), param::kAcceptedSteps);
  ido = 3;
  it.integrate(ido, neq, x, x, tol, prm.data(), &y);
  return static_cast<std::size_t>(out.accepted);
}

}  // namespace

const MemberFunction kSolverMember = solver_member;

std::vector<Member> ensemble_grid(std::int32_t energies, std::int32_t bcoefs) {
  std::vector<Member> members;
  const double e0 = static_cast<double>(app::initial_trajdata().ENERGY);
  for (std::int32_t i = 0; i < energies; ++i) {
    for (std::int32_t j = 0; j < bcoefs; ++j) {
      Member m;
      m.data = app::initial_trajdata();
      m.data.ENERGY = static_cast<float>(e0 * (0.5 + 0.25 * static_cast<double>(i)));
      m.data.BCOEF = static_cast<float>(0.25 * static_cast<double>(j));
      members.push_back(m);
    }
  }
  return members;
}

bool member_goes_on(float x, float y) {
  return x < kXLimit && y > kLowYLimit;  // false on a NaN y too
}

bool member_below_top(float y) {
  return y < kHighYLimit;
}

float next_member_output(float x) {
  return static_cast<float>(static_cast<double>(x) + static_cast<double>(kOutputStep));
}

std::size_t run_ensemble(const std::vector<Member>& members, std::int32_t threads, MemberFunction f,
                         std::vector<MemberResult>& results) {
  results.assign(members.size(), MemberResult{});
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> steps{0};
  auto worker = [&] {
    std::size_t mine = 0;
    for (std::size_t i = next.fetch_add(1); i < members.size(); i = next.fetch_add(1)) {
      mine += f(members[i], results[i]);
    }
    steps.fetch_add(mine);
  };
  std::vector<std::thread> pool;
  for (std::int32_t t = 0; t < threads; ++t) pool.emplace_back(worker);
  for (std::thread& t : pool) t.join();
  return steps.load();
}

}  // namespace rkv::bench
