// The integrator handle's layout, shared by the C routines that work through
// it (the dense handle reaches the C++ integrator inside).
#pragma once

#include "rkv/integrator.h"
#include "rkv/ode/integrator.hpp"

struct rkv_integrator {
  rkv::Integrator integrator;
};

namespace rkv::capi {

inline rkv::Integrator& integrator_of(rkv_integrator& it) {
  return it.integrator;
}

}  // namespace rkv::capi
