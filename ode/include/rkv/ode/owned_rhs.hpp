// A callable right-hand side copied to the heap and called through a
// context pointer: the trampoline an integrator that takes any callable
// f(neq, x, y, yprime) stores with the copy, and the release of the copy.
// One indirect call per evaluation, as with a plain function.
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv::ode {

// Calls the copy of type F behind `f`.
template <class Real, class F>
void call_owned_rhs(void* f, const std::int32_t& neq, const Real& x, const Real* y, Real* yprime) {
  (*static_cast<F*>(f))(neq, x, y, yprime);
}

// Deletes the copy of type F behind `f`.
template <class F>
void delete_owned(void* f) {
  delete static_cast<F*>(f);
}

}  // namespace rkv::ode

#pragma GCC visibility pop
