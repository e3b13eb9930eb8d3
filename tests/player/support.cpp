#include "support.h"

#include "script/xml.h"
#include "support/window.h"

namespace player_test {

// ---- CTestPlayer

size_t CTestPlayer::Count(const std::string& entry) const {
  size_t n = 0;
  for (const std::string& e : log) n += e == entry ? 1 : 0;
  return n;
}

HRESULT CTestPlayer::AddTimeout(int32_t milliseconds, std::unique_ptr<CSmallStr> expression) {
  timeouts.emplace_back(milliseconds, expression ? expression->str() : "<null>");
  return S_OK;
}

HRESULT CTestPlayer::AddInterval(int32_t milliseconds, std::unique_ptr<CSmallStr> expression) {
  intervals.emplace_back(milliseconds, expression ? expression->str() : "<null>");
  return S_OK;
}

HRESULT CTestPlayer::LayoutWindow() {
  ++layouts;
  log.push_back("layout");
  return S_OK;
}

HRESULT CTestPlayer::SelectMovieVariant() {
  ++selections;
  log.push_back("select");
  if (variantChoice < GetMovieVariants().size()) UseMovieVariant(GetMovieVariants()[variantChoice]);
  return S_OK;
}

HRESULT CTestPlayer::Quit() {
  ++quits;
  log.push_back("quit");
  OnQuit();
  if (onQuit) onQuit();
  return S_OK;
}

void CTestPlayer::ShowStartupError(int id) {
  errors.push_back(id);
  log.push_back("error " + std::to_string(id));
}

void CTestPlayer::ApplyCaption(const std::string& utf8) {
  captions.push_back(utf8);
  log.push_back("caption " + utf8);
}

void CTestPlayer::ApplyIcon(const uint8_t* bytes, size_t size) {
  icons.emplace_back(reinterpret_cast<const char*>(bytes), size);
  log.push_back("icon " + std::to_string(size));
}

void CTestPlayer::ApplyKeyboardFilter(int32_t lower, int32_t upper) {
  log.push_back("filter " + std::to_string(lower) + " " + std::to_string(upper));
}

HRESULT CTestPlayer::StartHostControl() {
  log.push_back("hostcontrol");
  return hostControlStatus;
}

void CTestPlayer::LoadPluginLibraries() {
  log.push_back("pluginlibraries");
}

void CTestPlayer::LoadAddons() {
  log.push_back("addons");
}

void CTestPlayer::ReleasePluginObjects() {
  log.push_back("releaseobjects");
}

void CTestPlayer::UnloadPluginLibraries() {
  log.push_back("unloadlibraries");
}

// ---- Value

Value::Value(const wchar_t* text) {
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
}

Value::Value(int32_t number) {
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = number;
}

// ---- PlayerTest

void PlayerTest::SetUp() {
  frame_ = vexa::platform::CreateHostWindow("frame", vexa::testing::Rect(40, 30, 680, 510), false);
  if (!frame_) GTEST_SKIP() << "no window system to create windows with";
  player_ = std::make_unique<CTestPlayer>(&holder_, game_.path().c_str());
}

void PlayerTest::TearDown() {
  if (player_) player_->ShutdownPlayer();
  player_.reset();
  vexa::platform::DestroyHostWindow(frame_);
  DeletePluginFiles();
}

HRESULT PlayerTest::Start(const std::string& initXml,
                          std::vector<std::pair<std::string, std::string>> entries) {
  entries.insert(entries.begin(), {"init.xml", initXml});
  game_.Package(entries);
  transcript_.Take();
  return player_->InitPlayer(frame_);
}

std::vector<TranscriptEvent> PlayerTest::Serve() {
  holder_.PreTranslate(nullptr);
  return transcript_.Take();
}

void PlayerTest::Exec(const std::string& xml) {
  CXMLParser parser;
  ASSERT_EQ(1, parser.ParseDocument(xml.c_str())) << xml;
  player_->GetScriptEngine().Execute(parser.GetRoot(), nullptr);
}

std::vector<std::string> PlayerTest::Results() const {
  std::vector<std::string> texts;
  for (const VARIANT& value : holder_.GetResults()) texts.push_back(TextOf(value));
  return texts;
}

std::string TextOf(const VARIANT& value) {
  if (value.vt != VT_BSTR) return "<not a string>";
  std::string out;
  for (const wchar_t* p = value.bstrVal; p && *p; ++p) {
    out += static_cast<uint32_t>(*p) < 0x80 ? static_cast<char>(*p) : '?';
  }
  return out;
}

}  // namespace player_test
