// Process entry of the player: COM for the UI thread, the window with the game's movie, the loop.
#include <objbase.h>
#include <windows.h>

#include "app/basicsink.h"
#include "app/playerwindow.h"
#include "data/loader.h"
#include "flashhost/holder.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const HRESULT com = CoInitialize(nullptr);
  {
    CFileLoader loader;
    CPlayerWindow window(&FlashHolder());
    CBasicCommandSink sink(&window);
    if (SUCCEEDED(window.Start(PlayerSettings(), &loader, &sink))) window.RunMessageLoop();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
