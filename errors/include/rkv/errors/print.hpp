// E1PRINTM prints the waiting message with its header, continuation lines and
// traceback on the error-message unit (UMACH entry 3).
#pragma once

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

void E1PRINTM();

}  // namespace rkv

#pragma GCC visibility pop
