// The C interface: thin forwarding functions over the C++ routines.
#include "rkv/rkv.h"

#include <cstdint>
#include <string_view>

#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/machine/constants.hpp"
#include "rkv/machine/units.hpp"
#include "rkv/ode/ivprk.hpp"

namespace {

// A C function pointer cannot be called through the C++ reference-taking
// type, so the solver gets this trampoline and the C routine of the call in
// progress. IVPRK is not re-entrant, so one slot is enough.
rkv_rhs_fn g_c_rhs = nullptr;

void rhs_trampoline(const std::int32_t& neq, const float& x, const float* y, float* yprime) {
  g_c_rhs(&neq, &x, y, yprime);
}

// A length below 0 is taken as 0; a null text has no characters.
std::string_view text_of(const char* p, const std::int32_t* len) {
  if (p == nullptr || len == nullptr || *len <= 0) return {};
  return {p, static_cast<std::size_t>(*len)};
}

}  // namespace

extern "C" {

void rkv_ivprk(int32_t* ido, const int32_t* neq, rkv_rhs_fn fcn, float* x, const float* xend,
               const float* tol, float* param, float* y) {
  rkv_rhs_fn const saved = g_c_rhs;
  g_c_rhs = fcn;
  rkv::IVPRK(*ido, *neq, fcn != nullptr ? rhs_trampoline : nullptr, *x, *xend, *tol, param, y);
  g_c_rhs = saved;
}

void rkv_e1psh(const char* name, const int32_t* name_len) {
  rkv::E1PSH(text_of(name, name_len));
}
void rkv_e1pop(const char* name, const int32_t* name_len) {
  rkv::E1POP(text_of(name, name_len));
}
void rkv_e1mes(const int32_t* type, const int32_t* code, const char* text,
               const int32_t* text_len) {
  rkv::E1MES(*type, *code, text_of(text, text_len));
}
void rkv_e1setint(const int32_t* index, const int32_t* value) {
  rkv::E1SETINT(*index, *value);
}
void rkv_e1setreal(const int32_t* index, const float* value) {
  rkv::E1SETREAL(*index, *value);
}
void rkv_e1setstr(const int32_t* index, const char* text, const int32_t* text_len) {
  rkv::E1SETSTR(*index, text_of(text, text_len));
}
void rkv_e1usr(const char* switch_value, const int32_t* switch_len) {
  rkv::E1USR(text_of(switch_value, switch_len));
}
int32_t rkv_n1rty(const int32_t* which) {
  return rkv::N1RTY(*which);
}

float rkv_amach(const int32_t* n) {
  return rkv::AMACH(*n);
}
int32_t rkv_imach(const int32_t* n) {
  return rkv::IMACH(*n);
}
void rkv_umach(const int32_t* n, int32_t* unitnum) {
  rkv::UMACH(*n, *unitnum);
}

}  // extern "C"
