// The work-precision benchmark: every method on every problem at the
// tolerances 1e-3, 1e-4, ..., 1e-14 (the float runs to 1e-12: below their
// arithmetic's reach already); for each run the achieved error against
// the reference, the right-hand-side evaluations, the accepted steps and the
// median time of one integration. One CSV line per run.
//
//   rkv_work_precision <references.txt> <out.csv> [problem ...]
//
// Error: max_i |y_i - ref_i| / max_i |ref_i| at the final time, the
// reference being that of the data the run was given (references.py: the
// float runs against the problem with their initial value and end time
// rounded to float). Time: the median of 5 repetitions, each repeating the
// integration until it has taken 20 ms (a run of over a second is timed
// once); wall time on a machine that may be shared, so read it as such.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "method.hpp"

namespace rkv::bench::wp {
namespace {

constexpr int kRepetitions = 5;
constexpr double kRepetitionSeconds = 0.02;
constexpr double kTimeOnceSeconds = 1.0;
// 1e-14 rather than SciPy's 1e-12: a method whose error per tolerance is
// small needs the tighter tolerances to show what reaching 1e-9 costs it.
constexpr int kTightest = 14;

using References = std::map<std::pair<std::string, std::string>, std::vector<double>>;

// "<problem> <data> <index> <value>" lines; '#' starts a comment line.
bool read_references(const char* path, References& refs) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, real, value;
    std::size_t index = 0;
    if (!(fields >> name >> real >> index >> value)) return false;
    std::vector<double>& v = refs[{name, real}];
    if (index != v.size()) return false;
    v.push_back(std::strtod(value.c_str(), nullptr));
  }
  return !refs.empty();
}

// max_i |y_i - ref_i| / max_i |ref_i|; NaN when the sizes differ.
double achieved_error(const std::vector<double>& y, const std::vector<double>& ref) {
  if (y.size() != ref.size() || ref.empty()) return std::nan("");
  double diff = 0.0;
  double scale = 0.0;
  for (std::size_t i = 0; i < y.size(); ++i) {
    const double d = std::fabs(y[i] - ref[i]);
    diff = std::isnan(d) ? d : std::max(diff, d);
    scale = std::max(scale, std::fabs(ref[i]));
  }
  return diff / scale;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The median time of one integration; `first` is the time of a run already
// made, `reps` receives the number of repetitions.
double median_time(Runner run, double tol, double first, int& reps) {
  if (first >= kTimeOnceSeconds) {
    reps = 1;
    return first;
  }
  const int inner = std::max(1, static_cast<int>(std::ceil(kRepetitionSeconds / first)));
  std::vector<double> times;
  volatile double sink = 0.0;  // every result is used, so no run can be left out
  for (int r = 0; r < kRepetitions; ++r) {
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < inner; ++k) sink = sink + run(tol).y.front();
    times.push_back(seconds_since(start) / inner);
  }
  std::sort(times.begin(), times.end());
  reps = kRepetitions;
  return times[times.size() / 2];
}

// The note without the characters that would break the CSV line.
std::string csv_text(std::string s) {
  for (char& c : s) {
    if (c == ',' || c == '"' || c == '\n') c = ' ';
  }
  return s;
}

void measure(const Entry& e, const References& refs, std::FILE* out) {
  const auto ref = refs.find({e.problem, e.real});
  const int tightest = std::string(e.real) == "float" ? 12 : kTightest;
  for (int k = 3; k <= tightest; ++k) {
    const double tol = std::pow(10.0, -k);
    const auto start = std::chrono::steady_clock::now();
    const Run run = e.run(tol);
    const double first = seconds_since(start);
    int reps = 0;
    const double t = median_time(e.run, tol, first, reps);
    const double err = ref == refs.end() ? std::nan("") : achieved_error(run.y, ref->second);
    std::fprintf(out, "%s,%s,%s,%.0e,%d,%.6e,%lld,%lld,%.6e,%d,%s\n", e.problem, e.method, e.real,
                 tol, run.ok ? 1 : 0, err, static_cast<long long>(run.evaluations),
                 static_cast<long long>(run.steps), t, reps, csv_text(run.note).c_str());
    std::fflush(out);
    std::printf("%-12s %-16s %-6s tol %.0e  error %.2e  evaluations %9lld  %.3e s%s\n", e.problem,
                e.method, e.real, tol, err, static_cast<long long>(run.evaluations), t,
                run.ok ? "" : "  (failed)");
  }
}

}  // namespace
}  // namespace rkv::bench::wp

int main(int argc, char** argv) {
  using namespace rkv::bench::wp;
  if (argc < 3) {
    std::fprintf(stderr, "usage: rkv_work_precision <references.txt> <out.csv> [problem ...]\n");
    return 2;
  }
  References refs;
  if (!read_references(argv[1], refs)) {
    std::fprintf(stderr, "rkv_work_precision: cannot read the references in %s\n", argv[1]);
    return 2;
  }
  std::vector<Entry> table;
  add_rkv_methods(table);
  add_odeint_methods(table);
  const std::vector<std::string> only(argv + 3, argv + argc);
  for (const std::string& name : only) {
    if (std::none_of(table.begin(), table.end(),
                     [&](const Entry& e) { return name == e.problem; })) {
      std::fprintf(stderr, "rkv_work_precision: no problem named %s\n", name.c_str());
      return 2;
    }
  }
  std::FILE* out = std::fopen(argv[2], "w");
  if (out == nullptr) {
    std::fprintf(stderr, "rkv_work_precision: cannot write %s\n", argv[2]);
    return 2;
  }
  std::fprintf(out,
               "problem,method,real,tol,ok,error,evaluations,steps,seconds,repetitions,note\n");
  for (const Entry& e : table) {
    if (only.empty() || std::find(only.begin(), only.end(), e.problem) != only.end()) {
      measure(e, refs, out);
    }
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
