// The C interface: thin forwarding functions over the C++ routines.
//
// Every pointer a routine needs is checked before it is used: a null pointer
// is refused with a TERMINAL error (code RKV_NULL_POINTER_CODE) posted under the name of
// the routine called, naming the argument, and the routine returns without
// doing anything else. The attributes in force decide, as for every error,
// whether the refusal is printed and whether it ends the run.
#include "rkv/rkv.h"

#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

#include "null_args.hpp"
#include "rkv/errors/control.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/machine/constants.hpp"
#include "rkv/machine/units.hpp"
#include "rkv/ode/ivprk.hpp"

namespace {

using rkv::capi::refused;

// The C names of the error family's values are its C++ constants.
static_assert(RKV_NOTE == rkv::kNote && RKV_ALERT == rkv::kAlert && RKV_WARNING == rkv::kWarning &&
              RKV_FATAL == rkv::kFatal && RKV_TERMINAL == rkv::kTerminal &&
              RKV_WARNING_IMMEDIATE == rkv::kWarningImmediate &&
              RKV_FATAL_IMMEDIATE == rkv::kFatalImmediate);
static_assert(RKV_ALL_TYPES == rkv::kAllTypes && RKV_ATTR_OFF == rkv::kAttrOff &&
              RKV_ATTR_ON == rkv::kAttrOn && RKV_ATTR_KEEP == rkv::kAttrKeep);

// A C function pointer cannot be called through the C++ reference-taking
// type, so the solver gets this trampoline and the C routine of the call in
// progress: one slot per thread, saved and restored around each call so
// that a nested call cannot leave it changed. It is read around every
// right-hand-side call.
constinit thread_local rkv_rhs_fn t_c_rhs __attribute__((tls_model("initial-exec"))) = nullptr;

void rhs_trampoline(const std::int32_t& neq, const float& x, const float* y, float* yprime) {
  t_c_rhs(&neq, &x, y, yprime);
}

// The C routine of the call in progress, put back on every way out (an
// exception from a C++ function given as the C routine included).
class CurrentRhs {
 public:
  explicit CurrentRhs(rkv_rhs_fn fcn) : saved_(t_c_rhs) { t_c_rhs = fcn; }
  ~CurrentRhs() { t_c_rhs = saved_; }
  CurrentRhs(const CurrentRhs&) = delete;
  CurrentRhs& operator=(const CurrentRhs&) = delete;

 private:
  rkv_rhs_fn saved_;
};

// Character data: a pointer and a pointer to its length. A length below 0 is
// taken as 0; the characters may be null only when there are none.
bool text_refused(std::string_view routine, std::string_view name, std::string_view len_name,
                  const char* p, const std::int32_t* len) {
  if (refused(routine, {{len_name, len == nullptr}})) return true;
  return *len > 0 && refused(routine, {{name, p == nullptr}});
}

std::string_view text_of(const char* p, const std::int32_t* len) {
  if (p == nullptr || *len <= 0) return {};
  return {p, static_cast<std::size_t>(*len)};
}

}  // namespace

extern "C" {

void rkv_ivprk(int32_t* ido, const int32_t* neq, rkv_rhs_fn fcn, float* x, const float* xend,
               const float* tol, float* param, float* y) {
  if (refused("IVPRK", {{"IDO", ido == nullptr},
                        {"NEQ", neq == nullptr},
                        {"FCN", fcn == nullptr},
                        {"X", x == nullptr},
                        {"XEND", xend == nullptr},
                        {"TOL", tol == nullptr},
                        {"PARAM", param == nullptr},
                        {"Y", y == nullptr}})) {
    return;
  }
  const CurrentRhs current(fcn);
  rkv::IVPRK(*ido, *neq, rhs_trampoline, *x, *xend, *tol, param, y);
}

void rkv_e1psh(const char* name, const int32_t* name_len) {
  if (text_refused("E1PSH", "NAME", "NAME_LEN", name, name_len)) return;
  rkv::E1PSH(text_of(name, name_len));
}
void rkv_e1pop(const char* name, const int32_t* name_len) {
  if (text_refused("E1POP", "NAME", "NAME_LEN", name, name_len)) return;
  rkv::E1POP(text_of(name, name_len));
}
void rkv_e1mes(const int32_t* type, const int32_t* code, const char* text,
               const int32_t* text_len) {
  if (refused("E1MES", {{"TYPE", type == nullptr}, {"CODE", code == nullptr}}) ||
      text_refused("E1MES", "TEXT", "TEXT_LEN", text, text_len)) {
    return;
  }
  rkv::E1MES(*type, *code, text_of(text, text_len));
}
void rkv_e1setint(const int32_t* index, const int32_t* value) {
  if (refused("E1SETINT", {{"INDEX", index == nullptr}, {"VALUE", value == nullptr}})) return;
  rkv::E1SETINT(*index, *value);
}
void rkv_e1setreal(const int32_t* index, const float* value) {
  if (refused("E1SETREAL", {{"INDEX", index == nullptr}, {"VALUE", value == nullptr}})) return;
  rkv::E1SETREAL(*index, *value);
}
void rkv_e1setdbl(const int32_t* index, const double* value) {
  if (refused("E1SETDBL", {{"INDEX", index == nullptr}, {"VALUE", value == nullptr}})) return;
  rkv::E1SETDBL(*index, *value);
}
void rkv_e1setstr(const int32_t* index, const char* text, const int32_t* text_len) {
  if (refused("E1SETSTR", {{"INDEX", index == nullptr}}) ||
      text_refused("E1SETSTR", "TEXT", "TEXT_LEN", text, text_len)) {
    return;
  }
  rkv::E1SETSTR(*index, text_of(text, text_len));
}
void rkv_e1usr(const char* switch_value, const int32_t* switch_len) {
  if (text_refused("E1USR", "SWITCH", "SWITCH_LEN", switch_value, switch_len)) return;
  rkv::E1USR(text_of(switch_value, switch_len));
}
int32_t rkv_n1rty(const int32_t* which) {
  // After a refusal the caller's own level holds its TERMINAL type.
  static constexpr std::int32_t kOwnLevel = 0;
  if (refused("N1RTY", {{"WHICH", which == nullptr}})) return rkv::N1RTY(kOwnLevel);
  return rkv::N1RTY(*which);
}

void rkv_seterrattr(const int32_t* type, const int32_t* print, const int32_t* stop) {
  if (refused("SETERRATTR",
              {{"TYPE", type == nullptr}, {"PRINT", print == nullptr}, {"STOP", stop == nullptr}}))
    return;
  rkv::SETERRATTR(*type, *print, *stop);
}
void rkv_geterrattr(const int32_t* type, int32_t* print, int32_t* stop) {
  if (refused("GETERRATTR",
              {{"TYPE", type == nullptr}, {"PRINT", print == nullptr}, {"STOP", stop == nullptr}}))
    return;
  rkv::GETERRATTR(*type, *print, *stop);
}
void rkv_setinitattr(const int32_t* type, const int32_t* print, const int32_t* stop) {
  if (refused("SETINITATTR",
              {{"TYPE", type == nullptr}, {"PRINT", print == nullptr}, {"STOP", stop == nullptr}}))
    return;
  rkv::SETINITATTR(*type, *print, *stop);
}
void rkv_getinitattr(const int32_t* type, int32_t* print, int32_t* stop) {
  if (refused("GETINITATTR",
              {{"TYPE", type == nullptr}, {"PRINT", print == nullptr}, {"STOP", stop == nullptr}}))
    return;
  rkv::GETINITATTR(*type, *print, *stop);
}
void rkv_geterrtext(char* text, const int32_t* text_len, int32_t* length) {
  if (text_refused("GETERRTEXT", "TEXT", "TEXT_LEN", text, text_len) ||
      refused("GETERRTEXT", {{"LENGTH", length == nullptr}})) {
    return;
  }
  const std::size_t n = *text_len > 0 ? static_cast<std::size_t>(*text_len) : 0;
  rkv::GETERRTEXT(std::span<char>(n > 0 ? text : nullptr, n), *length);
}

float rkv_amach(const int32_t* n) {
  if (refused("AMACH", {{"N", n == nullptr}})) return std::numeric_limits<float>::quiet_NaN();
  return rkv::AMACH(*n);
}
int32_t rkv_imach(const int32_t* n) {
  if (refused("IMACH", {{"N", n == nullptr}})) return 0;
  return rkv::IMACH(*n);
}
void rkv_umach(const int32_t* n, int32_t* unitnum) {
  if (refused("UMACH", {{"N", n == nullptr}, {"UNITNUM", unitnum == nullptr}})) return;
  rkv::UMACH(*n, *unitnum);
}

}  // extern "C"
