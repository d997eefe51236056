// A hook for the test and fuzz drivers only (not part of the installed
// interface): puts the error state back as initialisation leaves it.
#pragma once

namespace rkv::detail {

// Puts the record back to its state after initialisation (level 1, no
// waiting message, empty parameter buffer).
void reset_error_state_for_testing();

}  // namespace rkv::detail
