// Ensembles across processes (rkv/mpi/ensemble.hpp): the shared member
// counter on rank 0, the queue of one process, and the gather of the
// results in member order.
#include "rkv/mpi/ensemble.hpp"

#include <cstring>

namespace rkv::mpi {

MemberCounter::MemberCounter(MPI_Comm comm, std::int64_t count, std::int64_t chunk)
    : count_(count), chunk_(chunk) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  const MPI_Aint bytes = rank == 0 ? static_cast<MPI_Aint>(sizeof(std::int64_t)) : 0;
  MPI_Win_allocate(bytes, static_cast<int>(sizeof(std::int64_t)), MPI_INFO_NULL, comm, &base_,
                   &window_);
  // One passive-target epoch for the whole run; the counter starts at 0
  // before any process fetches.
  MPI_Win_lock_all(0, window_);
  if (rank == 0) {
    *base_ = 0;
    MPI_Win_sync(window_);
  }
  MPI_Barrier(comm);
}

MemberCounter::~MemberCounter() {
  MPI_Win_unlock_all(window_);
  MPI_Win_free(&window_);
}

std::int64_t MemberCounter::fetch() {
  const std::int64_t add = chunk_;
  std::int64_t first = 0;
  MPI_Fetch_and_op(&add, &first, MPI_INT64_T, 0, 0, MPI_SUM, window_);
  MPI_Win_flush(0, window_);
  return first;
}

namespace detail {

void MemberQueue::feed() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // A fetch when the queue is empty and a worker waits for it.
    changed_.wait(lock, [this] { return done_ || (next_ >= end_ && waiting_ > 0); });
    if (done_) return;
    lock.unlock();
    const std::int64_t first = counter_.fetch();  // MPI on this thread only
    lock.lock();
    if (done_) return;
    if (first >= counter_.count()) {
      done_ = true;
    } else {
      next_ = first;
      end_ =
          first + counter_.chunk() < counter_.count() ? first + counter_.chunk() : counter_.count();
    }
    changed_.notify_all();
  }
}

std::int64_t MemberQueue::take() {
  std::unique_lock<std::mutex> lock(mutex_);
  ++waiting_;
  changed_.notify_all();
  changed_.wait(lock, [this] { return next_ < end_ || done_; });
  --waiting_;
  return next_ < end_ ? next_++ : -1;
}

void MemberQueue::stop() {
  const std::lock_guard<std::mutex> lock(mutex_);
  done_ = true;
  end_ = next_;  // what is queued is left
  changed_.notify_all();
}

}  // namespace detail

void gather_members(MPI_Comm comm, const std::vector<std::int64_t>& which,
                    const std::vector<unsigned char>& records, std::size_t bytes,
                    std::vector<unsigned char>& all, std::int64_t count) {
  int rank = 0;
  int size = 1;
  MPI_Comm_rank(comm, &rank);
  MPI_Comm_size(comm, &size);
  const int mine = static_cast<int>(which.size());
  std::vector<int> counts(rank == 0 ? static_cast<std::size_t>(size) : 0);
  MPI_Gather(&mine, 1, MPI_INT, counts.data(), 1, MPI_INT, 0, comm);
  std::vector<int> starts(counts.size(), 0);
  std::vector<int> byte_counts(counts.size(), 0);
  std::vector<int> byte_starts(counts.size(), 0);
  int total = 0;
  for (std::size_t r = 0; r < counts.size(); ++r) {
    starts[r] = total;
    byte_counts[r] = counts[r] * static_cast<int>(bytes);
    byte_starts[r] = total * static_cast<int>(bytes);
    total += counts[r];
  }
  std::vector<std::int64_t> indices(static_cast<std::size_t>(total));
  std::vector<unsigned char> gathered(static_cast<std::size_t>(total) * bytes);
  MPI_Gatherv(which.data(), mine, MPI_INT64_T, indices.data(), counts.data(), starts.data(),
              MPI_INT64_T, 0, comm);
  MPI_Gatherv(records.data(), mine * static_cast<int>(bytes), MPI_BYTE, gathered.data(),
              byte_counts.data(), byte_starts.data(), MPI_BYTE, 0, comm);
  all.clear();
  if (rank != 0) return;
  all.assign(static_cast<std::size_t>(count) * bytes, 0);
  for (std::size_t k = 0; k < indices.size(); ++k) {
    std::memcpy(all.data() + static_cast<std::size_t>(indices[k]) * bytes,
                gathered.data() + k * bytes, bytes);
  }
}

}  // namespace rkv::mpi
