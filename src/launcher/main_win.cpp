// Entry point of Aerolith.Launcher.exe. The command line is ignored: the
// launcher takes no options and passes nothing on.
#include <windows.h>

#include "launcher/run.hpp"
#include "sys/process/process.hpp"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  aerolith::sys::exitProcess(aerolith::launcher::run(instance));
}
