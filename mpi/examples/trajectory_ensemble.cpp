// Example: an ensemble across MPI processes. The trajectory model over a
// grid of ENERGY x BCOEF values (100 x 100 = 10^4 members by default), each
// member integrated as the trajectory program integrates its one
// trajectory (from y = 10 in output intervals of 0.1 until x reaches 20 or
// y leaves (-10.1, 10.1)), spread over the processes and over threads in
// each, handed out dynamically; the results are gathered on rank 0.
//
//   mpirun -np N trajectory_ensemble [GRID [THREADS]]
//
// Rank 0 prints the totals and one line per member for a grid up to 10 x
// 10, every 1000th member above; every line is the same bits whatever N and
// THREADS, each member's those of its own run.
#include <mpi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "line.hpp"
#include "model.hpp"
#include "rkv/errors/control.hpp"
#include "rkv/mpi/ensemble.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/param.hpp"

namespace {

struct Result {
  float energy;
  float bcoef;
  float x;
  float y;
  float steps;
  std::int32_t ok;  // every call ended with IDO = 2
};

Result run_member(std::int64_t i, int grid) {
  rkv::app::TrajData data = rkv::app::initial_trajdata();
  const double e0 = static_cast<double>(data.ENERGY);
  data.ENERGY = static_cast<float>(e0 * (0.5 + 1.5 * static_cast<double>(i / grid) / grid));
  data.BCOEF = static_cast<float>(static_cast<double>(i % grid) / grid);
  Result r{data.ENERGY, data.BCOEF, 0.0f, 10.0f, 0.0f, 1};
  rkv::Integrator it([&data](const std::int32_t& neq, const float& x, const float* y,
                             float* yprime) { rkv::app::RHSTRAJ(&data, neq, x, y, yprime); });
  float param[rkv::param::kSize] = {};
  rkv::param::set(param, rkv::param::kHmax, 0.001f);
  rkv::param::set(param, rkv::param::kMaxSteps, 1.0e7f);
  std::int32_t ido = 1;
  while (r.x < 20.0f && r.y > -10.1f && r.y < 10.1f) {
    float xstart = r.x;
    r.x = static_cast<float>(static_cast<double>(r.x) + 0.1);
    it.integrate(ido, 1, xstart, r.x, 1.0e-6f, param, &r.y);
    if (ido != 2) {
      r.ok = 0;
      break;
    }
  }
  r.steps = rkv::param::get(param, rkv::param::kAcceptedSteps);
  ido = 3;
  it.integrate(ido, 1, r.x, r.x, 1.0e-6f, param, &r.y);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const rkv::mpiexample::Line line = rkv::mpiexample::start_line(argc, argv);
  const int rank = line.rank;
  const int size = line.size;
  const int grid = argc >= 2 ? std::atoi(argv[1]) : 100;
  rkv::mpi::EnsembleOptions options;
  options.threads = argc >= 3 ? std::atoi(argv[2]) : 0;
  // A member's errors are its own: reported in its result, never stopping.
  rkv::SETINITATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff);
  const std::int64_t members = static_cast<std::int64_t>(grid) * grid;
  const std::vector<Result> all = rkv::mpi::run_ensemble<Result>(
      MPI_COMM_WORLD, members, [grid](std::int64_t i, Result& r) { r = run_member(i, grid); },
      options);
  if (rank == 0) {
    double steps = 0.0;
    int failed = 0;
    std::printf("%lld members on %d process%s\n", static_cast<long long>(members), size,
                size == 1 ? "" : "es");
    std::printf("  member   ENERGY   BCOEF       X        Y    steps\n");
    for (std::size_t i = 0; i < all.size(); ++i) {
      const Result& r = all[i];
      steps += static_cast<double>(r.steps);
      failed += r.ok != 0 ? 0 : 1;
      if (members > 100 && i % 1000 != 0) continue;
      std::printf("%8zu %8.4f %7.3f %7.2f %8.4f %8.0f%s\n", i, static_cast<double>(r.energy),
                  static_cast<double>(r.bcoef), static_cast<double>(r.x), static_cast<double>(r.y),
                  static_cast<double>(r.steps), r.ok != 0 ? "" : "  FAILED");
    }
    std::printf("total %.0f accepted steps, %d failed\n", steps, failed);
  }
  MPI_Finalize();
  return 0;
}
