// IVPRK: the front end of the solver. Checks IDO, owns the workspace of
// 10*NEQ reals (requested on IDO = 1, released after IDO = 3) and hands
// everything to the integrator I2PRK together with the norm I2ERRNRM.
#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "error_points.hpp"
#include "messages.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/ode/ivprk.hpp"
#include "solver_state.hpp"

namespace rkv {
namespace ode {
namespace {

Workspace g_workspace{};
WorkspaceGate g_gate = nullptr;

// A large workspace is a fresh mapping of zero pages, and every page costs a
// fault at its first write, which on a system of a million equations is a
// noticeable share of a short integration. Where the kernel offers
// transparent huge pages on request, ask for them: one fault then maps 2 MiB.
// Only advice: nothing changes if it is refused.
void advise_huge_pages(void* p, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::size_t kLarge = std::size_t{4} << 20;  // below this it cannot pay
  constexpr std::uintptr_t kPage = 4096;
  if (bytes < kLarge) return;
  const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(p) + kPage - 1) & ~(kPage - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kPage - 1);
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the page-aligned interior of p
  static_cast<void>(madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE));
#else
  static_cast<void>(p);
  static_cast<void>(bytes);
#endif
}

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

void IVPRK(std::int32_t& ido, const std::int32_t& neq, RhsFunction fcn, float& x, const float& xend,
           const float& tol, float* param, float* y) {
  E1PSH(ode::kFrontName);
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
      I2PRK(ido, neq, fcn, x, xend, tol, param, y, I2ERRNRM, ws.data);
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
    I2PRK(ido, neq, fcn, x, xend, tol, param, y, I2ERRNRM, ws.data);
  }
  E1POP(ode::kFrontName);
  if (ido == 3) ode::release(ws);
}

}  // namespace rkv
