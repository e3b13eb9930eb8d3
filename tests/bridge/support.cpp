#include "support.h"

#include <filesystem>
#include <system_error>

#include "flashhost/jrienv.h"
#include "platform/files.h"

HRESULT CRecordingSink::OnFSCommand(const wchar_t* command, const wchar_t* argument) {
  Call call;
  call.command = command ? command : L"(null)";
  call.argument = argument ? argument : L"(null)";
  calls.push_back(call);
  if (reaction) reaction(call);
  return S_OK;
}

CGameFolder::CGameFolder() {
  std::string file;
  if (!vexa::platform::MakeTempFile("vexa.bridge", &file)) return;
  vexa::platform::RemoveFile(file);
  if (vexa::platform::CreateFolder(file)) path_ = file + "/";
}

CGameFolder::~CGameFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(std::filesystem::path(path_), ignored);
}

void CGameFolder::Write(const std::string& name, const std::string& content) {
  ASSERT_TRUE(vexa::platform::WriteFileBytes(path_ + name, content.data(), content.size()));
}

void HolderTest::SetUp() {
  ASSERT_TRUE(game_.ok());
  loader_ = std::make_unique<CFileLoader>(game_.path().c_str());
  holder_.SetFileLoader(loader_.get());
  holder_.SetJRIPeer(CJRIEnvironment::Instance().GetPeer());
  holder_.SetNotifySink(&sink_);
  ASSERT_EQ(S_OK, holder_.LoadPlugin());
}

void HolderTest::TearDown() {
  holder_.AttachToWindow(nullptr);
  holder_.ShutdownPlugin();
  DeletePluginFiles();
}

std::vector<TranscriptEvent> HolderTest::Play(const std::string& scene) {
  game_.Write("movie.scene", scene);
  transcript_.Take();
  EXPECT_EQ(S_OK, holder_.OpenMovie("movie.scene"));
  return transcript_.Take();
}

std::vector<TranscriptEvent> HolderTest::Serve() {
  EXPECT_EQ(E_FAIL, holder_.PreTranslate(nullptr));
  return transcript_.Take();
}

std::wstring W(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

std::string A(const std::wstring& wide) {
  std::string out;
  for (wchar_t c : wide) out += static_cast<uint32_t>(c) < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::string VariantText(const VARIANT& value) {
  if (value.vt != VT_BSTR) return "<not a string>";
  return A(value.bstrVal ? std::wstring(value.bstrVal) : std::wstring());
}
