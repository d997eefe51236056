// IVPRK: the front end of the solver. Checks IDO, owns the workspace of
// 10*NEQ reals (requested on IDO = 1, released after IDO = 3) and hands
// everything to the integrator I2PRK together with the norm I2ERRNRM.
#include <cstdlib>

#include "error_points.hpp"
#include "huge_pages.hpp"
#include "messages.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/ode/ivprk.hpp"
#include "solver_state.hpp"

namespace rkv {
namespace ode {
namespace {

Workspace g_workspace{};
WorkspaceGate g_gate = nullptr;

// The one allocation of the solver. Fails when memory is exhausted and when
// a workspace is still held. Zero-filled, so that no element is ever read
// before it was written, whatever the caller does after a failed start.
bool acquire(Workspace& ws, std::int32_t neq) {
  if (ws.data != nullptr) return false;
  const std::size_t count = static_cast<std::size_t>(neq) * static_cast<std::size_t>(kWorkColumns);
  if (g_gate != nullptr && !g_gate(count)) return false;
  void* p = std::calloc(count, sizeof(float));
  if (p == nullptr) return false;
  advise_huge_pages(p, count * sizeof(float));
  ws.data = static_cast<float*>(p);
  ws.size = count;
  return true;
}

// Releasing when nothing is held is not an error.
void release(Workspace& ws) {
  std::free(ws.data);
  ws.data = nullptr;
  ws.size = 0;
}

// Whether the held workspace has the 10*NEQ reals a call with this NEQ uses.
bool fits(const Workspace& ws, std::int32_t neq) {
  return neq >= 1 &&
         static_cast<std::size_t>(neq) * static_cast<std::size_t>(kWorkColumns) <= ws.size;
}

}  // namespace

Workspace& front_end_workspace() {
  return g_workspace;
}
void set_workspace_gate(WorkspaceGate gate) {
  g_gate = gate;
}

}  // namespace ode

void IVPRK(std::int32_t& ido, const std::int32_t& neq_arg, RhsFunction fcn, float& x,
           const float& xend, const float& tol, float* param, float* y) {
  // NEQ sizes the workspace and every loop: taken once, so that a caller's
  // variable changed during the call (from the right-hand side) cannot make
  // a loop run past the workspace or Y.
  const std::int32_t neq = neq_arg;
  E1PSH(ode::kFrontName);
  const ode::InUse busy(ode::solver_in_use());
  if (!busy.held()) {
    // Refused before anything of the call in progress is read or written:
    // neither the workspace nor PARAM is touched.
    ode::front_in_use();
    E1POP(ode::kFrontName);
    return;
  }
  ode::Workspace& ws = ode::front_end_workspace();
  const ode::SolverState& s = ode::solver_state();
  ode::begin_call();
  if (ido < 1 || ido > 6) {
    ode::front_ido_range(ido);
  } else if (ido == 1) {
    if (neq < 1) {
      ode::front_neq(neq);
    } else if (!ode::acquire(ws, neq)) {
      ode::front_storage(neq);
    } else {
      ode::integrator_call(ido, neq, fcn, x, xend, tol, param, y, I2ERRNRM, ws.data);
    }
  } else if (ido != 3 && s.initialised != 0 && ws.data == nullptr) {
    // An integration opened by a direct call of the integrator, with a
    // workspace this front end does not hold: nothing to resume it with.
    ode::front_not_initialised(ido);
  } else if (ido != 3 && ws.data != nullptr && !ode::fits(ws, neq)) {
    // NEQ changed since IDO = 1: the held workspace is too small for it.
    if (neq < 1) {
      ode::front_neq(neq);
    } else {
      ode::front_storage(neq);
    }
  } else {
    // Without a held workspace the integrator refuses IDO 2, 4, 5 and 6
    // (nothing is open) before it could touch one; IDO = 3 never touches it.
    ode::integrator_call(ido, neq, fcn, x, xend, tol, param, y, I2ERRNRM, ws.data);
  }
  E1POP(ode::kFrontName);
  if (ido == 3) ode::release(ws);
}

}  // namespace rkv
