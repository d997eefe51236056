// rkv::mpi::DistributedIntegrator and DoubleDistributedIntegrator: one
// system of equations split across the processes of an MPI communicator,
// each process owning a contiguous slice of Y (the global Y is the
// concatenation of the slices in rank order; any partition with at least
// one equation per process). Every process calls integrate() with the same
// IDO, X, XEND, TOL and PARAM and its own slice; every process then takes
// the same steps, and Y, X and PARAM(31..35) are bit for bit those of one
// BasicIntegrator over the whole system, whatever the number of processes.
//
// What makes the course global:
//  - the error norm of each attempt (INORM 0 to 3 from PARAM(10) and
//    PARAM(11), or the tolerances set here) is reduced over the processes:
//    the maxima with MPI_MAX, which is exact; the sums of INORM 3 and of the
//    RMS tolerance norm in the serial order of additions, passed from rank
//    to rank (rank r continues the running sum of ranks 0..r-1), so that
//    every rounding is the serial one;
//  - the start-up checks on Y and the tolerances find the first offending
//    component of the whole system and every process refuses the start
//    with the same report (its global index);
//  - after each evaluation of the right-hand side the processes agree on
//    whether one of them posted a serious error or threw: then the call
//    ends on every process (those without an error of their own post
//    "another process" FATAL), and an exception is rethrown on the process
//    that threw it. No process is left waiting in a collective.
//
// The right-hand side f(neq, x, y, yprime) computes this process's slice of
// YPRIME from its slice of Y and does its own halo exchange over the
// communicator given here (communicator()). The integrator makes its own
// collectives on a duplicate of it, so they never meet the user's messages.
//
// Reports are printed by rank 0 only; every process returns the same IDO
// and outcome. When a report stops the run, every process reaches that stop
// in the same call and ends with exit status 0 (MPI is finalized on the way
// out); one stopped inside its right-hand side by its own FATAL error still
// makes that evaluation's agreement, so the others stop with it. The error
// family's attributes should be the same on every process.
//
// Dense output over the slice: a DenseOutput of local(), called through
// integrate(dense, ...) (each process interpolates its own components).
// Event functions of a distributed state reduce their values with the
// helpers of rkv/mpi/reduce.hpp.
#pragma once

#include <mpi.h>

#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

#include "rkv/ode/dense_output.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/owned_rhs.hpp"

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv::mpi {

template <class Real>
struct DistributedState;

template <class Real>
class BasicDistributedIntegrator {
 public:
  using real_type = Real;

  // Collective over `comm` (it is duplicated). `f` is any callable taking
  // (const int32_t& neq, const Real& x, const Real* y, Real* yprime) over
  // this process's slice; it is moved into the integrator once.
  template <class F>
  requires std::is_invocable_v<F&, const std::int32_t&, const Real&, const Real*, Real*>
  BasicDistributedIntegrator(MPI_Comm comm, F f)
      : BasicDistributedIntegrator(comm, &ode::call_owned_rhs<Real, F>, new F(std::move(f)),
                                   &ode::delete_owned<F>) {}
  // Collective: frees the duplicate communicator (unless MPI is finalized).
  ~BasicDistributedIntegrator();
  BasicDistributedIntegrator(BasicDistributedIntegrator&&) noexcept;
  BasicDistributedIntegrator& operator=(BasicDistributedIntegrator&&) noexcept;
  BasicDistributedIntegrator(const BasicDistributedIntegrator&) = delete;
  BasicDistributedIntegrator& operator=(const BasicDistributedIntegrator&) = delete;

  // The IDO protocol of BasicIntegrator::integrate with NEQ and Y this
  // process's slice; collective. Returns the outcome (the same on every
  // process, except on one whose right-hand side threw: it rethrows).
  std::int32_t integrate(std::int32_t& ido, const std::int32_t& neq, Real& x, const Real& xend,
                         const Real& tol, Real* param, Real* y);
  // The same call made through a DenseOutput over local(): its output
  // points and events (the same on every process) over this process's
  // slice. A dense output over local() is called through here only: its own
  // integrate() would miss the start over the whole system.
  std::int32_t integrate(BasicDenseOutput<Real>& dense, std::int32_t& ido, const std::int32_t& neq,
                         Real& x, const Real& xend, const Real& tol, Real* param, Real* y);

  // The tolerances of BasicIntegrator::set_tolerances over the whole
  // system; per-component ATOL is this process's slice (`count` = its NEQ).
  // Set, changed or cleared only while no integration is open.
  std::int32_t set_tolerances(Real rtol, Real atol, ToleranceNorm norm = ToleranceNorm::kMax);
  std::int32_t set_tolerances(Real rtol, const Real* atol, std::int32_t count,
                              ToleranceNorm norm = ToleranceNorm::kMax);
  std::int32_t clear_tolerances();

  // The communicator given at construction (for the user's halo exchange).
  [[nodiscard]] MPI_Comm communicator() const;
  // The global number of equations and the 0-based global index of this
  // process's first component, as the last start (IDO = 1) found them.
  [[nodiscard]] std::int64_t global_neq() const;
  [[nodiscard]] std::int64_t offset() const;
  // The integrator of this process's slice, for a DenseOutput over it.
  // Its error norm and tolerances belong to the distributed integrator:
  // setting them on it would leave the processes' steps unagreed.
  BasicIntegrator<Real>& local();

 private:
  using Release = void (*)(void*);
  BasicDistributedIntegrator(MPI_Comm comm, BasicRhsContextFunction<Real> fcn, void* owned,
                             Release release);

  // On the heap: the local integrator's right-hand side and norm hold its
  // address, which must not move with this object.
  std::unique_ptr<DistributedState<Real>> state_;
};

using DistributedIntegrator = BasicDistributedIntegrator<float>;
using DoubleDistributedIntegrator = BasicDistributedIntegrator<double>;

extern template class BasicDistributedIntegrator<float>;
extern template class BasicDistributedIntegrator<double>;

}  // namespace rkv::mpi

#pragma GCC visibility pop
