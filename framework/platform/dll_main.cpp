// Loading and unloading a deliverable run no code of its own: the entry
// only reports success.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
