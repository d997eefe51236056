// A hook for the tests and the fuzz driver only (not part of the library's
// interface): a gate in front of the workspace request, so that the storage
// error can be reached without exhausting memory.
#pragma once

#include <cstddef>

namespace rkv::ode {

// The workspace request asks this gate first; a gate that returns false
// makes the request fail as exhausted memory does. nullptr restores the
// default (no gate). Set before any integration starts.
using WorkspaceGate = bool (*)(std::size_t count);
void set_workspace_gate(WorkspaceGate gate);

}  // namespace rkv::ode
