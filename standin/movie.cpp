#include "standin/movie.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "standin/invokexml.h"
#include "standin/swfheader.h"
#include "standin/text.h"
#include "standin/transcript.h"

namespace vexa::standin {

namespace {

std::string ColorText(uint32_t rgb) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "#%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
  return buffer;
}

std::string Capped(std::string text) {
  if (text.size() > kMaxValueSize) text.resize(kMaxValueSize);
  return text;
}

bool IsNameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9');
}

bool Truthy(const std::string& value) {
  return !value.empty() && value != "0" && value != "false";
}

const uint32_t kErrorColor = 0xC00000;
const uint32_t kButtonColor = 0xD4D0C8;

}  // namespace

const char* DisplayKindName(DisplayItem::Kind kind) {
  switch (kind) {
    case DisplayItem::Kind::kText:
      return "text";
    case DisplayItem::Kind::kRect:
      return "rect";
    case DisplayItem::Kind::kButton:
      return "button";
  }
  return "?";
}

const char* FsPathName(FsPath path) {
  switch (path) {
    case FsPath::kJri:
      return "jri";
    case FsPath::kInvoke:
      return "invoke";
    case FsPath::kExternal:
      return "external";
  }
  return "?";
}

const char* LoadKindName(LoadRequest::Kind kind) {
  switch (kind) {
    case LoadRequest::Kind::kText:
      return "text";
    case LoadRequest::Kind::kScene:
      return "scene";
    case LoadRequest::Kind::kVars:
      return "vars";
    case LoadRequest::Kind::kPageUrl:
      return "pageurl";
  }
  return "?";
}

std::string BuildExternalCallScript(const std::string& function,
                                    const std::vector<ScriptArg>& args) {
  std::string script = "try { __flash__toXML(" + function + "(";
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) script += ',';
    switch (args[i].kind) {
      case ScriptArg::Kind::kString:
        script += ScriptStringLiteral(args[i].text);
        break;
      case ScriptArg::Kind::kNumber:
        script += args[i].text;
        break;
      case ScriptArg::Kind::kNull:
        script += "null";
        break;
      case ScriptArg::Kind::kTrue:
        script += "true";
        break;
      case ScriptArg::Kind::kFalse:
        script += "false";
        break;
    }
  }
  script += ")) ; } catch (e) { \"<undefined/>\"; }";
  return script;
}

bool KeyMatches(const std::string& key_name, uint32_t code) {
  const std::string lower = ToLowerAscii(key_name);
  if (lower == "any") return true;
  // One character is that key (so "7" is the 7 key); longer numbers are key codes.
  if (lower.size() == 1) {
    const char c = lower[0];
    if (c >= 'a' && c <= 'z') return code == static_cast<uint32_t>(c - 'a' + 'A');
    if (c >= '0' && c <= '9') return code == static_cast<uint32_t>(c);
    return false;
  }
  int64_t number = 0;
  if (ParseInt(lower, &number)) return number == static_cast<int64_t>(code);
  static const struct {
    const char* name;
    uint32_t code;
  } kNames[] = {{"enter", 13}, {"escape", 27}, {"space", 32}, {"tab", 9},  {"backspace", 8},
                {"left", 37},  {"up", 38},     {"right", 39}, {"down", 40}};
  for (const auto& named : kNames) {
    if (lower == named.name) return code == named.code;
  }
  if (lower.size() >= 2 && lower[0] == 'f' && ParseInt(lower.substr(1), &number) && number >= 1 &&
      number <= 12) {
    return code == static_cast<uint32_t>(111 + number);
  }
  return false;
}

// Counts nesting and hands out the statement budget of the outermost event.
class CMovie::CEventScope {
 public:
  explicit CEventScope(CMovie* movie) : movie_(movie) {
    if (movie_->depth_ == 0) {
      movie_->steps_left_ = movie_->steps_per_event_;
      movie_->limit_reported_ = false;
    }
    ok_ = movie_->depth_ < kMaxNesting;
    if (ok_) {
      ++movie_->depth_;
    } else {
      movie_->Trace(
          CTranscriptLine("scene", "error").Str("message", "events nested too deeply").text());
    }
  }
  ~CEventScope() {
    if (ok_) --movie_->depth_;
  }
  bool ok() const { return ok_; }

 private:
  CMovie* movie_;
  bool ok_ = false;
};

CMovie::CMovie(IMovieHost* host) : host_(host) {}

void CMovie::LoadLayer(int layer, const std::string& url, const std::string& bytes) {
  if (shut_down_) return;
  if (layer < 0 || layer > kMaxLayer) {
    Trace(CTranscriptLine("scene", "error")
              .Int("layer", layer)
              .Str("message", "layer out of range")
              .text());
    return;
  }
  if (!layers_.count(layer) && layers_.size() >= kMaxLayers) {
    Trace(CTranscriptLine("scene", "error")
              .Int("layer", layer)
              .Str("message", "too many layers")
              .text());
    return;
  }
  DropTimers(layer);
  Layer& slot = layers_[layer];
  slot = Layer();
  slot.url = url;
  slot.generation = next_generation_++;
  const uint64_t generation = slot.generation;

  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  SwfHeader swf;
  if (ReadSwfHeader(data, bytes.size(), &swf)) {
    slot.program = std::make_shared<Program>();
    CTranscriptLine line("scene", "swf");
    line.Int("layer", layer)
        .Str("url", url)
        .Str("signature", swf.signature)
        .Int("version", swf.version);
    if (swf.has_length) line.Int("length", swf.file_length);
    if (swf.has_rect) line.Int("width", swf.width_px()).Int("height", swf.height_px());
    if (swf.has_rate) line.Str("rate", swf.RateText());
    if (swf.has_frame_count) line.Int("frames", swf.frame_count);
    Trace(line.text());
    int y = 8;
    int index = 0;
    for (const std::string& text : DescribeSwf(swf)) {
      DisplayItem item;
      item.kind = DisplayItem::Kind::kText;
      item.layer = layer;
      item.id = "swf" + std::to_string(++index);
      item.x = 8;
      item.y = y;
      item.text = text;
      y += 20;
      SetItem(layer, std::move(item));
    }
    host_->Invalidate();
    return;
  }

  std::shared_ptr<const Program> program = ParseScene(bytes.data(), bytes.size());
  slot.program = program;
  Trace(CTranscriptLine("scene", "load")
            .Int("layer", layer)
            .Str("url", url)
            .Int("bytes", static_cast<int64_t>(bytes.size()))
            .Int("handlers", static_cast<int64_t>(program->handlers.size()))
            .Int("errors", static_cast<int64_t>(program->error_count))
            .text());
  for (size_t i = 0; i < program->errors.size(); ++i) {
    const ParseError& error = program->errors[i];
    Trace(CTranscriptLine("scene", "error")
              .Int("layer", layer)
              .Int("line", error.line)
              .Str("message", error.message)
              .text());
    if (i < kMaxShownErrors) {
      DisplayItem item;
      item.kind = DisplayItem::Kind::kText;
      item.layer = layer;
      item.id = "error" + std::to_string(i + 1);
      item.x = 4;
      item.y = 4 + 16 * static_cast<int>(i);
      item.size = 14;
      item.color = kErrorColor;
      item.text = "line " + std::to_string(error.line) + ": " + error.message;
      SetItem(layer, std::move(item));
    }
  }
  host_->Invalidate();

  CEventScope scope(this);
  if (!scope.ok()) return;
  Trace(CTranscriptLine("scene", "run")
            .Int("layer", layer)
            .Word("event", "start")
            .Str("key", "")
            .text());
  Frame frame;
  frame.layer = layer;
  frame.generation = generation;
  frame.program = program;
  frame.subject = "start";
  Exec(program->top, frame);
  for (const Handler& handler : program->handlers) {
    if (handler.kind != EventKind::kStart) continue;
    RunHandler(layer, program, handler, "start", {}, nullptr);
  }
  Reschedule();
}

void CMovie::LoadReference(const std::string& url, const std::string& bytes) {
  if (shut_down_) return;
  const bool kept = references_.size() < kMaxReferences;
  if (kept) references_.push_back(url);
  Trace(CTranscriptLine("scene", "reference")
            .Str("url", url)
            .Int("bytes", static_cast<int64_t>(bytes.size()))
            .Bool("kept", kept)
            .text());
}

void CMovie::UnloadLayer(int layer) {
  if (!layers_.erase(layer)) {
    Trace(CTranscriptLine("scene", "unload").Int("layer", layer).Bool("loaded", false).text());
    return;
  }
  DropTimers(layer);
  Trace(CTranscriptLine("scene", "unload").Int("layer", layer).Bool("loaded", true).text());
  host_->Invalidate();
  Reschedule();
}

void CMovie::CompleteLoad(const LoadRequest& request, const std::string& bytes) {
  if (shut_down_) return;
  const char* kind = LoadKindName(request.kind);
  std::string key = request.key;
  if (request.kind == LoadRequest::Kind::kScene) key = std::to_string(request.target_layer);
  if (request.kind == LoadRequest::Kind::kVars) key = request.url;
  Trace(CTranscriptLine("scene", "loaded")
            .Word("kind", kind)
            .Str("key", key)
            .Str("url", request.url)
            .Int("bytes", static_cast<int64_t>(bytes.size()))
            .text());

  auto origin = layers_.find(request.origin_layer);
  const bool origin_live =
      origin != layers_.end() && origin->second.generation == request.origin_generation;
  switch (request.kind) {
    case LoadRequest::Kind::kText:
      if (origin_live) {
        DisplayItem item;
        item.kind = DisplayItem::Kind::kText;
        item.layer = request.origin_layer;
        item.id = request.key;
        item.x = request.x;
        item.y = request.y;
        item.text = Capped(bytes);
        SetItem(request.origin_layer, std::move(item));
        host_->Invalidate();
      }
      break;
    case LoadRequest::Kind::kScene:
      if (request.target_layer == kReferenceLayer) {
        LoadReference(request.url, bytes);
      } else {
        LoadLayer(request.target_layer, request.url, bytes);
      }
      break;
    case LoadRequest::Kind::kVars:
      ApplyVars(bytes);
      break;
    case LoadRequest::Kind::kPageUrl: {
      std::string url = bytes;
      const size_t marker = url.rfind(kPageUrlMarker);
      if (marker != std::string::npos) url.erase(marker);
      SetVariable(request.key, url);
      break;
    }
  }
  if (request.origin_layer < 0) return;
  // Re-checked: loading a scene may have replaced the origin layer itself.
  origin = layers_.find(request.origin_layer);
  if (origin == layers_.end() || origin->second.generation != request.origin_generation) return;
  RunHandlers(request.origin_layer, EventKind::kLoaded, key,
              {request.url, std::to_string(bytes.size())}, nullptr);
  Reschedule();
}

void CMovie::FailLoad(const LoadRequest& request, const std::string& reason) {
  Trace(CTranscriptLine("scene", "error")
            .Int("layer", request.origin_layer)
            .Str("url", request.url)
            .Str("message", "load failed: " + reason)
            .text());
}

bool CMovie::Click(int x, int y) {
  if (shut_down_) return false;
  for (auto layer = layers_.rbegin(); layer != layers_.rend(); ++layer) {
    const auto& items = layer->second.items;
    for (auto item = items.rbegin(); item != items.rend(); ++item) {
      if (item->kind != DisplayItem::Kind::kButton) continue;
      if (x < item->x || y < item->y || x >= item->x + item->w || y >= item->y + item->h) continue;
      const int layer_number = layer->first;
      const std::string id = item->id;
      Trace(CTranscriptLine("scene", "click")
                .Int("x", x)
                .Int("y", y)
                .Int("layer", layer_number)
                .Str("button", id)
                .text());
      RunHandlers(layer_number, EventKind::kClick, id, {std::to_string(x), std::to_string(y)},
                  nullptr);
      Reschedule();
      return true;
    }
  }
  Trace(CTranscriptLine("scene", "click").Int("x", x).Int("y", y).Word("button", "null").text());
  return false;
}

bool CMovie::Key(uint32_t code) {
  if (shut_down_) return false;
  Trace(CTranscriptLine("scene", "key").Int("code", code).text());
  struct Match {
    int layer;
    std::shared_ptr<const Program> program;
    size_t handler;
  };
  std::vector<Match> matches;
  for (const auto& [number, layer] : layers_) {
    if (!layer.program) continue;
    for (size_t i = 0; i < layer.program->handlers.size(); ++i) {
      const Handler& handler = layer.program->handlers[i];
      if (handler.kind == EventKind::kKey && KeyMatches(handler.key, code)) {
        matches.push_back(Match{number, layer.program, i});
      }
    }
  }
  for (const Match& match : matches) {
    RunHandler(match.layer, match.program, match.program->handlers[match.handler],
               std::to_string(code), {std::to_string(code)}, nullptr);
  }
  Reschedule();
  return !matches.empty();
}

void CMovie::Tick() {
  if (shut_down_) return;
  const uint32_t now = host_->NowMs();
  std::vector<Timer> due;
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (static_cast<int32_t>(it->due - now) > 0) {
      ++it;
      continue;
    }
    due.push_back(*it);
    if (it->interval == 0) {
      it = timers_.erase(it);
    } else {
      // A late tick does not fire a burst of missed repeats.
      it->due = now + it->interval;
      ++it;
    }
  }
  for (const Timer& timer : due) {
    auto layer = layers_.find(timer.layer);
    if (layer == layers_.end() || layer->second.generation != timer.generation) continue;
    Trace(
        CTranscriptLine("scene", "timer").Int("layer", timer.layer).Str("name", timer.name).text());
    RunHandlers(timer.layer, EventKind::kTimer, timer.name, {timer.name}, nullptr);
  }
  Reschedule();
}

bool CMovie::Call(const std::string& function, const std::vector<std::string>& args,
                  std::string* result_xml) {
  if (shut_down_) return false;
  const Handler* found = nullptr;
  int found_layer = 0;
  std::shared_ptr<const Program> found_program;
  for (int pass = 0; pass < 2 && !found; ++pass) {
    for (const auto& [number, layer] : layers_) {
      if (!layer.program || found) continue;
      for (const Handler& handler : layer.program->handlers) {
        if (handler.kind != EventKind::kCall) continue;
        if (pass == 0 ? handler.key == function : handler.key == "*") {
          found = &handler;
          found_layer = number;
          found_program = layer.program;
          break;
        }
      }
    }
  }
  if (!found) {
    Trace(CTranscriptLine("scene", "call").Str("function", function).Bool("handled", false).text());
    return false;
  }
  Trace(CTranscriptLine("scene", "call").Str("function", function).Bool("handled", true).text());
  std::string result = std::string(kXmlUndefined);
  RunHandler(found_layer, found_program, *found, function, args, &result);
  Reschedule();
  *result_xml = result;
  return true;
}

bool CMovie::GetVariable(const std::string& name, std::string* value) const {
  auto it = variables_.find(name);
  if (it == variables_.end()) {
    static const char* const kPrefixes[] = {"_root.", "_level0.", "/:"};
    for (const char* prefix : kPrefixes) {
      const std::string p = prefix;
      if (name.compare(0, p.size(), p) == 0 && name.size() > p.size()) {
        it = variables_.find(name.substr(p.size()));
        if (it != variables_.end()) break;
      }
    }
  }
  if (it == variables_.end()) return false;
  *value = it->second;
  return true;
}

bool CMovie::SetVariable(const std::string& name, const std::string& value) {
  if (name.empty()) return false;
  if (!variables_.count(name) && variables_.size() >= kMaxVariables) {
    Trace(CTranscriptLine("scene", "error")
              .Str("name", name)
              .Str("message", "too many variables")
              .text());
    return false;
  }
  std::string& slot = variables_[name];
  slot = Capped(value);
  Trace(CTranscriptLine("scene", "set").Str("name", name).Str("value", slot).text());
  return true;
}

std::vector<DisplayItem> CMovie::DisplayList() const {
  std::vector<DisplayItem> all;
  for (const auto& [number, layer] : layers_) {
    all.insert(all.end(), layer.items.begin(), layer.items.end());
  }
  return all;
}

void CMovie::Shutdown() {
  shut_down_ = true;
  timers_.clear();
  host_->CancelTimer();
}

void CMovie::RunHandlers(int layer, EventKind kind, const std::string& key,
                         const std::vector<std::string>& args, std::string* result) {
  auto it = layers_.find(layer);
  if (it == layers_.end() || !it->second.program) return;
  std::shared_ptr<const Program> program = it->second.program;
  for (const Handler& handler : program->handlers) {
    if (handler.kind != kind || handler.key != key) continue;
    RunHandler(layer, program, handler, key, args, result);
  }
}

void CMovie::RunHandler(int layer, const std::shared_ptr<const Program>& program,
                        const Handler& handler, const std::string& subject,
                        const std::vector<std::string>& args, std::string* result) {
  auto it = layers_.find(layer);
  if (it == layers_.end() || it->second.program != program) return;
  CEventScope scope(this);
  if (!scope.ok()) return;
  Trace(CTranscriptLine("scene", "run")
            .Int("layer", layer)
            .Word("event", EventKindName(handler.kind))
            .Str("key", handler.key)
            .text());
  Frame frame;
  frame.layer = layer;
  frame.generation = it->second.generation;
  frame.program = program;
  frame.subject = subject;
  frame.args = args;
  frame.result = result;
  Exec(handler.body, frame);
}

bool CMovie::FrameValid(const Frame& frame) const {
  if (shut_down_ || !host_->Alive()) return false;
  auto it = layers_.find(frame.layer);
  return it != layers_.end() && it->second.generation == frame.generation;
}

bool CMovie::Exec(const std::vector<Statement>& body, Frame& frame) {
  for (const Statement& statement : body) {
    if (frame.returned || !FrameValid(frame)) return false;
    if (--steps_left_ < 0) {
      if (!limit_reported_) {
        limit_reported_ = true;
        RuntimeError(frame, statement.line, "statement limit reached; event stopped");
      }
      return false;
    }
    if (!ExecOne(statement, frame)) return false;
  }
  return true;
}

std::string CMovie::Expand(const Token& token, const Frame& frame) const {
  const std::string& s = token.text;
  if (s.find('$') == std::string::npos) return s;
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    if (out.size() > kMaxValueSize) break;
    if (s[i] != '$' || i + 1 >= s.size()) {
      out += s[i++];
      continue;
    }
    const char next = s[i + 1];
    if (next == '$') {
      out += '$';
      i += 2;
    } else if (next == '#') {
      out += std::to_string(frame.args.size());
      i += 2;
    } else if (next >= '0' && next <= '9') {
      size_t j = i + 1;
      uint64_t index = 0;
      while (j < s.size() && s[j] >= '0' && s[j] <= '9' && index < 100000) {
        index = index * 10 + static_cast<uint64_t>(s[j] - '0');
        ++j;
      }
      if (index == 0) {
        out += frame.subject;
      } else if (index <= frame.args.size()) {
        out += frame.args[index - 1];
      }
      i = j;
    } else if (next == '{') {
      const size_t close = s.find('}', i + 2);
      if (close == std::string::npos) {
        out += s[i++];
        continue;
      }
      auto it = variables_.find(s.substr(i + 2, close - i - 2));
      if (it != variables_.end()) out += it->second;
      i = close + 1;
    } else if (IsNameStart(next)) {
      size_t j = i + 1;
      while (j < s.size() && IsNameChar(s[j])) ++j;
      auto it = variables_.find(s.substr(i + 1, j - i - 1));
      if (it != variables_.end()) out += it->second;
      i = j;
    } else {
      out += s[i++];
    }
  }
  return Capped(std::move(out));
}

void CMovie::RuntimeError(const Frame& frame, int line, const std::string& message) {
  Trace(CTranscriptLine("scene", "error")
            .Int("layer", frame.layer)
            .Int("line", line)
            .Str("message", message)
            .text());
}

bool CMovie::ArgInt(const Statement& s, size_t index, const Frame& frame, int64_t min, int64_t max,
                    int64_t* out) {
  const std::string text = Expand(s.args[index], frame);
  int64_t value = 0;
  if (!ParseInt(text, &value) || value < min || value > max) {
    RuntimeError(frame, s.line,
                 "'" + text + "' is not a whole number from " + std::to_string(min) + " to " +
                     std::to_string(max));
    return false;
  }
  *out = value;
  return true;
}

bool CMovie::ArgColor(const Statement& s, size_t index, const Frame& frame, uint32_t* out) {
  const std::string text = Expand(s.args[index], frame);
  if (!ParseColor(text, out)) {
    RuntimeError(frame, s.line, "'" + text + "' is not a colour");
    return false;
  }
  return true;
}

bool CMovie::EvalCondition(const Statement& s, const Frame& frame) {
  if (s.args.size() == 1) return Truthy(Expand(s.args[0], frame));
  const std::string a = Expand(s.args[0], frame);
  const std::string& op = s.args[1].text;
  const std::string b = Expand(s.args[2], frame);
  double x = 0, y = 0;
  int order = 0;
  if (ParseNumber(a, &x) && ParseNumber(b, &y)) {
    order = x < y ? -1 : (x > y ? 1 : 0);
  } else {
    order = a.compare(b) < 0 ? -1 : (a.compare(b) > 0 ? 1 : 0);
  }
  if (op == "==") return order == 0;
  if (op == "!=") return order != 0;
  if (op == "<") return order < 0;
  if (op == ">") return order > 0;
  if (op == "<=") return order <= 0;
  return order >= 0;
}

bool CMovie::ExecOne(const Statement& s, Frame& frame) {
  const int layer = frame.layer;
  constexpr int64_t kCoord = 100000;
  switch (s.op) {
    case Op::kBackground: {
      uint32_t color = 0;
      if (!ArgColor(s, 0, frame, &color)) return true;
      background_ = color;
      Trace(CTranscriptLine("scene", "background").Str("color", ColorText(color)).text());
      host_->Invalidate();
      return true;
    }
    case Op::kText: {
      DisplayItem item;
      item.kind = DisplayItem::Kind::kText;
      item.id = Expand(s.args[0], frame);
      int64_t x = 0, y = 0, size = 16;
      if (!ArgInt(s, 1, frame, -kCoord, kCoord, &x) || !ArgInt(s, 2, frame, -kCoord, kCoord, &y)) {
        return true;
      }
      item.text = Expand(s.args[3], frame);
      if (s.args.size() > 4 && !ArgColor(s, 4, frame, &item.color)) return true;
      if (s.args.size() > 5 && !ArgInt(s, 5, frame, 4, 200, &size)) return true;
      item.x = static_cast<int>(x);
      item.y = static_cast<int>(y);
      item.size = static_cast<int>(size);
      SetItem(layer, std::move(item));
      host_->Invalidate();
      return true;
    }
    case Op::kRect:
    case Op::kButton: {
      DisplayItem item;
      item.kind = s.op == Op::kRect ? DisplayItem::Kind::kRect : DisplayItem::Kind::kButton;
      item.id = Expand(s.args[0], frame);
      int64_t v[4];
      for (size_t i = 0; i < 4; ++i) {
        const int64_t min = i < 2 ? -kCoord : 0;
        if (!ArgInt(s, i + 1, frame, min, kCoord, &v[i])) return true;
      }
      item.x = static_cast<int>(v[0]);
      item.y = static_cast<int>(v[1]);
      item.w = static_cast<int>(v[2]);
      item.h = static_cast<int>(v[3]);
      if (s.op == Op::kRect) {
        if (!ArgColor(s, 5, frame, &item.color)) return true;
      } else {
        item.color = kButtonColor;
        item.text = Expand(s.args[5], frame);
      }
      SetItem(layer, std::move(item));
      host_->Invalidate();
      return true;
    }
    case Op::kRemove: {
      const std::string id = Expand(s.args[0], frame);
      const bool removed = RemoveItem(layer, id);
      Trace(CTranscriptLine("scene", "remove")
                .Int("layer", layer)
                .Str("id", id)
                .Bool("found", removed)
                .text());
      if (removed) host_->Invalidate();
      return true;
    }
    case Op::kClear: {
      layers_[layer].items.clear();
      Trace(CTranscriptLine("scene", "clear").Int("layer", layer).text());
      host_->Invalidate();
      return true;
    }
    case Op::kSet:
      SetVariable(Expand(s.args[0], frame), Expand(s.args[1], frame));
      return true;
    case Op::kAdd: {
      const std::string name = Expand(s.args[0], frame);
      const std::string amount_text = Expand(s.args[1], frame);
      double amount = 0, current = 0;
      if (!ParseNumber(amount_text, &amount)) {
        RuntimeError(frame, s.line, "'" + amount_text + "' is not a number");
        return true;
      }
      auto it = variables_.find(name);
      if (it == variables_.end() || !ParseNumber(it->second, &current)) current = 0;
      SetVariable(name, FormatNumber(current + amount));
      return true;
    }
    case Op::kFsCommand: {
      const std::string path_text = ToLowerAscii(Expand(s.args[0], frame));
      FsPath path;
      if (path_text == "jri") {
        path = FsPath::kJri;
      } else if (path_text == "invoke") {
        path = FsPath::kInvoke;
      } else if (path_text == "external") {
        path = FsPath::kExternal;
      } else {
        RuntimeError(frame, s.line, "fscommand path must be jri, invoke or external");
        return true;
      }
      const std::string command = Expand(s.args[1], frame);
      const std::string arg = s.args.size() > 2 ? Expand(s.args[2], frame) : std::string();
      Trace(CTranscriptLine("scene", "fscommand")
                .Word("path", FsPathName(path))
                .Str("command", command)
                .Str("arg", arg)
                .text());
      if (path == FsPath::kExternal && s.args.size() == 2) {
        // No argument: the call is written without one, as ExternalInterface does.
        host_->CallExternal(command, {});
      } else {
        host_->SendFsCommand(path, command, arg);
      }
      return true;
    }
    case Op::kExternal: {
      const std::string function = Expand(s.args[0], frame);
      std::vector<ScriptArg> args;
      for (size_t i = 1; i < s.args.size(); ++i) {
        ScriptArg arg;
        arg.text = Expand(s.args[i], frame);
        double number = 0;
        if (!s.args[i].quoted) {
          if (arg.text == "null") {
            arg.kind = ScriptArg::Kind::kNull;
          } else if (arg.text == "true") {
            arg.kind = ScriptArg::Kind::kTrue;
          } else if (arg.text == "false") {
            arg.kind = ScriptArg::Kind::kFalse;
          } else if (ParseNumber(arg.text, &number)) {
            arg.kind = ScriptArg::Kind::kNumber;
          }
        }
        args.push_back(std::move(arg));
      }
      Trace(CTranscriptLine("scene", "external")
                .Str("function", function)
                .Int("argc", static_cast<int64_t>(args.size()))
                .text());
      host_->CallExternal(function, args);
      return true;
    }
    case Op::kLoadText:
    case Op::kLoadScene:
    case Op::kLoadVars: {
      LoadRequest request;
      request.origin_layer = layer;
      request.origin_generation = frame.generation;
      if (s.op == Op::kLoadText) {
        request.kind = LoadRequest::Kind::kText;
        request.key = Expand(s.args[0], frame);
        int64_t x = 0, y = 0;
        if (!ArgInt(s, 1, frame, -kCoord, kCoord, &x) ||
            !ArgInt(s, 2, frame, -kCoord, kCoord, &y)) {
          return true;
        }
        request.x = static_cast<int>(x);
        request.y = static_cast<int>(y);
        request.url = Expand(s.args[3], frame);
      } else if (s.op == Op::kLoadScene) {
        request.kind = LoadRequest::Kind::kScene;
        int64_t target = 0;
        if (!ArgInt(s, 0, frame, 0, kMaxLayer, &target)) return true;
        request.target_layer = static_cast<int>(target);
        request.url = Expand(s.args[1], frame);
      } else {
        request.kind = LoadRequest::Kind::kVars;
        request.url = Expand(s.args[0], frame);
      }
      if (request.url.empty()) {
        RuntimeError(frame, s.line, "empty URL");
        return true;
      }
      host_->RequestUrl(request);
      return true;
    }
    case Op::kUnload: {
      int64_t target = 0;
      if (!ArgInt(s, 0, frame, 0, kMaxLayer, &target)) return true;
      UnloadLayer(static_cast<int>(target));
      return true;
    }
    case Op::kPageUrl: {
      LoadRequest request;
      request.kind = LoadRequest::Kind::kPageUrl;
      request.origin_layer = layer;
      request.origin_generation = frame.generation;
      request.key = Expand(s.args[0], frame);
      request.url = kPageUrlRequest;
      host_->RequestUrl(request);
      return true;
    }
    case Op::kLocation: {
      const std::string name = Expand(s.args[0], frame);
      std::string url;
      if (host_->QueryLocation(&url)) {
        SetVariable(name, url);
      } else {
        RuntimeError(frame, s.line, "the page address is not available");
      }
      return true;
    }
    case Op::kNavigate:
      host_->Navigate(Expand(s.args[0], frame), Expand(s.args[1], frame));
      return true;
    case Op::kAfter:
    case Op::kEvery: {
      int64_t delay = 0;
      if (!ArgInt(s, 0, frame, 0, kMaxDelayMs, &delay)) return true;
      StartTimer(frame, Expand(s.args[1], frame), static_cast<uint32_t>(delay), s.op == Op::kEvery);
      return true;
    }
    case Op::kStop: {
      const std::string name = Expand(s.args[0], frame);
      timers_.erase(
          std::remove_if(timers_.begin(), timers_.end(),
                         [&](const Timer& t) { return t.layer == layer && t.name == name; }),
          timers_.end());
      Trace(CTranscriptLine("scene", "stop").Int("layer", layer).Str("name", name).text());
      Reschedule();
      return true;
    }
    case Op::kIf:
      return EvalCondition(s, frame) ? Exec(s.then_body, frame) : Exec(s.else_body, frame);
    case Op::kLog:
      Trace(CTranscriptLine("scene", "log")
                .Int("layer", layer)
                .Str("text", Expand(s.args[0], frame))
                .text());
      return true;
    case Op::kDump: {
      const std::vector<DisplayItem> items = DisplayList();
      Trace(CTranscriptLine("scene", "dump")
                .Int("items", static_cast<int64_t>(items.size()))
                .Str("background", ColorText(background_))
                .text());
      for (const DisplayItem& item : items) TraceItem("item", item);
      return true;
    }
    case Op::kReturn: {
      std::string xml = std::string(kXmlUndefined);
      if (!s.args.empty()) {
        const std::string value = Expand(s.args[0], frame);
        double number = 0;
        if (s.args[0].quoted) {
          xml = XmlString(value);
        } else if (value == "true" || value == "false" || value == "null" || value == "undefined") {
          xml = "<" + value + "/>";
        } else if (ParseNumber(value, &number)) {
          xml = XmlNumber(value);
        } else {
          xml = XmlString(value);
        }
      }
      Trace(CTranscriptLine("scene", "return").Str("value", xml).text());
      if (frame.result) *frame.result = xml;
      frame.returned = true;
      return false;
    }
  }
  return true;
}

void CMovie::SetItem(int layer, DisplayItem item) {
  item.layer = layer;
  auto& items = layers_[layer].items;
  TraceItem("draw", item);
  for (DisplayItem& existing : items) {
    if (existing.id == item.id) {
      existing = std::move(item);
      return;
    }
  }
  if (items.size() >= kMaxItemsPerLayer) {
    Trace(CTranscriptLine("scene", "error")
              .Int("layer", layer)
              .Str("message", "too many items")
              .text());
    return;
  }
  items.push_back(std::move(item));
}

void CMovie::TraceItem(const char* name, const DisplayItem& item) {
  CTranscriptLine line("scene", name);
  line.Int("layer", item.layer)
      .Word("kind", DisplayKindName(item.kind))
      .Str("id", item.id)
      .Int("x", item.x)
      .Int("y", item.y);
  switch (item.kind) {
    case DisplayItem::Kind::kText:
      line.Str("color", ColorText(item.color)).Int("size", item.size).Str("text", item.text);
      break;
    case DisplayItem::Kind::kRect:
      line.Int("w", item.w).Int("h", item.h).Str("color", ColorText(item.color));
      break;
    case DisplayItem::Kind::kButton:
      line.Int("w", item.w).Int("h", item.h).Str("text", item.text);
      break;
  }
  Trace(line.text());
}

bool CMovie::RemoveItem(int layer, const std::string& id) {
  auto it = layers_.find(layer);
  if (it == layers_.end()) return false;
  auto& items = it->second.items;
  const auto before = items.size();
  items.erase(std::remove_if(items.begin(), items.end(),
                             [&](const DisplayItem& item) { return item.id == id; }),
              items.end());
  return items.size() != before;
}

void CMovie::StartTimer(const Frame& frame, const std::string& name, uint32_t delay, bool repeat) {
  if (repeat && delay < kMinRepeatMs) delay = kMinRepeatMs;
  timers_.erase(
      std::remove_if(timers_.begin(), timers_.end(),
                     [&](const Timer& t) { return t.layer == frame.layer && t.name == name; }),
      timers_.end());
  if (timers_.size() >= kMaxTimers) {
    RuntimeError(frame, 0, "too many timers");
    return;
  }
  Timer timer;
  timer.layer = frame.layer;
  timer.generation = frame.generation;
  timer.name = name;
  timer.due = host_->NowMs() + delay;
  timer.interval = repeat ? delay : 0;
  timers_.push_back(timer);
  Trace(CTranscriptLine("scene", repeat ? "every" : "after")
            .Int("layer", frame.layer)
            .Str("name", name)
            .Int("ms", delay)
            .text());
  Reschedule();
}

void CMovie::DropTimers(int layer) {
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                               [&](const Timer& t) { return t.layer == layer; }),
                timers_.end());
}

void CMovie::Reschedule() {
  if (shut_down_) return;
  if (timers_.empty()) {
    host_->CancelTimer();
    return;
  }
  const uint32_t now = host_->NowMs();
  int64_t soonest = INT64_MAX;
  for (const Timer& timer : timers_) {
    const int64_t left = static_cast<int32_t>(timer.due - now);
    soonest = std::min(soonest, left);
  }
  host_->ScheduleTimer(soonest <= 0 ? 0 : static_cast<uint32_t>(soonest));
}

void CMovie::ApplyVars(const std::string& bytes) {
  size_t start = 0;
  while (start <= bytes.size()) {
    size_t end = bytes.find_first_of("&\n", start);
    if (end == std::string::npos) end = bytes.size();
    std::string pair = bytes.substr(start, end - start);
    if (!pair.empty() && pair.back() == '\r') pair.pop_back();
    const size_t eq = pair.find('=');
    if (eq != std::string::npos && eq > 0) {
      SetVariable(UrlDecode(pair.substr(0, eq)), UrlDecode(pair.substr(eq + 1)));
    }
    start = end + 1;
  }
}

}  // namespace vexa::standin
