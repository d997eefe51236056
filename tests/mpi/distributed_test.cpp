// One system across the processes of MPI_COMM_WORLD, against the serial
// run of the whole system in the same process: every element of Y, X and
// PARAM(31..35) must be the same bits after each call, float and double,
// every INORM and both tolerance norms, even and uneven partitions; a
// dense output over the slices (output points, and an event whose function
// reduces over the processes) must give the serial values and event points. Run under mpirun with
// 1, 2 and 3 processes; exit status 0 when every check passes.
#include <mpi.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "heat.hpp"
#include "rkv/errors/control.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/mpi/distributed.hpp"
#include "rkv/mpi/reduce.hpp"
#include "rkv/ode/dense_output.hpp"

namespace {

using rkv::mpitest::partition;

int g_failures = 0;
int g_rank = 0;

void check(bool ok, const std::string& what) {
  if (ok) return;
  ++g_failures;
  std::printf("rank %d: FAILED %s\n", g_rank, what.c_str());
}

template <class Real>
bool same_bits(Real a, Real b) {
  return std::bit_cast<
             typename std::conditional_t<sizeof(Real) == 4, std::uint32_t, std::uint64_t>>(a) ==
         std::bit_cast<
             typename std::conditional_t<sizeof(Real) == 4, std::uint32_t, std::uint64_t>>(b);
}

// How the error norm is chosen: an INORM (with PARAM(11)) or tolerances.
struct NormCase {
  const char* name;
  int inorm;
  double floor;
  int tolerances;  // 0 none, 1 max with one ATOL, 2 RMS with ATOL per component
};
constexpr std::array<NormCase, 6> kNorms{{{"INORM 0", 0, 0.0, 0},
                                          {"INORM 1", 1, 0.0, 0},
                                          {"INORM 2", 2, 0.5, 0},
                                          {"INORM 3", 3, 0.0, 0},
                                          {"max tolerances", 0, 0.0, 1},
                                          {"RMS tolerances", 0, 0.0, 2}}};

template <class Integrator, class Real>
void set_norm(Integrator& in, const NormCase& c, std::int64_t first, std::int32_t n) {
  if (c.tolerances == 1) in.set_tolerances(Real{1e-6f}, Real{1e-8f});
  if (c.tolerances != 2) return;
  std::vector<Real> atol(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) {
    atol[static_cast<std::size_t>(i)] = static_cast<Real>(1e-8 * (1.0 + 0.01 * double(first + i)));
  }
  in.set_tolerances(Real{1e-6f}, atol.data(), n, rkv::ToleranceNorm::kRms);
}

// The serial run and the distributed one side by side: IDO = 1 to 0.5,
// IDO = 2 to 1.5, then closed; compared after each call.
template <class Real>
void compare_run(const NormCase& c, int n, bool uneven) {
  int size = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  const std::vector<int> counts = partition(n, size, uneven);
  const std::int32_t mine = counts[static_cast<std::size_t>(g_rank)];
  std::int64_t first = 0;
  for (int r = 0; r < g_rank; ++r) first += counts[static_cast<std::size_t>(r)];

  std::vector<Real> whole(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    whole[static_cast<std::size_t>(i)] = rkv::mpitest::heat_start<Real>(i, n);
  std::vector<Real> slice(whole.begin() + first, whole.begin() + first + mine);
  std::array<Real, 50> p1{};
  p1[9] = static_cast<Real>(c.inorm);
  p1[10] = static_cast<Real>(c.floor);
  std::array<Real, 50> p2 = p1;
  const Real tol = c.tolerances != 0 ? Real{1} : (sizeof(Real) == 4 ? Real{1e-6f} : Real{1e-9f});

  rkv::BasicIntegrator<Real> serial(&rkv::mpitest::heat_serial<Real>);
  rkv::mpi::BasicDistributedIntegrator<Real> dist(MPI_COMM_WORLD,
                                                  rkv::mpitest::HeatSlice<Real>{MPI_COMM_WORLD});
  set_norm<rkv::BasicIntegrator<Real>, Real>(serial, c, 0, n);
  set_norm<rkv::mpi::BasicDistributedIntegrator<Real>, Real>(dist, c, first, mine);
  Real x1 = Real{0};
  Real x2 = Real{0};
  const std::string label = std::string(c.name) + (sizeof(Real) == 4 ? " float" : " double") +
                            (uneven ? " uneven" : " even") + " n=" + std::to_string(n);
  for (const Real xend : {Real{0.5f}, Real{1.5f}}) {
    std::int32_t ido1 = xend == Real{0.5f} ? 1 : 2;
    std::int32_t ido2 = ido1;
    const std::int32_t o1 = serial.integrate(ido1, n, x1, xend, tol, p1.data(), whole.data());
    const std::int32_t o2 = dist.integrate(ido2, mine, x2, xend, tol, p2.data(), slice.data());
    check(o1 == 0 && o2 == 0 && ido1 == ido2, label + ": outcome or IDO");
    check(same_bits(x1, x2), label + ": X");
    for (int k = 30; k < 35; ++k)
      check(same_bits(p1[k], p2[k]), label + ": PARAM " + std::to_string(k + 1));
    const std::vector<Real> gathered = rkv::mpitest::gather(MPI_COMM_WORLD, slice, counts);
    bool ys = true;
    for (int i = 0; i < n; ++i)
      ys = ys &&
           same_bits(whole[static_cast<std::size_t>(i)], gathered[static_cast<std::size_t>(i)]);
    check(ys, label + ": Y");
  }
  check(p1[33] > Real{8}, label + ": too few steps to tell");
  std::int32_t close = 3;
  serial.integrate(close, n, x1, x1, tol, p1.data(), whole.data());
  close = 3;
  dist.integrate(close, mine, x2, x2, tol, p2.data(), slice.data());
}

// Output points and the events of g = max_i y_i - level through a dense
// output: with `whole` the serial run, otherwise this process's slice.
template <class Real>
struct DenseRun {
  std::vector<Real> values;  // y at the output points, point by point
  std::vector<Real> events;  // the x of each event
  Real x = Real{0};
};

template <class Integrator, class Real>
DenseRun<Real> dense_run(Integrator& it, rkv::BasicDenseOutput<Real>& dense, std::vector<Real> y,
                         Real level, MPI_Comm comm) {
  const std::int32_t n = static_cast<std::int32_t>(y.size());
  const std::array<Real, 3> xs{Real{0.1f}, Real{0.37f}, Real{0.9f}};
  DenseRun<Real> r;
  r.values.resize(xs.size() * y.size());
  const auto g = [&](const std::int32_t& m, const Real&, const Real* u, const Real*) {
    Real top = u[0];
    for (std::int32_t i = 1; i < m; ++i) top = u[i] > top ? u[i] : top;
    if (comm != MPI_COMM_NULL) top = rkv::mpi::global_max(comm, top);
    return top - level;
  };
  const rkv::BasicEvent<Real> event = rkv::make_event<Real>(g);
  dense.set_events(&event, 1);
  dense.set_output(xs.data(), static_cast<std::int32_t>(xs.size()), r.values.data());
  std::array<Real, 50> param{};
  std::int32_t ido = 1;
  const Real tol = sizeof(Real) == 4 ? Real{1e-6f} : Real{1e-9f};
  for (;;) {
    if constexpr (std::is_same_v<Integrator, rkv::BasicIntegrator<Real>>) {
      dense.integrate(ido, n, r.x, Real{1.5f}, tol, param.data(), y.data());
    } else {
      it.integrate(dense, ido, n, r.x, Real{1.5f}, tol, param.data(), y.data());
    }
    if (ido != rkv::kIdoEvents) break;
    for (std::int32_t i = 0; i < dense.event_count(); ++i) r.events.push_back(dense.event(i).x);
    ido = 2;
  }
  check(ido == 2, "dense output: IDO " + std::to_string(ido));
  return r;
}

template <class Real>
void compare_dense(int n) {
  int size = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  const std::vector<int> counts = partition(n, size, true);
  int first = 0;
  for (int r = 0; r < g_rank; ++r) first += counts[static_cast<std::size_t>(r)];
  std::vector<Real> whole(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    whole[static_cast<std::size_t>(i)] = rkv::mpitest::heat_start<Real>(i, n);
  const std::vector<Real> slice(whole.begin() + first,
                                whole.begin() + first + counts[static_cast<std::size_t>(g_rank)]);
  // Halfway between the largest y at the start and at the end, which
  // differ: crossed at least once.
  std::vector<Real> end = whole;
  std::array<Real, 50> p0{};
  std::int32_t ido = 1;
  Real x0 = Real{0};
  rkv::BasicIntegrator<Real> plain(&rkv::mpitest::heat_serial<Real>);
  plain.integrate(ido, n, x0, Real{1.5f}, Real{1e-6f}, p0.data(), end.data());
  const Real top0 = *std::max_element(whole.begin(), whole.end());
  const Real top1 = *std::max_element(end.begin(), end.end());
  check(top0 != top1, "dense output: the largest y changes");
  const Real level =
      static_cast<Real>(0.5 * (static_cast<double>(top0) + static_cast<double>(top1)));
  rkv::BasicIntegrator<Real> serial(&rkv::mpitest::heat_serial<Real>);
  rkv::BasicDenseOutput<Real> serial_dense(serial);
  const DenseRun<Real> a = dense_run(serial, serial_dense, whole, level, MPI_COMM_NULL);
  rkv::mpi::BasicDistributedIntegrator<Real> dist(MPI_COMM_WORLD,
                                                  rkv::mpitest::HeatSlice<Real>{MPI_COMM_WORLD});
  rkv::BasicDenseOutput<Real> dist_dense(dist.local());
  const DenseRun<Real> b = dense_run(dist, dist_dense, slice, level, MPI_COMM_WORLD);
  const std::string label = std::string("dense output ") + (sizeof(Real) == 4 ? "float" : "double");
  check(same_bits(a.x, b.x), label + ": X");
  check(!a.events.empty() && a.events.size() == b.events.size(), label + ": events found");
  for (std::size_t k = 0; k < a.events.size() && k < b.events.size(); ++k) {
    check(same_bits(a.events[k], b.events[k]), label + ": event " + std::to_string(k));
  }
  for (std::size_t p = 0; p < 3; ++p) {
    const std::vector<Real> part(
        b.values.begin() + static_cast<std::ptrdiff_t>(p * slice.size()),
        b.values.begin() + static_cast<std::ptrdiff_t>((p + 1) * slice.size()));
    const std::vector<Real> got = rkv::mpitest::gather(MPI_COMM_WORLD, part, counts);
    bool same = true;
    for (int i = 0; i < n; ++i)
      same =
          same && same_bits(a.values[p * static_cast<std::size_t>(n) + static_cast<std::size_t>(i)],
                            got[static_cast<std::size_t>(i)]);
    check(same, label + ": output point " + std::to_string(p));
  }
}

}  // namespace

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  MPI_Comm_rank(MPI_COMM_WORLD, &g_rank);
  rkv::SETERRATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff);
  for (const bool uneven : {false, true}) {
    for (const NormCase& c : kNorms) {
      compare_run<float>(c, 41, uneven);
      compare_run<double>(c, 41, uneven);
    }
  }
  compare_dense<float>(41);
  compare_dense<double>(41);
  int failures = g_failures;
  MPI_Allreduce(MPI_IN_PLACE, &failures, 1, MPI_INT, MPI_SUM, MPI_COMM_WORLD);
  if (g_rank == 0) std::printf("%s: %d failed checks\n", argv[0], failures);
  MPI_Finalize();
  return failures == 0 ? 0 : 1;
}
