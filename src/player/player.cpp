#include "player/player.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "data/pseudourl.h"
#include "flashhost/holder.h"
#include "flashhost/jrienv.h"
#include "platform/codepage.h"
#include "platform/resources.h"
#include "player/addons.h"
#include "script/value.h"
#include "script/xml.h"

using vexa::player::ClampCoordinate;
using vexa::player::IsValidDimension;
using vexa::player::ParseFlag;
using vexa::player::ParseInteger;

namespace {

std::string_view View(const CSmallStr& text) {
  return std::string_view(text.c_str(), static_cast<size_t>(text.GetLength()));
}

CSmallStr Attribute(const CXMLElement* element, const char* name) {
  CSmallStr value;
  element->GetAttribute(name, value);
  return value;
}

// A size attribute: empty, non-positive or oversized text keeps `current`.
int32_t SizeOr(const CSmallStr& text, int32_t current) {
  if (text.IsEmpty()) return current;
  const int32_t value = ParseInteger(View(text));
  return IsValidDimension(value) ? value : current;
}

// Sets `flag` from boolean text; empty text keeps it. True when the text was not empty.
bool AssignFlag(bool* flag, const CSmallStr& text) {
  const std::optional<bool> parsed = ParseFlag(View(text));
  if (!parsed) return false;
  *flag = *parsed;
  return true;
}

bool IsName(const char* name, const char* reserved) {
  return std::strcmp(name, reserved) == 0;
}

// The maker part of the data folders and of the registry key the virtual registry imports from:
// string 136 of the program ("Quorva"); a program without it keeps the default maker name.
constexpr uint32_t kMakerNameString = 136;

std::string MakerName() {
  std::wstring name;
  if (!vexa::platform::LoadStringResource(kMakerNameString, &name) || name.empty()) {
    return vexa::storage::kDefaultMakerName;
  }
  return vexa::platform::WideToAnsi(name);
}

}  // namespace

CBasePlayerImpl::CBasePlayerImpl(CFlashHolder* holder, const char* baseFolder)
    : hostHolder_(holder ? holder : &FlashHolder()), loader_(baseFolder) {
  storeFolder_.SetMakerName(MakerName());
  // The registry key of the one-time import: Software\<maker>\<GAMENAME> (not GAMESAVES).
  registry_.SetImportKeySource(
      [this] { return RegistryImportKey(storeFolder_.GetNames().maker, gameName_.str()); });
}

// Deliberately leaves the holder alone: the process-wide one may already be destroyed when the
// player is (the frame calls ShutdownPlayer while both live).
CBasePlayerImpl::~CBasePlayerImpl() = default;

IFlashHolder* CBasePlayerImpl::GetFlashHolder() const {
  return holder_;
}

// ---- Start and stop

HRESULT CBasePlayerImpl::InitPlayer(vexa::platform::WindowHandle frameWindow) {
  if (holder_ || shutDown_) return E_UNEXPECTED;
  frameWindow_ = frameWindow;

  // The window gets its default size and place before anything is shown in it.
  LayoutWindow();

  CFlashHolder* holder = hostHolder_;
  holder->SetNotifySink(GetCommandSink());
  holder->SetFileLoader(&loader_);
  holder->SetJRIPeer(CJRIEnvironment::Instance().GetPeer());
  HRESULT hr = holder->LoadPlugin();
  if (SUCCEEDED(hr)) {
    holder->CreateInstance();  // a failing NPP_New is only recorded by the holder
    // Attaching to no window would only detach the plug-in and report success.
    hr = vexa::platform::IsLiveWindow(frameWindow) ? holder->AttachToWindow(frameWindow) : E_FAIL;
  }
  if (FAILED(hr)) {
    // The process ends after this; the half-started host is not left running meanwhile.
    holder->ShutdownPlugin();
    holder->SetNotifySink(nullptr);
    ShowStartupError(kStartupErrorHost);
    return hr;
  }
  holder_ = holder;

  if (FAILED(StartHostControl())) return E_FAIL;
  LoadPluginLibraries();

  processor_.SetScriptContext(&engine_);
  processor_.SetDilator(this);
  processor_.SetHolder(holder_);
  processor_.SetFileLoader(&loader_);
  volume_.SetHolder(holder_);
  processor_.SetVolumeService(&volume_);
  processor_.SetWallpaperService(&wallpaper_);
  engine_.SetFileLoader(&loader_);
  engine_.SetHost(this);

  if (FAILED(engine_.LoadScript())) {
    ShowStartupError(kStartupErrorScript);
    return E_FAIL;
  }
  LoadAddons();
  engine_.SetParent(&frameCtx_);
  // The top-level statements run once; what they change stays in the script root that later
  // commands (CALL, EF) use.
  engine_.Execute(engine_.GetScriptRoot(), nullptr);
  return S_OK;
}

void CBasePlayerImpl::ShutdownPlayer() {
  if (!holder_) return;
  ReleasePluginObjects();
  UnloadPluginLibraries();
  CFlashHolder* holder = holder_;
  holder->ShutdownPlugin();
  holder->SetNotifySink(nullptr);
  holder_ = nullptr;
  processor_.SetHolder(nullptr);
  volume_.SetHolder(nullptr);
  shutDown_ = true;
}

// ---- Plug-in libraries

HRESULT CBasePlayerImpl::StartHostControl() {
  CHostControlImpl* created = nullptr;
  if (FAILED(CHostControlImpl::Create(&created))) return E_FAIL;
  hostControl_.reset(created);
  hostControl_->SetFileLoader(&loader_);
  hostControl_->SetFlashHolder(holder_);
  hostControl_->SetHostFolder(loader_.GetBaseFolder().c_str());
  IVEXAHostControl* host = nullptr;
  if (FAILED(hostControl_->QueryInterface(IID_IVEXAHostControl, reinterpret_cast<void**>(&host))) ||
      !host) {
    return E_FAIL;
  }
  pluginLibraries_.SetHostControl(host);
  host->Release();
  return S_OK;
}

void CBasePlayerImpl::LoadPluginLibraries() {
  ::LoadPluginLibraries(&pluginLibraries_, loader_.GetBaseFolder().c_str());
  processor_.SetPluginSource(&pluginSource_);
}

void CBasePlayerImpl::ReleasePluginObjects() {
  processor_.ReleasePluginObjects();
  // Objects the processor no longer holds but someone else still does lose their library object
  // here too: its code goes with the library.
  pluginSource_.ReleaseObjects();
}

void CBasePlayerImpl::UnloadPluginLibraries() {
  pluginSource_.ReleaseObjects();
  processor_.SetPluginSource(nullptr);
  ::UnloadPluginLibraries(&pluginLibraries_);
  if (hostControl_) {
    hostControl_->SetFileLoader(nullptr);
    hostControl_->SetFlashHolder(nullptr);
  }
}

void CBasePlayerImpl::LoadAddons() {
  MergeAddons(&engine_, loader_.GetBaseFolder().c_str());
}

// ---- IScriptDilator

HRESULT CBasePlayerImpl::LoadIntoLayer(CXMLElement* element) {
  if (!element) return E_POINTER;
  const CSmallStr url = Attribute(element, "url");
  const CSmallStr layerText = Attribute(element, "layer");
  if (url.IsEmpty() || layerText.IsEmpty()) return S_OK;
  const int32_t layer = ParseInteger(View(layerText));
  if (layer <= 0) return S_OK;
  if (!holder_) return E_UNEXPECTED;
  return holder_->LoadMovieIntoLayer(layer, url.c_str(), nullptr);
}

HRESULT CBasePlayerImpl::LoadReference(CXMLElement* element) {
  if (!element) return E_POINTER;
  if (!holder_) return E_UNEXPECTED;
  const CSmallStr url = Attribute(element, "url");
  const CSmallStr alias = Attribute(element, "alias");
  HRESULT hr;
  if (url.IsEmpty()) {
    CSmallStr text;
    element->ToXML(text, 0, true, true);
    hr = holder_->LoadMovieData(-1, text.c_str(), text.GetLength(), alias.c_str());
  } else {
    hr = holder_->LoadMovieIntoLayer(-1, url.c_str(), alias.c_str());
  }
  return FAILED(hr) ? hr : S_OK;
}

HRESULT CBasePlayerImpl::SetMovie(CXMLElement* element) {
  if (!element) return E_POINTER;
  if (variants_.empty()) {
    current_.movieHeight = SizeOr(Attribute(element, "height"), placement_.height);
    current_.movieWidth = SizeOr(Attribute(element, "width"), placement_.width);
    const float ratio =
        static_cast<float>(current_.movieWidth) / static_cast<float>(current_.movieHeight);
    current_.wide = ratio > 1.34f ? 1 : 0;
  }
  movieUrl_ = Attribute(element, "url");
  const CSmallStr resize = Attribute(element, "resize");
  const CSmallStr posx = Attribute(element, "posx");
  const CSmallStr posy = Attribute(element, "posy");
  const CSmallStr center = Attribute(element, "center");
  if (variants_.empty()) current_.urlSuffix.Empty();
  if (movieUrl_.IsEmpty()) return E_FAIL;

  AssignFlag(&placement_.resize, resize);
  if (!posx.IsEmpty()) placement_.x = ClampCoordinate(ParseInteger(View(posx)));
  if (!posy.IsEmpty()) placement_.y = ClampCoordinate(ParseInteger(View(posy)));
  AssignFlag(&placement_.centre, center);
  return LoadMovie();
}

// The reserved names, in the order they are tested:
//   CAPTION          value as text, to UTF-8: the window caption (ApplyCaption)
//   ICON             icon file path, resolved against `base`: read through the loader (package,
//                    then disk), failing that from disk as written; the bytes go to ApplyIcon
//   SHOWCAPT         flag, kept when empty: a change is stored and laid out
//   REGION           accepted and ignored
//   KBDFILTER_LOWER_BOUND, KBDFILTER_UPPER_BOUND
//                    integer (text is read as a number; values without one keep the bound)
//   GAMENAME, GAMEID, GAMESAVES
//                    text, kept when empty; GAMENAME and GAMESAVES also keep their value when the
//                    text could not be a folder name (IsSafeFolderName)
//   FOCUSVAR, GAMECLOSEVAR, MOUSEMESSAGEVAR
//                    text
//   CENTER           flag, kept when empty; then LayoutWindow
//   POSITION         "x,y,width,height": the window position, and a client area at least that
//                    large; then LayoutWindow. Text without all four numbers changes nothing.
//   FULLSCREEN       "a,b": stored (negative numbers as 0) when both are there
//   GAMEURL          text: opened when the process ends
//   FLASHVARS        text to the holder's SetFlashVars; its status
//   FSMODES          the movie variant list (ParseFSModes), then SelectMovieVariant
//   FOCUSMETHOD, GAMECLOSEMETHOD
//                    text
//   AS30CALLBACK     text stored; the value as a string to the holder's SetResultCallback; its
//                    status
//   MOUSEEVENTMETHOD text
// Every value is converted to a string first, whatever its type.
HRESULT CBasePlayerImpl::SetSystemVariable(const char* name, const VARIANT* value,
                                           const char* base) {
  if (!name || !value) return E_FAIL;

  if (IsName(name, "CAPTION")) {
    const CSmallWStr wide = ValueToString(*value);
    caption_ = vexa::platform::WideToUtf8(
        std::wstring_view(wide.c_str(), static_cast<size_t>(wide.GetLength())));
    ApplyCaption(caption_);
    return S_OK;
  }
  if (IsName(name, "ICON")) return SetIcon(TextOf(*value), base);
  if (IsName(name, "SHOWCAPT")) {
    bool flag = showCaption_;
    if (AssignFlag(&flag, TextOf(*value)) && flag != showCaption_) {
      showCaption_ = flag;
      LayoutWindow();
    }
    return S_OK;
  }
  if (IsName(name, "REGION")) return S_OK;
  if (IsName(name, "KBDFILTER_LOWER_BOUND")) return SetKeyboardBound(*value, false);
  if (IsName(name, "KBDFILTER_UPPER_BOUND")) return SetKeyboardBound(*value, true);
  if (IsName(name, "GAMENAME")) {
    AssignFolderName(&gameName_, TextOf(*value));
    return S_OK;
  }
  if (IsName(name, "GAMEID")) {
    const CSmallStr text = TextOf(*value);
    if (!text.IsEmpty()) gameId_ = text;
    return S_OK;
  }
  if (IsName(name, "GAMESAVES")) {
    AssignFolderName(&savesFolderName_, TextOf(*value));
    return S_OK;
  }
  if (IsName(name, "FOCUSVAR")) {
    focusVariable_ = TextOf(*value);
    return S_OK;
  }
  if (IsName(name, "GAMECLOSEVAR")) {
    closeVariable_ = TextOf(*value);
    return S_OK;
  }
  if (IsName(name, "MOUSEMESSAGEVAR")) {
    mouseMessageVariable_ = TextOf(*value);
    return S_OK;
  }
  if (IsName(name, "CENTER")) {
    if (AssignFlag(&windowCentered_, TextOf(*value))) LayoutWindow();
    return S_OK;
  }
  if (IsName(name, "POSITION")) return SetPosition(TextOf(*value));
  if (IsName(name, "FULLSCREEN")) {
    int32_t numbers[2];
    if (vexa::player::ScanIntegers(View(TextOf(*value)), ',', numbers, 2) == 2) {
      fullScreenWidth_ = std::max(numbers[0], 0);
      fullScreenHeight_ = std::max(numbers[1], 0);
    }
    return S_OK;
  }
  if (IsName(name, "GAMEURL")) {
    gameUrl_ = TextOf(*value);
    return S_OK;
  }
  if (IsName(name, "FLASHVARS")) {
    // The instance's FlashVars are fixed; the holder only acknowledges.
    return holder_ ? holder_->SetFlashVars(TextOf(*value).c_str()) : S_OK;
  }
  if (IsName(name, "FSMODES")) {
    variants_ = vexa::player::ParseFSModes(View(TextOf(*value)));
    SelectMovieVariant();
    return S_OK;
  }
  if (IsName(name, "FOCUSMETHOD")) {
    focusMethod_ = TextOf(*value);
    return S_OK;
  }
  if (IsName(name, "GAMECLOSEMETHOD")) {
    closeMethod_ = TextOf(*value);
    return S_OK;
  }
  if (IsName(name, "AS30CALLBACK")) {
    resultCallback_ = TextOf(*value);
    const CSmallWStr wide = ValueToString(*value);
    return holder_ ? holder_->SetResultCallback(wide.c_str()) : S_OK;
  }
  if (IsName(name, "MOUSEEVENTMETHOD")) {
    mouseEventMethod_ = TextOf(*value);
    return S_OK;
  }
  return E_FAIL;
}

HRESULT CBasePlayerImpl::SetIcon(const CSmallStr& path, const char* base) {
  if (path.IsEmpty()) return S_OK;
  const CSmallStr resolved = ResolveRelativePath(path.c_str(), base);
  uint8_t* bytes = nullptr;
  int32_t size = 0;
  HRESULT hr = loader_.Load(resolved.c_str(), &bytes, &size, nullptr, nullptr);
  if (FAILED(hr)) hr = loader_.LoadFromDisk(path.c_str(), &bytes, &size, nullptr);
  if (SUCCEEDED(hr) && bytes) ApplyIcon(bytes, static_cast<size_t>(size));
  delete[] bytes;
  // A missing or unusable icon leaves the window's icon; the setting itself is always taken.
  return S_OK;
}

HRESULT CBasePlayerImpl::SetKeyboardBound(const VARIANT& value, bool upper) {
  int32_t bound = 0;
  if (value.vt == VT_BSTR) {
    bool found = false;
    bound = ParseInteger(View(TextOf(value)), &found);
    if (!found) return S_OK;
  } else if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
    return S_OK;
  } else {
    bound = ValueToInt(value);
  }
  (upper ? keyboardUpper_ : keyboardLower_) = bound;
  ApplyKeyboardFilter(keyboardLower_, keyboardUpper_);
  return S_OK;
}

HRESULT CBasePlayerImpl::SetPosition(const CSmallStr& text) {
  int32_t numbers[4];
  if (vexa::player::ScanIntegers(View(text), ',', numbers, 4) != 4) return S_OK;
  windowX_ = ClampCoordinate(numbers[0]);
  windowY_ = ClampCoordinate(numbers[1]);
  // The client area only grows: the movie's own size stays the least it needs.
  if (IsValidDimension(numbers[2])) clientWidth_ = std::max(clientWidth_, numbers[2]);
  if (IsValidDimension(numbers[3])) clientHeight_ = std::max(clientHeight_, numbers[3]);
  LayoutWindow();
  return S_OK;
}

void CBasePlayerImpl::AssignFolderName(CSmallStr* current, const CSmallStr& value) {
  // The name becomes a folder in the user's data folder and part of a mutex name: a separator or
  // ".." would move the folder elsewhere, a reserved character would make both fail.
  if (value.IsEmpty() || !vexa::player::IsSafeFolderName(View(value))) return;
  *current = value;
}

CSmallStr CBasePlayerImpl::TextOf(const VARIANT& value) {
  const CSmallWStr wide = ValueToString(value);
  const std::string ansi = vexa::platform::WideToAnsi(
      std::wstring_view(wide.c_str(), static_cast<size_t>(wide.GetLength())));
  return CSmallStr(ansi.data(), static_cast<int>(ansi.size()));
}

HRESULT CBasePlayerImpl::SetMovieValue(const char* name, const VARIANT* value) {
  if (!value) return E_POINTER;
  if (!holder_) return E_UNEXPECTED;
  return holder_->AddResultA(name, TextOf(*value).c_str());
}

HRESULT CBasePlayerImpl::SendFSCommand(const wchar_t* command, const wchar_t* args) {
  return processor_.OnFSCommand(command ? command : L"", args ? args : L"");
}

HRESULT CBasePlayerImpl::AttachMovieWindow() {
  if (!holder_) return E_UNEXPECTED;
  return holder_->AttachToWindow(frameWindow_);
}

HRESULT CBasePlayerImpl::WriteValue(const char* name, const char* value, bool shared) {
  GetStoreFolder();
  return registry_.WriteValue(name, value, shared);
}

HRESULT CBasePlayerImpl::ReadValue(const char* name, CSmallStr* value, bool shared) {
  GetStoreFolder();
  return registry_.ReadValue(name, value, shared);
}

HRESULT CBasePlayerImpl::OnQuit() {
  return S_OK;
}

// ---- Movie

HRESULT CBasePlayerImpl::LoadMovie() {
  const CSmallStr url = movieUrl_ + current_.urlSuffix;
  // A variant without a usable size (none chosen yet) keeps the size the movie has.
  if (IsValidDimension(current_.movieWidth) && IsValidDimension(current_.movieHeight)) {
    placement_.width = current_.movieWidth;
    placement_.height = current_.movieHeight;
  }
  clientWidth_ = placement_.width;
  clientHeight_ = placement_.height;
  LayoutWindow();
  if (!holder_) return E_UNEXPECTED;
  // Nothing to open: closing the running movie would leave an empty window.
  if (movieUrl_.IsEmpty()) return E_FAIL;
  holder_->CloseMovie();
  AttachMovieWindow();
  holder_->SetMovieSize(placement_.width, placement_.height);
  holder_->OpenMovie(url.c_str());
  return S_OK;
}

HRESULT CBasePlayerImpl::PlaceMovie(int32_t clientWidth, int32_t clientHeight) {
  if (!holder_) return E_UNEXPECTED;
  const vexa::platform::WindowRect rect =
      vexa::player::ComputeMovieRect(placement_, clientWidth, clientHeight);
  return holder_->SetWindowRect(rect.left, rect.top, rect.right, rect.bottom);
}

void CBasePlayerImpl::UseMovieVariant(const vexa::player::ModeRecord& entry) {
  current_.displayWidth = entry.displayWidth;
  current_.displayHeight = entry.displayHeight;
  current_.urlSuffix = entry.urlSuffix;
  current_.movieWidth = entry.movieWidth;
  current_.movieHeight = entry.movieHeight;
}

// ---- IFSCommandDilator

HRESULT CBasePlayerImpl::WriteSharedValue(const char* name, const char* value) {
  return WriteValue(name, value, true);
}

HRESULT CBasePlayerImpl::ReadSharedValue(const char* name, CSmallStr* value) {
  return ReadValue(name, value, true);
}

HRESULT CBasePlayerImpl::WriteUserValue(const char* name, const char* value) {
  return WriteValue(name, value, false);
}

HRESULT CBasePlayerImpl::ReadUserValue(const char* name, CSmallStr* value) {
  return ReadValue(name, value, false);
}

vexa::storage::CDataFolder& CBasePlayerImpl::GetStoreFolder() {
  storeFolder_.SetGameNames(savesFolderName_.str(), gameName_.str());
  return storeFolder_;
}

CSaveStore& CBasePlayerImpl::GetSaveStore() {
  // The folder's game part follows the settings; the store asks for the folder on every command.
  GetStoreFolder();
  if (!saves_) saves_ = std::make_unique<CSaveStore>(&storeFolder_);
  return *saves_;
}

void CBasePlayerImpl::FlushPendingWork() {
  if (saves_) saves_->Stop();
}

// The save store's statuses are the commands' answers: E_ACCESSDENIED (kNoSuchSaveStatus) for no
// such save, any other failure for a set that cannot be read or a name that is refused.
HRESULT CBasePlayerImpl::EnumSaves(const char* setName, CSmallStr* listing) {
  return GetSaveStore().EnumSaves(setName, listing);
}

HRESULT CBasePlayerImpl::GetSave(const char* setName, int32_t slot, CSmallStr* data) {
  return GetSaveStore().GetSave(setName, slot, data);
}

HRESULT CBasePlayerImpl::SetSave(const char* setName, int32_t slot, const char* description,
                                 const char* data) {
  return GetSaveStore().SetSave(setName, slot, description, data);
}

HRESULT CBasePlayerImpl::RemoveSave(const char* setName, int32_t slot) {
  return GetSaveStore().RemoveSave(setName, slot);
}

// The high-score store reads and rewrites "bstscore.dat" on every command (tables are small); a
// refused table name or a file that cannot be read is a failure the command handlers answer with
// their failure texts.
HRESULT CBasePlayerImpl::GetHighScores(const char* table, CSmallStr* listing) {
  GetStoreFolder();
  return highScores_.GetHighScores(table, listing);
}

HRESULT CBasePlayerImpl::SetHighScore(int32_t tableSize, const char* table, const char* score) {
  GetStoreFolder();
  return highScores_.SetHighScore(tableSize, table, score);
}

HRESULT CBasePlayerImpl::IsHighScore(int32_t tableSize, const char* table, const char* score,
                                     int32_t* position) {
  GetStoreFolder();
  return highScores_.IsHighScore(tableSize, table, score, position);
}

HRESULT CBasePlayerImpl::SetHighScoreAt(int32_t position, int32_t tableSize, const char* table,
                                        const char* score) {
  GetStoreFolder();
  return highScores_.SetHighScoreAt(position, tableSize, table, score);
}

HRESULT CBasePlayerImpl::SetFullScreen(int32_t) {
  return E_NOTIMPL;
}

HRESULT CBasePlayerImpl::GetFullScreen(int32_t*) {
  return E_NOTIMPL;
}

HRESULT CBasePlayerImpl::Minimize() {
  return E_NOTIMPL;
}

HRESULT CBasePlayerImpl::GetBaseDir(CSmallStr* folder) {
  if (!folder) return E_INVALIDARG;
  *folder = GetExecutableFolder();
  return S_OK;
}

HRESULT CBasePlayerImpl::SetMouseInput(int32_t) {
  return E_NOTIMPL;
}

HRESULT CBasePlayerImpl::SetKeyRepeat(int32_t) {
  return E_NOTIMPL;
}

HRESULT CBasePlayerImpl::SetCursorPosition(int32_t*, int32_t*) {
  return E_NOTIMPL;
}

HRESULT CBasePlayerImpl::GetCursorPosition(int32_t*, int32_t*) {
  return E_NOTIMPL;
}

HRESULT CBasePlayerImpl::CreateFolderPath(const char*, int32_t) {
  return E_NOTIMPL;
}

HRESULT CBasePlayerImpl::GetMaxDisplayMode(int32_t*, int32_t*, int32_t*) {
  return E_NOTIMPL;
}

HRESULT CBasePlayerImpl::SetMovieRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!holder_) return E_UNEXPECTED;
  // The movie sends these numbers, so they obey the movie element's bounds: a size no window can
  // have keeps the current one (a later <movie> without sizes would make it the client area), and
  // a position is held to what a window coordinate can be. That also keeps x + width in range.
  placement_.x = ClampCoordinate(x);
  placement_.y = ClampCoordinate(y);
  if (IsValidDimension(width)) placement_.width = width;
  if (IsValidDimension(height)) placement_.height = height;
  holder_->SetMovieSize(placement_.width, placement_.height);
  return holder_->SetWindowRect(placement_.x, placement_.y, placement_.x + placement_.width,
                                placement_.y + placement_.height);
}

HRESULT CBasePlayerImpl::SetPreferWide(int32_t) {
  return E_NOTIMPL;
}

HRESULT CBasePlayerImpl::GetPreferWide(int32_t*) {
  return E_NOTIMPL;
}

HRESULT CBasePlayerImpl::SetKeepAspect(int32_t) {
  return E_NOTIMPL;
}

HRESULT CBasePlayerImpl::GetKeepAspect(int32_t*) {
  return E_NOTIMPL;
}

HRESULT CBasePlayerImpl::ReselectMovieVariant() {
  SelectMovieVariant();
  return LoadMovie();
}

HRESULT CBasePlayerImpl::GetReadyFlag(CSmallStr* text) {
  if (!text) return E_POINTER;
  *text = "1";
  return S_OK;
}
