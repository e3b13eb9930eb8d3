// The wallpaper on Windows: the Windows Imaging Component decodes a real JPEG (made with
// ImageMagick, data/readme.txt), refuses a PNG under a .jpg name and a damaged file, and the whole
// service writes the bitmap and sets it as the wallpaper (the registry value names it). The
// "documents" folder is a temporary one, so nothing of the user's is touched; the wallpaper
// setting of the (test) profile is put back afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/loader.h"
#include "platform/codepage.h"
#include "platform/desktop.h"
#include "platform/filesystem.h"
#include "platform/jpegdecode.h"
#include "platform/registry.h"
#include "support/folders.h"
#include "system/wallpaper.h"

namespace {

namespace fs = std::filesystem;
using vexa::platform::BgrImage;
using vexa::platform::DecodeJpegToBgr;
using vexa::platform::JpegDecodeStatus;

std::string Fixture(const char* name) {
  std::ifstream in(std::string(VEXA_TEST_DATA) + "/data/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

JpegDecodeStatus Decode(const std::string& bytes, BgrImage* image, uint64_t limit = 1000000) {
  return DecodeJpegToBgr(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), limit,
                         image);
}

// Blue, green, red of a pixel.
struct Bgr {
  int b, g, r;
};

Bgr PixelOf(const BgrImage& image, uint32_t x, uint32_t y) {
  const uint8_t* p = image.pixels.data() + image.stride * y + x * 3;
  return {p[0], p[1], p[2]};
}

// The colour blocks of blocks.jpg at points well inside each block.
struct Sample {
  uint32_t x, y;
  Bgr colour;
};
const Sample kSamples[] = {
    {4, 4, {0, 0, 255}}, {12, 3, {0, 255, 0}},      {18, 3, {255, 0, 0}},
    {4, 10, {0, 0, 0}},  {12, 10, {128, 128, 128}}, {18, 10, {255, 255, 255}},
};

void ExpectNear(const Bgr& expected, const Bgr& actual, const std::string& where) {
  EXPECT_NEAR(expected.b, actual.b, 6) << where << " blue";
  EXPECT_NEAR(expected.g, actual.g, 6) << where << " green";
  EXPECT_NEAR(expected.r, actual.r, 6) << where << " red";
}

TEST(WicDecoder, DecodesARealJpegInto24BitBgr) {
  BgrImage image;
  ASSERT_EQ(JpegDecodeStatus::kOk, Decode(Fixture("blocks.jpg"), &image));
  EXPECT_EQ(20u, image.width);
  EXPECT_EQ(12u, image.height);
  EXPECT_EQ(60u, image.stride);
  ASSERT_EQ(60u * 12u, image.pixels.size());
  for (const Sample& s : kSamples) {
    ExpectNear(s.colour, PixelOf(image, s.x, s.y),
               "(" + std::to_string(s.x) + "," + std::to_string(s.y) + ")");
  }
}

TEST(WicDecoder, RefusesWhatIsNotAJpegAndImagesOverTheLimit) {
  struct Case {
    const char* what;
    std::string bytes;
    uint64_t limit;
    JpegDecodeStatus expected;
  };
  const Case cases[] = {
      {"a PNG named .jpg", Fixture("png-named.jpg"), 1000000, JpegDecodeStatus::kInvalid},
      {"a damaged JPEG", Fixture("damaged.jpg"), 1000000, JpegDecodeStatus::kInvalid},
      {"nothing", "", 1000000, JpegDecodeStatus::kInvalid},
      {"text", "just some text, no picture", 1000000, JpegDecodeStatus::kInvalid},
      {"one pixel over the limit", Fixture("blocks.jpg"), 20 * 12 - 1, JpegDecodeStatus::kTooLarge},
  };
  for (const Case& c : cases) {
    BgrImage image;
    image.width = 7;
    EXPECT_EQ(c.expected, Decode(c.bytes, &image, c.limit)) << c.what;
    EXPECT_EQ(0u, image.width) << c.what;
    EXPECT_TRUE(image.pixels.empty()) << c.what;
  }
  BgrImage image;
  EXPECT_EQ(JpegDecodeStatus::kOk, Decode(Fixture("blocks.jpg"), &image, 20 * 12));
}

// The real wallpaper setting, with the documents folder of the test.
class CTestDesktop : public vexa::system::IDesktop {
 public:
  std::string documents;
  bool GetDocumentsFolder(std::string* utf8) override {
    *utf8 = documents;
    return true;
  }
  bool SetWallpaper(const std::string& utf8) override {
    return vexa::platform::SetDesktopWallpaper(utf8);
  }
};

std::string RegistryWallpaper() {
  vexa::platform::RegistryValue value;
  if (!vexa::platform::ReadRegistryValue("Control Panel\\Desktop", "Wallpaper", &value)) return "";
  std::string text(value.data.begin(), value.data.end());
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

class WallpaperWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.ok());
    fs::create_directories(root_ / "game" / "images");
    fs::create_directories(root_ / "docs");
    for (const char* name : {"blocks.jpg", "png-named.jpg", "damaged.jpg"}) {
      std::ofstream(root_ / "game" / "images" / name, std::ios::binary) << Fixture(name);
    }
    desktop_.documents = vexa::platform::WideToUtf8((root_ / "docs").wstring());
    loader_ = std::make_unique<CFileLoader>(
        vexa::platform::WideToAnsi((root_ / "game").wstring()).c_str());
    saved_ = RegistryWallpaper();
  }
  void TearDown() override { vexa::platform::SetDesktopWallpaper(saved_); }

  vexa::testing::CTempFolder folder_{"vexa-wallpaper-"};
  const fs::path& root_ = folder_.root();
  CTestDesktop desktop_;
  std::unique_ptr<CFileLoader> loader_;
  std::string saved_;
};

uint32_t Le32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

TEST_F(WallpaperWindowsTest, TheJpegBecomesABitmapAndTheDesktopWallpaper) {
  CWallpaperService service(&vexa::system::SystemImageDecoder(), &desktop_,
                            &vexa::platform::NativeFileSystem());
  CSmallStr path;
  ASSERT_EQ(S_OK, service.SetWallpaper(loader_.get(), "images/blocks.jpg", &path));
  const fs::path bitmap = root_ / "docs" / vexa::system::kWallpaperFolderName / "blocks.bmp";
  EXPECT_EQ(vexa::platform::WideToAnsi(bitmap.wstring()), path.str());
  // The registry value of the wallpaper names the bitmap.
  EXPECT_EQ(path.str(), RegistryWallpaper());

  std::ifstream in(bitmap, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(54u + 60u * 12u, bytes.size());
  EXPECT_EQ("BM", bytes.substr(0, 2));
  EXPECT_EQ(bytes.size(), Le32(bytes, 2));
  EXPECT_EQ(54u, Le32(bytes, 10));
  EXPECT_EQ(20u, Le32(bytes, 18));
  EXPECT_EQ(12u, Le32(bytes, 22));
  EXPECT_EQ(24, static_cast<uint8_t>(bytes[28]));
  // Rows bottom-up: the pixel (x, y) of the picture is in row 11 - y.
  for (const Sample& s : kSamples) {
    const size_t at = 54 + (11 - s.y) * 60 + s.x * 3;
    ExpectNear(s.colour,
               {static_cast<uint8_t>(bytes[at]), static_cast<uint8_t>(bytes[at + 1]),
                static_cast<uint8_t>(bytes[at + 2])},
               "bitmap (" + std::to_string(s.x) + "," + std::to_string(s.y) + ")");
  }
}

TEST_F(WallpaperWindowsTest, WhatIsNotAJpegAnswersFailureAndLeavesNoFile) {
  vexa::platform::SetDesktopWallpaper("");
  const std::string before = RegistryWallpaper();
  CWallpaperService service(&vexa::system::SystemImageDecoder(), &desktop_,
                            &vexa::platform::NativeFileSystem());
  for (const char* image : {"images/png-named.jpg", "images/damaged.jpg", "images/missing.jpg"}) {
    CSmallStr path("untouched");
    EXPECT_EQ(E_FAIL, service.SetWallpaper(loader_.get(), image, &path)) << image;
    EXPECT_EQ("untouched", path.str()) << image;
  }
  EXPECT_FALSE(fs::exists(root_ / "docs" / vexa::system::kWallpaperFolderName));
  EXPECT_EQ(before, RegistryWallpaper());
}

TEST_F(WallpaperWindowsTest, AProfileFolderOutsideTheAnsiCodePageWorks) {
  // "Документы ✓": no ANSI code page of Western systems can spell it.
  const fs::path documents =
      root_ / L"\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u044b \u2713";
  fs::create_directories(documents);
  desktop_.documents = vexa::platform::WideToUtf8(documents.wstring());
  CWallpaperService service(&vexa::system::SystemImageDecoder(), &desktop_,
                            &vexa::platform::NativeFileSystem());
  CSmallStr path;
  ASSERT_EQ(S_OK, service.SetWallpaper(loader_.get(), "images/blocks.jpg", &path));
  const fs::path bitmap = documents / vexa::system::kWallpaperFolderName / "blocks.bmp";
  EXPECT_TRUE(fs::exists(bitmap));
  EXPECT_EQ(54u + 60u * 12u, fs::file_size(bitmap));
  // The movie gets the path as ANSI text, the best that text can do.
  EXPECT_EQ(vexa::platform::WideToAnsi(bitmap.wstring()), path.str());
}

}  // namespace
