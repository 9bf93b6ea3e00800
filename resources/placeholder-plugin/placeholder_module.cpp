// Placeholder for the plug-in module. The real ElvaraSound VST3 build replaces this
// file's output through the ELVARA_PLUGIN_MODULE cache variable; the setup program
// only carries, verifies and places the bytes. A host that loads the placeholder
// finds a factory entry point that offers no classes, so it is skipped cleanly.
#include <windows.h>

extern "C" __declspec(dllexport) void* GetPluginFactory() { return nullptr; }
extern "C" __declspec(dllexport) bool InitDll() { return true; }
extern "C" __declspec(dllexport) bool ExitDll() { return true; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
