// Example: keeping control after an error. The stops (and the printing) of
// every error type are turned off, so that the step limit does not end the
// program: IVPRK returns, the program reads the type of the error with
// N1RTY(1) and its text with GETERRTEXT, shows them in its own words, and
// goes on with a raised limit: IDO = 3 closes the integration, a new PARAM
// is set, and IDO = 1 starts again from the last accepted point.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>

#include "rkv/errors/control.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/param.hpp"

namespace {

void decay(const std::int32_t& /*neq*/, const float& /*x*/, const float* y, float* yprime) {
  yprime[0] = -y[0];
}

unsigned bits(float v) {
  return std::bit_cast<std::uint32_t>(v);
}

}  // namespace

int main() {
  rkv::SETERRATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff);

  std::int32_t ido = 1;
  const std::int32_t neq = 1;
  float x = 0.0f;
  const float xend = 1.0f;
  float y[1] = {1.0f};
  const float tol = 1.0e-5f;
  float param[rkv::param::kSize] = {};
  rkv::param::set(param, rkv::param::kHmax, 0.001f);  // at least 1000 steps to XEND
  rkv::param::set(param, rkv::param::kMaxSteps, 300.0f);

  rkv::IVPRK(ido, neq, decay, x, xend, tol, param, y);
  const std::int32_t last_call = 1;
  const std::int32_t type = rkv::N1RTY(last_call);
  std::printf("error type %d, IDO = %d, x = %-8.6g y = %-12.9g [%08x %08x]\n", type, ido,
              static_cast<double>(x), static_cast<double>(y[0]), bits(x), bits(y[0]));
  std::printf("message: %s\n", std::string(rkv::GETERRTEXT()).c_str());

  if (type == rkv::kFatal) {
    ido = 3;  // close, then start again where the integration stopped
    rkv::IVPRK(ido, neq, decay, x, xend, tol, param, y);
    rkv::param::set(param, rkv::param::kMaxSteps, 2000.0f);
    ido = 1;
    rkv::IVPRK(ido, neq, decay, x, xend, tol, param, y);
  }
  std::printf("error type %d, IDO = %d, x = %-8.6g y = %-12.9g [%08x %08x]\n",
              rkv::N1RTY(last_call), ido, static_cast<double>(x), static_cast<double>(y[0]),
              bits(x), bits(y[0]));
  std::printf("accepted steps %.0f since the new start\n",
              static_cast<double>(rkv::param::get(param, rkv::param::kAcceptedSteps)));
  ido = 3;
  rkv::IVPRK(ido, neq, decay, x, xend, tol, param, y);
  return 0;
}
