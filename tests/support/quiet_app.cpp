// quiet_app: a program that does nothing and ends at once, the Aerolith.exe of
// scenario bundles whose runs end in starting the application. A GUI program
// on Windows, as the application is: starting it opens no console.
#ifdef _WIN32
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
#else
int main() { return 0; }
#endif
