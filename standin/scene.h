// Scene movies: the stand-in's own line-based movie language (described in standin/README.md).
//
// This file turns scene text into a program: top-level statements, event handlers and the list of
// parse errors. Parsing never fails as a whole: a bad line is reported and skipped, so a scene with
// mistakes still plays what it can.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace vexa::standin {

struct Token {
  std::string text;
  bool quoted = false;  // written in double quotes (matters for literal types)
};

enum class Op {
  kBackground,
  kText,
  kRect,
  kButton,
  kRemove,
  kClear,
  kSet,
  kAdd,
  kFsCommand,
  kExternal,
  kLoadText,
  kLoadScene,
  kLoadVars,
  kUnload,
  kPageUrl,
  kLocation,
  kNavigate,
  kAfter,
  kEvery,
  kStop,
  kIf,
  kLog,
  kDump,
  kReturn,
};

struct Statement {
  Op op = Op::kLog;
  int line = 0;
  std::vector<Token> args;           // tokens after the statement word
  std::vector<Statement> then_body;  // kIf only
  std::vector<Statement> else_body;  // kIf only
};

enum class EventKind { kStart, kClick, kKey, kTimer, kCall, kLoaded };

struct Handler {
  EventKind kind = EventKind::kStart;
  std::string key;  // button id, key, timer name, function name or load key; empty for start
  int line = 0;
  std::vector<Statement> body;
};

struct ParseError {
  int line = 0;
  std::string message;
};

struct Program {
  std::vector<Statement> top;  // run once when the scene starts, before the start handlers
  std::vector<Handler> handlers;
  std::vector<ParseError> errors;  // the first kMaxStoredErrors
  size_t error_count = 0;          // all of them
};

// Limits that keep hostile text from exhausting memory or the stack.
constexpr size_t kMaxLineBytes = 4096;
constexpr size_t kMaxLines = 100000;
constexpr int kMaxIfDepth = 16;
constexpr size_t kMaxStoredErrors = 100;

// Splits one line into tokens. Returns false with a message for an unterminated quote; `out` then
// holds the tokens before it.
bool Tokenize(const std::string& line, std::vector<Token>* out, std::string* error);

// Parses scene text (UTF-8, optional byte-order mark, LF or CRLF lines). Never null.
std::shared_ptr<const Program> ParseScene(const char* data, size_t size);

const char* EventKindName(EventKind kind);

}  // namespace vexa::standin
