# Options every target of the project compiles with. The floating-point flags
# are part of the numerical contract: results must be bit-identical across
# compilers and optimisation levels, so no contraction into fused
# multiply-adds and no fast-math.
add_library(rkv_options INTERFACE)
add_library(rkv::options ALIAS rkv_options)
target_compile_options(rkv_options INTERFACE
  -Wall -Wextra -Wpedantic -Werror
  -ffp-contract=off -fno-fast-math)
