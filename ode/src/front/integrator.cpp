// rkv::Integrator: the owner of one solver instance, driven through the same
// front end as IVPRK. The instance carries an anchor that a DenseOutput
// keeps, so that the layer follows the instance through moves of the
// integrator and learns when it is gone.
#include "rkv/ode/integrator.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "front/instance.hpp"
#include "rkv/errors/call_scope.hpp"

namespace rkv {

namespace ode {
Instance& instance_of(Integrator& integrator) {
  return *integrator.instance_;
}

Instance* instance_pointer(Integrator& integrator) {
  return integrator.instance_;
}
}  // namespace ode

namespace {

// A new instance with its anchor.
ode::Instance* new_instance() {
  auto in = std::make_unique<ode::Instance>();
  in->anchor = std::make_shared<ode::Instance*>(in.get());
  return in.release();
}

bool busy(const ode::Instance* in) {
  return in != nullptr && in->in_use.load(std::memory_order_acquire) != 0;
}

// The call in progress would go on in freed memory: fail fast.
void destroy(ode::Instance* in) {
  if (busy(in)) {
    std::fputs(
        "rkv::Integrator destroyed while a call of it is in progress (from its right-hand side "
        "or another thread).  The process ends.\n",
        stderr);
    std::abort();
  }
  delete in;
}

}  // namespace

Integrator::Integrator(RhsFunction fcn) : instance_(new_instance()) {
  instance_->kind = ode::RhsKind::kPlain;
  instance_->plain = fcn;
}

Integrator::Integrator(RhsContextFunction fcn, void* context) : instance_(new_instance()) {
  instance_->kind = ode::RhsKind::kContext;
  instance_->with_context = fcn;
  instance_->context = context;
}

Integrator::Integrator(RhsPointerFunction fcn, void* context) : instance_(new_instance()) {
  instance_->kind = ode::RhsKind::kPointer;
  instance_->with_pointers = fcn;
  instance_->context = context;
}

Integrator::Integrator(RhsContextFunction fcn, void* owned, void (*release)(void*))
    : instance_(nullptr) {
  try {
    instance_ = new_instance();
  } catch (...) {
    release(owned);
    throw;
  }
  instance_->kind = ode::RhsKind::kContext;
  instance_->with_context = fcn;
  instance_->context = owned;
  instance_->release_context = release;
}

Integrator::~Integrator() {
  destroy(instance_);
}

Integrator::Integrator(Integrator&& other) noexcept : instance_(other.instance_) {
  other.instance_ = nullptr;
}

Integrator& Integrator::operator=(Integrator&& other) noexcept {
  if (this == &other) return *this;
  if (busy(instance_) || busy(other.instance_)) {
    ode::refuse_assignment_in_use();
    return *this;
  }
  delete instance_;
  instance_ = other.instance_;
  other.instance_ = nullptr;
  return *this;
}

std::int32_t Integrator::integrate(std::int32_t& ido, const std::int32_t& neq, float& x,
                                   const float& xend, const float& tol, float* param, float* y) {
  const CallScope scope;
  if (instance_ == nullptr) {
    ode::refuse_moved_from();
  } else {
    ode::integrator_call(*instance_, ido, neq, x, xend, tol, param, y);
  }
  return scope.outcome();
}

}  // namespace rkv
