// Services the VC* and SW commands use, beside the player's operations (IFSCommandDilator).
//
// The command processor holds each through a non-owning pointer; while none is set the commands
// that need it do nothing and add no result (their documented failure). The real services (the
// system mixer, the desktop wallpaper) are set by the player.
//
// Conventions as for IFSCommandDilator: statuses, 0 or positive for success, negative for failure;
// narrow strings in the ANSI code page, borrowed for the call. UI thread only.
#pragma once

#include <cstdint>

#include "platform/oleauto.h"
#include "script/smallstr.h"

class IFileLoader;

// The speaker volume and mute state the movie controls.
class IVolumeService {
 public:
  // The volume, 0 to 100.
  virtual HRESULT GetVolume(int32_t* volume) = 0;
  // Sets the volume; values outside 0 to 100 are the service's to clamp or refuse.
  virtual HRESULT SetVolume(int32_t volume) = 0;
  // 1 while muted, else 0.
  virtual HRESULT GetMute(int32_t* muted) = 0;
  virtual HRESULT SetMute(int32_t muted) = 0;
  // The result name under which changes made outside the game are reported to the movie; an empty
  // name stops the reports. Reports go through the Flash holder's result list (AddResultA) while
  // no command is being served; the holder delivers them to the movie (flashhost/holder.h).
  virtual HRESULT SetReportName(const char* name) = 0;
  // False while there is nowhere to send values (VCGV and VCGM then add nothing).
  virtual bool HasResultSink() = 0;

 protected:
  ~IVolumeService() = default;
};

// Turns an image of the game data into the desktop wallpaper.
class IWallpaperService {
 public:
  // Loads `imageName` through `loader`, writes it as a bitmap named after the image with the
  // extension ".bmp" and makes that bitmap the wallpaper. On success *bitmapPath receives the
  // bitmap's full path. `loader` may be null (the service then fails).
  virtual HRESULT SetWallpaper(IFileLoader* loader, const char* imageName,
                               CSmallStr* bitmapPath) = 0;

 protected:
  ~IWallpaperService() = default;
};
