#include "standin/scene.h"

#include <algorithm>

#include "standin/text.h"

namespace vexa::standin {

namespace {

struct OpInfo {
  const char* name;
  Op op;
  int min_args;
  int max_args;
};

const OpInfo kOps[] = {
    {"background", Op::kBackground, 1, 1},
    {"text", Op::kText, 4, 6},
    {"rect", Op::kRect, 6, 6},
    {"button", Op::kButton, 6, 6},
    {"remove", Op::kRemove, 1, 1},
    {"clear", Op::kClear, 0, 0},
    {"set", Op::kSet, 2, 2},
    {"add", Op::kAdd, 2, 2},
    {"fscommand", Op::kFsCommand, 2, 3},
    {"external", Op::kExternal, 1, 16},
    {"loadtext", Op::kLoadText, 4, 4},
    {"loadscene", Op::kLoadScene, 2, 2},
    {"loadvars", Op::kLoadVars, 1, 1},
    {"unload", Op::kUnload, 1, 1},
    {"pageurl", Op::kPageUrl, 1, 1},
    {"location", Op::kLocation, 1, 1},
    {"navigate", Op::kNavigate, 2, 2},
    {"after", Op::kAfter, 2, 2},
    {"every", Op::kEvery, 2, 2},
    {"stop", Op::kStop, 1, 1},
    {"log", Op::kLog, 1, 1},
    {"dump", Op::kDump, 0, 0},
    {"return", Op::kReturn, 0, 1},
};

struct EventInfo {
  const char* name;
  EventKind kind;
  bool has_key;
};

const EventInfo kEvents[] = {
    {"start", EventKind::kStart, false}, {"click", EventKind::kClick, true},
    {"key", EventKind::kKey, true},      {"timer", EventKind::kTimer, true},
    {"call", EventKind::kCall, true},    {"loaded", EventKind::kLoaded, true},
};

struct Line {
  int number = 0;
  std::vector<Token> tokens;
};

enum class Stop { kEnd, kElse, kOn, kEof };

class CParser {
 public:
  CParser(std::vector<Line> lines, Program* program)
      : lines_(std::move(lines)), program_(program) {}

  void Run() {
    for (;;) {
      switch (ParseBlock(&program_->top, 0)) {
        case Stop::kEof:
          return;
        case Stop::kEnd:
          Error(lines_[pos_ - 1].number, "'end' without an open block");
          break;
        case Stop::kElse:
          Error(lines_[pos_ - 1].number, "'else' without 'if'");
          break;
        case Stop::kOn:
          ParseHandler();
          break;
      }
    }
  }

  void Error(int line, std::string message) {
    ++program_->error_count;
    if (program_->errors.size() < kMaxStoredErrors) {
      program_->errors.push_back(ParseError{line, std::move(message)});
    }
  }

 private:
  static std::string Word(const Line& line) {
    if (line.tokens.empty() || line.tokens[0].quoted) return std::string();
    return ToLowerAscii(line.tokens[0].text);
  }

  // Statements until a line that closes or leaves the block. 'end' and 'else' are consumed, 'on' is
  // left for the caller.
  Stop ParseBlock(std::vector<Statement>* out, int depth) {
    while (pos_ < lines_.size()) {
      const Line& line = lines_[pos_];
      const std::string word = Word(line);
      if (word == "end") {
        ++pos_;
        return Stop::kEnd;
      }
      if (word == "else") {
        ++pos_;
        return Stop::kElse;
      }
      if (word == "on") return Stop::kOn;
      if (word == "if") {
        ParseIf(out, depth);
        continue;
      }
      ParseSimple(line, out);
      ++pos_;
    }
    return Stop::kEof;
  }

  void ParseIf(std::vector<Statement>* out, int depth) {
    const Line& line = lines_[pos_++];
    if (depth >= kMaxIfDepth) {
      Error(line.number, "'if' nested too deeply");
      SkipBlock();
      return;
    }
    Statement statement;
    statement.op = Op::kIf;
    statement.line = line.number;
    statement.args.assign(line.tokens.begin() + 1, line.tokens.end());
    bool valid = statement.args.size() == 1 || statement.args.size() == 3;
    if (!valid) Error(line.number, "'if' needs a value or 'value operator value'");
    if (valid && statement.args.size() == 3) {
      static const char* const kOperators[] = {"==", "!=", "<", ">", "<=", ">="};
      bool known = false;
      for (const char* op : kOperators) known = known || statement.args[1].text == op;
      if (!known || statement.args[1].quoted) {
        Error(line.number, "unknown comparison '" + statement.args[1].text + "'");
        valid = false;
      }
    }
    Stop stop = ParseBlock(&statement.then_body, depth + 1);
    if (stop == Stop::kElse) {
      stop = ParseBlock(&statement.else_body, depth + 1);
      while (stop == Stop::kElse) {
        Error(lines_[pos_ - 1].number, "second 'else' in one 'if'");
        stop = ParseBlock(&statement.else_body, depth + 1);
      }
    }
    if (stop == Stop::kOn || stop == Stop::kEof) {
      Error(line.number, "'if' without 'end'");
    }
    if (valid) out->push_back(std::move(statement));
  }

  // Skips an if-block without recursion (used past the nesting limit).
  void SkipBlock() {
    int open = 1;
    while (pos_ < lines_.size()) {
      const std::string word = Word(lines_[pos_]);
      if (word == "on") return;
      ++pos_;
      if (word == "if") ++open;
      if (word == "end" && --open == 0) return;
    }
  }

  void ParseHandler() {
    const Line& line = lines_[pos_++];
    Handler handler;
    handler.line = line.number;
    bool valid = true;
    const EventInfo* info = nullptr;
    if (line.tokens.size() < 2) {
      Error(line.number, "'on' needs an event");
      valid = false;
    } else {
      const std::string name = ToLowerAscii(line.tokens[1].text);
      for (const EventInfo& event : kEvents) {
        if (name == event.name) info = &event;
      }
      if (!info) {
        Error(line.number, "unknown event '" + line.tokens[1].text + "'");
        valid = false;
      } else {
        const size_t wanted = info->has_key ? 3 : 2;
        if (line.tokens.size() != wanted) {
          Error(line.number, std::string("'on ") + info->name +
                                 (info->has_key ? "' needs one name" : "' takes no name"));
          valid = false;
        } else {
          handler.kind = info->kind;
          if (info->has_key) handler.key = line.tokens[2].text;
        }
      }
    }
    Stop stop = ParseBlock(&handler.body, 0);
    while (stop == Stop::kElse) {
      Error(lines_[pos_ - 1].number, "'else' without 'if'");
      stop = ParseBlock(&handler.body, 0);
    }
    if (stop != Stop::kEnd) Error(line.number, "handler without 'end'");
    if (valid) program_->handlers.push_back(std::move(handler));
  }

  void ParseSimple(const Line& line, std::vector<Statement>* out) {
    if (line.tokens[0].quoted) {
      Error(line.number, "a line must start with a statement word");
      return;
    }
    const std::string word = ToLowerAscii(line.tokens[0].text);
    const OpInfo* info = nullptr;
    for (const OpInfo& op : kOps) {
      if (word == op.name) info = &op;
    }
    if (!info) {
      Error(line.number, "unknown statement '" + line.tokens[0].text + "'");
      return;
    }
    const int count = static_cast<int>(line.tokens.size()) - 1;
    if (count < info->min_args || count > info->max_args) {
      std::string message = std::string("'") + info->name + "' needs ";
      if (info->min_args == info->max_args) {
        message += std::to_string(info->min_args);
      } else {
        message += std::to_string(info->min_args) + " to " + std::to_string(info->max_args);
      }
      message += info->max_args == 1 ? " argument" : " arguments";
      Error(line.number, message);
      return;
    }
    if (info->op == Op::kFsCommand) {
      const Token& path = line.tokens[1];
      const std::string lower = ToLowerAscii(path.text);
      if (path.text.find('$') == std::string::npos && lower != "jri" && lower != "invoke" &&
          lower != "external") {
        Error(line.number, "fscommand path must be jri, invoke or external");
        return;
      }
    }
    Statement statement;
    statement.op = info->op;
    statement.line = line.number;
    statement.args.assign(line.tokens.begin() + 1, line.tokens.end());
    out->push_back(std::move(statement));
  }

  std::vector<Line> lines_;
  size_t pos_ = 0;
  Program* program_;
};

}  // namespace

bool Tokenize(const std::string& line, std::vector<Token>* out, std::string* error) {
  size_t i = 0;
  const size_t n = line.size();
  while (i < n) {
    const char c = line[i];
    if (c == ' ' || c == '\t') {
      ++i;
      continue;
    }
    Token token;
    if (c == '"') {
      token.quoted = true;
      ++i;
      bool closed = false;
      while (i < n) {
        const char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d == '\\' && i < n) {
          const char e = line[i++];
          switch (e) {
            case 'n':
              token.text += '\n';
              break;
            case 't':
              token.text += '\t';
              break;
            case 'r':
              token.text += '\r';
              break;
            case '"':
              token.text += '"';
              break;
            case '\\':
              token.text += '\\';
              break;
            default:
              token.text += '\\';
              token.text += e;
          }
          continue;
        }
        token.text += d;
      }
      if (!closed) {
        *error = "unterminated string";
        return false;
      }
    } else {
      while (i < n && line[i] != ' ' && line[i] != '\t') token.text += line[i++];
    }
    out->push_back(std::move(token));
  }
  return true;
}

std::shared_ptr<const Program> ParseScene(const char* data, size_t size) {
  auto program = std::make_shared<Program>();
  std::vector<Line> lines;
  std::vector<ParseError> early_errors;
  size_t start = 0;
  if (size >= 3 && static_cast<unsigned char>(data[0]) == 0xEF &&
      static_cast<unsigned char>(data[1]) == 0xBB && static_cast<unsigned char>(data[2]) == 0xBF) {
    start = 3;
  }
  int number = 0;
  while (start < size) {
    size_t end = start;
    while (end < size && data[end] != '\n') ++end;
    ++number;
    size_t length = end - start;
    if (length > 0 && data[start + length - 1] == '\r') --length;
    if (static_cast<size_t>(number) > kMaxLines) {
      early_errors.push_back(ParseError{number, "too many lines; the rest is ignored"});
      break;
    }
    if (length > kMaxLineBytes) {
      early_errors.push_back(ParseError{number, "line too long"});
    } else {
      std::string text(data + start, length);
      Line line;
      line.number = number;
      std::string error;
      if (!Tokenize(text, &line.tokens, &error)) {
        early_errors.push_back(ParseError{number, error});
      } else if (!line.tokens.empty() &&
                 !(!line.tokens[0].quoted && line.tokens[0].text[0] == '#')) {
        lines.push_back(std::move(line));
      }
    }
    start = end + 1;
  }
  CParser parser(std::move(lines), program.get());
  for (ParseError& error : early_errors) parser.Error(error.line, std::move(error.message));
  parser.Run();
  // Errors from tokenizing come first in the list; order them by line for the reader.
  std::stable_sort(program->errors.begin(), program->errors.end(),
                   [](const ParseError& a, const ParseError& b) { return a.line < b.line; });
  return program;
}

const char* EventKindName(EventKind kind) {
  switch (kind) {
    case EventKind::kStart:
      return "start";
    case EventKind::kClick:
      return "click";
    case EventKind::kKey:
      return "key";
    case EventKind::kTimer:
      return "timer";
    case EventKind::kCall:
      return "call";
    case EventKind::kLoaded:
      return "loaded";
  }
  return "?";
}

}  // namespace vexa::standin
