#include "support.h"

#include "flashhost/jrienv.h"

HRESULT CRecordingSink::OnFSCommand(const wchar_t* command, const wchar_t* argument) {
  Call call;
  call.command = command ? command : L"(null)";
  call.argument = argument ? argument : L"(null)";
  calls.push_back(call);
  if (reaction) reaction(call);
  return S_OK;
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
  game_.Disk("movie.scene", scene);
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
