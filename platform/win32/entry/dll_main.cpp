// The library entry of a module on Windows: the loader's attach and detach
// notices become the module's hooks, with the instance handle it was loaded at.
#include "ce/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  (void)reserved;
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      ce::OnProcessAttach(instance);
      break;
    case DLL_PROCESS_DETACH:
      ce::OnProcessDetach();
      break;
    default:
      break;
  }
  return TRUE;
}
