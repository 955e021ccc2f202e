// The launcher's whole job, phase after phase, on the main thread.
#pragma once

#include "sys/image/module.hpp"

namespace aerolith::launcher {

// Returns the exit code of a run that ends normally; conditions that stop the
// run end the process from where they arise.
int run(sys::ModuleHandle module);

}  // namespace aerolith::launcher
