// One integration of a work-precision problem by one method, and the table
// of every (problem, method) pair the benchmark runs. A method family adds
// its entries in its own source file (method_rkv.cpp, methods_odeint.cpp),
// where its templates are instantiated for each problem of AllProblems.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rkv::bench::wp {

// What one integration from kT0 to kT1 leaves.
struct Run {
  bool ok = false;               // reached kT1 without an error
  std::vector<double> y;         // the solution at kT1 (widened from float where stored so)
  std::int64_t evaluations = 0;  // right-hand-side evaluations, rejected steps included
  std::int64_t steps = 0;        // accepted steps
  std::string note;              // why it failed, or empty
};

// Integrates the problem with the method at tolerance `tol` (its meaning per
// method is stated where the method is defined).
using Runner = Run (*)(double tol);

struct Entry {
  const char* problem;
  const char* method;
  const char* real;  // the type the state is stored in: "float" or "double"
  Runner run;
};

// This solver: the float and the double integrator.
void add_rkv_methods(std::vector<Entry>& table);
// Boost.Odeint's controlled steppers, in double.
void add_odeint_methods(std::vector<Entry>& table);

}  // namespace rkv::bench::wp
