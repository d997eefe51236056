// Boost.Odeint's controlled steppers on the work-precision problems, in
// double, with absolute and relative tolerance both tol (odeint's default
// error checker: each component's estimate over tol (1 + |y_i| + dt |y_i'|),
// max norm), integrate_adaptive from an initial step of 1e-3 (the controller
// corrects it within a few steps), no largest step:
//   odeint_dopri5   runge_kutta_dopri5 (7 stages, FSAL: 6 evaluations a step)
//   odeint_rkf78    runge_kutta_fehlberg78 (13 evaluations a step)
//   odeint_verner65 this solver's Verner 6(5) pair in the generic explicit
//                   error stepper: the coefficients are the exact rationals
//                   rounded once to double (p / q with p and q exact), the
//                   nodes likewise; odeint's controller and loops.
// Evaluations are counted by the system functor itself.
#include <boost/numeric/odeint.hpp>
#include <cstdint>
#include <functional>
#include <vector>

#include "method.hpp"
#include "odeint_sum8.hpp"
#include "problems.hpp"

namespace rkv::bench::wp {
namespace {

namespace odeint = boost::numeric::odeint;
using State = std::vector<double>;

constexpr double kFirstStep = 1.0e-3;

// The problem's right-hand side as odeint calls it, counting the calls.
template <class P>
struct System {
  std::int64_t* count;
  void operator()(const State& y, State& dy, double /*t*/) const {
    ++*count;
    P::template rhs<double>(y.data(), dy.data());
  }
};

// The Verner pair: a(s, j) row by row, the sixth-order weights b and the
// error weights e = bhat - b (as the solver's own table orders them), nodes c.
using VernerBase = odeint::explicit_error_generic_rk<8, 6, 6, 5, State, double, State, double>;

template <std::size_t N>
boost::array<double, N> row(const std::int64_t (&pq)[N][2]) {
  boost::array<double, N> r{};
  for (std::size_t i = 0; i < N; ++i) {
    r[i] = static_cast<double>(pq[i][0]) / static_cast<double>(pq[i][1]);
  }
  return r;
}

constexpr std::int64_t kA2[1][2] = {{1, 6}};
constexpr std::int64_t kA3[2][2] = {{4, 75}, {16, 75}};
constexpr std::int64_t kA4[3][2] = {{5, 6}, {-8, 3}, {5, 2}};
constexpr std::int64_t kA5[4][2] = {{-165, 64}, {55, 6}, {-425, 64}, {85, 96}};
constexpr std::int64_t kA6[5][2] = {{12, 5}, {-8, 1}, {4015, 612}, {-11, 36}, {88, 255}};
constexpr std::int64_t kA7[6][2] = {{-8263, 15000}, {124, 75},     {-643, 680},
                                    {-81, 250},     {2484, 10625}, {0, 1}};
constexpr std::int64_t kA8[7][2] = {{3501, 1720},   {-300, 43}, {297275, 52632}, {-319, 2322},
                                    {24068, 84065}, {0, 1},     {3850, 26703}};
constexpr std::int64_t kB[8][2] = {{3, 40},     {0, 1}, {875, 2244},  {23, 72},
                                   {264, 1955}, {0, 1}, {125, 11592}, {43, 616}};
constexpr std::int64_t kE[8][2] = {{1, 160},   {0, 1},  {125, 17952},  {-1, 144},
                                   {12, 1955}, {3, 44}, {-125, 11592}, {-43, 616}};
constexpr std::int64_t kC[8][2] = {{0, 1}, {1, 6}, {4, 15}, {2, 3},
                                   {5, 6}, {1, 1}, {1, 15}, {1, 1}};

class VernerStepper : public VernerBase {
 public:
  VernerStepper()
      : VernerBase(boost::fusion::make_vector(row(kA2), row(kA3), row(kA4), row(kA5), row(kA6),
                                              row(kA7), row(kA8)),
                   row(kB), row(kE), row(kC)) {}
};

// Integrates P with the controlled stepper `stepper` (by reference, so that
// its step-size state is kept across the library's calls).
template <class P, class Stepper>
Run integrate(Stepper stepper) {
  Run r;
  State y(static_cast<std::size_t>(P::kNeq));
  P::initial(y.data());
  const std::size_t steps = odeint::integrate_adaptive(std::ref(stepper), System<P>{&r.evaluations},
                                                       y, P::kT0, P::kT1, kFirstStep);
  r.steps = static_cast<std::int64_t>(steps);
  r.y = y;
  r.ok = true;
  return r;
}

template <class P>
Run run_dopri5(double tol) {
  return integrate<P>(odeint::make_controlled(tol, tol, odeint::runge_kutta_dopri5<State>()));
}

template <class P>
Run run_rkf78(double tol) {
  return integrate<P>(odeint::make_controlled(tol, tol, odeint::runge_kutta_fehlberg78<State>()));
}

template <class P>
Run run_verner(double tol) {
  using Controlled = odeint::controlled_runge_kutta<VernerStepper>;
  return integrate<P>(Controlled(Controlled::error_checker_type(tol, tol),
                                 Controlled::step_adjuster_type(), VernerStepper()));
}

template <class... P>
void add_all(std::vector<Entry>& table, std::tuple<P...>*) {
  (table.push_back({P::kName, "odeint_dopri5", "double", run_dopri5<P>}), ...);
  (table.push_back({P::kName, "odeint_rkf78", "double", run_rkf78<P>}), ...);
  (table.push_back({P::kName, "odeint_verner65", "double", run_verner<P>}), ...);
}

}  // namespace

void add_odeint_methods(std::vector<Entry>& table) {
  add_all(table, static_cast<AllProblems*>(nullptr));
}

}  // namespace rkv::bench::wp
