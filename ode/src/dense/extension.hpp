// The continuous extension of one accepted Verner step: the extra stage it
// needs, and the solution and its derivative anywhere inside the step, from
// the step's stored stages (order 5, C1 across steps; extension_table.hpp).
// Over the storage type `Real` (float or double): every sum in double,
// rounded once to Real where it is stored (the identity for double).
#pragma once

#include <array>
#include <cstdint>
#include <type_traits>

#include "dense/extension_table.hpp"

namespace rkv::ode {

// One accepted step as the extension reads it. k[s] is the column of stage
// kDenseStages[s]: k1 and k3..k8 of the step (k2 is not used), k9 = f(x1, y1)
// and k10, the extra stage. k10 may be null until it has been evaluated;
// only the values need it.
template <class Real>
struct BasicDenseStep {
  std::int32_t neq;
  Real x0;
  Real x1;
  Real step;  // signed step H = x1 - x0, as the solver stored it
  const Real* y0;
  const Real* y1;
  std::array<const Real*, kDenseStageCount> k;
};
using DenseStep = BasicDenseStep<float>;

// The storage type is taken from the step alone (a null output deduces none).
template <class Real>
using NoDeduce = std::type_identity_t<Real>;

// The extra stage's a-row over k1, k3..k9, and the weights b_s(theta) and
// their derivatives b_s'(theta), in kDenseStages order, in double.
using DenseWeights = std::array<double, kDenseStageCount>;
std::array<double, kDenseStageCount - 1> dense_extra_row();
void dense_weights(double theta, DenseWeights& b, DenseWeights& db);

// The extra stage's abscissa H/2 + x0, rounded to Real as the step's own
// abscissae are.
template <class Real>
Real dense_extra_abscissa(const BasicDenseStep<Real>& d);

// The extra stage's argument: out_i := (a_1 k1_i + a_3 k3_i + ... + a_9 k9_i) H
// + y0_i, summed in double from the lowest stage up and rounded once.
template <class Real>
void dense_extra_argument(const BasicDenseStep<Real>& d, NoDeduce<Real>* out);

// y and y' at x0 + theta H (either output may be null). theta is meant to lie
// in [0, 1]; theta = 1 gives y1 and k9 exactly, theta = 0 gives y0 and k1
// (a step of length 0 gives y0 and k1 for every theta). Each element is
// summed in double from the stored stages and rounded once.
template <class Real>
void dense_value_at(const BasicDenseStep<Real>& d, double theta, NoDeduce<Real>* y,
                    NoDeduce<Real>* yprime);

// The same at the abscissa x, theta = (x - x0)/H in double; x = x1 gives y1.
template <class Real>
void dense_value(const BasicDenseStep<Real>& d, NoDeduce<Real> x, NoDeduce<Real>* y,
                 NoDeduce<Real>* yprime);

// The step as a flat record (rkv/ode/step_record.hpp: x0, x1, H, then y0, y1
// and the stages in kDenseStages order), k10 included; and the step that
// reads a record in place.
template <class Real>
void dense_record(const BasicDenseStep<Real>& d, NoDeduce<Real>* record);
template <class Real>
BasicDenseStep<Real> dense_step_of_record(std::int32_t neq, const Real* record);

}  // namespace rkv::ode
