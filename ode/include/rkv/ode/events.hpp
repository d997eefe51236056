// Events located on the continuous extension of the solver's steps: event
// functions g(x, y, y'), the direction of the sign change each one watches
// for, whether it ends the integration, and the record of a located event.
// Each over the storage type `Real` of the integrator watched (float or
// double); the plain names are the float ones.
#pragma once

#include <cstdint>
#include <type_traits>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// Value of an event function at x, from the solution y(x) and its derivative
// y'(x) (NEQ values each; both from the continuous extension between steps).
// An event is a sign change of the value. NaN is refused (the call ends with
// a report).
template <class Real>
using BasicEventFunction = Real (*)(void* context, const std::int32_t& neq, const Real& x,
                                    const Real* y, const Real* yprime);
using EventFunction = BasicEventFunction<float>;

// Which sign changes of g count, in the direction of integration.
enum class Crossing : std::int32_t {
  kEither = 0,
  kRising = 1,   // from negative to zero or positive
  kFalling = 2,  // from positive to zero or negative
};

template <class Real>
struct BasicEvent {
  BasicEventFunction<Real> g;
  void* context;  // passed to g unchanged
  Crossing crossing;
  bool terminal;  // the integration ends at this event
};

// One located event: the 1-based index of its function in the event list,
// the abscissa, and the solution and its derivative there (NEQ values each,
// owned by the DenseOutput and valid until its next call).
template <class Real>
struct BasicEventHit {
  std::int32_t index;
  Real x;
  bool terminal;
  const Real* y;
  const Real* yprime;
};
using Event = BasicEvent<float>;
using EventHit = BasicEventHit<float>;

// An event watching any callable g(neq, x, y, yprime) returning a value
// convertible to Real (float unless given: make_event<double>(g) for a
// DoubleDenseOutput). The event refers to g, which must stay alive (and
// where it is) while the event is watched, as a context pointer must; a
// temporary is not accepted.
template <class Real = float, class F>
requires std::is_invocable_r_v<Real, const F&, const std::int32_t&, const Real&, const Real*,
                               const Real*>
    BasicEvent<Real> make_event(const F& g, Crossing crossing = Crossing::kEither,
                                bool terminal = false) {
  auto call = [](void* f, const std::int32_t& neq, const Real& x, const Real* y,
                 const Real* yp) -> Real { return (*static_cast<const F*>(f))(neq, x, y, yp); };
  return BasicEvent<Real>{call, const_cast<void*>(static_cast<const void*>(&g)), crossing,
                          terminal};
}
template <class Real = float, class F>
BasicEvent<Real> make_event(const F&& g, Crossing crossing = Crossing::kEither,
                            bool terminal = false) = delete;

// The widest bracket EventSettings::bracket_ulps may ask for: a relative
// width of about 2^-7.
inline constexpr std::int32_t kMaxBracketUlps = 65536;

// How events are located: a bracketing root finder (the Illinois variant of
// regula falsi, falling back to bisection) shrinks the bracket of each sign
// change until its ends are at most `bracket_ulps` units in the last place
// apart (of the storage format: float or double), or g is exactly 0; the
// end after the sign change is reported.
// Settings that cannot locate anything (bracket_ulps outside 0 to
// kMaxBracketUlps, max_iterations below 1) are refused by set_events.
struct EventSettings {
  std::int32_t bracket_ulps = 4;
  std::int32_t max_iterations = 200;
};

}  // namespace rkv

#pragma GCC visibility pop
