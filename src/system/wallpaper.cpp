#include "system/wallpaper.h"

#include <atomic>
#include <cstring>
#include <string>

#include "data/loader.h"
#include "platform/codepage.h"
#include "platform/desktop.h"
#include "platform/devicename.h"
#include "system/bmp.h"

namespace vexa::system {

namespace {

class CSystemImageDecoder : public IImageDecoder {
 public:
  vexa::platform::JpegDecodeStatus DecodeJpeg(const uint8_t* data, size_t size, uint64_t max_pixels,
                                              vexa::platform::BgrImage* image) override {
    return vexa::platform::DecodeJpegToBgr(data, size, max_pixels, image);
  }
};

class CSystemDesktop : public IDesktop {
 public:
  bool GetDocumentsFolder(std::string* utf8) override {
    return vexa::platform::GetDocumentsFolder(utf8);
  }
  bool SetWallpaper(const std::string& utf8) override {
    return vexa::platform::SetDesktopWallpaper(utf8);
  }
};

bool IsPlainFileName(const std::string& base) {
  if (base.empty()) return false;
  for (const char c : base) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || std::strchr("<>:\"/\\|?*", c)) return false;
  }
  return !vexa::platform::IsDeviceName(base);
}

}  // namespace

IImageDecoder& SystemImageDecoder() {
  static CSystemImageDecoder decoder;
  return decoder;
}

IDesktop& SystemDesktop() {
  static CSystemDesktop desktop;
  return desktop;
}

std::string WallpaperFileName(const char* path) {
  std::string text = path ? path : "";
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  const size_t slash = text.rfind('\\');
  const size_t dot = text.rfind('.');
  const size_t begin = slash == std::string::npos ? 0 : slash + 1;
  const size_t end =
      dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : text.size();
  const std::string base = text.substr(begin, end - begin);
  return IsPlainFileName(base) ? base + ".bmp" : std::string();
}

}  // namespace vexa::system

using vexa::platform::BgrImage;
using vexa::platform::FileHandle;
using vexa::platform::JpegDecodeStatus;

CWallpaperService::CWallpaperService()
    : CWallpaperService(&vexa::system::SystemImageDecoder(), &vexa::system::SystemDesktop(),
                        &vexa::platform::NativeFileSystem()) {}

CWallpaperService::CWallpaperService(vexa::system::IImageDecoder* decoder,
                                     vexa::system::IDesktop* desktop,
                                     vexa::platform::IFileSystem* files)
    : decoder_(decoder), desktop_(desktop), files_(files) {}

bool CWallpaperService::GetWallpaperFolder(std::string* utf8) {
  std::string documents;
  if (!utf8 || !desktop_->GetDocumentsFolder(&documents) || documents.empty()) return false;
  if (documents.back() != '\\' && documents.back() != '/') documents += '\\';
  const std::string folder = documents + vexa::system::kWallpaperFolderName;
  if (!files_->CreateFolder(folder)) return false;
  *utf8 = folder;
  return true;
}

bool CWallpaperService::WriteBitmap(const BgrImage& image, const std::string& target) {
  // A name of our own beside the target: created exclusively, so it never replaces anything.
  static std::atomic<unsigned> counter{0};
  std::string temp;
  FileHandle file = vexa::platform::kNoFile;
  for (int attempt = 0; attempt < 100 && file == vexa::platform::kNoFile; ++attempt) {
    temp = target + ".~" + std::to_string(counter++) + ".tmp";
    if (files_->CreateNew(temp, &file)) break;
    file = vexa::platform::kNoFile;
    // Only a name in use is worth another try; anything else (no access, a full disk) stays.
    if (!files_->Exists(temp)) return false;
  }
  if (file == vexa::platform::kNoFile) return false;

  bool ok = vexa::system::WriteBmp24(image, [this, file](const uint8_t* data, size_t size) {
    while (size > 0) {
      size_t written = 0;
      if (!files_->Write(file, data, size, &written) || written == 0 || written > size) {
        return false;
      }
      data += written;
      size -= written;
    }
    return true;
  });
  if (ok) ok = files_->Flush(file);
  if (!files_->Close(file)) ok = false;
  if (ok) ok = files_->Replace(temp, target);
  if (!ok) files_->Remove(temp);
  return ok;
}

HRESULT CWallpaperService::SetWallpaper(IFileLoader* loader, const char* imageName,
                                        CSmallStr* bitmapPath) {
  if (!loader || !imageName || !*imageName || !bitmapPath) return E_INVALIDARG;
  const std::string fileName = vexa::system::WallpaperFileName(imageName);
  if (fileName.empty()) return E_INVALIDARG;

  uint8_t* data = nullptr;
  int32_t size = 0;
  if (FAILED(loader->Load(imageName, &data, &size, nullptr, nullptr)) || !data) {
    delete[] data;
    return E_FAIL;
  }
  BgrImage image;
  const JpegDecodeStatus status = decoder_->DecodeJpeg(
      data, static_cast<size_t>(size < 0 ? 0 : size), vexa::system::kMaxWallpaperPixels, &image);
  delete[] data;
  if (status != JpegDecodeStatus::kOk) return E_FAIL;
  // A decoder must keep to the limit it was given; the writer checks the buffer against the size.
  if (static_cast<uint64_t>(image.width) * image.height > vexa::system::kMaxWallpaperPixels) {
    return E_FAIL;
  }

  std::string folder;
  if (!GetWallpaperFolder(&folder)) return E_FAIL;
  // The name arrives in the ANSI code page; the file system takes UTF-8.
  const std::string target =
      folder + "\\" + vexa::platform::WideToUtf8(vexa::platform::AnsiToWide(fileName));
  if (!WriteBitmap(image, target)) return E_FAIL;
  if (!desktop_->SetWallpaper(target)) return E_FAIL;
  *bitmapPath = vexa::platform::WideToAnsi(vexa::platform::Utf8ToWide(target)).c_str();
  return S_OK;
}
