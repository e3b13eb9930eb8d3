// IFSCommandDilator: the player operations the FSCommand handlers call.
//
// The player object (CBasePlayerImpl) implements the stores (values, saves, high scores); the main
// frame implements the window, input and display operations. The slot order below is the order of
// the command table's operations and must not change: handlers and the frame are written against it
// (which is also why the destructor is not virtual: it would take a slot).
//
// Conventions of every operation:
// - The result is a status: 0 for success, a negative code for failure. Nothing throws.
// - Narrow strings are single-byte (the ANSI code page), zero-terminated, only borrowed for the
//   call. Out strings and numbers are written by the callee; on failure an out value keeps what it
//   held unless the operation says otherwise.
// - The store operations (1 to 10, 22, 23) report what the movie is told through their status:
//   any failure of ReadSharedValue/ReadUserValue answers "unknown", of EnumSaves "<empty/>", of
//   GetHighScores an empty listing; GetSave tells "no such save" (no set of that name, or no save
//   in that slot) by kNoSuchSaveStatus, which the movie sees as "empty", and every other failure
//   as "error". IsHighScore's position is reported only on success.
//
// Threading: the UI thread only (the thread that dispatches FSCommands).
#pragma once

#include <cstdint>

#include "platform/oleauto.h"
#include "script/smallstr.h"

// GetSave's status for "there is no such save" (answered "empty"); other failures answer "error".
inline constexpr HRESULT kNoSuchSaveStatus = E_ACCESSDENIED;

class IFSCommandDilator {
 public:
  // 1, SK: writes a virtual-registry value in the shared (default) scope.
  virtual HRESULT WriteSharedValue(const char* name, const char* value) = 0;
  // 2, LK: reads a virtual-registry value from the shared scope.
  virtual HRESULT ReadSharedValue(const char* name, CSmallStr* value) = 0;
  // 3, ES: the listing of a save set.
  virtual HRESULT EnumSaves(const char* setName, CSmallStr* listing) = 0;
  // 4, GS: the data of one save; kNoSuchSaveStatus (E_ACCESSDENIED) when there is no such save,
  // another failure when the set cannot be read.
  virtual HRESULT GetSave(const char* setName, int32_t slot, CSmallStr* data) = 0;
  // 5, SS: writes one save.
  virtual HRESULT SetSave(const char* setName, int32_t slot, const char* description,
                          const char* data) = 0;
  // 6, RS: removes one save; a negative slot removes the whole set.
  virtual HRESULT RemoveSave(const char* setName, int32_t slot) = 0;
  // 7, GHS: the listing of a high-score table.
  virtual HRESULT GetHighScores(const char* table, CSmallStr* listing) = 0;
  // 8, SHS: enters a score into a table of `tableSize` entries.
  virtual HRESULT SetHighScore(int32_t tableSize, const char* table, const char* score) = 0;
  // 9, IHS: the position a score would take.
  virtual HRESULT IsHighScore(int32_t tableSize, const char* table, const char* score,
                              int32_t* position) = 0;
  // 10, SHIP: puts a score at a position.
  virtual HRESULT SetHighScoreAt(int32_t position, int32_t tableSize, const char* table,
                                 const char* score) = 0;
  // 11, SF / LF: 1 enters full screen, 0 goes back to the window.
  virtual HRESULT SetFullScreen(int32_t on) = 0;
  // 12, GF.
  virtual HRESULT GetFullScreen(int32_t* on) = 0;
  // 13, Q: asks the main window to close.
  virtual HRESULT Quit() = 0;
  // 14, MIN.
  virtual HRESULT Minimize() = 0;
  // 15: the executable's folder. E_INVALIDARG without an output string.
  virtual HRESULT GetBaseDir(CSmallStr* folder) = 0;
  // 16, SINPUT: mouse input to the movie on (1) or off (0).
  virtual HRESULT SetMouseInput(int32_t on) = 0;
  // 17, SARKEYS: key repeat on (1) or off (0).
  virtual HRESULT SetKeyRepeat(int32_t on) = 0;
  // 18, SMP: moves the cursor to the screen point (*x, *y) and gives back its position relative
  // to the plug-in window.
  virtual HRESULT SetCursorPosition(int32_t* x, int32_t* y) = 0;
  // 19, GMP: the cursor position in screen coordinates.
  virtual HRESULT GetCursorPosition(int32_t* x, int32_t* y) = 0;
  // 20, SEF: creates the folders of `path`; with `pathNamesFile` set, the last component is a file
  // and is not created.
  virtual HRESULT CreateFolderPath(const char* path, int32_t pathNamesFile) = 0;
  // 21, SCR: the largest width, height and colour depth among the display modes.
  virtual HRESULT GetMaxDisplayMode(int32_t* width, int32_t* height, int32_t* bitsPerPixel) = 0;
  // 22, SUK: writes a virtual-registry value in the current user's scope.
  virtual HRESULT WriteUserValue(const char* name, const char* value) = 0;
  // 23, LUK: reads a virtual-registry value from the current user's scope.
  virtual HRESULT ReadUserValue(const char* name, CSmallStr* value) = 0;
  // 24, FP: places the movie at (x, y) with that size, in client coordinates.
  virtual HRESULT SetMovieRect(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
  // 25, SPCR.
  virtual HRESULT SetPreferWide(int32_t on) = 0;
  // 26, GPCR.
  virtual HRESULT GetPreferWide(int32_t* on) = 0;
  // 27, OSFC.
  virtual HRESULT SetKeepAspect(int32_t on) = 0;
  // 28, OFSR.
  virtual HRESULT GetKeepAspect(int32_t* on) = 0;
  // 29, RLCR: chooses the movie variant again and reloads the movie.
  virtual HRESULT ReselectMovieVariant() = 0;
  // 30, LS: "1" once the player runs.
  virtual HRESULT GetReadyFlag(CSmallStr* text) = 0;

 protected:
  ~IFSCommandDilator() = default;
};
