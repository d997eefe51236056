// rkv::Lane<T, W>: W values of one quantity side by side, one per member of
// an ensemble, with the arithmetic of T applied to each of them on its own.
//
// A right-hand side written once as a template over its arithmetic type
// runs on T (one member) and on Lane<T, W> (W members at once), and each
// lane computes exactly what the scalar call computes for its member: the
// operators are elementwise IEEE operations of T (+, -, *, / and sqrt are
// correctly rounded, so a vector instruction gives the scalar's bits), and
// the functions of the C library (exp, log, sin, cos, pow, ...) are called
// per lane through `lanewise`, which keeps their bits as well. A vector
// implementation of such a function would be faster but may differ in the
// last bit; it is the user's opt-in, and its results are then no longer the
// scalar run's.
//
// Build contract: the code that uses a Lane (and its scalar twin) must be
// compiled without contraction into fused multiply-add (-ffp-contract=off;
// GNU mode and clang otherwise allow it where the instruction set has FMA)
// and without -ffast-math, or the lanes and the scalar call may round
// differently.
#pragma once

#include <cmath>
#include <cstdint>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

template <class T, int W>
struct Lane {
  static_assert(W >= 1, "a lane holds at least one member");
  using value_type = T;
  static constexpr int kWidth = W;

  T v[W];

  // Every lane equal to s.
  static constexpr Lane all(T s) {
    Lane r{};
    for (int l = 0; l < W; ++l) r.v[l] = s;
    return r;
  }
  constexpr T& operator[](int l) { return v[l]; }
  constexpr const T& operator[](int l) const { return v[l]; }
};

// Applies f to each lane on its own: f(a[l]) (or f(a[l], b[l])) per lane,
// the scalar function's own bits.
template <class F, class T, int W>
inline Lane<T, W> lanewise(F f, const Lane<T, W>& a) {
  Lane<T, W> r{};
  for (int l = 0; l < W; ++l) r.v[l] = f(a.v[l]);
  return r;
}
template <class F, class T, int W>
inline Lane<T, W> lanewise(F f, const Lane<T, W>& a, const Lane<T, W>& b) {
  Lane<T, W> r{};
  for (int l = 0; l < W; ++l) r.v[l] = f(a.v[l], b.v[l]);
  return r;
}

// The elementwise operators. Written as loops of fixed length, which the
// compiler turns into vector instructions without changing an operation.
#define RKV_LANE_OPERATOR(op)                                                              \
  template <class T, int W>                                                                \
  inline __attribute__((always_inline)) Lane<T, W> operator op(const Lane<T, W>& a,        \
                                                               const Lane<T, W>& b) {      \
    Lane<T, W> r{};                                                                        \
    for (int l = 0; l < W; ++l) r.v[l] = a.v[l] op b.v[l];                                 \
    return r;                                                                              \
  }                                                                                        \
  template <class T, int W>                                                                \
  inline __attribute__((always_inline)) Lane<T, W> operator op(const Lane<T, W>& a, T b) { \
    Lane<T, W> r{};                                                                        \
    for (int l = 0; l < W; ++l) r.v[l] = a.v[l] op b;                                      \
    return r;                                                                              \
  }                                                                                        \
  template <class T, int W>                                                                \
  inline __attribute__((always_inline)) Lane<T, W> operator op(T a, const Lane<T, W>& b) { \
    Lane<T, W> r{};                                                                        \
    for (int l = 0; l < W; ++l) r.v[l] = a op b.v[l];                                      \
    return r;                                                                              \
  }                                                                                        \
  template <class T, int W>                                                                \
  inline __attribute__((always_inline)) Lane<T, W>& operator op##=(Lane<T, W>& a,          \
                                                                   const Lane<T, W>& b) {  \
    for (int l = 0; l < W; ++l) a.v[l] = a.v[l] op b.v[l];                                 \
    return a;                                                                              \
  }
RKV_LANE_OPERATOR(+)
RKV_LANE_OPERATOR(-)
RKV_LANE_OPERATOR(*)
RKV_LANE_OPERATOR(/)
#undef RKV_LANE_OPERATOR

template <class T, int W>
inline __attribute__((always_inline)) Lane<T, W> operator-(const Lane<T, W>& a) {
  Lane<T, W> r{};
  for (int l = 0; l < W; ++l) r.v[l] = -a.v[l];
  return r;
}

// Correctly rounded, so the vector instruction is the scalar call's bits.
template <class T, int W>
inline __attribute__((always_inline)) Lane<T, W> sqrt(const Lane<T, W>& a) {
  Lane<T, W> r{};
  for (int l = 0; l < W; ++l) r.v[l] = std::sqrt(a.v[l]);
  return r;
}
template <class T, int W>
inline __attribute__((always_inline)) Lane<T, W> fabs(const Lane<T, W>& a) {
  Lane<T, W> r{};
  for (int l = 0; l < W; ++l) r.v[l] = std::fabs(a.v[l]);
  return r;
}

// The element type of T (T itself for a scalar) and a T with every lane s.
template <class T>
struct LaneTraits {
  using value_type = T;
  static T all(T s) { return s; }
};
template <class T, int W>
struct LaneTraits<Lane<T, W>> {
  using value_type = T;
  static Lane<T, W> all(T s) { return Lane<T, W>::all(s); }
};
template <class T>
inline T broadcast(typename LaneTraits<T>::value_type s) {
  return LaneTraits<T>::all(s);
}

// Comparisons give a mask (a Lane of bool); select(mask, a, b) takes a
// where the mask is set and b elsewhere. With the scalar forms below, a
// branch of the scalar code is written once for both: compute both sides,
// select (the side not taken may be NaN in some lanes; it is discarded).
template <int W>
using LaneMask = Lane<bool, W>;
#define RKV_LANE_COMPARISON(op)                                                             \
  template <class T, int W>                                                                 \
  inline __attribute__((always_inline)) LaneMask<W> operator op(const Lane<T, W>& a,        \
                                                                const Lane<T, W>& b) {      \
    LaneMask<W> r{};                                                                        \
    for (int l = 0; l < W; ++l) r.v[l] = a.v[l] op b.v[l];                                  \
    return r;                                                                               \
  }                                                                                         \
  template <class T, int W>                                                                 \
  inline __attribute__((always_inline)) LaneMask<W> operator op(const Lane<T, W>& a, T b) { \
    LaneMask<W> r{};                                                                        \
    for (int l = 0; l < W; ++l) r.v[l] = a.v[l] op b;                                       \
    return r;                                                                               \
  }
RKV_LANE_COMPARISON(<)
RKV_LANE_COMPARISON(>)
RKV_LANE_COMPARISON(<=)
RKV_LANE_COMPARISON(>=)
RKV_LANE_COMPARISON(==)
RKV_LANE_COMPARISON(!=)
#undef RKV_LANE_COMPARISON

template <class T, int W>
inline __attribute__((always_inline)) Lane<T, W> select(const LaneMask<W>& m, const Lane<T, W>& a,
                                                        const Lane<T, W>& b) {
  Lane<T, W> r{};
  for (int l = 0; l < W; ++l) r.v[l] = m.v[l] ? a.v[l] : b.v[l];
  return r;
}
template <class T>
inline T select(bool m, T a, T b) {
  return m ? a : b;
}

// Conversion of the elements to U (each rounded once, as static_cast<U>
// rounds one value): convert<double>(y) widens a float or its lanes.
template <class U, class T, int W>
inline __attribute__((always_inline)) Lane<U, W> convert(const Lane<T, W>& a) {
  Lane<U, W> r{};
  for (int l = 0; l < W; ++l) r.v[l] = static_cast<U>(a.v[l]);
  return r;
}
template <class U, class T>
inline U convert(T a) {
  return static_cast<U>(a);
}

// The C library's functions, one scalar call per lane (found by argument-
// dependent lookup, so that `using std::exp; exp(y)` serves both types).
#define RKV_LANE_FUNCTION(name)                                           \
  template <class T, int W>                                               \
  inline Lane<T, W> name(const Lane<T, W>& a) {                           \
    return lanewise([](T s) { return static_cast<T>(std::name(s)); }, a); \
  }
RKV_LANE_FUNCTION(exp)
RKV_LANE_FUNCTION(log)
RKV_LANE_FUNCTION(sin)
RKV_LANE_FUNCTION(cos)
RKV_LANE_FUNCTION(tan)
RKV_LANE_FUNCTION(atan)
RKV_LANE_FUNCTION(tanh)
#undef RKV_LANE_FUNCTION

template <class T, int W>
inline Lane<T, W> pow(const Lane<T, W>& a, const Lane<T, W>& b) {
  return lanewise([](T x, T y) { return static_cast<T>(std::pow(x, y)); }, a, b);
}
template <class T, int W>
inline Lane<T, W> atan2(const Lane<T, W>& a, const Lane<T, W>& b) {
  return lanewise([](T x, T y) { return static_cast<T>(std::atan2(x, y)); }, a, b);
}

}  // namespace rkv

#pragma GCC visibility pop
