// A DLL planted beside Vossel.exe by the planted-DLL test: it only announces that it was loaded.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::OutputDebugStringW(L"Vossel: planted DLL loaded");
    return TRUE;
}
