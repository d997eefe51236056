// rkv_lanes_bench: ensembles in lanes against today's scalar Integrator
// ensemble, time per accepted member-step, on one core and on all cores,
// for each instruction set the processor offers, float and double; every
// member's Y, X and PARAM(31..35) compared bit for bit with its scalar run.
//
//   rkv_lanes_bench [--members N] [--xend X] [--repeat R] [--verify-only]
//                   [--only TEXT]   (the rows whose "workload/real/set" contain TEXT)
//
// Workloads: Lorenz (rho from 20 to 30 over the members, x from 0 to XEND,
// TOL 1e-6) with HMAX binding (0.002) and with the controller free (HMAX
// 2), and the trajectory model's ENERGY x BCOEF grid (float, HMAX 0.001,
// y from 10, x from 0 to XEND/5), the scalar runs on the program's own
// right-hand side. Prints a Markdown table; exits 1 when a bit differs.
// "vector work alone" is the lanes' time per member-step without step-size
// control (lanes_floor.hpp), one core; "bound" is scalar time over it, the
// speed-up that lanes with a controller costing nothing would reach. Above
// the table, the most arithmetic one core does on each set's registers, for
// what the vector work alone is measured against.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "ensemble.hpp"
#include "lanes_floor.hpp"
#include "lanes_models.hpp"
#include "model.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/lane_ensemble.hpp"
#include "rkv/ode/param.hpp"
#include "step/isa.hpp"
#include "step/isa_testing.hpp"

namespace {

using rkv::ode::Isa;

enum class Model { kLorenz, kTrajectory };

struct Options {
  std::int32_t members = 4096;
  double xend = 10.0;
  std::int32_t repeat = 1;
  bool verify_only = false;
  std::string only;  // rows whose "workload/real/set" contains this, all when empty
};

template <class Real>
struct Ensemble {
  Model model;
  rkv::LaneProblem<Real> p;
  std::vector<Real> x0, xend, y0, par, prm;
  std::vector<rkv::app::TrajData> data;  // the trajectory members' records
};

template <class Real>
Ensemble<Real> make(Model model, std::int32_t members, double xend, double hmax) {
  Ensemble<Real> e;
  e.model = model;
  e.prm.assign(rkv::param::kSize, Real(0));
  e.prm[rkv::param::kHmax - 1] = static_cast<Real>(hmax);
  e.prm[rkv::param::kMaxSteps - 1] = Real(1e7);
  std::int32_t neq = 3;
  std::int32_t npar = 1;
  if (model == Model::kLorenz) {
    for (std::int32_t m = 0; m < members; ++m) {
      e.y0.insert(e.y0.end(), {Real(1), Real(1), Real(1)});
      e.par.push_back(static_cast<Real>(20.0 + 10.0 * m / std::max(1, members - 1)));
    }
  } else {
    const auto side = static_cast<std::int32_t>(std::sqrt(static_cast<double>(members)));
    for (const rkv::bench::Member& mb : rkv::bench::ensemble_grid(side, side)) {
      e.data.push_back(mb.data);
      e.y0.push_back(static_cast<Real>(mb.y0));
      e.par.insert(e.par.end(),
                   {static_cast<Real>(mb.data.ENERGY), static_cast<Real>(mb.data.BCOEF), Real(0)});
    }
    members = side * side;
    neq = 1;
    npar = 3;
  }
  e.x0.assign(static_cast<std::size_t>(members), Real(0));
  e.xend.assign(static_cast<std::size_t>(members), static_cast<Real>(xend));
  e.p = {members,     neq,          npar,       e.x0.data(),  e.xend.data(),
         e.y0.data(), e.par.data(), Real(1e-6), e.prm.data(), 0};
  return e;
}

// What a member leaves: Y, X, PARAM(31..35), as in the lanes' results.
template <class Real>
struct Outcome {
  std::vector<Real> y, x, stats;
  explicit Outcome(const rkv::LaneProblem<Real>& p)
      : y(static_cast<std::size_t>(p.members * p.neq)),
        x(static_cast<std::size_t>(p.members)),
        stats(static_cast<std::size_t>(p.members) * 5) {}
};

template <class Real>
void scalar_member(const Ensemble<Real>& e, std::size_t m, Outcome<Real>& out) {
  const std::size_t n = static_cast<std::size_t>(e.p.neq);
  std::array<Real, rkv::param::kSize> prm{};
  std::copy(e.prm.begin(), e.prm.end(), prm.begin());
  // Y in an array of the member's own: neighbouring members' Y share cache
  // lines, and the integrator works in its caller's Y, so that two threads
  // stepping neighbours in out.y would spend their time trading the line.
  std::vector<Real> ys(&e.y0[m * n], &e.y0[m * n] + n);
  Real* y = ys.data();
  Real x = e.x0[m];
  std::int32_t ido = 1;
  const auto run = [&](rkv::BasicIntegrator<Real>& it) {
    it.integrate(ido, e.p.neq, x, e.xend[m], e.p.tol, prm.data(), y);
    ido = 3;
    it.integrate(ido, e.p.neq, x, e.xend[m], e.p.tol, prm.data(), y);
  };
  if constexpr (std::is_same_v<Real, float>) {
    if (e.model == Model::kTrajectory) {
      rkv::app::TrajData data = e.data[m];
      rkv::Integrator it(rkv::app::RHSTRAJ, &data);
      run(it);
    }
  }
  if (e.model == Model::kLorenz) {
    const rkv::bench::LorenzLanes f;
    Real rho = e.par[m];
    rkv::BasicIntegrator<Real> it(rkv::member_rhs<Real>(f, &rho));
    run(it);
  }
  std::copy(ys.begin(), ys.end(), &out.y[m * n]);
  out.x[m] = x;
  std::copy_n(&prm[rkv::param::kLastStep - 1], 5, &out.stats[m * 5]);
}

template <class Real>
void scalar_run(const Ensemble<Real>& e, std::int32_t threads, Outcome<Real>& out) {
  std::atomic<std::int32_t> next{0};
  const auto worker = [&] {
    for (std::int32_t m; (m = next.fetch_add(1)) < e.p.members;) {
      scalar_member(e, static_cast<std::size_t>(m), out);
    }
  };
  std::vector<std::thread> pool;
  for (std::int32_t t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (std::thread& t : pool) t.join();
}

template <class Real>
void lane_run(const Ensemble<Real>& e, std::int32_t threads, Outcome<Real>& out) {
  const rkv::LaneResults<Real> r{out.y.data(), out.x.data(), out.stats.data()};
  if constexpr (std::is_same_v<Real, float>) {
    if (e.model == Model::kTrajectory) {
      rkv::integrate_lanes(e.p, rkv::bench::TrajectoryLanes{}, r, threads);
      return;
    }
  }
  rkv::integrate_lanes(e.p, rkv::bench::LorenzLanes{}, r, threads);
}

// Nanoseconds per member-step of the lanes' vector work alone, the members
// taking the scalar runs' mean number of steps with the mean step.
template <class Real>
double vector_work_ns(const Ensemble<Real>& e, Isa isa, double steps) {
  const auto passes =
      std::max<std::int32_t>(1, static_cast<std::int32_t>(std::lround(steps / e.p.members)));
  const double step = static_cast<double>(e.xend[0] - e.x0[0]) / passes;
  const std::int32_t w = rkv::kLaneWidths[static_cast<int>(isa)];
  const double lane_steps = static_cast<double>((e.p.members + w - 1) / w) * w * passes;
  static const rkv::bench::LorenzLanes lorenz{};
  static const rkv::bench::TrajectoryLanes trajectory{};
  double seconds = 0.0;
  if constexpr (std::is_same_v<Real, float>) {
    if (e.model == Model::kTrajectory) {
      seconds = rkv::bench::lane_vector_work(e.p, rkv::bench::lane_rhs_of<Real>(trajectory), isa,
                                             step, passes);
    }
  }
  if (e.model == Model::kLorenz) {
    seconds =
        rkv::bench::lane_vector_work(e.p, rkv::bench::lane_rhs_of<Real>(lorenz), isa, step, passes);
  }
  return seconds * 1e9 / lane_steps;
}

// Seconds of the processor's time (all threads) and of the wall clock.
struct Seconds {
  double cpu = 1e300;
  double wall = 1e300;
};

double cpu_now() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// The best of `repeat` runs, each clock on its own.
template <class Run>
Seconds timed(int repeat, Run run) {
  Seconds best;
  for (int i = 0; i < repeat; ++i) {
    const double c0 = cpu_now();
    const auto t0 = std::chrono::steady_clock::now();
    run();
    const auto t1 = std::chrono::steady_clock::now();
    best.cpu = std::min(best.cpu, cpu_now() - c0);
    best.wall = std::min(best.wall, std::chrono::duration<double>(t1 - t0).count());
  }
  return best;
}

// Whether the bits agree; the first difference goes to standard error.
template <class Real>
bool same_bits(const Outcome<Real>& a, const Outcome<Real>& b) {
  const auto eq = [](const char* what, const std::vector<Real>& u, const std::vector<Real>& v) {
    for (std::size_t i = 0; i < u.size(); ++i) {
      if (std::memcmp(&u[i], &v[i], sizeof(Real)) != 0) {
        std::fprintf(stderr, "%s[%zu]: scalar %.17g, lanes %.17g\n", what, i,
                     static_cast<double>(u[i]), static_cast<double>(v[i]));
        return false;
      }
    }
    return true;
  };
  return eq("y", a.y, b.y) && eq("x", a.x, b.x) && eq("PARAM(31..35)", a.stats, b.stats);
}

template <class Real>
double member_steps(const Outcome<Real>& o) {
  double s = 0.0;
  for (std::size_t m = 3; m < o.stats.size(); m += 5) s += static_cast<double>(o.stats[m]);
  return s;
}

// One row: the workload on one set, one core and all cores. Returns
// whether every member's bits agreed.
template <class Real>
bool row(const char* name, const Ensemble<Real>& e, Isa isa, const Options& o) {
  const std::string key = std::string(name) + "/" + (sizeof(Real) == 4 ? "float" : "double") + "/" +
                          std::string(rkv::ode::isa_name(isa));
  if (key.find(o.only) == std::string::npos) return true;
  rkv::ode::select_isa_for_testing(isa);
  const auto all = static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  Outcome<Real> scalar(e.p);
  Outcome<Real> lanes(e.p);
  bool same = true;
  // Scalar and lanes on one core (processor time: the machine may be
  // shared), then on all cores (wall time).
  std::array<Seconds, 4> t{};
  const std::array<std::int32_t, 2> counts{1, all};
  for (std::size_t c = 0; c < (o.verify_only ? 1u : 2u); ++c) {
    t[2 * c] = timed(o.repeat, [&] { scalar_run(e, counts[c], scalar); });
    t[2 * c + 1] = timed(o.repeat, [&] { lane_run(e, counts[c], lanes); });
    same = same && same_bits(scalar, lanes);
  }
  const double steps = member_steps(scalar);
  const auto ns = [steps](double s) { return s * 1e9 / steps; };
  double floor = 1e300;
  for (int i = 0; i < o.repeat && !o.verify_only; ++i) {
    floor = std::min(floor, vector_work_ns(e, isa, steps));
  }
  char work[64] = "- | -";
  if (!o.verify_only) std::snprintf(work, sizeof work, "%.1f | %.2f", floor, ns(t[0].cpu) / floor);
  std::printf("| %s | %s | %s | %.0f | %.1f | %.1f | %.2f | %.1f | %.1f | %.2f | %s | %s |\n", name,
              sizeof(Real) == 4 ? "float" : "double", std::string(rkv::ode::isa_name(isa)).c_str(),
              steps, ns(t[0].cpu), ns(t[1].cpu), t[0].cpu / t[1].cpu, ns(t[2].wall), ns(t[3].wall),
              t[2].wall / t[3].wall, work, same ? "equal" : "DIFFER");
  std::fflush(stdout);
  return same;
}

template <class Real>
bool rows(const Options& o) {
  bool ok = true;
  const Ensemble<Real> hmax = make<Real>(Model::kLorenz, o.members, o.xend, 0.002);
  const Ensemble<Real> free = make<Real>(Model::kLorenz, o.members, o.xend, 2.0);
  for (const Isa isa : {Isa::kBaseline, Isa::kAvx2, Isa::kAvx512}) {
    if (static_cast<int>(isa) > static_cast<int>(rkv::ode::supported_isa())) continue;
    ok = row("Lorenz, HMAX binding", hmax, isa, o) && ok;
    ok = row("Lorenz, controller free", free, isa, o) && ok;
    if constexpr (std::is_same_v<Real, float>) {
      const Ensemble<Real> traj = make<Real>(Model::kTrajectory, o.members, o.xend / 5.0, 0.001);
      ok = row("trajectory ENERGY x BCOEF", traj, isa, o) && ok;
    }
  }
  return ok;
}

constexpr const char* kUsage =
    "usage: rkv_lanes_bench [--members N] [--xend X] [--repeat R] [--verify-only] "
    "[--only TEXT]\n";

// A count from 1 to INT32_MAX, written out in full.
bool count_of(const char* text, std::int32_t& out) {
  char* end = nullptr;
  const long long v = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || v < 1 || v > INT32_MAX) return false;
  out = static_cast<std::int32_t>(v);
  return true;
}

// The options, or false for an argument not understood: an unknown flag, a
// flag without its value, a count below 1, an XEND not positive and finite
// (no member-steps to divide by).
bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--verify-only") {
      o.verify_only = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* v = argv[++i];
    if (a == "--only") {
      o.only = v;
    } else if (a == "--members" || a == "--repeat") {
      if (!count_of(v, a == "--members" ? o.members : o.repeat)) return false;
    } else if (a == "--xend") {
      char* end = nullptr;
      o.xend = std::strtod(v, &end);
      if (end == v || *end != '\0' || !(o.xend > 0.0) || !std::isfinite(o.xend)) return false;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!parse(argc, argv, o)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::printf(
      "%d members, x from 0 to %g (trajectory %g), best of %d; ns per accepted member-step, "
      "processor time on one core, wall time on all %u\n\n",
      o.members, o.xend, o.xend / 5.0, o.repeat, std::thread::hardware_concurrency());
  if (!o.verify_only) {
    std::printf("one core's arithmetic at most (double additions and multiplications per ns):");
    for (const Isa isa : {Isa::kBaseline, Isa::kAvx2, Isa::kAvx512}) {
      if (static_cast<int>(isa) > static_cast<int>(rkv::ode::supported_isa())) continue;
      std::printf(" %s %.1f", std::string(rkv::ode::isa_name(isa)).c_str(),
                  rkv::bench::peak_operations_per_ns(isa));
    }
    std::printf("\n\n");
  }
  std::printf(
      "| workload | real | set | member-steps | scalar, 1 core | lanes, 1 core | speed-up | "
      "scalar, all | lanes, all | speed-up | vector work alone | bound | bits |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  const bool float_ok = rows<float>(o);
  const bool double_ok = rows<double>(o);
  const bool ok = float_ok && double_ok;
  return ok ? 0 : 1;
}
