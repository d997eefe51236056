// The sanctioned way for a C right-hand side to abandon an integration: it
// posts a FATAL error through the error family and returns. The call ends at
// the last accepted point and says so in its outcome; the handle stays usable.
#include <gtest/gtest.h>

#include <cstdint>

#include "rkv/integrator.h"
#include "rkv/rkv.h"

namespace {

struct Model {
  int32_t evaluations = 0;
  int32_t abandon_at = 0;  // the evaluation that gives up (0: never)
};

void decay_or_give_up(void* context, const int32_t*, const float*, const float* y, float* yprime) {
  auto& m = *static_cast<Model*>(context);
  if (++m.evaluations == m.abandon_at) {
    static const int32_t kFatal = RKV_FATAL, kCode = 1, kLen = 15;
    rkv_e1mes(&kFatal, &kCode, "Model diverged.", &kLen);
    return;
  }
  yprime[0] = -y[0];
}

TEST(CapiAbandon, FatalFromTheRightHandSideEndsTheCallWithItsOutcome) {
  const int32_t all = RKV_ALL_TYPES, off = RKV_ATTR_OFF;
  rkv_seterrattr(&all, &off, &off);
  Model m;
  rkv_integrator* it = rkv_integrator_create(decay_or_give_up, &m);
  ASSERT_NE(it, nullptr);
  int32_t ido = 1, neq = 1;
  float x = 0.0f, xend = 0.5f, tol = 1e-5f, y = 1.0f, param[50] = {};
  EXPECT_EQ(rkv_integrator_ivprk(it, &ido, &neq, &x, &xend, &tol, param, &y), 0);
  m.abandon_at = m.evaluations + 20;  // during the third step of the next interval
  const float x_before = x;
  ido = 2;
  xend = 5.0f;
  EXPECT_EQ(rkv_integrator_ivprk(it, &ido, &neq, &x, &xend, &tol, param, &y), 4);
  EXPECT_GT(x, x_before);  // the last accepted point
  EXPECT_LT(x, xend);
  ido = 2;
  EXPECT_EQ(rkv_integrator_ivprk(it, &ido, &neq, &x, &xend, &tol, param, &y), 0);
  EXPECT_EQ(ido, 2);
  EXPECT_EQ(x, xend);
  EXPECT_NEAR(y, 0.006737947f, 1e-6f);
  ido = 3;
  EXPECT_EQ(rkv_integrator_ivprk(it, &ido, &neq, &x, &xend, &tol, param, &y), 0);
  rkv_integrator_destroy(it);
}

}  // namespace
