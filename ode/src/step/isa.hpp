// The vector instruction set the solver's loops over the equations run with.
//
// Those loops are compiled more than once: for the baseline of the target
// (SSE2 on x86-64), and on x86-64 also for AVX2 and for AVX-512F, and the
// widest set the processor and the operating system support is chosen once,
// at the first use. Every variant performs the same IEEE operations on each
// element in the same order (float operands widened to double exactly,
// products and sums rounded to double, one rounding to float when stored;
// -ffp-contract=off keeps the compiler from fusing a multiply and an add even
// where the instruction set has FMA), so the results are bit-identical
// whichever variant runs: the wider sets only process more elements at once.
//
// A variant is a function carrying one of the RKV_TARGET_* attributes whose
// body is an RKV_ALWAYS_INLINE function written for any instruction set; the
// body is inlined into the variant and vectorised for its set there.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define RKV_X86_VARIANTS 1
#define RKV_TARGET_AVX2 __attribute__((target("avx2")))
#define RKV_TARGET_AVX512 __attribute__((target("avx512f")))
#else
#define RKV_X86_VARIANTS 0
#define RKV_TARGET_AVX2
#define RKV_TARGET_AVX512
#endif
#define RKV_ALWAYS_INLINE inline __attribute__((always_inline))

namespace rkv::ode {

// Ordered from narrowest to widest.
enum class Isa : std::int32_t { kBaseline = 0, kAvx2 = 1, kAvx512 = 2 };

namespace detail {
// The set in use as an Isa value, or -1 before the first use. Atomic because
// the first uses may come from several threads at once; they all store the
// same value, so relaxed order suffices (a plain load and store on x86-64).
extern std::atomic<std::int32_t> g_active_isa;
// Detects the widest supported set, makes it the active one and returns it.
Isa activate_supported_isa();
}  // namespace detail

// The widest set this processor and its operating system support.
Isa supported_isa();

// The set the loops use now: supported_isa() unless narrowed for a test.
// Read before every loop, so it costs one load and a compare.
inline Isa active_isa() {
  const std::int32_t a = detail::g_active_isa.load(std::memory_order_relaxed);
  return a >= 0 ? static_cast<Isa>(a) : detail::activate_supported_isa();
}

// The set's name as the tools take it: "baseline", "avx2" or "avx512".
std::string_view isa_name(Isa isa);

// The set named `name` (as isa_name gives it); false for any other name.
bool isa_from_name(std::string_view name, Isa& isa);

// Calls the variant of a loop for the active set with `args`.
template <class Avx512, class Avx2, class Baseline, class... Args>
RKV_ALWAYS_INLINE decltype(auto) dispatch(Avx512 avx512, Avx2 avx2, Baseline baseline,
                                          Args&&... args) {
  switch (active_isa()) {
    case Isa::kAvx512:
      return avx512(static_cast<Args&&>(args)...);
    case Isa::kAvx2:
      return avx2(static_cast<Args&&>(args)...);
    default:
      return baseline(static_cast<Args&&>(args)...);
  }
}

}  // namespace rkv::ode
