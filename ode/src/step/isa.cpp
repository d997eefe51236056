// Detection of the vector instruction set for the solver's loops.
#include "step/isa.hpp"

#include "step/isa_testing.hpp"

#include <array>
#include <cstddef>

namespace rkv::ode {
namespace {

constexpr std::array<std::string_view, 3> kNames = {"baseline", "avx2", "avx512"};

}  // namespace

namespace detail {

std::atomic<std::int32_t> g_active_isa{-1};

Isa activate_supported_isa() {
  const Isa isa = supported_isa();
  g_active_isa.store(static_cast<std::int32_t>(isa), std::memory_order_relaxed);
  return isa;
}

}  // namespace detail

Isa supported_isa() {
#if RKV_X86_VARIANTS
  // The run-time library's checks include the operating system's support
  // for saving the wider registers (XGETBV), not only the CPUID bits.
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return Isa::kAvx512;
  if (__builtin_cpu_supports("avx2")) return Isa::kAvx2;
#endif
  return Isa::kBaseline;
}

Isa select_isa_for_testing(Isa isa) {
  const Isa top = supported_isa();
  const Isa chosen = static_cast<std::int32_t>(isa) < static_cast<std::int32_t>(top) ? isa : top;
  detail::g_active_isa.store(static_cast<std::int32_t>(chosen), std::memory_order_relaxed);
  return chosen;
}

std::string_view isa_name(Isa isa) {
  return kNames[static_cast<std::size_t>(isa)];
}

bool isa_from_name(std::string_view name, Isa& isa) {
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (name == kNames[i]) {
      isa = static_cast<Isa>(i);
      return true;
    }
  }
  return false;
}

}  // namespace rkv::ode
