# Options every target of the project compiles with. The floating-point flags
# are part of the numerical contract: results must be bit-identical across
# compilers and optimisation levels, so no contraction into fused
# multiply-adds and no fast-math. -Werror belongs to the project's own checks
# (RKV_WARNINGS_AS_ERRORS, on in the presets and CI), not to every build: a
# new compiler's new warning must not break a user's build.
add_library(rkv_options INTERFACE)
target_compile_options(rkv_options INTERFACE
  -Wall -Wextra -Wpedantic
  $<$<BOOL:${RKV_WARNINGS_AS_ERRORS}>:-Werror>
  -ffp-contract=off -fno-fast-math)

# For the code that computes on lanes (rkv::Lane, 64 to 256 bytes each): g++
# 12 copies such an aggregate, the result of a lane operation assigned to
# yprime, in 16-byte pieces in the AVX2 variants, some of them through
# general registers; allowed moves as wide as the registers (32 bytes with
# AVX2, 64 with AVX-512F: 256 here would make the AVX-512F variant copy in
# 32-byte pieces), it stores the vector registers themselves. Code
# generation only, no value changes. The options are g++'s for x86 alone;
# clang stores the registers without them.
set(RKV_LANE_COPY_OPTIONS "")
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(RKV_LANE_COPY_OPTIONS -mmove-max=512 -mstore-max=512)
endif()

# The installed shared libraries and program find each other through RUNPATH
# entries relative to $ORIGIN (a RUNPATH, unlike an RPATH, still yields to
# LD_LIBRARY_PATH).
set(RKV_RUNPATH_FLAGS "LINKER:--enable-new-dtags")

# The C++ runtime libraries a C link of the static libraries needs (what the
# C++ compiler driver adds beyond the C one), e.g. stdc++ and m.
set(RKV_CXX_RUNTIME ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
list(REMOVE_ITEM RKV_CXX_RUNTIME c gcc gcc_s gcc_eh)
list(REMOVE_DUPLICATES RKV_CXX_RUNTIME)
