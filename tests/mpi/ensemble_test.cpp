// An ensemble of the trajectory model over an ENERGY x BCOEF grid spread
// over the processes and two threads in each: every member's result, as
// gathered on rank 0, must be the bits of the same member run on its own
// in this process, whatever the number of processes; chunks of one member
// and of several. Run under mpirun with 1, 2 and 3 processes.
#include <mpi.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "model.hpp"
#include "rkv/errors/control.hpp"
#include "rkv/mpi/ensemble.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/param.hpp"

namespace {

constexpr int kEnergies = 5;
constexpr int kBcoefs = 6;

struct Result {
  float x;
  float y;
  float steps;
  float evaluations;
};

// Member i of the grid: the trajectory from y = 10 to x = 4 (or until y
// leaves the well), in output intervals of 0.1.
Result run_member(std::int64_t i) {
  rkv::app::TrajData data = rkv::app::initial_trajdata();
  const double e0 = static_cast<double>(data.ENERGY);
  data.ENERGY = static_cast<float>(e0 * (0.5 + 0.25 * static_cast<double>(i / kBcoefs)));
  data.BCOEF = static_cast<float>(0.25 * static_cast<double>(i % kBcoefs));
  rkv::Integrator it([&data](const std::int32_t& neq, const float& x, const float* y,
                             float* yprime) { rkv::app::RHSTRAJ(&data, neq, x, y, yprime); });
  float param[rkv::param::kSize] = {};
  rkv::param::set(param, rkv::param::kHmax, 0.01f);
  rkv::param::set(param, rkv::param::kMaxSteps, 1.0e7f);
  std::int32_t ido = 1;
  float x = 0.0f;
  float y = 10.0f;
  while (ido == 2 || ido == 1) {
    if (!(x < 4.0f && y > -10.1f && y < 10.1f)) break;
    float xstart = x;
    x = static_cast<float>(static_cast<double>(x) + 0.1);
    it.integrate(ido, 1, xstart, x, 1.0e-6f, param, &y);
  }
  const Result r{x, y, rkv::param::get(param, rkv::param::kAcceptedSteps),
                 rkv::param::get(param, rkv::param::kEvaluations)};
  ido = 3;
  it.integrate(ido, 1, x, x, 1.0e-6f, param, &y);
  return r;
}

int compare(const std::vector<Result>& all, std::int64_t chunk) {
  int failures = 0;
  if (all.size() != static_cast<std::size_t>(kEnergies * kBcoefs)) ++failures;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const Result serial = run_member(static_cast<std::int64_t>(i));
    const bool same =
        std::bit_cast<std::uint32_t>(serial.x) == std::bit_cast<std::uint32_t>(all[i].x) &&
        std::bit_cast<std::uint32_t>(serial.y) == std::bit_cast<std::uint32_t>(all[i].y) &&
        serial.steps == all[i].steps && serial.evaluations == all[i].evaluations &&
        serial.steps > 10.0f;
    if (!same) {
      ++failures;
      std::printf("FAILED member %zu (chunk %lld)\n", i, static_cast<long long>(chunk));
    }
  }
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  rkv::SETINITATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff);
  int failures = 0;
  for (const std::int64_t chunk : {1, 4}) {
    const std::vector<Result> all = rkv::mpi::run_ensemble<Result>(
        MPI_COMM_WORLD, kEnergies * kBcoefs, [](std::int64_t i, Result& r) { r = run_member(i); },
        {2, chunk});
    if (rank == 0) failures += compare(all, chunk);
    if (rank != 0 && !all.empty()) ++failures;
  }
  MPI_Allreduce(MPI_IN_PLACE, &failures, 1, MPI_INT, MPI_SUM, MPI_COMM_WORLD);
  if (rank == 0) std::printf("%s: %d failed checks\n", argv[0], failures);
  MPI_Finalize();
  return failures == 0 ? 0 : 1;
}
