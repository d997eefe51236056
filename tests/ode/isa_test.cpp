// The solver's loops compiled for each vector instruction set: choosing a
// set, and whole integrations that must give the same bits whichever set
// runs. Sets the processor lacks are narrowed to the widest it has, so on a
// machine without AVX-512 the comparison covers what it can and still runs.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "solver_support.hpp"
#include "step/isa.hpp"
#include "step/isa_testing.hpp"

namespace {

using rkv::ode::Isa;
using rkv::odetest::Driver;
using rkv::odetest::LibraryLevel;
namespace param = rkv::param;

constexpr Isa kAllSets[] = {Isa::kBaseline, Isa::kAvx2, Isa::kAvx512};

std::int32_t rank(Isa isa) {
  return static_cast<std::int32_t>(isa);
}

// Restores the widest supported set after each test.
class InstructionSets : public ::testing::Test {
 protected:
  void TearDown() override { rkv::ode::select_isa_for_testing(rkv::ode::supported_isa()); }
};

TEST_F(InstructionSets, SelectionNarrowsToTheWidestSupportedSet) {
  const Isa top = rkv::ode::supported_isa();
  for (const Isa want : kAllSets) {
    const Isa got = rkv::ode::select_isa_for_testing(want);
    EXPECT_EQ(rank(got), rank(want) < rank(top) ? rank(want) : rank(top));
    EXPECT_EQ(rank(rkv::ode::active_isa()), rank(got));
  }
#if !defined(__x86_64__)
  EXPECT_EQ(rank(top), rank(Isa::kBaseline));
#endif
}

// The set is chosen at the first use, and the first uses may come from
// several threads at once (an ensemble starting its integrations): each must
// see the widest supported set, without a data race (run under tsan).
TEST_F(InstructionSets, FirstUseFromSeveralThreadsAtOnce) {
  rkv::ode::detail::g_active_isa.store(-1);
  std::vector<Isa> seen(4, Isa::kBaseline);
  std::vector<std::thread> threads;
  for (Isa& s : seen) threads.emplace_back([&s] { s = rkv::ode::active_isa(); });
  for (std::thread& t : threads) t.join();
  for (const Isa s : seen) EXPECT_EQ(rank(s), rank(rkv::ode::supported_isa()));
}

TEST_F(InstructionSets, NamesRoundTripAndUnknownNamesAreRefused) {
  for (const Isa isa : kAllSets) {
    Isa back = Isa::kBaseline;
    ASSERT_TRUE(rkv::ode::isa_from_name(rkv::ode::isa_name(isa), back));
    EXPECT_EQ(rank(back), rank(isa));
  }
  for (const char* bad : {"", "AVX2", "avx", "avx5120", "sse2"}) {
    Isa untouched = Isa::kAvx2;
    EXPECT_FALSE(rkv::ode::isa_from_name(bad, untouched)) << bad;
    EXPECT_EQ(rank(untouched), rank(Isa::kAvx2)) << bad;
  }
}

// y_i' = -y_i (1 + i mod 7) / 7 + x y_(i+1) / 4: coupled, so that a wrong
// lane shows up in its neighbour as well.
void coupled(const std::int32_t& n, const float& x, const float* y, float* yp) {
  for (std::int32_t i = 0; i < n; ++i) {
    const double yi = static_cast<double>(y[i]);
    const double next = static_cast<double>(y[(i + 1) % n]);
    yp[i] = static_cast<float>(-yi * static_cast<double>(1 + i % 7) / 7.0 +
                               0.25 * static_cast<double>(x) * next);
  }
}

struct Scenario {
  const char* name;
  std::int32_t neq;
  float xend;
  float inorm;
  float bound;  // PARAM(11)
  float tol;
};

// What an integration leaves: X, Y and PARAM(31..35), as bit patterns.
std::vector<std::uint32_t> integrate(const Scenario& c) {
  Driver d;
  d.neq = c.neq;
  d.fcn = coupled;
  d.tol = c.tol;
  d.y.resize(static_cast<std::size_t>(c.neq));
  for (std::int32_t i = 0; i < c.neq; ++i) {
    // Magnitudes on both sides of 1, so both branches of the relative
    // norms' divisor are taken in every vector.
    const float m = static_cast<float>(1 + (i * 37) % 23) / 8.0f;
    d.y[static_cast<std::size_t>(i)] = i % 3 == 0 ? -m : m;
  }
  d.set(param::kInorm, c.inorm);
  d.set(param::kFloor, c.bound);
  std::vector<std::uint32_t> out;
  {
    LibraryLevel quiet;
    // Two intervals, so that the second starts from the running maximum.
    d.call_to(c.xend * 0.5f);
    d.call_to(c.xend);
    out.push_back(static_cast<std::uint32_t>(d.ido));
    d.close();
  }
  out.push_back(std::bit_cast<std::uint32_t>(d.x));
  for (const float v : d.y) out.push_back(std::bit_cast<std::uint32_t>(v));
  for (std::int32_t k = 31; k <= 35; ++k) out.push_back(std::bit_cast<std::uint32_t>(d.get(k)));
  return out;
}

TEST_F(InstructionSets, IntegrationsGiveTheSameBitsWithEverySet) {
  const Scenario cases[] = {
      {"one equation", 1, 2.0f, 0.0f, 0.0f, 1.0e-5f},
      {"a vector and a tail", 19, 2.0f, 0.0f, 0.0f, 1.0e-5f},
      {"backwards", 37, -1.5f, 0.0f, 0.0f, 1.0e-4f},
      {"absolute norm", 64, 1.0f, 1.0f, 0.0f, 1.0e-5f},
      {"relative norm with a bound", 101, 1.0f, 2.0f, 0.5f, 1.0e-5f},
      {"Euclidean norm", 130, 1.0f, 3.0f, 0.0f, 1.0e-4f},
      {"large system", 4099, 0.5f, 0.0f, 0.0f, 1.0e-6f},
  };
  for (const Scenario& c : cases) {
    rkv::ode::select_isa_for_testing(Isa::kBaseline);
    const std::vector<std::uint32_t> want = integrate(c);
    ASSERT_EQ(want.front(), 2u) << c.name << ": the baseline run did not reach XEND";
    for (const Isa isa : {Isa::kAvx2, Isa::kAvx512}) {
      const Isa used = rkv::ode::select_isa_for_testing(isa);
      EXPECT_EQ(integrate(c), want) << c.name << " with set " << rank(used);
    }
  }
}

}  // namespace
