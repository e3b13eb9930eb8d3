// The wallpaper service with a fake decoder and desktop and a temporary "documents" folder: the
// bitmap's name, its folder of its own, the written file, what the system is asked, and every
// failure (nothing answered, no file left behind, an earlier bitmap kept whole).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "data/loader.h"
#include "platform/filesystem.h"
#include "storage/faultfs.h"
#include "support/files.h"
#include "support/folders.h"
#include "system/bmp.h"
#include "system/wallpaper.h"

namespace {

namespace fs = std::filesystem;
using vexa::platform::BgrImage;
using vexa::platform::JpegDecodeStatus;
using vexa::testing::ReadText;
using vexa::testing::ToText;
using vexa::testing::WriteText;

class CFakeDecoder : public vexa::system::IImageDecoder {
 public:
  JpegDecodeStatus status = JpegDecodeStatus::kOk;
  BgrImage image;
  std::vector<std::string> inputs;  // the bytes of every call
  uint64_t limit = 0;

  JpegDecodeStatus DecodeJpeg(const uint8_t* data, size_t size, uint64_t max_pixels,
                              BgrImage* out) override {
    inputs.emplace_back(reinterpret_cast<const char*>(data), size);
    limit = max_pixels;
    if (status != JpegDecodeStatus::kOk) return status;
    *out = image;
    return JpegDecodeStatus::kOk;
  }
};

class CFakeDesktop : public vexa::system::IDesktop {
 public:
  std::string documents;  // empty: unknown
  bool accepts = true;
  std::vector<std::string> wallpapers;

  bool GetDocumentsFolder(std::string* utf8) override {
    if (documents.empty()) return false;
    *utf8 = documents;
    return true;
  }
  bool SetWallpaper(const std::string& utf8) override {
    wallpapers.push_back(utf8);
    return accepts;
  }
};

BgrImage Solid(uint32_t width, uint32_t height, uint8_t b, uint8_t g, uint8_t r) {
  BgrImage image;
  image.width = width;
  image.height = height;
  image.stride = (width * 3 + 3) & ~3u;
  image.pixels.assign(image.stride * height, 0);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* p = image.pixels.data() + y * image.stride + x * 3;
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
  return image;
}

class WallpaperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.ok());
    fs::create_directories(root_ / "game" / "images");
    fs::create_directories(root_ / "docs");
    WriteText(root_ / "game" / "images" / "wall1.jpg", "JPEG bytes of wall1");
    desktop_.documents = (root_ / "docs").string();
    decoder_.image = Solid(3, 2, 10, 20, 30);
    loader_ = std::make_unique<CFileLoader>((root_ / "game").string().c_str());
  }
  fs::path Folder() const { return root_ / "docs" / vexa::system::kWallpaperFolderName; }
  std::string Expected(const std::string& name) const {
    return desktop_.documents + "\\" + vexa::system::kWallpaperFolderName + "\\" + name;
  }
  // The names in the wallpaper folder, sorted.
  std::vector<std::string> FolderNames() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(Folder(), error)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  vexa::testing::CTempFolder folder_{"vexa-wallpaper-"};
  const fs::path& root_ = folder_.root();
  CFakeDecoder decoder_;
  CFakeDesktop desktop_;
  std::unique_ptr<CFileLoader> loader_;
};

TEST(WallpaperFileName, IsTheImageNameWithTheBitmapExtension) {
  struct Case {
    const char* path;
    const char* name;  // "" when refused
  };
  const Case cases[] = {
      {"images/wall1.jpg", "wall1.bmp"},
      {"wall1.jpg", "wall1.bmp"},
      {"art\\desk", "desk.bmp"},
      {"art.old\\desk", "desk.bmp"},
      {"art.old/desk", "desk.bmp"},
      {"a/b/sky.large.jpeg", "sky.large.bmp"},
      {"http://game.invalid/data.pak/end_of_story/images/wall1.jpg", "wall1.bmp"},
      {"images/.jpg", ""},  // nothing before the dot
      {"images/", ""},      // no name at all
      {"con.jpg", ""},      // device names
      {"art/NUL.jpg", ""},
      {"Com1.jpg", ""},
      {"lpt9", ""},
      {"aux.old.jpg", ""},
      {"con .jpg", ""},
      {"console.jpg", "console.bmp"},
      {"com10.jpg", "com10.bmp"},
      {"pics/a:b.jpg", ""},  // a data stream on Windows
      {"pics/a|b.jpg", ""},
      {"pics/a*.jpg", ""},
      {"pics/a?.jpg", ""},
      {"pics/\"q\".jpg", ""},
      {"pics/tab\there.jpg", ""},
      {"caf\xE9.jpg", "caf\xE9.bmp"},  // ANSI bytes are kept
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.name, vexa::system::WallpaperFileName(c.path)) << c.path;
  }
}

TEST_F(WallpaperTest, WritesTheBitmapIntoItsOwnFolderAndMakesItTheWallpaper) {
  CWallpaperService service(&decoder_, &desktop_, &vexa::platform::NativeFileSystem());
  CSmallStr path;
  ASSERT_EQ(S_OK, service.SetWallpaper(loader_.get(), "images/wall1.jpg", &path));

  EXPECT_EQ(Expected("wall1.bmp"), path.str());
  EXPECT_EQ(std::vector<std::string>{"JPEG bytes of wall1"}, decoder_.inputs);
  EXPECT_EQ(vexa::system::kMaxWallpaperPixels, decoder_.limit);
  EXPECT_EQ(std::vector<std::string>{Expected("wall1.bmp")}, desktop_.wallpapers);
  EXPECT_EQ(ToText(vexa::system::EncodeBmp24(decoder_.image)), ReadText(Folder() / "wall1.bmp"));
  // Nothing else is left in the folder (no temporary file).
  EXPECT_EQ(std::vector<std::string>{"wall1.bmp"}, FolderNames());
}

TEST_F(WallpaperTest, ImagesInThePackageAndTheSameNameTwice) {
  // Setting it again replaces the player's own bitmap of that name with the new picture.
  CWallpaperService service(&decoder_, &desktop_, &vexa::platform::NativeFileSystem());
  CSmallStr path;
  ASSERT_EQ(S_OK, service.SetWallpaper(loader_.get(), "images/wall1.jpg", &path));
  decoder_.image = Solid(5, 5, 1, 2, 3);
  ASSERT_EQ(S_OK, service.SetWallpaper(loader_.get(), "images\\wall1.jpg", &path));
  EXPECT_EQ(Expected("wall1.bmp"), path.str());
  EXPECT_EQ(ToText(vexa::system::EncodeBmp24(decoder_.image)), ReadText(Folder() / "wall1.bmp"));
  EXPECT_EQ(std::vector<std::string>{"wall1.bmp"}, FolderNames());
  EXPECT_EQ(2u, desktop_.wallpapers.size());
}

TEST_F(WallpaperTest, AFileOfTheSameNameOutsideItsFolderIsNeverTouched) {
  // The user's own wall1.bmp right in the documents folder.
  WriteText(root_ / "docs" / "wall1.bmp", "the user's picture");
  CWallpaperService service(&decoder_, &desktop_, &vexa::platform::NativeFileSystem());
  CSmallStr path;
  ASSERT_EQ(S_OK, service.SetWallpaper(loader_.get(), "images/wall1.jpg", &path));
  EXPECT_EQ("the user's picture", ReadText(root_ / "docs" / "wall1.bmp"));
}

TEST_F(WallpaperTest, FailuresAnswerNothingAndLeaveNoFile) {
  struct Case {
    const char* what;
    const char* image;
    JpegDecodeStatus decoded;
    bool documentsKnown;
    bool decoderCalled;
  };
  const Case cases[] = {
      {"missing image", "images/missing.jpg", JpegDecodeStatus::kOk, true, false},
      {"image outside the game folder", "../docs/x.jpg", JpegDecodeStatus::kOk, true, false},
      {"not a JPEG (PNG, BMP or damaged)", "images/wall1.jpg", JpegDecodeStatus::kInvalid, true,
       true},
      {"too many pixels", "images/wall1.jpg", JpegDecodeStatus::kTooLarge, true, true},
      {"no memory for the pixels", "images/wall1.jpg", JpegDecodeStatus::kNoMemory, true, true},
      {"no decoder", "images/wall1.jpg", JpegDecodeStatus::kUnavailable, true, true},
      {"no documents folder", "images/wall1.jpg", JpegDecodeStatus::kOk, false, true},
  };
  WriteText(root_ / "docs" / "x.jpg", "outside");
  for (const Case& c : cases) {
    decoder_.status = c.decoded;
    decoder_.inputs.clear();
    desktop_.documents = c.documentsKnown ? (root_ / "docs").string() : "";
    CWallpaperService service(&decoder_, &desktop_, &vexa::platform::NativeFileSystem());
    CSmallStr path("untouched");
    EXPECT_TRUE(FAILED(service.SetWallpaper(loader_.get(), c.image, &path))) << c.what;
    EXPECT_EQ("untouched", path.str()) << c.what;
    EXPECT_EQ(c.decoderCalled, !decoder_.inputs.empty()) << c.what;
    EXPECT_TRUE(desktop_.wallpapers.empty()) << c.what;
    EXPECT_FALSE(fs::exists(Folder())) << c.what << ": no folder, no file";
  }
}

TEST_F(WallpaperTest, BadArgumentsAreRefusedBeforeAnythingIsRead) {
  CWallpaperService service(&decoder_, &desktop_, &vexa::platform::NativeFileSystem());
  CSmallStr path;
  EXPECT_EQ(E_INVALIDARG, service.SetWallpaper(nullptr, "images/wall1.jpg", &path));
  EXPECT_EQ(E_INVALIDARG, service.SetWallpaper(loader_.get(), "", &path));
  EXPECT_EQ(E_INVALIDARG, service.SetWallpaper(loader_.get(), nullptr, &path));
  EXPECT_EQ(E_INVALIDARG, service.SetWallpaper(loader_.get(), "images/wall1.jpg", nullptr));
  // Windows cannot create a file named like a device (the write goes nowhere); elsewhere the file
  // exists. Either way the name is refused.
  std::ofstream(root_ / "game" / "images" / "con.jpg", std::ios::binary) << "device name";
  EXPECT_EQ(E_INVALIDARG, service.SetWallpaper(loader_.get(), "images/con.jpg", &path));
  EXPECT_TRUE(decoder_.inputs.empty());
}

TEST_F(WallpaperTest, ADecoderBreakingItsLimitIsNotTrusted) {
  decoder_.image.width = 100000;
  decoder_.image.height = 100000;  // 10^10 pixels claimed, a few bytes held
  CWallpaperService service(&decoder_, &desktop_, &vexa::platform::NativeFileSystem());
  CSmallStr path;
  EXPECT_EQ(E_FAIL, service.SetWallpaper(loader_.get(), "images/wall1.jpg", &path));
  EXPECT_TRUE(desktop_.wallpapers.empty());
}

TEST_F(WallpaperTest, ARefusedWallpaperIsNotReported) {
  desktop_.accepts = false;
  CWallpaperService service(&decoder_, &desktop_, &vexa::platform::NativeFileSystem());
  CSmallStr path("untouched");
  EXPECT_EQ(E_FAIL, service.SetWallpaper(loader_.get(), "images/wall1.jpg", &path));
  EXPECT_EQ("untouched", path.str());
  EXPECT_EQ(1u, desktop_.wallpapers.size());
}

TEST_F(WallpaperTest, AFailureAtAnyStepOfTheWriteKeepsTheEarlierBitmapWhole) {
  CWallpaperService first(&decoder_, &desktop_, &vexa::platform::NativeFileSystem());
  CSmallStr path;
  ASSERT_EQ(S_OK, first.SetWallpaper(loader_.get(), "images/wall1.jpg", &path));
  const std::string earlier = ReadText(Folder() / "wall1.bmp");
  decoder_.image = Solid(40, 30, 9, 9, 9);

  // Fail the n-th file-system call of one attempt, for every n, until an attempt makes fewer
  // calls: the folder, the temporary file, each write, the flush, the close and the replace.
  std::vector<std::string> failedSteps;
  for (int nth = 1; nth < 200; ++nth) {
    vexa::storage::CFaultInjectingFileSystem files;
    std::vector<vexa::storage::FileOp> ops;
    files.SetHook([&ops](vexa::storage::FileOp op, const std::string&) { ops.push_back(op); });
    files.FailNthCall(nth);
    CWallpaperService service(&decoder_, &desktop_, &files);
    desktop_.wallpapers.clear();
    CSmallStr answer("untouched");
    const HRESULT hr = service.SetWallpaper(loader_.get(), "images/wall1.jpg", &answer);
    if (files.FailedCalls() == 0) {
      EXPECT_EQ(S_OK, hr);
      EXPECT_EQ(ToText(vexa::system::EncodeBmp24(decoder_.image)),
                ReadText(Folder() / "wall1.bmp"));
      break;
    }
    const std::string step = vexa::storage::FileOpName(ops.at(static_cast<size_t>(nth) - 1));
    failedSteps.push_back(step);
    EXPECT_EQ(E_FAIL, hr) << "failing " << step;
    EXPECT_EQ("untouched", answer.str()) << "failing " << step;
    EXPECT_TRUE(desktop_.wallpapers.empty()) << "failing " << step;
    EXPECT_EQ(earlier, ReadText(Folder() / "wall1.bmp")) << "failing " << step;
    EXPECT_EQ(std::vector<std::string>{"wall1.bmp"}, FolderNames()) << "failing " << step;
  }
  for (const vexa::storage::FileOp op :
       {vexa::storage::FileOp::kCreateFolder, vexa::storage::FileOp::kCreateNew,
        vexa::storage::FileOp::kWrite, vexa::storage::FileOp::kFlush, vexa::storage::FileOp::kClose,
        vexa::storage::FileOp::kReplace}) {
    EXPECT_NE(failedSteps.end(),
              std::find(failedSteps.begin(), failedSteps.end(), vexa::storage::FileOpName(op)))
        << vexa::storage::FileOpName(op) << " was never made to fail";
  }
}

}  // namespace
