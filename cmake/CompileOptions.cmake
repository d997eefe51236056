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

# The installed shared libraries and program find each other through RUNPATH
# entries relative to $ORIGIN (a RUNPATH, unlike an RPATH, still yields to
# LD_LIBRARY_PATH).
set(RKV_RUNPATH_FLAGS "LINKER:--enable-new-dtags")

# The C++ runtime libraries a C link of the static libraries needs (what the
# C++ compiler driver adds beyond the C one), e.g. stdc++ and m.
set(RKV_CXX_RUNTIME ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
list(REMOVE_ITEM RKV_CXX_RUNTIME c gcc gcc_s gcc_eh)
list(REMOVE_DUPLICATES RKV_CXX_RUNTIME)
