// Aerolith.exe, the demo application. For now it only exists so that the demo
// bundle has a main executable to carry; it does nothing and exits.
int main() { return 0; }
