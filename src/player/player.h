// CBasePlayerImpl: the player object, centre of the running game.
//
// It owns the global script context that runs init.xml (CScriptEngine), the file loader that reads
// the game's files, the FSCommand processor that serves the movie, and the frame's outermost script
// scope; it holds the game settings the script assigns and places the movie. It is the host side of
// the two interfaces through which the rest of the system calls out: IScriptDilator (the script
// engine) and IFSCommandDilator (the command handlers).
//
// The Windows main frame derives from it and supplies what needs the window system. What the frame
// must or may provide:
// - pure virtual (the frame must implement): AddTimeout, AddInterval, LayoutWindow,
//   SelectMovieVariant, Quit, ShowStartupError;
// - E_NOTIMPL until the frame overrides: SetFullScreen, GetFullScreen, Minimize, SetMouseInput,
//   SetKeyRepeat, SetCursorPosition, GetCursorPosition, CreateFolderPath, GetMaxDisplayMode,
//   SetPreferWide, GetPreferWide, SetKeepAspect, GetKeepAspect;
// - hooks that do nothing until overridden: ApplyCaption, ApplyIcon, ApplyKeyboardFilter,
//   FlushPendingWork;
// - hooks with a body of their own (overridable by tests): StartHostControl,
//   LoadPluginLibraries, ReleasePluginObjects, UnloadPluginLibraries (the plug-in libraries),
//   LoadAddons (the add-on packages).
// Portable here: AttachMovieWindow (the holder attached to the frame window given to InitPlayer),
// SetMovieRect, ReselectMovieVariant, GetBaseDir, GetReadyFlag and everything of the settings.
// Saves are served by CSaveStore (storage/savestore.h), high scores by CHighScoreStore
// (storage/highscores.h) and the virtual registry values by CVirtualRegistry (storage/vregistry.h),
// all in the data folder GetStoreFolder() names (maker: string 136 of the program).
//
// Life: constructed with everything but the Flash holder; InitPlayer starts the plug-in host and
// runs init.xml; ShutdownPlayer (from the frame's destruction) stops the host for good.
//
// Threading: the UI thread only, like everything that calls it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/loader.h"
#include "fscommand/dilator.h"
#include "fscommand/processor.h"
#include "platform/oleauto.h"
#include "platform/window.h"
#include "player/framectx.h"
#include "player/settings.h"
#include "script/dilator.h"
#include "script/engine.h"
#include "script/smallstr.h"
#include "storage/datafolder.h"
#include "storage/highscores.h"
#include "storage/savestore.h"
#include "storage/vregistry.h"
#include "system/hostcontrol.h"
#include "system/pluginlibs.h"
#include "system/pluginobjects.h"
#include "system/volume.h"
#include "system/wallpaper.h"

class CFlashHolder;
class IFlashHolder;
class CXMLElement;

// String-table ids of the start-up errors InitPlayer reports through ShowStartupError.
inline constexpr int kStartupErrorScript = 131;  // init.xml missing or not well-formed
inline constexpr int kStartupErrorHost = 132;    // the Flash plug-in could not be started

class CBasePlayerImpl : public IScriptDilator, public IFSCommandDilator {
 public:
  // `holder`: the Flash holder InitPlayer starts; null means the process-wide FlashHolder().
  // `baseFolder`: the folder the file loader reads the game from; null means the executable's
  // folder. Neither is started here; nothing is loaded.
  explicit CBasePlayerImpl(CFlashHolder* holder = nullptr, const char* baseFolder = nullptr);
  ~CBasePlayerImpl() override;

  CBasePlayerImpl(const CBasePlayerImpl&) = delete;
  CBasePlayerImpl& operator=(const CBasePlayerImpl&) = delete;

  // ---- Start and stop

  // Starts the player inside `frameWindow`, in this order, stopping at the first failure:
  //  1. LayoutWindow();
  //  2. the Flash host: sink (the command processor), file loader and JRI peer wired, the plug-in
  //     loaded, its instance created, its window attached to `frameWindow`. A plug-in that does not
  //     load, a frame window that is not a live window, or a failing attach: ShowStartupError(132)
  //     and that failure. On success the player's holder is set;
  //  3. StartHostControl(): a failure gives E_FAIL without a message;
  //  4. LoadPluginLibraries();
  //  5. the command processor, the script engine and the loader wired to each other;
  //  6. init.xml loaded: failure gives ShowStartupError(131) and E_FAIL;
  //  7. LoadAddons();
  //  8. the frame's script scope made the parent of the global scope;
  //  9. the script's top-level statements run (they assign the settings and open the movie).
  // S_OK when all ran. E_UNEXPECTED when the player was already started.
  HRESULT InitPlayer(vexa::platform::WindowHandle frameWindow);

  // The frame's destruction: when started, releases the plug-in objects, unloads the plug-in
  // libraries, shuts the plug-in down and forgets the holder (the processor's too). The player
  // cannot be started again. Does nothing when not started.
  void ShutdownPlayer();

  // Called by the frame after the message loop has ended and when the session ends: whatever work
  // is still pending must reach the disk before this returns. Writes every pending save and stops
  // the save writer (a later change starts it again); nothing is lost if the process ends next.
  virtual void FlushPendingWork();

  // True between a successful InitPlayer step 2 and ShutdownPlayer.
  bool IsStarted() const { return holder_ != nullptr; }

  // Shows the start-up error `id` (a string-table id, kStartupError*) to the user.
  virtual void ShowStartupError(int id) = 0;

  // ---- IScriptDilator

  // <load url layer>: a positive layer loads url into it through the holder; an empty url or
  // layer, or a layer of 0 or less, does nothing (S_OK).
  HRESULT LoadIntoLayer(CXMLElement* element) override;
  // <ref url alias>: a url is loaded as a reference (layer -1); without one the element itself,
  // written as XML, is handed to the holder as movie data. A negative holder status is returned,
  // anything else gives S_OK.
  HRESULT LoadReference(CXMLElement* element) override;
  // <movie url width height resize posx posy center>: takes the size (when no FSMODES list
  // exists), the url and the placement, then LoadMovie(). E_FAIL without a url (no movie opened).
  HRESULT SetMovie(CXMLElement* element) override;
  // The reserved names (see player.cpp for the table). S_OK (or a holder failure where the name
  // hands its value on) for a reserved name, E_FAIL for any other name.
  HRESULT SetSystemVariable(const char* name, const VARIANT* value, const char* base) override;
  // The value as narrow text to the holder's result list (the name is not used).
  HRESULT SetMovieValue(const char* name, const VARIANT* value) override;
  // Dispatched by the command processor exactly like a command from the movie.
  HRESULT SendFSCommand(const wchar_t* command, const wchar_t* args) override;
  // The holder attached to the frame window InitPlayer was given.
  HRESULT AttachMovieWindow() override;
  HRESULT WriteValue(const char* name, const char* value, bool shared) override;
  HRESULT ReadValue(const char* name, CSmallStr* value, bool shared) override;
  // Called by Quit before the close request; nothing to do.
  HRESULT OnQuit() override;

  // ---- IFSCommandDilator (the stores, and the operations that need no window)
  HRESULT WriteSharedValue(const char* name, const char* value) override;
  HRESULT ReadSharedValue(const char* name, CSmallStr* value) override;
  HRESULT EnumSaves(const char* setName, CSmallStr* listing) override;
  HRESULT GetSave(const char* setName, int32_t slot, CSmallStr* data) override;
  HRESULT SetSave(const char* setName, int32_t slot, const char* description,
                  const char* data) override;
  HRESULT RemoveSave(const char* setName, int32_t slot) override;
  HRESULT GetHighScores(const char* table, CSmallStr* listing) override;
  HRESULT SetHighScore(int32_t tableSize, const char* table, const char* score) override;
  HRESULT IsHighScore(int32_t tableSize, const char* table, const char* score,
                      int32_t* position) override;
  HRESULT SetHighScoreAt(int32_t position, int32_t tableSize, const char* table,
                         const char* score) override;
  HRESULT SetFullScreen(int32_t on) override;
  HRESULT GetFullScreen(int32_t* on) override;
  HRESULT Minimize() override;
  // The executable's folder ('/' separators, trailing '/'). E_INVALIDARG without an output.
  HRESULT GetBaseDir(CSmallStr* folder) override;
  HRESULT SetMouseInput(int32_t on) override;
  HRESULT SetKeyRepeat(int32_t on) override;
  HRESULT SetCursorPosition(int32_t* x, int32_t* y) override;
  HRESULT GetCursorPosition(int32_t* x, int32_t* y) override;
  HRESULT CreateFolderPath(const char* path, int32_t pathNamesFile) override;
  HRESULT GetMaxDisplayMode(int32_t* width, int32_t* height, int32_t* bitsPerPixel) override;
  HRESULT WriteUserValue(const char* name, const char* value) override;
  HRESULT ReadUserValue(const char* name, CSmallStr* value) override;
  // Movie x, y := the arguments held to kMinCoordinate..kMaxCoordinate; width, height := the
  // arguments IsValidDimension accepts (others keep the current size, as for <movie>); holder
  // SetMovieSize, then SetWindowRect with those values; the last holder status. E_UNEXPECTED
  // (nothing changed) when not started.
  HRESULT SetMovieRect(int32_t x, int32_t y, int32_t width, int32_t height) override;
  HRESULT SetPreferWide(int32_t on) override;
  HRESULT GetPreferWide(int32_t* on) override;
  HRESULT SetKeepAspect(int32_t on) override;
  HRESULT GetKeepAspect(int32_t* on) override;
  // SelectMovieVariant(), then LoadMovie().
  HRESULT ReselectMovieVariant() override;
  // "1". E_POINTER without an output.
  HRESULT GetReadyFlag(CSmallStr* text) override;

  // ---- Movie

  // Opens the movie of the current variant: URL = movie URL + the variant's suffix; movie size and
  // client size := the variant's movie size (kept as they are when the variant has none);
  // LayoutWindow(); holder CloseMovie, AttachMovieWindow, SetMovieSize, OpenMovie. S_OK;
  // E_UNEXPECTED (after the sizes and the layout) when the player is not started.
  HRESULT LoadMovie();

  // Applies the movie placement rule (ComputeMovieRect) for a client area of that size to the
  // holder's window. The holder's status; E_UNEXPECTED when not started.
  HRESULT PlaceMovie(int32_t clientWidth, int32_t clientHeight);

  // Makes `entry` the current variant: display size, URL suffix and movie size are copied; the id
  // and the wide flag are not. For the frame's variant choice.
  void UseMovieVariant(const vexa::player::ModeRecord& entry);

  // ---- Settings the frame and the stores read

  const CSmallStr& GetGameName() const { return gameName_; }
  const CSmallStr& GetGameId() const { return gameId_; }
  const CSmallStr& GetSavesFolderName() const { return savesFolderName_; }
  const CSmallStr& GetFocusVariable() const { return focusVariable_; }
  const CSmallStr& GetGameUrl() const { return gameUrl_; }
  const CSmallStr& GetCloseVariable() const { return closeVariable_; }
  const CSmallStr& GetMouseMessageVariable() const { return mouseMessageVariable_; }
  const CSmallStr& GetFocusMethod() const { return focusMethod_; }
  const CSmallStr& GetCloseMethod() const { return closeMethod_; }
  const CSmallStr& GetResultCallbackName() const { return resultCallback_; }
  const CSmallStr& GetMouseEventMethod() const { return mouseEventMethod_; }
  // The caption the script set (UTF-8); empty until CAPTION is assigned.
  const std::string& GetCaption() const { return caption_; }

  int32_t GetMovieWidth() const { return placement_.width; }
  int32_t GetMovieHeight() const { return placement_.height; }
  bool IsMovieResized() const { return placement_.resize; }
  bool IsMovieCentered() const { return placement_.centre; }
  int32_t GetMovieX() const { return placement_.x; }
  int32_t GetMovieY() const { return placement_.y; }
  const vexa::player::MoviePlacement& GetMoviePlacement() const { return placement_; }
  int32_t GetClientWidth() const { return clientWidth_; }
  int32_t GetClientHeight() const { return clientHeight_; }
  // POSITION's window position (relative to the monitor) and CENTER.
  int32_t GetWindowX() const { return windowX_; }
  int32_t GetWindowY() const { return windowY_; }
  bool IsWindowCentered() const { return windowCentered_; }
  // SHOWCAPT.
  bool HasCaption() const { return showCaption_; }
  int32_t GetFullScreenWidth() const { return fullScreenWidth_; }
  int32_t GetFullScreenHeight() const { return fullScreenHeight_; }
  int32_t GetKeyboardFilterLower() const { return keyboardLower_; }
  int32_t GetKeyboardFilterUpper() const { return keyboardUpper_; }
  const CSmallStr& GetMovieUrl() const { return movieUrl_; }
  const std::vector<vexa::player::ModeRecord>& GetMovieVariants() const { return variants_; }
  const vexa::player::ModeRecord& GetCurrentVariant() const { return current_; }

  // ---- Owned parts
  // The data folder the stores (saves, high scores, virtual registry) keep their files in, with
  // the game parts taken from the current GAMESAVES and GAMENAME settings.
  vexa::storage::CDataFolder& GetStoreFolder();
  // The save games (ES, GS, SS, RS), created on first use over GetStoreFolder().
  CSaveStore& GetSaveStore();
  CScriptEngine& GetScriptEngine() { return engine_; }
  CFileLoader& GetFileLoader() { return loader_; }
  // The volume and wallpaper services the command processor is wired to (VC*, SW).
  CVolumeControlManager& GetVolumeManager() { return volume_; }
  CWallpaperService& GetWallpaperService() { return wallpaper_; }
  CFSCommandProcessor& GetCommandProcessor() { return processor_; }
  CMainFrameCtx& GetFrameContext() { return frameCtx_; }
  // The started holder, or null.
  IFlashHolder* GetFlashHolder() const;
  vexa::platform::WindowHandle GetFrameWindow() const { return frameWindow_; }

 protected:
  // ---- Hooks of the window frame and of subsystems still to come

  // CAPTION: the new window caption (UTF-8).
  virtual void ApplyCaption(const std::string& utf8) {}
  // ICON: the bytes of an icon file; the frame picks the large image and sets it. The bytes are
  // only borrowed for the call.
  virtual void ApplyIcon(const uint8_t* bytes, size_t size) {}
  // KBDFILTER_LOWER_BOUND / KBDFILTER_UPPER_BOUND changed.
  virtual void ApplyKeyboardFilter(int32_t lower, int32_t upper) {}
  // InitPlayer step 3: creates the host-control object handed to the plug-in libraries and gives
  // it the file loader, the holder and the game folder (the loader's base folder). A failure stops
  // the start (E_FAIL, no message).
  virtual HRESULT StartHostControl();
  // InitPlayer step 4: loads the plug-in libraries of the game folder (the loader's base folder:
  // the executable's folder in the shipped player) and makes them the command processor's source
  // of plug-in objects. Their failures do not stop the start.
  virtual void LoadPluginLibraries();
  // InitPlayer step 7: merges the add-on packages of the game folder (the loader's base folder)
  // into the script root (player/addons.h); their failures do not stop the start.
  virtual void LoadAddons();
  // ShutdownPlayer: releases the plug-in objects the commands created (every one, also those
  // still held elsewhere), then unloads the plug-in libraries and disconnects the host control
  // from the loader and the holder, so a library that kept it gets E_UNEXPECTED from then on.
  virtual void ReleasePluginObjects();
  virtual void UnloadPluginLibraries();
  // The sink the holder hands the movie's FSCommands to: the command processor. Test builds put a
  // probe in front of it that forwards to GetCommandProcessor().
  virtual IFlashPlayerNotifySink* GetCommandSink() { return &processor_; }

 private:
  // Text of a value (ValueToString, then the ANSI code page).
  static CSmallStr TextOf(const VARIANT& value);
  // `value` when IsSafeFolderName allows it, else `current`; empty text keeps `current` as well.
  static void AssignFolderName(CSmallStr* current, const CSmallStr& value);
  HRESULT SetIcon(const CSmallStr& path, const char* base);
  HRESULT SetKeyboardBound(const VARIANT& value, bool upper);
  HRESULT SetPosition(const CSmallStr& text);

  CScriptEngine engine_;
  CFlashHolder* hostHolder_;        // what InitPlayer starts; not owned
  CFlashHolder* holder_ = nullptr;  // set once started; null when not started or stopped
  CFileLoader loader_;
  CFSCommandProcessor processor_;
  CSystemFrameCtx frameCtx_;
  vexa::platform::WindowHandle frameWindow_ = nullptr;
  bool shutDown_ = false;

  // Process-wide game strings.
  CSmallStr gameName_{"GameBase"};
  CSmallStr gameId_{"GameID"};
  CSmallStr savesFolderName_;

  // Game strings.
  CSmallStr focusVariable_;
  CSmallStr gameUrl_;
  CSmallStr closeVariable_;
  CSmallStr mouseMessageVariable_;
  CSmallStr focusMethod_;
  CSmallStr closeMethod_;
  CSmallStr resultCallback_;
  CSmallStr mouseEventMethod_;
  std::string caption_;

  // Movie and window layout.
  vexa::player::MoviePlacement placement_;
  int32_t clientWidth_ = 640;
  int32_t clientHeight_ = 480;
  int32_t fullScreenWidth_ = 0;
  int32_t fullScreenHeight_ = 0;
  int32_t windowX_ = 0;
  int32_t windowY_ = 0;
  bool windowCentered_ = true;
  bool showCaption_ = true;
  int32_t keyboardLower_ = 32;
  int32_t keyboardUpper_ = 126;

  // Movie variants.
  std::vector<vexa::player::ModeRecord> variants_;
  vexa::player::ModeRecord current_;
  CSmallStr movieUrl_;

  // Plug-in libraries, destroyed in reverse order: the host control is disconnected from the
  // loader and the holder first (the process-wide holder may be gone when a player that was never
  // shut down is destroyed), then the objects go, then the libraries.
  CPluginLibraryList pluginLibraries_;
  CPluginObjectSource pluginSource_{&pluginLibraries_};
  CHostControlPtr hostControl_;

  // The services of the volume and wallpaper commands. The mixer opens on the first volume command.
  CVolumeControlManager volume_;
  CWallpaperService wallpaper_;

  // Stores. The save store is destroyed first of all: its destructor writes what is still pending.
  vexa::storage::CDataFolder storeFolder_;
  CHighScoreStore highScores_{&storeFolder_};
  CVirtualRegistry registry_{&storeFolder_};
  std::unique_ptr<CSaveStore> saves_;
};
