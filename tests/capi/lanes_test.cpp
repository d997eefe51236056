// The ensemble in lanes from C: a block function written as C writes it
// (flat arrays, a loop over the lanes) gives every member the results of
// the C++ interface, which its own tests hold to the scalar runs; the
// active mask marks the lanes that hold a member; bad arguments are refused.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "rkv/lanes.h"
#include "rkv/ode/lane_ensemble.hpp"

namespace {

// Written by the block functions of every worker thread at once.
template <class Real>
struct Counts {
  std::atomic<std::int32_t> calls{0};
  std::atomic<bool> mask_agrees{true};
};

// Lorenz with rho = p[0], as a C block function.
template <class Real>
void lorenz_block(void* context, std::int32_t width, std::int32_t, const Real*, const Real* y,
                  Real* yp, std::int32_t, Real* p, const std::int32_t* member,
                  const std::int32_t* active) {
  auto& c = *static_cast<Counts<Real>*>(context);
  c.calls.fetch_add(1, std::memory_order_relaxed);
  for (std::int32_t l = 0; l < width; ++l) {
    if ((active[l] == 1) != (member[l] >= 0)) c.mask_agrees.store(false);
    const Real y0 = y[l];
    const Real y1 = y[width + l];
    const Real y2 = y[2 * width + l];
    yp[l] = Real(10) * (y1 - y0);
    yp[width + l] = y0 * (p[l] - y2) - y1;
    yp[2 * width + l] = y0 * y1 - Real(8) / Real(3) * y2;
  }
}

struct Lorenz {
  template <class T>
  void operator()(const std::int32_t&, const T&, const T* y, T* yp, T* p) const {
    using R = typename rkv::LaneTraits<T>::value_type;
    yp[0] = R(10) * (y[1] - y[0]);
    yp[1] = y[0] * (p[0] - y[2]) - y[1];
    yp[2] = y[0] * y[1] - R(8) / R(3) * y[2];
  }
};

template <class Real, class CProblem, class CResults, class Integrate>
void check(Integrate integrate) {
  const std::int32_t n = 45;
  std::vector<Real> x0(n, Real(0)), xend(n), y0, rho;
  for (std::int32_t m = 0; m < n; ++m) {
    xend[static_cast<std::size_t>(m)] = static_cast<Real>(0.3 + 0.1 * (m % 6));
    y0.insert(y0.end(), {Real(1), static_cast<Real>(m), Real(1)});
    rho.push_back(static_cast<Real>(20 + m % 10));
  }
  const CProblem cp{n, 3, 1, x0.data(), xend.data(), y0.data(), rho.data(), Real(1e-6), nullptr, 0};
  std::vector<Real> yc(3 * n), xc(n), sc(5 * n), ycpp(3 * n), xcpp(n), scpp(5 * n);
  const CResults cr{yc.data(), xc.data(), sc.data(), nullptr, nullptr};
  Counts<Real> counts;
  EXPECT_EQ(integrate(&cp, &lorenz_block<Real>, &counts, 2, &cr), 0);
  EXPECT_GT(counts.calls.load(), 0);
  EXPECT_TRUE(counts.mask_agrees.load());
  const rkv::LaneProblem<Real> p{n,           3,         1,          x0.data(),
                                 xend.data(), y0.data(), rho.data(), Real(1e-6)};
  rkv::integrate_lanes(p, Lorenz{}, rkv::LaneResults<Real>{ycpp.data(), xcpp.data(), scpp.data()});
  EXPECT_EQ(yc, ycpp);
  EXPECT_EQ(xc, xcpp);
  EXPECT_EQ(sc, scpp);
  EXPECT_EQ(integrate(nullptr, &lorenz_block<Real>, &counts, 1, &cr), -1);
  EXPECT_EQ(integrate(&cp, nullptr, &counts, 1, &cr), -1);
  const CResults none{nullptr, nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(integrate(&cp, &lorenz_block<Real>, &counts, 1, &none), -1);
}

TEST(CLanes, BlockFunctionsGiveTheMembersTheirBits) {
  check<float, rkv_lanes_problem, rkv_lanes_results>(rkv_lanes_integrate);
  check<double, rkv_dlanes_problem, rkv_dlanes_results>(rkv_dlanes_integrate);
}

}  // namespace
