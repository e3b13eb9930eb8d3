#include "platform/jpegdecode.h"

#include <windows.h>

#include <objbase.h>
#include <wincodec.h>

#include <limits>
#include <new>
#include <utility>

namespace vexa::platform {

namespace {

// One reference to a COM object, released at the end of the scope.
template <typename T>
class CComRef {
 public:
  CComRef() = default;
  ~CComRef() {
    if (object_) object_->Release();
  }
  CComRef(const CComRef&) = delete;
  CComRef& operator=(const CComRef&) = delete;

  T** Out() { return &object_; }
  T* operator->() const { return object_; }
  T* Get() const { return object_; }

 private:
  T* object_ = nullptr;
};

// COM for the calling thread while the decoder runs; a thread that had it keeps it as it was.
class CComScope {
 public:
  CComScope() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    initialised_ = hr == S_OK || hr == S_FALSE;
  }
  ~CComScope() {
    if (initialised_) CoUninitialize();
  }
  CComScope(const CComScope&) = delete;
  CComScope& operator=(const CComScope&) = delete;

 private:
  bool initialised_ = false;
};

JpegDecodeStatus Decode(const uint8_t* data, size_t size, uint64_t max_pixels, BgrImage* image) {
  if (!data || size == 0 || size > std::numeric_limits<DWORD>::max()) {
    return JpegDecodeStatus::kInvalid;
  }
  CComRef<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Out()))) ||
      !factory.Get()) {
    return JpegDecodeStatus::kUnavailable;
  }
  CComRef<IWICStream> stream;
  if (FAILED(factory->CreateStream(stream.Out())) || !stream.Get() ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size)))) {
    return JpegDecodeStatus::kNoMemory;
  }
  // The JPEG decoder by name: data of another format is refused here even where a general
  // decoder would read it.
  CComRef<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoder(GUID_ContainerFormatJpeg, nullptr, decoder.Out())) ||
      !decoder.Get()) {
    return JpegDecodeStatus::kUnavailable;
  }
  if (FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand))) {
    return JpegDecodeStatus::kInvalid;
  }
  CComRef<IWICBitmapFrameDecode> frame;
  if (FAILED(decoder->GetFrame(0, frame.Out())) || !frame.Get()) return JpegDecodeStatus::kInvalid;
  UINT width = 0;
  UINT height = 0;
  if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0) {
    return JpegDecodeStatus::kInvalid;
  }
  // Checked before any pixel memory is taken; 64-bit arithmetic cannot overflow here.
  const uint64_t pixels = static_cast<uint64_t>(width) * height;
  const uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
  const uint64_t bytes = stride * height;
  if (pixels > max_pixels || bytes > std::numeric_limits<UINT>::max() ||
      bytes > std::numeric_limits<size_t>::max()) {
    return JpegDecodeStatus::kTooLarge;
  }
  CComRef<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(converter.Out())) || !converter.Get() ||
      FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat24bppBGR,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom))) {
    return JpegDecodeStatus::kInvalid;
  }
  BgrImage decoded;
  try {
    decoded.pixels.assign(static_cast<size_t>(bytes), 0);
  } catch (const std::bad_alloc&) {
    return JpegDecodeStatus::kNoMemory;
  }
  if (FAILED(converter->CopyPixels(nullptr, static_cast<UINT>(stride), static_cast<UINT>(bytes),
                                   decoded.pixels.data()))) {
    return JpegDecodeStatus::kInvalid;
  }
  // The row padding is the image's business only; keep it zero whatever the converter left there.
  const size_t used = static_cast<size_t>(width) * 3;
  for (UINT row = 0; row < height; ++row) {
    uint8_t* line = decoded.pixels.data() + static_cast<size_t>(stride) * row;
    for (size_t i = used; i < stride; ++i) line[i] = 0;
  }
  decoded.width = width;
  decoded.height = height;
  decoded.stride = static_cast<size_t>(stride);
  *image = std::move(decoded);
  return JpegDecodeStatus::kOk;
}

}  // namespace

JpegDecodeStatus DecodeJpegToBgr(const uint8_t* data, size_t size, uint64_t max_pixels,
                                 BgrImage* image) {
  if (!image) return JpegDecodeStatus::kInvalid;
  *image = BgrImage();
  CComScope com;
  return Decode(data, size, max_pixels, image);
}

}  // namespace vexa::platform
