// Regression tests: a null pointer argument of the C interface crashed the
// process. Each is now refused with a TERMINAL error naming the argument,
// posted under the routine's name, and nothing else is touched.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "rkv/ddense.h"
#include "rkv/dense.h"
#include "rkv/errors/control.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/state.hpp"
#include "rkv/integrator.h"
#include "rkv/rkv.h"
#include "state_testing.hpp"
#include "support/child.hpp"

namespace {

void decay(const int32_t*, const float*, const float* y, float* yprime) {
  yprime[0] = -y[0];
}
void decay_ctx(void*, const int32_t*, const float*, const float* y, float* yprime) {
  yprime[0] = -y[0];
}

// Arguments of a call that would be valid; each case nulls one of them.
struct Call {
  int32_t ido = 1, neq = 1, i = 1, v = 0, len = 3, out = -5;
  float x = 0.0f, xend = 1.0f, tol = 1.0e-4f, y = 1.0f, r = 1.0f;
  double d = 1.0;
  float param[50] = {};
  char text[3] = {'A', 'B', 'C'};
};

// A handle for the cases of rkv_integrator_ivprk, made once.
rkv_integrator* handle() {
  static rkv_integrator* const h = rkv_integrator_create(decay_ctx, nullptr);
  return h;
}
void handle_call(Call& c, int nulled) {
  rkv_integrator_ivprk(nulled == 0 ? nullptr : handle(), nulled == 1 ? nullptr : &c.ido,
                       nulled == 2 ? nullptr : &c.neq, nulled == 3 ? nullptr : &c.x,
                       nulled == 4 ? nullptr : &c.xend, nulled == 5 ? nullptr : &c.tol,
                       nulled == 6 ? nullptr : c.param, nulled == 7 ? nullptr : &c.y);
}

// A dense handle over it, for the cases of the rkv_dense_* routines.
rkv_dense* dense() {
  static rkv_dense* const d = rkv_dense_create(handle());
  return d;
}
void dense_call(Call& c, int nulled) {
  rkv_dense_ivprk(nulled == 0 ? nullptr : dense(), nulled == 1 ? nullptr : &c.ido,
                  nulled == 2 ? nullptr : &c.neq, nulled == 3 ? nullptr : &c.x,
                  nulled == 4 ? nullptr : &c.xend, nulled == 5 ? nullptr : &c.tol,
                  nulled == 6 ? nullptr : c.param, nulled == 7 ? nullptr : &c.y);
}
// And one over double, for the rkv_ddense_* routines (doubles of their own).
void ddecay(void*, const int32_t*, const double*, const double* y, double* yprime) {
  yprime[0] = -y[0];
}
rkv_ddense* ddense() {
  static rkv_dintegrator* const h = rkv_dintegrator_create(ddecay, nullptr);
  static rkv_ddense* const d = rkv_ddense_create(h);
  return d;
}
void ddense_call(Call& c, int nulled) {
  double x = 0.0, xend = 1.0, tol = 1.0e-8, y = 1.0, param[50] = {};
  rkv_ddense_ivprk(nulled == 0 ? nullptr : ddense(), &c.ido, &c.neq, &x, &xend, &tol, param,
                   nulled == 7 ? nullptr : &y);
  EXPECT_EQ(y, 1.0);
}
const rkv_devent kDEvent = {
    [](void*, const int32_t*, const double*, const double* y, const double*) { return y[0]; },
    nullptr, RKV_CROSSING_EITHER, 0};

const rkv_event kEvent = {
    [](void*, const int32_t*, const float*, const float* y, const float*) { return y[0]; }, nullptr,
    RKV_CROSSING_EITHER, 0};

struct Case {
  const char* routine;
  const char* argument;
  std::function<void(Call&)> call;
};

TEST(CapiNullPointer, NullArgumentCrashedTheProcessNowRefusedNamingIt) {
  const Case cases[] = {
      {"IVPRK", "IDO",
       [](Call& c) { rkv_ivprk(nullptr, &c.neq, decay, &c.x, &c.xend, &c.tol, c.param, &c.y); }},
      {"IVPRK", "NEQ",
       [](Call& c) { rkv_ivprk(&c.ido, nullptr, decay, &c.x, &c.xend, &c.tol, c.param, &c.y); }},
      {"IVPRK", "FCN",
       [](Call& c) { rkv_ivprk(&c.ido, &c.neq, nullptr, &c.x, &c.xend, &c.tol, c.param, &c.y); }},
      {"IVPRK", "X",
       [](Call& c) { rkv_ivprk(&c.ido, &c.neq, decay, nullptr, &c.xend, &c.tol, c.param, &c.y); }},
      {"IVPRK", "XEND",
       [](Call& c) { rkv_ivprk(&c.ido, &c.neq, decay, &c.x, nullptr, &c.tol, c.param, &c.y); }},
      {"IVPRK", "TOL",
       [](Call& c) { rkv_ivprk(&c.ido, &c.neq, decay, &c.x, &c.xend, nullptr, c.param, &c.y); }},
      {"IVPRK", "PARAM",
       [](Call& c) { rkv_ivprk(&c.ido, &c.neq, decay, &c.x, &c.xend, &c.tol, nullptr, &c.y); }},
      {"IVPRK", "Y",
       [](Call& c) { rkv_ivprk(&c.ido, &c.neq, decay, &c.x, &c.xend, &c.tol, c.param, nullptr); }},
      {"IVPRK", "INTEGRATOR", [](Call& c) { handle_call(c, 0); }},
      {"IVPRK", "IDO", [](Call& c) { handle_call(c, 1); }},
      {"IVPRK", "NEQ", [](Call& c) { handle_call(c, 2); }},
      {"IVPRK", "X", [](Call& c) { handle_call(c, 3); }},
      {"IVPRK", "XEND", [](Call& c) { handle_call(c, 4); }},
      {"IVPRK", "TOL", [](Call& c) { handle_call(c, 5); }},
      {"IVPRK", "PARAM", [](Call& c) { handle_call(c, 6); }},
      {"IVPRK", "Y", [](Call& c) { handle_call(c, 7); }},
      {"IVPEV", "DENSE", [](Call& c) { dense_call(c, 0); }},
      {"IVPEV", "IDO", [](Call& c) { dense_call(c, 1); }},
      {"IVPEV", "NEQ", [](Call& c) { dense_call(c, 2); }},
      {"IVPEV", "X", [](Call& c) { dense_call(c, 3); }},
      {"IVPEV", "XEND", [](Call& c) { dense_call(c, 4); }},
      {"IVPEV", "TOL", [](Call& c) { dense_call(c, 5); }},
      {"IVPEV", "PARAM", [](Call& c) { dense_call(c, 6); }},
      {"IVPEV", "Y", [](Call& c) { dense_call(c, 7); }},
      {"IVPEV", "DENSE", [](Call& c) { rkv_dense_set_output(nullptr, &c.x, &c.i, &c.y, &c.r); }},
      {"IVPEV", "N", [](Call& c) { rkv_dense_set_output(dense(), &c.x, nullptr, &c.y, &c.r); }},
      {"IVPEV", "XOUT", [](Call& c) { rkv_dense_set_output(dense(), nullptr, &c.i, &c.y, &c.r); }},
      {"IVPEV", "YOUT", [](Call& c) { rkv_dense_set_output(dense(), &c.x, &c.i, nullptr, &c.r); }},
      {"IVPEV", "DENSE", [](Call& c) { rkv_dense_set_events(nullptr, &kEvent, &c.i, nullptr); }},
      {"IVPEV", "M", [](Call&) { rkv_dense_set_events(dense(), &kEvent, nullptr, nullptr); }},
      {"IVPEV", "EVENTS", [](Call& c) { rkv_dense_set_events(dense(), nullptr, &c.i, nullptr); }},
      {"IVPEV", "DENSE", [](Call&) { rkv_dense_clear_events(nullptr); }},
      {"IVPEV", "DENSE", [](Call& c) { c.out = rkv_dense_event_count(nullptr); }},
      {"IVPEV", "DENSE", [](Call& c) { c.out = rkv_dense_ended(nullptr); }},
      {"IVPEV", "DENSE", [](Call& c) { c.out = rkv_dense_outputs_done(nullptr); }},
      {"IVPEV", "DENSE", [](Call& c) { c.out = rkv_dense_extra_evaluations(nullptr); }},
      {"IVPEV", "I",
       [](Call&) {
         rkv_event_hit h;
         rkv_dense_event(dense(), nullptr, &h);
         EXPECT_EQ(h.index, 0);
         EXPECT_TRUE(h.x != h.x);  // NaN: the empty record
       }},
      {"IVPEV", "HIT", [](Call& c) { rkv_dense_event(dense(), &c.v, nullptr); }},
      {"IVPEV", "DDENSE", [](Call& c) { ddense_call(c, 0); }},
      {"IVPEV", "Y", [](Call& c) { ddense_call(c, 7); }},
      {"IVPEV", "DDENSE", [](Call& c) { rkv_ddense_set_output(nullptr, &c.d, &c.i, &c.d, &c.d); }},
      {"IVPEV", "YOUT",
       [](Call& c) { rkv_ddense_set_output(ddense(), &c.d, &c.i, nullptr, &c.d); }},
      {"IVPEV", "EVENTS", [](Call& c) { rkv_ddense_set_events(ddense(), nullptr, &c.i, nullptr); }},
      {"IVPEV", "DDENSE", [](Call& c) { rkv_ddense_set_events(nullptr, &kDEvent, &c.i, nullptr); }},
      {"IVPEV", "DDENSE", [](Call&) { rkv_ddense_clear_events(nullptr); }},
      {"IVPEV", "DDENSE", [](Call& c) { c.out = rkv_ddense_event_count(nullptr); }},
      {"IVPEV", "DDENSE", [](Call& c) { c.out = rkv_ddense_ended(nullptr); }},
      {"IVPEV", "DDENSE", [](Call& c) { c.out = rkv_ddense_outputs_done(nullptr); }},
      {"IVPEV", "DDENSE", [](Call& c) { c.out = rkv_ddense_extra_evaluations(nullptr); }},
      {"IVPEV", "I",
       [](Call&) {
         rkv_devent_hit h;
         rkv_ddense_event(ddense(), nullptr, &h);
         EXPECT_EQ(h.index, 0);
         EXPECT_TRUE(h.x != h.x);  // NaN: the empty record
       }},
      {"E1PSH", "NAME", [](Call& c) { rkv_e1psh(nullptr, &c.len); }},
      {"E1PSH", "NAME_LEN", [](Call& c) { rkv_e1psh(c.text, nullptr); }},
      {"E1POP", "NAME", [](Call& c) { rkv_e1pop(nullptr, &c.len); }},
      {"E1POP", "NAME_LEN", [](Call& c) { rkv_e1pop(c.text, nullptr); }},
      {"E1MES", "TYPE", [](Call& c) { rkv_e1mes(nullptr, &c.i, c.text, &c.len); }},
      {"E1MES", "CODE", [](Call& c) { rkv_e1mes(&c.i, nullptr, c.text, &c.len); }},
      {"E1MES", "TEXT", [](Call& c) { rkv_e1mes(&c.i, &c.i, nullptr, &c.len); }},
      {"E1MES", "TEXT_LEN", [](Call& c) { rkv_e1mes(&c.i, &c.i, c.text, nullptr); }},
      {"E1SETINT", "INDEX", [](Call& c) { rkv_e1setint(nullptr, &c.v); }},
      {"E1SETINT", "VALUE", [](Call& c) { rkv_e1setint(&c.i, nullptr); }},
      {"E1SETREAL", "INDEX", [](Call& c) { rkv_e1setreal(nullptr, &c.r); }},
      {"E1SETREAL", "VALUE", [](Call& c) { rkv_e1setreal(&c.i, nullptr); }},
      {"E1SETDBL", "INDEX", [](Call& c) { rkv_e1setdbl(nullptr, &c.d); }},
      {"E1SETDBL", "VALUE", [](Call& c) { rkv_e1setdbl(&c.i, nullptr); }},
      {"E1SETSTR", "INDEX", [](Call& c) { rkv_e1setstr(nullptr, c.text, &c.len); }},
      {"E1SETSTR", "TEXT", [](Call& c) { rkv_e1setstr(&c.i, nullptr, &c.len); }},
      {"E1SETSTR", "TEXT_LEN", [](Call& c) { rkv_e1setstr(&c.i, c.text, nullptr); }},
      {"E1USR", "SWITCH", [](Call& c) { rkv_e1usr(nullptr, &c.len); }},
      {"E1USR", "SWITCH_LEN", [](Call& c) { rkv_e1usr(c.text, nullptr); }},
      {"N1RTY", "WHICH", [](Call& c) { c.out = rkv_n1rty(nullptr); }},
      {"SETERRATTR", "TYPE", [](Call& c) { rkv_seterrattr(nullptr, &c.v, &c.v); }},
      {"SETERRATTR", "PRINT", [](Call& c) { rkv_seterrattr(&c.i, nullptr, &c.v); }},
      {"SETERRATTR", "STOP", [](Call& c) { rkv_seterrattr(&c.i, &c.v, nullptr); }},
      {"GETERRATTR", "TYPE", [](Call& c) { rkv_geterrattr(nullptr, &c.v, &c.v); }},
      {"GETERRATTR", "PRINT", [](Call& c) { rkv_geterrattr(&c.i, nullptr, &c.v); }},
      {"GETERRATTR", "STOP", [](Call& c) { rkv_geterrattr(&c.i, &c.v, nullptr); }},
      {"SETINITATTR", "STOP", [](Call& c) { rkv_setinitattr(&c.i, &c.v, nullptr); }},
      {"GETINITATTR", "TYPE", [](Call& c) { rkv_getinitattr(nullptr, &c.v, &c.v); }},
      {"GETERRTEXT", "TEXT", [](Call& c) { rkv_geterrtext(nullptr, &c.len, &c.v); }},
      {"GETERRTEXT", "TEXT_LEN", [](Call& c) { rkv_geterrtext(c.text, nullptr, &c.v); }},
      {"GETERRTEXT", "LENGTH", [](Call& c) { rkv_geterrtext(c.text, &c.len, nullptr); }},
      {"AMACH", "N", [](Call& c) { c.r = rkv_amach(nullptr); }},
      {"IMACH", "N", [](Call& c) { c.out = rkv_imach(nullptr); }},
      {"UMACH", "N", [](Call& c) { rkv_umach(nullptr, &c.out); }},
      {"UMACH", "UNITNUM", [](Call& c) { rkv_umach(&c.i, nullptr); }},
  };
  for (const Case& k : cases) {
    rkv::detail::reset_error_state_for_testing();
    rkv::SETERRATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff);
    Call c;
    k.call(c);
    const rkv::ErrorState& s = rkv::E1ERRSTATE();
    const std::string what = std::string(k.routine) + " " + k.argument;
    EXPECT_EQ(s.level, 1) << what;
    EXPECT_EQ(rkv::N1RTY(1), rkv::kTerminal) << what;
    EXPECT_EQ(s.level_code(2), RKV_NULL_POINTER_CODE) << what;
    EXPECT_EQ(std::string(s.name_stack(2).data(), std::string(k.routine).size()), k.routine)
        << what;
    EXPECT_EQ(rkv::GETERRTEXT(), "The argument " + std::string(k.argument) +
                                     " is a null pointer.  It must point to its value.")
        << what;
    // Nothing else was done: the solver was not started, no value written.
    EXPECT_EQ(c.ido, 1) << what;
    EXPECT_EQ(c.y, 1.0f) << what;
    EXPECT_EQ(c.param[33], 0.0f) << what;
  }
}

TEST(CapiNullPointer, NullTextOfLengthZeroIsEmpty) {
  rkv::detail::reset_error_state_for_testing();
  const int32_t zero = 0;
  rkv_e1psh(nullptr, &zero);
  EXPECT_EQ(rkv::E1ERRSTATE().level, 2);
  rkv_e1pop(nullptr, &zero);
  EXPECT_EQ(rkv::E1ERRSTATE().level, 1);
  EXPECT_EQ(rkv::N1RTY(1), 0);
}

TEST(CapiNullPointer, WithTheInitialAttributesTheRefusalIsPrintedAndStops) {
  const auto r = rkv::testing::run_in_child([] {
    int32_t ido = 1;
    const int32_t neq = 1;
    float x = 0.0f, tol = 1.0e-4f, y = 1.0f, param[50] = {};
    rkv_ivprk(&ido, &neq, decay, &x, nullptr, &tol, param, &y);
  });
  EXPECT_TRUE(r.exited);
  EXPECT_FALSE(r.returned);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "\n *** TERMINAL ERROR 20 from IVPRK.  The argument XEND is a null pointer.  It\n"
            " ***          must point to its value.\n");
}

}  // namespace
