// Example: an ensemble of the trajectory model, the same equation over a grid
// of ENERGY and BCOEF values, integrated on several threads. Each member runs
// through its own rkv::Integrator, whose right-hand side is a lambda that
// carries the member's record (a TrajData) as its context, with the step
// limit lifted; the members share nothing, so any number of them can run at
// once. Each member is integrated as the trajectory program integrates its one
// trajectory: from y = 10 in output intervals of 0.1 until x reaches 20 or y
// leaves (-10.1, 10.1).
//
//   ensemble [threads]        (default: every core)
//
// Prints the thread count, then one line per member in grid order and a
// total; those lines are the same bits whatever the number of threads.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "model.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/param.hpp"

namespace {

using rkv::app::TrajData;

constexpr int kEnergies = 4;
constexpr int kBcoefs = 4;
constexpr float kOutputStep = 0.1f;

struct Member {
  TrajData data;       // the member's parameters, its right-hand side's context
  float x = 0.0f;      // the point reached
  float y = 10.0f;     // the solution there
  float steps = 0.0f;  // PARAM(34) and PARAM(35)
  float evaluations = 0.0f;
  bool ok = false;  // every call ended with IDO = 2
};

void integrate_member(Member& m) {
  TrajData data = m.data;  // RHSTRAJ sets OUTWARD in it at the turning point
  rkv::Integrator it([&data](const std::int32_t& neq, const float& x, const float* y,
                             float* yprime) { rkv::app::RHSTRAJ(&data, neq, x, y, yprime); });
  float param[rkv::param::kSize] = {};
  rkv::param::set(param, rkv::param::kHmax, 0.001f);
  rkv::param::set(param, rkv::param::kMaxSteps, 1.0e7f);  // the step limit lifted
  const std::int32_t neq = 1;
  const float tol = 1.0e-6f;
  std::int32_t ido = 1;
  float x = 0.0f;
  float y = m.y;
  m.ok = true;
  while (x < 20.0f && y > -10.1f) {
    float xstart = x;
    x = static_cast<float>(static_cast<double>(x) + static_cast<double>(kOutputStep));
    it.integrate(ido, neq, xstart, x, tol, param, &y);
    if (ido != 2) {
      m.ok = false;
      break;
    }
    if (!(y < 10.1f)) break;
  }
  m.x = x;
  m.y = y;
  m.steps = rkv::param::get(param, rkv::param::kAcceptedSteps);
  m.evaluations = rkv::param::get(param, rkv::param::kEvaluations);
  ido = 3;  // releases what the integration holds
  it.integrate(ido, neq, x, x, tol, param, &y);
}

}  // namespace

int main(int argc, char** argv) {
  int threads = static_cast<int>(std::thread::hardware_concurrency());
  if (argc >= 2) threads = std::atoi(argv[1]);
  if (threads < 1) threads = 1;

  // ENERGY from half the program's value upward, BCOEF from 0.
  std::vector<Member> members;
  const double e0 = static_cast<double>(rkv::app::initial_trajdata().ENERGY);
  for (int i = 0; i < kEnergies; ++i) {
    for (int j = 0; j < kBcoefs; ++j) {
      Member m;
      m.data = rkv::app::initial_trajdata();
      m.data.ENERGY = static_cast<float>(e0 * (0.5 + 0.25 * i));
      m.data.BCOEF = static_cast<float>(0.25 * j);
      members.push_back(m);
    }
  }

  // Each thread takes the next member nobody has taken yet.
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&] {
      for (std::size_t i = next++; i < members.size(); i = next++) integrate_member(members[i]);
    });
  }
  for (std::thread& t : pool) t.join();

  std::printf("%zu members on %d thread%s\n", members.size(), threads, threads == 1 ? "" : "s");
  std::printf("  ENERGY   BCOEF       X        Y    steps   evaluations\n");
  double steps = 0.0;
  int failed = 0;
  for (const Member& m : members) {
    std::printf("%8.4f %7.3f %7.2f %8.4f %8.0f %13.0f%s\n", static_cast<double>(m.data.ENERGY),
                static_cast<double>(m.data.BCOEF), static_cast<double>(m.x),
                static_cast<double>(m.y), static_cast<double>(m.steps),
                static_cast<double>(m.evaluations), m.ok ? "" : "  FAILED");
    steps += static_cast<double>(m.steps);
    failed += m.ok ? 0 : 1;
  }
  std::printf("total %.0f accepted steps, %d failed\n", steps, failed);
  return failed == 0 ? 0 : 1;
}
