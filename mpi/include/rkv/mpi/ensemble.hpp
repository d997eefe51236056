// rkv::mpi::run_ensemble: the members of an ensemble (independent
// integrations, one per parameter set) spread over the processes of an MPI
// communicator and over threads within each process, results gathered in
// member order on rank 0.
//
// Scheduling is dynamic: members are handed out in chunks from one counter
// on rank 0 (an MPI one-sided fetch-and-add), so a process whose members
// finish early takes more. Within a process the calling thread fetches the
// chunks (it alone calls MPI, so MPI_THREAD_FUNNELED is enough) and the
// worker threads run the members. Each member runs exactly as it would on
// its own (its own integrator, nothing shared), so its result is the bits
// of its serial run, whatever the number of processes and threads.
//
//   struct Result { float x, y; };                   // trivially copyable
//   std::vector<Result> all = rkv::mpi::run_ensemble<Result>(
//       MPI_COMM_WORLD, members, [&](std::int64_t i, Result& r) { ... });
//   // rank 0: all[i] for i = 0 .. members-1; other ranks: empty
//
// `run(i, result)` is called once for each member i, on any worker thread
// of any process; it must not call MPI. The error state is per thread: a
// worker starts from the process-wide initial attributes (SETINITATTR).
// An exception thrown by `run` stops that process taking members; the
// others go on, the results are gathered (the members it did not finish
// left as zero bytes), then it is rethrown on that process.
#pragma once

#include <mpi.h>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv::mpi {

struct EnsembleOptions {
  int threads = 0;         // worker threads per process; 0: one per core
  std::int64_t chunk = 0;  // members per fetch; 0: about 1/64 of a process's share
};

// The counter members are fetched from, shared by the processes of `comm`.
class MemberCounter {
 public:
  // Collective.
  MemberCounter(MPI_Comm comm, std::int64_t count, std::int64_t chunk);
  ~MemberCounter();  // collective
  MemberCounter(const MemberCounter&) = delete;
  MemberCounter& operator=(const MemberCounter&) = delete;
  MemberCounter(MemberCounter&&) = delete;
  MemberCounter& operator=(MemberCounter&&) = delete;
  // The first member of the next chunk (one past the last when none is left).
  std::int64_t fetch();
  [[nodiscard]] std::int64_t chunk() const { return chunk_; }
  [[nodiscard]] std::int64_t count() const { return count_; }

 private:
  MPI_Win window_ = MPI_WIN_NULL;
  std::int64_t* base_ = nullptr;
  std::int64_t count_;
  std::int64_t chunk_;
};

// The records of `bytes` bytes each that this process ran (indices in
// `which`), placed in member order on rank 0 into `all` (count * bytes).
// Collective.
void gather_members(MPI_Comm comm, const std::vector<std::int64_t>& which,
                    const std::vector<unsigned char>& records, std::size_t bytes,
                    std::vector<unsigned char>& all, std::int64_t count);

namespace detail {

// The members of one process: the calling thread fetches chunks into a
// queue, the workers take them.
class MemberQueue {
 public:
  explicit MemberQueue(MemberCounter& counter) : counter_(counter) {}
  // On the calling thread: keeps the queue filled until the counter is
  // exhausted or `stop` is called, then lets the workers drain it.
  void feed();
  // On a worker: the next member, or -1 when there are none.
  std::int64_t take();
  void stop();

 private:
  MemberCounter& counter_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::int64_t next_ = 0;
  std::int64_t end_ = 0;
  bool done_ = false;
  int waiting_ = 0;
};

}  // namespace detail

namespace detail {

// The members one process ran, in the order they finished; the first
// exception of its `run`, if any.
template <class Result>
struct Done {
  std::mutex mutex;
  std::vector<std::pair<std::int64_t, Result>> results;
  std::exception_ptr thrown;
  // Runs member i; false when `run` threw (or its result found no room).
  template <class F>
  bool run_one(F& run, std::int64_t i) {
    try {
      Result r{};
      run(i, r);
      const std::lock_guard<std::mutex> lock(mutex);
      results.emplace_back(i, r);
      return true;
    } catch (...) {
      const std::lock_guard<std::mutex> lock(mutex);
      if (!thrown) thrown = std::current_exception();
      return false;
    }
  }
};

// The members taken on the calling thread alone, when no worker could be
// started.
template <class Result, class F>
void run_here(MemberCounter& counter, Done<Result>& done, F& run) {
  for (std::int64_t first = counter.fetch(); first < counter.count(); first = counter.fetch()) {
    const std::int64_t end =
        first + counter.chunk() < counter.count() ? first + counter.chunk() : counter.count();
    for (std::int64_t i = first; i < end; ++i) {
      if (!done.run_one(run, i)) return;
    }
  }
}

// The members over `threads` workers fed from the counter.
template <class Result, class F>
void run_on_threads(MemberCounter& counter, Done<Result>& done, F& run, int threads) {
  MemberQueue queue(counter);
  std::vector<std::thread> pool;
  try {
    for (int t = 0; t < threads; ++t) {
      pool.emplace_back([&] {
        for (std::int64_t i = queue.take(); i >= 0; i = queue.take()) {
          if (!done.run_one(run, i)) queue.stop();
        }
      });
    }
  } catch (const std::system_error&) {
    // Fewer threads than asked for: those started do the work.
  }
  if (pool.empty()) {
    run_here(counter, done, run);
    return;
  }
  queue.feed();
  for (std::thread& t : pool) t.join();
}

}  // namespace detail

template <class Result, class F>
std::vector<Result> run_ensemble(MPI_Comm comm, std::int64_t count, F&& run,
                                 EnsembleOptions options = {}) {
  static_assert(std::is_trivially_copyable_v<Result>, "results travel as bytes");
  int size = 1;
  MPI_Comm_size(comm, &size);
  int threads =
      options.threads > 0 ? options.threads : static_cast<int>(std::thread::hardware_concurrency());
  threads = threads > 0 ? threads : 1;
  const std::int64_t share = count / (64 * static_cast<std::int64_t>(size)) + 1;
  detail::Done<Result> done;
  {
    MemberCounter counter(comm, count, options.chunk > 0 ? options.chunk : share);
    detail::run_on_threads(counter, done, run, threads);
  }
  std::vector<std::int64_t> which(done.results.size());
  std::vector<unsigned char> records(done.results.size() * sizeof(Result));
  for (std::size_t k = 0; k < done.results.size(); ++k) {
    which[k] = done.results[k].first;
    std::memcpy(records.data() + k * sizeof(Result), &done.results[k].second, sizeof(Result));
  }
  std::vector<unsigned char> bytes;
  gather_members(comm, which, records, sizeof(Result), bytes, count);
  if (done.thrown) std::rethrow_exception(done.thrown);
  std::vector<Result> all(bytes.size() / sizeof(Result));
  if (!all.empty()) std::memcpy(all.data(), bytes.data(), bytes.size());
  return all;
}

}  // namespace rkv::mpi

#pragma GCC visibility pop
