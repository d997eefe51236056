// What a distributed integrator owns: the communicators, the user's
// right-hand side, the norm in force and the integrator of this process's
// slice, whose right-hand side and norm call back into this state.
#pragma once

#include <mpi.h>

#include <cstdint>

#include "norms.hpp"
#include "rkv/ode/integrator.hpp"

namespace rkv::mpi {

template <class Real>
struct DistributedState {
  using Release = void (*)(void*);
  DistributedState(MPI_Comm user_comm, BasicRhsContextFunction<Real> fcn, void* owned,
                   Release release);
  ~DistributedState();
  DistributedState(const DistributedState&) = delete;
  DistributedState& operator=(const DistributedState&) = delete;
  DistributedState(DistributedState&&) = delete;
  DistributedState& operator=(DistributedState&&) = delete;

  // The user's right-hand side on the slice, then the agreement of all
  // processes on whether the call goes on (see distributed.hpp).
  void evaluate(const std::int32_t& neq, const Real& x, const Real* y, Real* yprime);
  // The agreement after an evaluation: `mine` is 0 (fine), 1 (a serious
  // error posted) or 2 (an exception, `thrown`); collective. The processes
  // that were fine post a FATAL report naming the failed one.
  void agree(int mine, bool thrown);

  MPI_Comm user;  // the caller's communicator, for the right-hand side
  MPI_Comm comm;  // its duplicate, for the integrator's own collectives
  int rank = 0;
  int size = 1;
  BasicRhsContextFunction<Real> fcn;
  void* owned;
  Release release;
  NormSettings<Real> norm;
  std::int64_t offset = 0;
  BasicIntegrator<Real> local;
};

}  // namespace rkv::mpi
