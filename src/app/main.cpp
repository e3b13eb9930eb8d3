// Process entry of the player: the exit launch, COM for the UI thread, the one main frame.
#include <objbase.h>
#include <windows.h>

#include "app/mainframe.h"
#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Registered first so that it runs after the clean-up of everything created later.
  vexa::app::RegisterExitLaunch();
  const HRESULT com = CoInitialize(nullptr);
  {
    static CMainFrame frame;
    frame.Run();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
