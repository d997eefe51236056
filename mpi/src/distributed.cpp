// The distributed integrator (rkv/mpi/distributed.hpp): the local
// integrator of the slice with the distributed norm as its error norm and
// the agreeing right-hand side, the start over the whole system, and the
// reports of rank 0 only.
#include "rkv/mpi/distributed.hpp"

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>

#include "rkv/errors/call_scope.hpp"
#include "rkv/errors/control.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/errors/user_code.hpp"
#include "start.hpp"
#include "state.hpp"

namespace rkv::mpi {
namespace {

// Calls of distributed integrators in progress in this process: a stop
// reached inside one is reached by every process at the same point, so MPI
// is finalized on the way out (a process ending without it would be an
// abnormal end to the launcher).
std::atomic<int> g_calls{0};

// The evaluation of a right-hand side in progress on this thread, whose
// agreement the other processes wait in: a stop from inside the user's code
// (a FATAL error it posted, with the stops on) makes it on the way out, as
// a failure, so that the others end the call, and stop, as well.
thread_local void (*g_unagreed)(void*) = nullptr;
thread_local void* g_unagreed_state = nullptr;

void finalize_at_stop() {
  int initialized = 0;
  int finalized = 0;
  MPI_Initialized(&initialized);
  MPI_Finalized(&finalized);
  if (g_calls.load() == 0 || initialized == 0 || finalized != 0) return;
  if (g_unagreed != nullptr) {
    void (*agree)(void*) = g_unagreed;
    g_unagreed = nullptr;
    agree(g_unagreed_state);
  }
  MPI_Finalize();
}

// Marks the user's right-hand side in progress on this thread.
template <class Real>
class Evaluating {
 public:
  explicit Evaluating(DistributedState<Real>* s) {
    g_unagreed = [](void* state) { static_cast<DistributedState<Real>*>(state)->agree(1, false); };
    g_unagreed_state = s;
  }
  ~Evaluating() { g_unagreed = nullptr; }
  Evaluating(const Evaluating&) = delete;
  Evaluating& operator=(const Evaluating&) = delete;
  Evaluating(Evaluating&&) = delete;
  Evaluating& operator=(Evaluating&&) = delete;
};

std::once_flag g_at_exit;

// For the length of a call: counted in g_calls, and on every rank but 0
// the reports not printed (their stops are kept); the attributes of the
// calling thread are put back on the way out, also when an exception leaves.
class CallGuard {
 public:
  explicit CallGuard(int rank) : quiet_(rank != 0) {
    g_calls.fetch_add(1);
    if (!quiet_) return;
    for (std::int32_t type = 1; type <= kTypes; ++type) {
      std::int32_t stop = 0;
      GETERRATTR(type, print_[type - 1], stop);
    }
    SETERRATTR(kAllTypes, kAttrOff, kAttrKeep);
  }
  ~CallGuard() {
    if (quiet_) {
      for (std::int32_t type = 1; type <= kTypes; ++type) {
        SETERRATTR(type, print_[type - 1], kAttrKeep);
      }
    }
    g_calls.fetch_sub(1);
  }
  CallGuard(const CallGuard&) = delete;
  CallGuard& operator=(const CallGuard&) = delete;
  CallGuard(CallGuard&&) = delete;
  CallGuard& operator=(CallGuard&&) = delete;

 private:
  static constexpr std::int32_t kTypes = 7;
  bool quiet_;
  std::int32_t print_[kTypes] = {};
};

// The report of a process whose own right-hand side was fine when that of
// process `rank` ended the call, with that process's own words.
void post_elsewhere(int rank, const char* words) {
  static constexpr std::string_view kName = "M1AGR";
  E1PSH(kName);
  E1SETINT(1, rank);
  E1SETSTR(2, words);
  E1MES(kFatal, 1, "The right-hand side of process %(I1) ended the call: %(L2)");
  E1POP(kName);
}

// The words of the failed process's report (cut to fit), for the others.
constexpr std::size_t kWords = 400;
void own_words(bool thrown, std::array<char, kWords>& words) {
  const std::string_view text =
      thrown ? std::string_view("an exception was thrown.") : GETERRTEXT();
  const std::size_t n = text.size() < kWords - 1 ? text.size() : kWords - 1;
  std::memcpy(words.data(), text.data(), n);
  words[n] = '\0';
}

// A call of a moved-from distributed integrator.
void refuse_moved_from() {
  static constexpr std::string_view kName = "M1PRK";
  E1PSH(kName);
  E1MES(kTerminal, 2, "The distributed integrator has been moved from.  It cannot be called.");
  E1POP(kName);
}

// Tolerances per component that could not be stored.
void refuse_storage(std::int32_t count) {
  static constexpr std::string_view kName = "M1PRK";
  E1PSH(kName);
  E1SETINT(1, count);
  E1MES(kTerminal, 3, "There is no memory for %(I1) absolute tolerances.  None is changed.");
  E1POP(kName);
}

// Puts an entry of PARAM back as the caller gave it, however the call ends.
template <class Real>
class EntryRestore {
 public:
  explicit EntryRestore(Real& entry) : entry_(entry), given_(entry) {}
  ~EntryRestore() { entry_ = given_; }
  EntryRestore(const EntryRestore&) = delete;
  EntryRestore& operator=(const EntryRestore&) = delete;
  EntryRestore(EntryRestore&&) = delete;
  EntryRestore& operator=(EntryRestore&&) = delete;

 private:
  Real& entry_;
  Real given_;
};

}  // namespace

template <class Real>
DistributedState<Real>::DistributedState(MPI_Comm user_comm, BasicRhsContextFunction<Real> f,
                                         void* own, Release rel)
    : user(user_comm),
      comm(MPI_COMM_NULL),
      fcn(f),
      owned(own),
      release(rel),
      local([this](const std::int32_t& neq, const Real& x, const Real* y, Real* yprime) {
        evaluate(neq, x, y, yprime);
      }) {
  MPI_Comm_dup(user_comm, &comm);
  MPI_Comm_rank(comm, &rank);
  MPI_Comm_size(comm, &size);
  local.set_error_norm(
      [this](std::int32_t neq, const Real* v, const Real* y0, const Real* y1, const Real* ymax) {
        return distributed_norm(norm, comm, neq, v, y0, y1, ymax);
      });
  std::call_once(g_at_exit, [] { std::atexit(&finalize_at_stop); });
}

template <class Real>
DistributedState<Real>::~DistributedState() {
  int finalized = 0;
  MPI_Finalized(&finalized);
  if (finalized == 0 && comm != MPI_COMM_NULL) MPI_Comm_free(&comm);
  if (release != nullptr) release(owned);
}

template <class Real>
void DistributedState<Real>::evaluate(const std::int32_t& neq, const Real& x, const Real* y,
                                      Real* yprime) {
  std::exception_ptr thrown;
  try {
    const Evaluating<Real> mark(this);
    fcn(owned, neq, x, y, yprime);
  } catch (...) {
    thrown = std::current_exception();
  }
  agree(thrown ? 2 : (N1RSER(E1ERRSTATE()) ? 1 : 0), thrown != nullptr);
  if (thrown) std::rethrow_exception(thrown);
}

template <class Real>
void DistributedState<Real>::agree(int mine, bool thrown) {
  // The worst of the processes and the lowest rank that had it.
  int worst[2] = {mine, rank};
  MPI_Allreduce(MPI_IN_PLACE, worst, 1, MPI_2INT, MPI_MAXLOC, comm);
  if (worst[0] == 0) return;
  // Only when one failed: its words travel to the others' reports.
  std::array<char, kWords> words{};
  if (worst[1] == rank) own_words(thrown, words);
  MPI_Bcast(words.data(), static_cast<int>(kWords), MPI_CHAR, worst[1], comm);
  if (mine == 0) post_elsewhere(worst[1], words.data());
}

template <class Real>
BasicDistributedIntegrator<Real>::BasicDistributedIntegrator(MPI_Comm comm,
                                                             BasicRhsContextFunction<Real> fcn,
                                                             void* owned, Release release)
    : state_(std::make_unique<DistributedState<Real>>(comm, fcn, owned, release)) {}

template <class Real>
BasicDistributedIntegrator<Real>::~BasicDistributedIntegrator() = default;
template <class Real>
BasicDistributedIntegrator<Real>::BasicDistributedIntegrator(
    BasicDistributedIntegrator&&) noexcept = default;
template <class Real>
BasicDistributedIntegrator<Real>& BasicDistributedIntegrator<Real>::operator=(
    BasicDistributedIntegrator&&) noexcept = default;

namespace {

// One call over the whole system: on IDO = 1 the start over all processes
// first; then `go`, the call of the slice's integrator or of a dense output
// over it, with the reports of rank 0 only.
template <class Real, class Go>
std::int32_t drive(DistributedState<Real>* state, std::int32_t& ido, const std::int32_t& neq,
                   const Real& x, const Real& xend, const Real& tol, Real* param, const Real* y,
                   Go&& go) {
  const CallScope scope;
  if (state == nullptr) {
    refuse_moved_from();
    return scope.outcome();
  }
  DistributedState<Real>& s = *state;
  const CallGuard guard(s.rank);
  if (ido != 1) {
    go();
    return scope.outcome();
  }
  if (!start_checks(s, neq, x, xend, tol, y)) return scope.outcome();
  read_norm_settings(s.norm, param);
  // The first step of the tolerances through PARAM(1), put back after.
  const EntryRestore keep(param[0]);
  param[0] = first_step_entry(s, tol, param);
  go();
  return scope.outcome();
}

}  // namespace

template <class Real>
std::int32_t BasicDistributedIntegrator<Real>::integrate(std::int32_t& ido, const std::int32_t& neq,
                                                         Real& x, const Real& xend, const Real& tol,
                                                         Real* param, Real* y) {
  return drive(state_.get(), ido, neq, x, xend, tol, param, y,
               [&] { state_->local.integrate(ido, neq, x, xend, tol, param, y); });
}

template <class Real>
std::int32_t BasicDistributedIntegrator<Real>::integrate(BasicDenseOutput<Real>& dense,
                                                         std::int32_t& ido, const std::int32_t& neq,
                                                         Real& x, const Real& xend, const Real& tol,
                                                         Real* param, Real* y) {
  return drive(state_.get(), ido, neq, x, xend, tol, param, y,
               [&] { dense.integrate(ido, neq, x, xend, tol, param, y); });
}

// Opens a change of the tolerances: the local integrator refuses a change
// while it is open or in use (its own tolerances are never set: the
// distributed norm takes their place), so clearing them tells whether the
// change may be made. Then the tolerances are those of the whole system,
// kept as BasicIntegrator keeps its own.
template <class Real>
NormSettings<Real>* open_change(DistributedState<Real>* s) {
  if (s == nullptr) {
    refuse_moved_from();
    return nullptr;
  }
  if (s->local.clear_tolerances() > kWarning) return nullptr;
  return &s->norm;
}

template <class Real>
std::int32_t BasicDistributedIntegrator<Real>::set_tolerances(Real rtol, Real atol,
                                                              ToleranceNorm norm) {
  const CallScope scope;
  if (NormSettings<Real>* n = open_change(state_.get()); n != nullptr) {
    n->tolerances = static_cast<std::int32_t>(norm) != 0;
    n->kind = norm;
    n->rtol = rtol;
    n->atol = atol;
    n->per_component = false;
    n->each.clear();
  }
  return scope.outcome();
}

template <class Real>
std::int32_t BasicDistributedIntegrator<Real>::set_tolerances(Real rtol, const Real* atol,
                                                              std::int32_t count,
                                                              ToleranceNorm norm) {
  const CallScope scope;
  if (NormSettings<Real>* n = open_change(state_.get()); n != nullptr) {
    // A null ATOL is none, refused by the next start as a wrong count.
    const std::size_t size = atol != nullptr && count > 0 ? static_cast<std::size_t>(count) : 0;
    try {
      std::vector<Real> copy(atol, atol + size);
      n->each.swap(copy);
      n->tolerances = static_cast<std::int32_t>(norm) != 0;
      n->kind = norm;
      n->rtol = rtol;
      n->atol = Real{0};
      n->per_component = true;
    } catch (const std::bad_alloc&) {
      refuse_storage(count);
    }
  }
  return scope.outcome();
}

template <class Real>
std::int32_t BasicDistributedIntegrator<Real>::clear_tolerances() {
  const CallScope scope;
  if (state_ == nullptr) {
    refuse_moved_from();
  } else if (state_->local.clear_tolerances() <= kWarning) {
    NormSettings<Real>& n = state_->norm;
    n.tolerances = false;
    n.each.clear();
  }
  return scope.outcome();
}

template <class Real>
MPI_Comm BasicDistributedIntegrator<Real>::communicator() const {
  return state_ != nullptr ? state_->user : MPI_COMM_NULL;
}

template <class Real>
std::int64_t BasicDistributedIntegrator<Real>::global_neq() const {
  return state_ != nullptr ? state_->norm.global_neq : 0;
}

template <class Real>
std::int64_t BasicDistributedIntegrator<Real>::offset() const {
  return state_ != nullptr ? state_->offset : 0;
}

template <class Real>
BasicIntegrator<Real>& BasicDistributedIntegrator<Real>::local() {
  return state_->local;
}

template struct DistributedState<float>;
template struct DistributedState<double>;
template class BasicDistributedIntegrator<float>;
template class BasicDistributedIntegrator<double>;

}  // namespace rkv::mpi
