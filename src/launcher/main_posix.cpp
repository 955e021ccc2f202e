// Entry point of aerolith-launcher. The command line is ignored: the launcher
// takes no options and passes nothing on.
#include "launcher/run.hpp"
#include "sys/process/process.hpp"

int main() { aerolith::sys::exitProcess(aerolith::launcher::run(nullptr)); }
