// rkv::Integrator: the owner of one solver instance, driven through the same
// front end as IVPRK.
#include "rkv/ode/integrator.hpp"

#include "front/instance.hpp"

namespace rkv {

namespace ode {
Instance& instance_of(Integrator& integrator) {
  return *integrator.instance_;
}
}  // namespace ode

Integrator::Integrator(RhsFunction fcn) : instance_(new ode::Instance) {
  instance_->kind = ode::RhsKind::kPlain;
  instance_->plain = fcn;
}

Integrator::Integrator(RhsContextFunction fcn, void* context) : instance_(new ode::Instance) {
  instance_->kind = ode::RhsKind::kContext;
  instance_->with_context = fcn;
  instance_->context = context;
}

Integrator::Integrator(RhsPointerFunction fcn, void* context) : instance_(new ode::Instance) {
  instance_->kind = ode::RhsKind::kPointer;
  instance_->with_pointers = fcn;
  instance_->context = context;
}

Integrator::Integrator(RhsContextFunction fcn, void* owned, void (*release)(void*))
    : instance_(nullptr) {
  try {
    instance_ = new ode::Instance;
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
  delete instance_;
}

Integrator::Integrator(Integrator&& other) noexcept : instance_(other.instance_) {
  other.instance_ = nullptr;
}

Integrator& Integrator::operator=(Integrator&& other) noexcept {
  if (this != &other) {
    delete instance_;
    instance_ = other.instance_;
    other.instance_ = nullptr;
  }
  return *this;
}

void Integrator::integrate(std::int32_t& ido, const std::int32_t& neq, float& x, const float& xend,
                           const float& tol, float* param, float* y) {
  ode::integrator_call(*instance_, ido, neq, x, xend, tol, param, y);
}

}  // namespace rkv
