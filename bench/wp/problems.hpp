// The six problems of the work-precision benchmark, each written once as a
// template over the real type the solver stores (float or double). The
// right-hand sides compute in double and round each derivative once when
// stored, as the solver does; every datum is a double literal, so the float
// runs see the same problem with its initial value rounded to float.
// The same definitions, for SciPy and the references, are in problems.py.
//
// Each problem P has: kName, kNeq, kT0, kT1, initial(double* y) and
// rhs<Real>(const Real* y, Real* yprime) (all autonomous).
#pragma once

#include <cmath>
#include <cstdint>
#include <tuple>

namespace rkv::bench::wp {

// The restricted three-body problem (Earth, Moon, a satellite) on its
// periodic Arenstorf orbit, one period. State (x, y, x', y').
struct Arenstorf {
  static constexpr const char* kName = "arenstorf";
  static constexpr std::int32_t kNeq = 4;
  static constexpr double kT0 = 0.0;
  static constexpr double kT1 = 17.0652165601579625588917206249;
  static constexpr double kMu = 0.012277471;
  static void initial(double* y) {
    y[0] = 0.994;
    y[1] = 0.0;
    y[2] = 0.0;
    y[3] = -2.00158510637908252240537862224;
  }
  template <class Real>
  static void rhs(const Real* s, Real* ds) {
    const double mup = 1.0 - kMu;
    const double x = s[0], y = s[1], vx = s[2], vy = s[3];
    const double r1 = std::sqrt((x + kMu) * (x + kMu) + y * y);
    const double r2 = std::sqrt((x - mup) * (x - mup) + y * y);
    const double d1 = r1 * r1 * r1;
    const double d2 = r2 * r2 * r2;
    ds[0] = static_cast<Real>(vx);
    ds[1] = static_cast<Real>(vy);
    ds[2] = static_cast<Real>(x + 2.0 * vy - mup * (x + kMu) / d1 - kMu * (x - mup) / d2);
    ds[3] = static_cast<Real>(y - 2.0 * vx - mup * y / d1 - kMu * y / d2);
  }
};

// Seven bodies of masses 1..7 in the plane, t in [0, 3] (close encounters
// near t = 1.23 and 1.28). State (x1..x7, y1..y7, x1'..x7', y1'..y7').
struct Pleiades {
  static constexpr const char* kName = "pleiades";
  static constexpr std::int32_t kNeq = 28;
  static constexpr double kT0 = 0.0;
  static constexpr double kT1 = 3.0;
  static void initial(double* y) {
    constexpr double y0[28] = {3, 3, -1, -3, 2, -2,   2,    3, -3, 2, 0,     0, -4, 4,
                               0, 0, 0,  0,  0, 1.75, -1.5, 0, 0,  0, -1.25, 1, 0,  0};
    for (int i = 0; i < 28; ++i) y[i] = y0[i];
  }
  template <class Real>
  static void rhs(const Real* s, Real* ds) {
    double ax[7] = {};
    double ay[7] = {};
    for (int i = 0; i < 7; ++i) {
      for (int j = i + 1; j < 7; ++j) {
        const double dx = static_cast<double>(s[j]) - static_cast<double>(s[i]);
        const double dy = static_cast<double>(s[7 + j]) - static_cast<double>(s[7 + i]);
        const double r2 = dx * dx + dy * dy;
        const double r3 = r2 * std::sqrt(r2);
        ax[i] += (j + 1) * dx / r3;
        ay[i] += (j + 1) * dy / r3;
        ax[j] -= (i + 1) * dx / r3;
        ay[j] -= (i + 1) * dy / r3;
      }
    }
    for (int i = 0; i < 14; ++i) ds[i] = s[14 + i];
    for (int i = 0; i < 7; ++i) {
      ds[14 + i] = static_cast<Real>(ax[i]);
      ds[21 + i] = static_cast<Real>(ay[i]);
    }
  }
};

// Lorenz's system, sigma = 10, rho = 28, beta = 8/3, from (1, 0, 0) to t = 20.
struct Lorenz {
  static constexpr const char* kName = "lorenz";
  static constexpr std::int32_t kNeq = 3;
  static constexpr double kT0 = 0.0;
  static constexpr double kT1 = 20.0;
  static void initial(double* y) {
    y[0] = 1.0;
    y[1] = 0.0;
    y[2] = 0.0;
  }
  template <class Real>
  static void rhs(const Real* s, Real* ds) {
    const double x = s[0], y = s[1], z = s[2];
    ds[0] = static_cast<Real>(10.0 * (y - x));
    ds[1] = static_cast<Real>(x * (28.0 - z) - y);
    ds[2] = static_cast<Real>(x * y - 8.0 / 3.0 * z);
  }
};

// The two-body problem, eccentricity 0.6, from the pericentre, to t = 20
// (a little over three periods of 2 pi). State (q1, q2, p1, p2).
struct Kepler {
  static constexpr const char* kName = "kepler";
  static constexpr std::int32_t kNeq = 4;
  static constexpr double kT0 = 0.0;
  static constexpr double kT1 = 20.0;
  static constexpr double kE = 0.6;
  static void initial(double* y) {
    y[0] = 1.0 - kE;
    y[1] = 0.0;
    y[2] = 0.0;
    y[3] = std::sqrt((1.0 + kE) / (1.0 - kE));
  }
  template <class Real>
  static void rhs(const Real* s, Real* ds) {
    const double q1 = s[0], q2 = s[1];
    const double r2 = q1 * q1 + q2 * q2;
    const double r3 = r2 * std::sqrt(r2);
    ds[0] = s[2];
    ds[1] = s[3];
    ds[2] = static_cast<Real>(-q1 / r3);
    ds[3] = static_cast<Real>(-q2 / r3);
  }
};

// Euler's equations of a free rigid body, principal moments (2, 1, 2/3):
// the solution is (sn, cn, dn)(t | 0.51). t in [0, 12].
struct RigidBody {
  static constexpr const char* kName = "rigidbody";
  static constexpr std::int32_t kNeq = 3;
  static constexpr double kT0 = 0.0;
  static constexpr double kT1 = 12.0;
  static void initial(double* y) {
    y[0] = 0.0;
    y[1] = 1.0;
    y[2] = 1.0;
  }
  template <class Real>
  static void rhs(const Real* s, Real* ds) {
    const double y1 = s[0], y2 = s[1], y3 = s[2];
    ds[0] = static_cast<Real>(y2 * y3);
    ds[1] = static_cast<Real>(-y1 * y3);
    ds[2] = static_cast<Real>(-0.51 * y1 * y2);
  }
};

// The Brusselator in one space dimension by the method of lines: N = 32
// interior points of [0, 1], diffusion alpha = 1/50, u = 1 and v = 3 at the
// ends, u(x, 0) = 1 + sin(2 pi x), v(x, 0) = 3; t in [0, 10]. Mildly stiff
// (eigenvalues down to about -90). State (u1..u32, v1..v32).
struct Brusselator {
  static constexpr const char* kName = "brusselator";
  static constexpr std::int32_t kN = 32;
  static constexpr std::int32_t kNeq = 2 * kN;
  static constexpr double kT0 = 0.0;
  static constexpr double kT1 = 10.0;
  static constexpr double kAlpha = 0.02;
  static void initial(double* y) {
    const double pi = 3.141592653589793;
    for (int i = 0; i < kN; ++i) {
      y[i] = 1.0 + std::sin(2.0 * pi * (i + 1) / (kN + 1));
      y[kN + i] = 3.0;
    }
  }
  template <class Real>
  static void rhs(const Real* s, Real* ds) {
    const double c = kAlpha * (kN + 1) * (kN + 1);
    for (int i = 0; i < kN; ++i) {
      const double u = s[i], v = s[kN + i];
      const double ul = i > 0 ? static_cast<double>(s[i - 1]) : 1.0;
      const double ur = i < kN - 1 ? static_cast<double>(s[i + 1]) : 1.0;
      const double vl = i > 0 ? static_cast<double>(s[kN + i - 1]) : 3.0;
      const double vr = i < kN - 1 ? static_cast<double>(s[kN + i + 1]) : 3.0;
      const double uuv = u * u * v;
      ds[i] = static_cast<Real>(1.0 + uuv - 4.0 * u + c * (ul - 2.0 * u + ur));
      ds[kN + i] = static_cast<Real>(3.0 * u - uuv + c * (vl - 2.0 * v + vr));
    }
  }
};

using AllProblems = std::tuple<Arenstorf, Pleiades, Lorenz, Kepler, RigidBody, Brusselator>;

}  // namespace rkv::bench::wp
