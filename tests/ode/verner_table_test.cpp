// The step's table in its two formats agree: each double entry narrowed to
// float is the float entry (for this pair, rounding the rational to double
// and then to float lands on the once-rounded float everywhere). This catches
// an entry out of order, of the wrong sign or value in either file without
// Python; that the double's last bits are the nearest to the rational is
// proved by tools/verner_table.py (ctest ode_verner_table_current).
#include <gtest/gtest.h>

#include <bit>
#include <cstddef>
#include <cstdint>

#include "step/verner_table.hpp"
#include "step/verner_table_double.hpp"

namespace {

using rkv::ode::kVernerTableBits;
using rkv::ode::kVernerTableDoubleBits;

static_assert(kVernerTableDoubleBits.size() == kVernerTableBits.size());

TEST(VernerTable, DoubleEntriesNarrowToTheFloatEntries) {
  for (std::size_t i = 0; i < kVernerTableBits.size(); ++i) {
    const double d = std::bit_cast<double>(kVernerTableDoubleBits[i]);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(static_cast<float>(d)), kVernerTableBits[i])
        << "entry " << i + 1;
  }
}

}  // namespace
