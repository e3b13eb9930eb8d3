// Writing out, loading and releasing the carried plug-in (the project's stand-in), and the
// temporary file's life.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "flashhost/carried_image.h"
#include "flashhost/pluginhost.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/process.h"

namespace {

std::string FileOf(const CPluginHost& host) {
  return vexa::platform::WideToAnsi(host.GetPluginFileName());
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsAllZero(const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i)
    if (bytes[i]) return false;
  return true;
}

class LoadingTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (host_.IsPluginLoaded()) {
      host_.SetJRIPeer(&peer_);
      host_.ShutdownPlugin();
    }
    DeletePluginFiles();
  }

  int peer_ = 0;
  CPluginHost host_;
};

TEST(CarriedImageTest, ImageIsTheStandInFileBetweenTheMarkers) {
  const uint8_t* image = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(GetCarriedPluginImage(&image, &size));
  std::vector<uint8_t> file;
  ASSERT_TRUE(vexa::platform::ReadFileBytes(VEXA_STANDIN_FILE, &file));
  ASSERT_EQ(file.size(), size);
  EXPECT_EQ(0, std::memcmp(file.data(), image, size));
  const uint8_t marker[16] = {0x78, 0x56, 0x34, 0x12};
  EXPECT_EQ(0, std::memcmp(image - 16, marker, 16));
  EXPECT_EQ(0, std::memcmp(image + size, marker, 16));
  EXPECT_FALSE(GetCarriedPluginImage(nullptr, &size));
}

TEST_F(LoadingTest, LoadWritesAHiddenReadOnlyTemporaryFileAndInitialisesThePlugin) {
  ASSERT_EQ(S_OK, host_.LoadPlugin());
  EXPECT_TRUE(host_.IsPluginLoaded());

  const std::string file = FileOf(host_);
  EXPECT_EQ(0u, BaseName(file).rfind(kPluginFilePrefix, 0)) << file;
  EXPECT_EQ(0u, file.rfind(vexa::platform::TempFolder(), 0)) << file;
  vexa::platform::FileFlags flags;
  ASSERT_TRUE(vexa::platform::GetFileFlags(file, &flags));
  EXPECT_TRUE(flags.read_only);
  if (vexa::platform::HasHiddenAttribute()) {
    EXPECT_TRUE(flags.hidden);
  }
  std::vector<uint8_t> written;
  ASSERT_TRUE(vexa::platform::ReadFileBytes(file, &written));
  const uint8_t* image = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(GetCarriedPluginImage(&image, &size));
  ASSERT_EQ(size, written.size());
  EXPECT_EQ(0, std::memcmp(image, written.data(), size));

  // The plug-in filled its table; the exports were resolved.
  const NPPluginFuncs* funcs = host_.GetPluginFuncs();
  EXPECT_NE(nullptr, funcs->newp);
  EXPECT_NE(nullptr, funcs->urlnotify);
  EXPECT_NE(nullptr, host_.GetLoadMovieStub());
  EXPECT_NE(nullptr, host_.GetGetVariableStub());
  EXPECT_EQ(22, host_.GetBrowserFuncs()->version);
}

TEST_F(LoadingTest, SecondLoadKeepsTheLibraryAndTheFile) {
  ASSERT_EQ(S_OK, host_.LoadPlugin());
  const std::wstring first = host_.GetPluginFileName();
  const NPP_NewProcPtr newp = host_.GetPluginFuncs()->newp;
  ASSERT_EQ(S_OK, host_.LoadPlugin());
  EXPECT_EQ(first, host_.GetPluginFileName());
  EXPECT_EQ(newp, host_.GetPluginFuncs()->newp);
}

TEST_F(LoadingTest, EveryLoadUsesAFreshFileAndShutdownReleasesTheLibrary) {
  ASSERT_EQ(S_OK, host_.LoadPlugin());
  CPluginHost other;
  ASSERT_EQ(S_OK, other.LoadPlugin());
  EXPECT_NE(host_.GetPluginFileName(), other.GetPluginFileName());

  other.SetJRIPeer(&peer_);
  other.ShutdownPlugin();
  EXPECT_FALSE(other.IsPluginLoaded());
  EXPECT_EQ(nullptr, other.GetJRIPeer());
  EXPECT_TRUE(IsAllZero(other.GetPluginFuncs(), sizeof(NPPluginFuncs)));
  EXPECT_TRUE(IsAllZero(other.GetBrowserFuncs(), sizeof(NPNetscapeFuncs)));
  EXPECT_EQ(nullptr, other.GetLoadMovieStub());
  EXPECT_EQ(nullptr, other.GetGetVariableStub());
  // The file stays until the exit clean-up.
  EXPECT_TRUE(vexa::platform::PathExists(FileOf(other)));

  // A later load after the shutdown starts over with a new file.
  const std::string oldFile = FileOf(other);
  ASSERT_EQ(S_OK, other.LoadPlugin());
  EXPECT_NE(oldFile, FileOf(other));
  other.SetJRIPeer(&peer_);
  other.ShutdownPlugin();
}

TEST_F(LoadingTest, ShutdownOfAHostThatNeverStartedDoesNothing) {
  ASSERT_EQ(S_OK, host_.LoadPlugin());
  const NPP_NewProcPtr newp = host_.GetPluginFuncs()->newp;
  host_.ShutdownPlugin();
  EXPECT_TRUE(host_.IsPluginLoaded());
  EXPECT_EQ(newp, host_.GetPluginFuncs()->newp);
  EXPECT_EQ(22, host_.GetBrowserFuncs()->version);

  CPluginHost idle;
  idle.ShutdownPlugin();
  EXPECT_FALSE(idle.IsPluginLoaded());
}

TEST_F(LoadingTest, ExitCleanUpDeletesReadOnlyFilesAndReleasesLoadedLibraries) {
  // This host is never shut down: like at exit, it goes away with its library still loaded.
  CPluginHost first;
  ASSERT_EQ(S_OK, first.LoadPlugin());
  const std::string loaded = FileOf(first);
  CPluginHost second;
  ASSERT_EQ(S_OK, second.LoadPlugin());
  second.SetJRIPeer(&peer_);
  second.ShutdownPlugin();
  const std::string released = FileOf(second);
  ASSERT_TRUE(vexa::platform::PathExists(loaded));
  ASSERT_TRUE(vexa::platform::PathExists(released));

  // Like the exit: one library still loaded (no shutdown), both files read-only.
  DeletePluginFiles();
  EXPECT_FALSE(vexa::platform::PathExists(loaded));
  EXPECT_FALSE(vexa::platform::PathExists(released));
}

struct BadImage {
  const char* name;
  std::vector<uint8_t> bytes;
};

TEST_F(LoadingTest, ImagesThatAreNoPluginFailToLoadAndLeaveNothingLoaded) {
  std::vector<uint8_t> noExports;
  ASSERT_TRUE(vexa::platform::ReadFileBytes(
      vexa::platform::ExecutableFolder() + FLASHHOST_NOEXPORTS_NAME, &noExports));
  std::vector<uint8_t> garbage(4096, 0x5A);
  garbage[0] = 'M';
  garbage[1] = 'Z';
  const BadImage cases[] = {
      {"library without plug-in exports", noExports},
      {"not a library", garbage},
      {"empty image", {}},
  };
  for (const BadImage& c : cases) {
    SCOPED_TRACE(c.name);
    CPluginHost host;
    host.SetJRIPeer(&peer_);
    host.SetPluginImage(c.bytes.empty() ? nullptr : c.bytes.data(),
                        static_cast<uint32_t>(c.bytes.size()));
    EXPECT_EQ(E_PLUGIN_LOAD_FAILED, host.LoadPlugin());
    EXPECT_FALSE(host.IsPluginLoaded());
    EXPECT_EQ(nullptr, host.GetPluginFuncs()->newp);
    const std::string file = FileOf(host);
    ASSERT_FALSE(file.empty());
    EXPECT_TRUE(vexa::platform::PathExists(file));
    host.ShutdownPlugin();
    DeletePluginFiles();
    EXPECT_FALSE(vexa::platform::PathExists(file));
  }
}

// Runs the probe program; returns the temporary file name it reports ("" on failure).
std::string RunProbe(const char* mode) {
  const std::string folder = vexa::platform::ExecutableFolder();
  const std::string probe = folder + "flashhost_exit_probe" + FLASHHOST_EXE_SUFFIX;
  std::string out;
  if (!vexa::platform::MakeTempFile("vexa.probe", &out)) return "";
  std::string command = "\"" + probe + "\" \"" + out + "\" " + mode;
  // The Windows command interpreter strips the first and the last quote of a command line that
  // begins with one; a POSIX shell takes the quotes as they are.
  if (std::getenv("ComSpec")) command = "\"" + command + "\"";
  const int status = std::system(command.c_str());
  std::vector<uint8_t> name;
  const bool read = vexa::platform::ReadFileBytes(out, &name);
  vexa::platform::RemoveFile(out);
  if (status != 0 || !read) return "";
  return std::string(name.begin(), name.end());
}

TEST(ExitTest, NoTemporaryFileRemainsAfterTheProcessEnds) {
  for (const char* mode : {"shutdown", "noshutdown"}) {
    SCOPED_TRACE(mode);
    const std::string file = RunProbe(mode);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(0u, BaseName(file).rfind(kPluginFilePrefix, 0)) << file;
    EXPECT_FALSE(vexa::platform::PathExists(file)) << file;
  }
}

}  // namespace
