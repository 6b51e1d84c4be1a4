// openat2 where the kernel has it: the one place that asks the kernel to resolve a path below an
// open folder with resolve flags (RESOLVE_BENEATH, RESOLVE_NO_SYMLINKS, ...).
#pragma once

#include <cstdint>
#include <string>

namespace nimbara {

// openat2(dir, relative, flags, resolve), retried on EINTR. -1 with errno ENOSYS when the kernel
// or a sandbox refuses the call; once refused, later calls answer ENOSYS without asking again.
// Callers then resolve name by name themselves.
int openat2Resolve(int dir, const std::string& relative, int flags, std::uint64_t resolve);

}  // namespace nimbara
