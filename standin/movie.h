// The stand-in's movie: layers of scene programs (or SWF header displays), their display items,
// movie variables and timers, and the interpreter that runs scene handlers.
//
// CMovie does not talk to the browser itself; everything outside goes through IMovieHost, which the
// plug-in instance implements (and tests fake). All calls happen on one thread. The host may call
// back into the movie while a handler runs (an FSCommand can come back as a CallFunction); the
// interpreter copes with that up to a nesting limit, and stops a handler whose layer was replaced
// or whose instance went away meanwhile.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "standin/scene.h"

namespace vexa::standin {

struct DisplayItem {
  enum class Kind { kText, kRect, kButton };
  Kind kind = Kind::kText;
  int layer = 0;
  std::string id;
  int x = 0, y = 0, w = 0, h = 0;  // w and h unused for text
  uint32_t color = 0;              // 0xRRGGBB: text colour or fill
  int size = 16;                   // text height in pixels
  std::string text;                // text or button label (UTF-8)
};

const char* DisplayKindName(DisplayItem::Kind kind);

// The three ways an FSCommand reaches the browser.
enum class FsPath { kJri, kInvoke, kExternal };
const char* FsPathName(FsPath path);

// An argument of an ExternalInterface call, written into the script as a literal of its kind.
struct ScriptArg {
  enum class Kind { kString, kNumber, kNull, kTrue, kFalse };
  Kind kind = Kind::kString;
  std::string text;
};

// The script the plug-in evaluates for an ExternalInterface call of `function`:
//   try { __flash__toXML(function(args)) ; } catch (e) { "<undefined/>"; }
// with strings as double-quoted literals, numbers as written, and null/true/false as words.
std::string BuildExternalCallScript(const std::string& function,
                                    const std::vector<ScriptArg>& args);

// What a URL request is for; it comes back to CMovie::CompleteLoad when the data has arrived.
struct LoadRequest {
  enum class Kind { kText, kScene, kVars, kPageUrl };
  Kind kind = Kind::kText;
  std::string url;
  int origin_layer = -1;  // layer whose statement asked; -1 for the host's own loads
  uint64_t origin_generation = 0;
  int target_layer = 0;  // kScene
  std::string key;       // kText: item id; kPageUrl: variable name
  int x = 0, y = 0;      // kText
};
const char* LoadKindName(LoadRequest::Kind kind);

// The text the plug-in requests to learn its page's address, and the marker the answer ends with.
constexpr char kPageUrlRequest[] = "javascript:top.location+\"__flashplugin_unique__\"";
constexpr char kPageUrlMarker[] = "__flashplugin_unique__";

class IMovieHost {
 public:
  virtual ~IMovieHost() = default;
  // One transcript line (already formatted).
  virtual void Trace(const std::string& line) = 0;
  // Each returns false when the browser refused or could not be reached.
  virtual bool SendFsCommand(FsPath path, const std::string& command, const std::string& arg) = 0;
  virtual bool CallExternal(const std::string& function, const std::vector<ScriptArg>& args) = 0;
  virtual bool RequestUrl(const LoadRequest& request) = 0;
  virtual bool Navigate(const std::string& url, const std::string& target) = 0;
  virtual bool QueryLocation(std::string* url) = 0;
  // The display changed.
  virtual void Invalidate() = 0;
  // Asks for one Tick() after `delay_ms`, replacing any earlier request; Cancel drops it.
  virtual void ScheduleTimer(uint32_t delay_ms) = 0;
  virtual void CancelTimer() = 0;
  virtual uint32_t NowMs() = 0;
  // False once the instance is being destroyed: running handlers stop at the next statement.
  virtual bool Alive() = 0;
};

// Limits against runaway or hostile scenes.
constexpr int kMaxLayer = 999;
// The layer a host names for a reference load (a library movie the game refers to by alias): the
// movie is requested and remembered by URL, never shown and never run.
constexpr int kReferenceLayer = -1;
constexpr size_t kMaxReferences = 64;
constexpr size_t kMaxLayers = 64;
constexpr size_t kMaxItemsPerLayer = 4096;
constexpr size_t kMaxVariables = 4096;
constexpr size_t kMaxValueSize = 1 << 20;
constexpr size_t kMaxTimers = 256;
constexpr int kMaxNesting = 16;            // events running inside events
constexpr int kMaxStepsPerEvent = 100000;  // statements per outermost event
constexpr uint32_t kMinRepeatMs = 10;
constexpr uint32_t kMaxDelayMs = 86400000;
constexpr size_t kMaxShownErrors = 5;

class CMovie {
 public:
  explicit CMovie(IMovieHost* host);

  // Replaces `layer` with the content: an SWF header display for bytes with a Flash signature, a
  // scene otherwise. Runs the scene's top-level statements and start handlers.
  void LoadLayer(int layer, const std::string& url, const std::string& bytes);
  void UnloadLayer(int layer);
  // Remembers a movie loaded into kReferenceLayer (beyond kMaxReferences it is only reported).
  void LoadReference(const std::string& url, const std::string& bytes);
  // URLs of the reference loads that arrived, oldest first.
  const std::vector<std::string>& references() const { return references_; }

  // Data for a request arrived (possibly empty); applies it and runs the origin's "on loaded".
  void CompleteLoad(const LoadRequest& request, const std::string& bytes);
  // The request ended without data.
  void FailLoad(const LoadRequest& request, const std::string& reason);

  // Input. Click returns true when a button was hit; Key when a handler ran.
  bool Click(int x, int y);
  bool Key(uint32_t code);
  // Runs the timers that are due and asks the host for the next tick.
  void Tick();

  // A call from the page. Returns false when no handler takes the function; otherwise true with the
  // XML result (<undefined/> unless the handler returned a value).
  bool Call(const std::string& function, const std::vector<std::string>& args,
            std::string* result_xml);

  // Movie variables. GetVariable also accepts names prefixed with "_root.", "_level0." or "/:".
  bool GetVariable(const std::string& name, std::string* value) const;
  bool SetVariable(const std::string& name, const std::string& value);

  // Statements one outermost event may run (kMaxStepsPerEvent unless set); tools that run many
  // untrusted scenes (the fuzzer) set less.
  void SetStepsPerEvent(int steps) { steps_per_event_ = steps > 0 ? steps : 1; }

  // Items of every layer, lowest layer first, each layer in drawing order.
  std::vector<DisplayItem> DisplayList() const;
  uint32_t background() const { return background_; }
  bool HasLayer(int layer) const { return layers_.count(layer) != 0; }

  // Drops timers and stops scheduling (the instance is going away).
  void Shutdown();

 private:
  struct Layer {
    std::shared_ptr<const Program> program;
    std::vector<DisplayItem> items;
    std::string url;
    uint64_t generation = 0;
  };
  struct Timer {
    int layer = 0;
    uint64_t generation = 0;
    std::string name;
    uint32_t due = 0;
    uint32_t interval = 0;  // 0: one shot
  };
  struct Frame {
    int layer = 0;
    uint64_t generation = 0;
    std::shared_ptr<const Program> program;
    std::string subject;  // $0
    std::vector<std::string> args;
    std::string* result = nullptr;
    bool returned = false;
  };
  class CEventScope;

  void RunHandlers(int layer, EventKind kind, const std::string& key,
                   const std::vector<std::string>& args, std::string* result);
  void RunHandler(int layer, const std::shared_ptr<const Program>& program, const Handler& handler,
                  const std::string& subject, const std::vector<std::string>& args,
                  std::string* result);
  bool Exec(const std::vector<Statement>& body, Frame& frame);
  bool ExecOne(const Statement& statement, Frame& frame);
  bool FrameValid(const Frame& frame) const;
  std::string Expand(const Token& token, const Frame& frame) const;
  bool ArgInt(const Statement& s, size_t index, const Frame& frame, int64_t min, int64_t max,
              int64_t* out);
  bool ArgColor(const Statement& s, size_t index, const Frame& frame, uint32_t* out);
  void RuntimeError(const Frame& frame, int line, const std::string& message);
  bool EvalCondition(const Statement& s, const Frame& frame);
  void SetItem(int layer, DisplayItem item);
  void TraceItem(const char* kind, const DisplayItem& item);
  bool RemoveItem(int layer, const std::string& id);
  void StartTimer(const Frame& frame, const std::string& name, uint32_t delay, bool repeat);
  void DropTimers(int layer);
  void Reschedule();
  void ApplyVars(const std::string& bytes);
  void Trace(const std::string& line) { host_->Trace(line); }

  IMovieHost* host_;
  std::map<int, Layer> layers_;
  std::vector<std::string> references_;
  std::map<std::string, std::string> variables_;
  std::vector<Timer> timers_;
  uint32_t background_ = 0xFFFFFF;
  uint64_t next_generation_ = 1;
  int depth_ = 0;
  int steps_left_ = 0;
  int steps_per_event_ = kMaxStepsPerEvent;
  bool limit_reported_ = false;
  bool shut_down_ = false;
};

// Matches a key handler's name against a key code: a number is the code itself; one letter or digit
// is that key; names: enter, escape, space, tab, backspace, left, up, right, down, f1..f12; "any"
// matches every key.
bool KeyMatches(const std::string& key_name, uint32_t code);

}  // namespace vexa::standin
