// E1PRINTM prints the waiting message with its header, continuation lines and
// traceback on the error-message unit (UMACH entry 3).
#pragma once

namespace rkv {

void E1PRINTM();

}  // namespace rkv
