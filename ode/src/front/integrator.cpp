// rkv::BasicIntegrator (Integrator over float, DoubleIntegrator over
// double): the owner of one solver instance, driven through the same front
// end as IVPRK. The instance carries an anchor that a DenseOutput
// keeps, so that the layer follows the instance through moves of the
// integrator and learns when it is gone.
#include "rkv/ode/integrator.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "front/instance.hpp"
#include "rkv/errors/call_scope.hpp"

namespace rkv {

namespace ode {
struct InstanceAccess {
  template <class Real>
  static BasicInstance<Real>*& of(BasicIntegrator<Real>& integrator) {
    return integrator.instance_;
  }
};

template <class Real>
BasicInstance<Real>& instance_of(BasicIntegrator<Real>& integrator) {
  return *InstanceAccess::of(integrator);
}

template <class Real>
BasicInstance<Real>* instance_pointer(BasicIntegrator<Real>& integrator) {
  return InstanceAccess::of(integrator);
}

template Instance& instance_of<float>(Integrator&);
template Instance* instance_pointer<float>(Integrator&);
template BasicInstance<double>& instance_of<double>(DoubleIntegrator&);
template BasicInstance<double>* instance_pointer<double>(DoubleIntegrator&);
}  // namespace ode

namespace {

// A new instance with its anchor.
template <class Real>
ode::BasicInstance<Real>* new_instance() {
  auto in = std::make_unique<ode::BasicInstance<Real>>();
  in->anchor = std::make_shared<ode::BasicInstance<Real>*>(in.get());
  return in.release();
}

template <class Real>
bool busy(const ode::BasicInstance<Real>* in) {
  return in != nullptr && in->in_use.load(std::memory_order_acquire) != 0;
}

// The call in progress would go on in freed memory: fail fast.
template <class Real>
void destroy(ode::BasicInstance<Real>* in) {
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

template <class Real>
BasicIntegrator<Real>::BasicIntegrator(BasicRhsFunction<Real> fcn)
    : instance_(new_instance<Real>()) {
  instance_->kind = ode::RhsKind::kPlain;
  instance_->plain = fcn;
}

template <class Real>
BasicIntegrator<Real>::BasicIntegrator(BasicRhsContextFunction<Real> fcn, void* context)
    : instance_(new_instance<Real>()) {
  instance_->kind = ode::RhsKind::kContext;
  instance_->with_context = fcn;
  instance_->context = context;
}

template <class Real>
BasicIntegrator<Real>::BasicIntegrator(BasicRhsPointerFunction<Real> fcn, void* context)
    : instance_(new_instance<Real>()) {
  instance_->kind = ode::RhsKind::kPointer;
  instance_->with_pointers = fcn;
  instance_->context = context;
}

template <class Real>
BasicIntegrator<Real>::BasicIntegrator(BasicRhsContextFunction<Real> fcn, void* owned,
                                       void (*release)(void*))
    : instance_(nullptr) {
  try {
    instance_ = new_instance<Real>();
  } catch (...) {
    release(owned);
    throw;
  }
  instance_->kind = ode::RhsKind::kContext;
  instance_->with_context = fcn;
  instance_->context = owned;
  instance_->release_context = release;
}

template <class Real>
BasicIntegrator<Real>::~BasicIntegrator() {
  destroy(instance_);
}

template <class Real>
BasicIntegrator<Real>::BasicIntegrator(BasicIntegrator&& other) noexcept
    : instance_(other.instance_) {
  other.instance_ = nullptr;
}

template <class Real>
BasicIntegrator<Real>& BasicIntegrator<Real>::operator=(BasicIntegrator&& other) noexcept {
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

template <class Real>
std::int32_t BasicIntegrator<Real>::integrate(std::int32_t& ido, const std::int32_t& neq, Real& x,
                                              const Real& xend, const Real& tol, Real* param,
                                              Real* y) {
  const CallScope scope;
  if (instance_ == nullptr) {
    ode::refuse_moved_from();
  } else {
    ode::integrator_call(*instance_, ido, neq, x, xend, tol, param, y);
  }
  return scope.outcome();
}

namespace {

// Opens a change of the tolerances or the norm: the instance exists, no
// call of it is in progress (held for the change by `busy`) and no
// integration is open. Otherwise posts the refusal and returns false.
template <class Real>
bool may_change(ode::BasicInstance<Real>* in, const ode::InUse* busy) {
  if (in == nullptr) {
    ode::refuse_moved_from();
  } else if (!busy->held()) {
    ode::refuse_in_use();
  } else if (in->state.initialised != 0) {
    ode::refuse_set_while_open();
  } else {
    return true;
  }
  return false;
}

}  // namespace

template <class Real>
std::int32_t BasicIntegrator<Real>::set_tolerances(Real rtol, Real atol, ToleranceNorm norm) {
  const CallScope scope;
  ode::InUseFlag spare{0};
  const ode::InUse busy(instance_ != nullptr ? instance_->in_use : spare);
  if (may_change(instance_, &busy)) {
    ode::Tolerances<Real>& t = instance_->tolerances;
    t.kind = static_cast<ode::NormKind>(norm);
    t.rtol = rtol;
    t.atol = atol;
    t.per_component = false;
    t.each.clear();
  }
  return scope.outcome();
}

template <class Real>
std::int32_t BasicIntegrator<Real>::set_tolerances(Real rtol, const Real* atol, std::int32_t count,
                                                   ToleranceNorm norm) {
  const CallScope scope;
  ode::InUseFlag spare{0};
  const ode::InUse busy(instance_ != nullptr ? instance_->in_use : spare);
  if (may_change(instance_, &busy)) {
    ode::Tolerances<Real>& t = instance_->tolerances;
    const std::size_t n = atol != nullptr && count > 0 ? static_cast<std::size_t>(count) : 0;
    try {
      std::vector<Real> copy(atol, atol + n);  // a null ATOL: none, refused at IDO = 1
      t.each.swap(copy);
      t.kind = static_cast<ode::NormKind>(norm);
      t.rtol = rtol;
      t.atol = Real{0};
      t.per_component = true;
    } catch (const std::bad_alloc&) {
      ode::refuse_tolerance_storage(count);
    }
  }
  return scope.outcome();
}

template <class Real>
std::int32_t BasicIntegrator<Real>::clear_tolerances() {
  const CallScope scope;
  ode::InUseFlag spare{0};
  const ode::InUse busy(instance_ != nullptr ? instance_->in_use : spare);
  if (may_change(instance_, &busy)) instance_->tolerances = ode::Tolerances<Real>{};
  return scope.outcome();
}

template <class Real>
std::int32_t BasicIntegrator<Real>::set_error_norm_owned(BasicErrorNormFunction<Real> fcn,
                                                         void* owned, void (*release)(void*)) {
  const CallScope scope;
  ode::InUseFlag spare{0};
  const ode::InUse busy(instance_ != nullptr ? instance_->in_use : spare);
  if (may_change(instance_, &busy)) {
    ode::UserNorm<Real>& u = instance_->user_norm;
    u.reset();
    u.call = fcn;
    u.self = owned;
    u.release = release;
  } else if (release != nullptr) {
    release(owned);
  }
  return scope.outcome();
}

template <class Real>
std::int32_t BasicIntegrator<Real>::set_error_norm(BasicErrorNormFunction<Real> fcn,
                                                   void* context) {
  return set_error_norm_owned(fcn, context, nullptr);
}

template <class Real>
std::int32_t BasicIntegrator<Real>::clear_error_norm() {
  return set_error_norm_owned(nullptr, nullptr, nullptr);
}

template class BasicIntegrator<float>;
template class BasicIntegrator<double>;

}  // namespace rkv
