// The bit-for-bit comparison of solver and floor, kernels and loops, and
// the ensemble on one thread and on many.
#include "verify.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ensemble.hpp"
#include "floor.hpp"
#include "step/kernels.hpp"
#include "suite.hpp"
#include "workloads.hpp"

namespace rkv::bench {
namespace {

bool same_bits(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// y(1) to the digits that tell its format's values apart.
template <class Real>
constexpr int kDigits = sizeof(Real) == 4 ? 9 : 17;

template <class Real>
void print_compared(const char* what, const BasicOutcome<Real>& s, const BasicOutcome<Real>& f,
                    bool ok, std::size_t bad) {
  if (ok) {
    std::printf("identical  %-14s x=%.7g steps=%.0f rejected=%.0f evaluations=%.0f y(1)=%.*g\n",
                what, static_cast<double>(f.x), static_cast<double>(f.accepted),
                static_cast<double>(f.rejections), static_cast<double>(f.evaluations),
                kDigits<Real>, static_cast<double>(f.y.empty() ? Real{0} : f.y[0]));
  } else {
    std::printf(
        "MISMATCH   %-14s solver: ok=%d x=%a steps=%.0f evals=%.0f H=%a | floor: ok=%d "
        "x=%a steps=%.0f evals=%.0f H=%a | first differing y at %zu\n",
        what, s.ok, static_cast<double>(s.x), static_cast<double>(s.accepted),
        static_cast<double>(s.evaluations), static_cast<double>(s.last_step), f.ok,
        static_cast<double>(f.x), static_cast<double>(f.accepted),
        static_cast<double>(f.evaluations), static_cast<double>(f.last_step), bad);
  }
}

template <class Real>
bool compare(const char* what, const BasicOutcome<Real>& s, const BasicOutcome<Real>& f,
             bool quiet = false) {
  bool ok = s.ok && f.ok && same_bits(s.x, f.x) && same_bits(s.accepted, f.accepted) &&
            same_bits(s.evaluations, f.evaluations) && same_bits(s.last_step, f.last_step) &&
            s.y.size() == f.y.size();
  std::size_t bad = 0;
  for (std::size_t i = 0; ok && i < s.y.size(); ++i) {
    if (!same_bits(s.y[i], f.y[i])) {
      ok = false;
      bad = i;
    }
  }
  if (!quiet) print_compared(what, s, f, ok, bad);
  return ok;
}

// The four kernels against their loops on n elements.
bool kernels_match(std::int32_t n) {
  const std::size_t u = static_cast<std::size_t>(n);
  const std::vector<float> x = pattern(u, 7u);
  const std::vector<float> y0 = pattern(u, 11u);
  const float a = 0.3f;
  std::vector<float> y1 = y0;
  std::vector<float> y2 = y0;
  V1VAXPY(n, a, x.data(), kOne, y1.data(), kOne);
  loop_axpy(u, a, x.data(), y2.data());
  bool ok = std::memcmp(y1.data(), y2.data(), u * sizeof(float)) == 0;
  y1.assign(u, 0.0f);
  V1VCOPY(n, x.data(), kOne, y1.data(), kOne);
  ok = ok && std::memcmp(y1.data(), x.data(), u * sizeof(float)) == 0;
  std::vector<float> sx = x;
  y1 = y0;
  V1VSWAP(n, sx.data(), kOne, y1.data(), kOne);
  ok = ok && std::memcmp(sx.data(), y0.data(), u * sizeof(float)) == 0 &&
       std::memcmp(y1.data(), x.data(), u * sizeof(float)) == 0;
  return ok && V1MAXABS(n, x.data(), kOne) == loop_maxabs(u, x.data());
}

bool verify_kernels() {
  bool ok = true;
  for (const std::int32_t n : {1, 2, 3, 4, 5, 6, 7, 8, 13, 1000}) ok = kernels_match(n) && ok;
  std::printf("%s  kernels against plain loops (n = 1..8, 13, 1000)\n",
              ok ? "identical" : "MISMATCH ");
  return ok;
}

// The comparison itself must see a difference of one unit in the last place
// in every compared quantity, and a failed run.
bool verify_comparison() {
  Outcome a;
  a.ok = true;
  a.x = 0.4f;
  a.y = {1.0f, -2.5f, 3.0e20f};
  a.last_step = 1.0e-3f;
  a.accepted = 405.0f;
  a.evaluations = 3240.0f;
  const std::vector<void (*)(Outcome&)> changes = {
      [](Outcome& o) { o.ok = false; },
      [](Outcome& o) { o.x = std::nextafter(o.x, 1.0f); },
      [](Outcome& o) { o.y[0] = std::nextafter(o.y[0], 2.0f); },
      [](Outcome& o) { o.y[2] = std::nextafter(o.y[2], 0.0f); },
      [](Outcome& o) { o.y.pop_back(); },
      [](Outcome& o) { o.last_step = -o.last_step; },
      [](Outcome& o) { o.accepted += 1.0f; },
      [](Outcome& o) { o.evaluations -= 1.0f; },
  };
  bool ok = compare("self", a, a, true);
  for (const auto change : changes) {
    Outcome b = a;
    change(b);
    ok = ok && !compare("self", a, b, true) && !compare("self", b, a, true);
  }
  std::printf("%s  the comparison sees one-ulp and count differences\n",
              ok ? "checked  " : "BROKEN   ");
  return ok;
}

// Every member's results on all cores equal those on one thread, bit for bit.
bool verify_ensemble(const char* what, MemberFunction f, bool with_stats) {
  if (f == nullptr) return true;
  const std::vector<Member> members = ensemble_grid(kCheckSide, kCheckSide);
  const std::int32_t threads = std::max(all_cores(), 2);
  std::vector<MemberResult> one;
  std::vector<MemberResult> many;
  const std::size_t steps = run_ensemble(members, 1, f, one);
  const std::size_t steps_many = run_ensemble(members, threads, f, many);
  bool ok = steps == steps_many;
  for (std::size_t i = 0; i < members.size(); ++i) {
    ok = ok && one[i].ok && many[i].ok && same_bits(one[i].x, many[i].x) &&
         same_bits(one[i].y, many[i].y);
    for (std::size_t k = 0; with_stats && k < one[i].stats.size(); ++k) {
      ok = ok && same_bits(one[i].stats[k], many[i].stats[k]);
    }
  }
  std::printf("%s  %-14s %zu members on %d threads and on 1, steps=%zu\n",
              ok ? "identical" : "MISMATCH ", what, members.size(), threads, steps);
  return ok;
}

// The double solver against the double floor, marked "double".
bool verify_double() {
  DoubleFloor fl;
  DoubleOutcome s;
  DoubleOutcome f;
  p1_solver_double(s);
  p1_floor_double(fl, f);
  bool ok = compare("P1 double", s, f);
  for (const std::int32_t n : kP2Sizes) {
    p2_solver_double(n, s);
    p2_floor_double(fl, n, f);
    ok = compare(sized("P2 NEQ=", n).append(" double").c_str(), s, f) && ok;
  }
  return ok;
}

}  // namespace

bool verify(BytesPerStep& p2_bytes) {
  bool ok = verify_comparison();
  Floor fl;
  Outcome s;
  Outcome f;
  p1_solver(s);
  p1_floor(fl, f);
  ok = compare("P1", s, f) && ok;
  for (const std::int32_t n : kP2Sizes) {
    p2_solver(n, s);
    p2_floor(fl, n, f);
    ok = compare(sized("P2 NEQ=", n).c_str(), s, f) && ok;
    p2_bytes[n] = floor_bytes_per_step(n, f);
  }
  ok = verify_double() && ok;
  ok = verify_kernels() && ok;
  ok = verify_ensemble("ensemble", kSolverMember, true) && ok;
  ok = verify_ensemble("ensemble peer", kPeerMember, false) && ok;
  return ok;
}

}  // namespace rkv::bench
