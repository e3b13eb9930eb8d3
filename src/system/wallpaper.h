// The desktop wallpaper from a game image (the SW command).
//
// CWallpaperService::SetWallpaper is the whole operation the command runs (SetWallpaperFromImage):
//  1. the image is read through the file loader (`Load`: the game package first, then the game's
//     folder);
//  2. it is decoded as a JPEG image (any other format is refused) into 24-bit BGR pixels; an image
//     of more than kMaxWallpaperPixels pixels is refused before its pixels are decoded;
//  3. the bitmap is named after the image: the text after the last '/' or '\\' of the path, without
//     the part from its last '.', followed by ".bmp" ("images/wall1.jpg" and "art.old\\wall1" both
//     give "wall1.bmp"). A name that could not be a plain file name (empty, reserved device names
//     such as "con", characters Windows does not allow, a trailing dot or space) is refused;
//  4. the bitmap goes to a folder of the player's own, kWallpaperFolderName in the user's documents
//     folder (both created when missing), so that no file the player did not write is ever
//     replaced. It is written to a new temporary file in that folder, which then takes the place
//     of any earlier bitmap of that name in one step: a failed or interrupted write leaves the
//     earlier bitmap (possibly the current wallpaper) whole, and no temporary file stays behind;
//  5. the bitmap is made the desktop wallpaper, stored in the user profile and announced;
//  6. only when the system accepted it, the bitmap's full path is the answer (ANSI code page).
// Every failure answers a failure status and gives the movie no path. Paths are handled as UTF-8
// and reach the OS through its wide functions, so a profile folder outside the ANSI code page
// works; only the answer, which the movie gets as ANSI text, may then carry '?' characters.
//
// The decoder, the desktop and the file system are seams, so the logic is tested natively with
// fakes; the default ones are the system's (platform/jpegdecode.h, platform/desktop.h,
// platform/filesystem.h).
//
// Threading: the UI thread (like every command); the service keeps no state between calls.
#pragma once

#include <cstdint>
#include <string>

#include "fscommand/services.h"
#include "platform/filesystem.h"
#include "platform/jpegdecode.h"
#include "platform/oleauto.h"
#include "script/smallstr.h"

class IFileLoader;

namespace vexa::system {

// Folder of the player's wallpaper bitmaps, inside the user's documents folder.
inline constexpr char kWallpaperFolderName[] = "VEXA Wallpapers";
// Most pixels an image may have (an 8K UHD picture has 33 million). At 3 bytes a pixel the decoded
// image then takes at most 120 MB, which a 32-bit process can still find.
inline constexpr uint64_t kMaxWallpaperPixels = 40000000;

// Decodes JPEG data (platform/jpegdecode.h contract).
class IImageDecoder {
 public:
  virtual vexa::platform::JpegDecodeStatus DecodeJpeg(const uint8_t* data, size_t size,
                                                      uint64_t max_pixels,
                                                      vexa::platform::BgrImage* image) = 0;

 protected:
  ~IImageDecoder() = default;
};

// The user's desktop (platform/desktop.h contract).
class IDesktop {
 public:
  // The documents folder (UTF-8, no trailing separator), created when missing.
  virtual bool GetDocumentsFolder(std::string* utf8) = 0;
  // True only when the system accepted the file as the wallpaper.
  virtual bool SetWallpaper(const std::string& utf8) = 0;

 protected:
  ~IDesktop() = default;
};

// The system's decoder and desktop (process-wide objects that are never destroyed).
IImageDecoder& SystemImageDecoder();
IDesktop& SystemDesktop();

// The bitmap's file name for the image path `path` (narrow text), per step 3 above; the base name
// keeps its bytes. Empty when the name is refused.
std::string WallpaperFileName(const char* path);

}  // namespace vexa::system

class CWallpaperService : public IWallpaperService {
 public:
  // The system's decoder, desktop and file system.
  CWallpaperService();
  // Seams for tests; none may be null, none is owned.
  CWallpaperService(vexa::system::IImageDecoder* decoder, vexa::system::IDesktop* desktop,
                    vexa::platform::IFileSystem* files);

  // SetWallpaperFromImage. S_OK with *bitmapPath the bitmap's full path; E_INVALIDARG for a null
  // or empty image name, a null loader or output, or a refused bitmap name; E_FAIL when the image
  // cannot be read or decoded, is too large, the folder or the bitmap cannot be written, or the
  // system refuses the wallpaper. *bitmapPath is only written on success.
  HRESULT SetWallpaper(IFileLoader* loader, const char* imageName, CSmallStr* bitmapPath) override;

  // The folder the bitmaps go to (UTF-8), created with its parent when missing. False when the
  // documents folder is unknown or the folder cannot be created.
  bool GetWallpaperFolder(std::string* utf8);

 private:
  // Writes `image` as a BMP file at `target` through a temporary file in the same folder.
  bool WriteBitmap(const vexa::platform::BgrImage& image, const std::string& target);

  vexa::system::IImageDecoder* decoder_;
  vexa::system::IDesktop* desktop_;
  vexa::platform::IFileSystem* files_;
};
