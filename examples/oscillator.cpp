// Example: drives IVPRK's status protocol by hand on the harmonic oscillator
// y1' = y2, y2' = -y1, with both pauses switched on. Before every step the
// solver returns IDO = 4 and is told to go on; after every attempt it returns
// 5 (the attempt passed the error test) or 6 (it failed); the first passing
// attempt is vetoed by answering 6, every other answer is the solver's own.
// Prints each output point with the bit patterns of X and Y.
#include <bit>
#include <cstdint>
#include <cstdio>

#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/param.hpp"

namespace {

void oscillator(const std::int32_t& /*neq*/, const float& /*x*/, const float* y, float* yprime) {
  yprime[0] = y[1];
  yprime[1] = -y[0];
}

unsigned bits(float v) {
  return std::bit_cast<std::uint32_t>(v);
}

}  // namespace

int main() {
  std::int32_t ido = 1;
  const std::int32_t neq = 2;
  float x = 0.0f;
  float y[2] = {1.0f, 0.0f};
  const float tol = 1.0e-5f;
  float param[rkv::param::kSize] = {};
  rkv::param::set(param, rkv::param::kPauseBefore, 1.0f);
  rkv::param::set(param, rkv::param::kPauseAfter, 1.0f);

  int pauses_before = 0, passed = 0, failed = 0, vetoed = 0;
  for (int k = 1; k <= 4; ++k) {
    const float xend = 0.25f * static_cast<float>(k);
    for (;;) {
      rkv::IVPRK(ido, neq, oscillator, x, xend, tol, param, y);
      if (ido == 4) {
        ++pauses_before;  // answer 4: take the step
      } else if (ido == 5) {
        ++passed;
        if (vetoed == 0) {
          ++vetoed;
          ido = 6;  // reject an attempt the solver would have accepted
        }
      } else if (ido == 6) {
        ++failed;
      } else {
        break;  // 2: XEND reached (or an error, which the library reports)
      }
    }
    std::printf("x = %-8.6g y1 = %-15.9g y2 = %-15.9g  [%08x %08x %08x]\n", static_cast<double>(x),
                static_cast<double>(y[0]), static_cast<double>(y[1]), bits(x), bits(y[0]),
                bits(y[1]));
  }
  ido = 3;
  rkv::IVPRK(ido, neq, oscillator, x, x, tol, param, y);
  std::printf("accepted steps %.0f, evaluations %.0f, pauses before a step %d\n",
              static_cast<double>(rkv::param::get(param, rkv::param::kAcceptedSteps)),
              static_cast<double>(rkv::param::get(param, rkv::param::kEvaluations)), pauses_before);
  std::printf("attempts that passed %d (vetoed %d), that failed %d\n", passed, vetoed, failed);
  return 0;
}
