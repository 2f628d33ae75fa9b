// Keeps the Wine session (and with it the service control manager and the
// services it started) alive for a whole test run; the run's teardown kills it.
#include <windows.h>

int main() {
    Sleep(INFINITE);
    return 0;
}
