// The loadable module's one entry file: keeps the module handle from the process-attach
// notification. VSTPluginMain itself lives in the plugin library and is exported by
// TiverPreview.def.
#include <windows.h>

#include "platform/platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) platform_set_module_handle(instance);
    return TRUE;
}
