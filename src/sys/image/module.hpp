// The launcher's own executable image, in which its resources are embedded.
#pragma once

namespace aerolith::sys {

// The module instance handed to the entry point on Windows; null on POSIX,
// where the running executable is found through /proc/self/exe.
using ModuleHandle = void*;

}  // namespace aerolith::sys
