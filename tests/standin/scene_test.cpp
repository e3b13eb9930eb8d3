// The scene language parser: tokens, statements, handlers, blocks and error recovery.
#include "standin/scene.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vexa::standin {
namespace {

std::shared_ptr<const Program> Parse(const std::string& text) {
  return ParseScene(text.data(), text.size());
}

std::vector<std::string> Messages(const Program& program) {
  std::vector<std::string> out;
  for (const ParseError& e : program.errors)
    out.push_back(std::to_string(e.line) + ": " + e.message);
  return out;
}

TEST(TokenizeTest, WordsQuotesAndEscapes) {
  struct Case {
    const char* line;
    std::vector<std::string> texts;
    std::vector<bool> quoted;
  } cases[] = {
      {"text a 1 2", {"text", "a", "1", "2"}, {false, false, false, false}},
      {"  \tset  x   \"two words\"  ", {"set", "x", "two words"}, {false, false, true}},
      {R"(log "a\"b\\c\nd\te\q")", {"log", "a\"b\\c\nd\te\\q"}, {false, true}},
      {R"(set e "")", {"set", "e", ""}, {false, false, true}},
      {R"(set w ab"cd)", {"set", "w", "ab\"cd"}, {false, false, false}},
      {"", {}, {}},
  };
  for (const Case& c : cases) {
    std::vector<Token> tokens;
    std::string error;
    ASSERT_TRUE(Tokenize(c.line, &tokens, &error)) << c.line;
    ASSERT_EQ(tokens.size(), c.texts.size()) << c.line;
    for (size_t i = 0; i < tokens.size(); ++i) {
      EXPECT_EQ(tokens[i].text, c.texts[i]) << c.line;
      EXPECT_EQ(tokens[i].quoted, c.quoted[i]) << c.line;
    }
  }
  std::vector<Token> tokens;
  std::string error;
  EXPECT_FALSE(Tokenize("log \"open", &tokens, &error));
  EXPECT_EQ(error, "unterminated string");
  EXPECT_FALSE(Tokenize("log \"ends with backslash\\\"", &tokens, &error));
}

TEST(ParseSceneTest, StatementsHandlersAndBlocks) {
  auto program = Parse(
      "\xEF\xBB\xBF# a comment\r\n"
      "TEXT title 1 2 \"hi\"\r\n"
      "\r\n"
      "On Click ok\n"
      "  if $a == 1\n"
      "    set b 2\n"
      "  else\n"
      "    if $c\n"
      "      log deep\n"
      "    end\n"
      "  end\n"
      "end\n"
      "on start\n"
      "end\n"
      "set after handlers\n");
  EXPECT_TRUE(program->errors.empty()) << Messages(*program).front();
  ASSERT_EQ(program->top.size(), 2u);
  EXPECT_EQ(program->top[0].op, Op::kText);
  EXPECT_EQ(program->top[0].line, 2);
  EXPECT_EQ(program->top[1].op, Op::kSet);
  ASSERT_EQ(program->handlers.size(), 2u);
  const Handler& click = program->handlers[0];
  EXPECT_EQ(click.kind, EventKind::kClick);
  EXPECT_EQ(click.key, "ok");
  ASSERT_EQ(click.body.size(), 1u);
  const Statement& branch = click.body[0];
  EXPECT_EQ(branch.op, Op::kIf);
  EXPECT_EQ(branch.args.size(), 3u);
  EXPECT_EQ(branch.then_body.size(), 1u);
  ASSERT_EQ(branch.else_body.size(), 1u);
  EXPECT_EQ(branch.else_body[0].then_body.at(0).op, Op::kLog);
  EXPECT_EQ(program->handlers[1].kind, EventKind::kStart);
}

TEST(ParseSceneTest, ReportsBadLinesAndKeepsTheRest) {
  struct Case {
    const char* text;
    std::vector<std::string> errors;
    size_t top;       // statements kept at top level
    size_t handlers;  // handlers kept
  } cases[] = {
      {"frobnicate 1\nset a 1\n", {"1: unknown statement 'frobnicate'"}, 1, 0},
      {"text a 1\n", {"1: 'text' needs 4 to 6 arguments"}, 0, 0},
      {"clear now\n", {"1: 'clear' needs 0 arguments"}, 0, 0},
      {"remove\n", {"1: 'remove' needs 1 argument"}, 0, 0},
      {"\"quoted\" first\n", {"1: a line must start with a statement word"}, 0, 0},
      {"fscommand post A b\n", {"1: fscommand path must be jri, invoke or external"}, 0, 0},
      {"fscommand $path A b\n", {}, 1, 0},  // decided when it runs
      {"end\nelse\n", {"1: 'end' without an open block", "2: 'else' without 'if'"}, 0, 0},
      {"on hover x\n  set a 1\nend\nset b 1\n", {"1: unknown event 'hover'"}, 1, 0},
      {"on click\nend\n", {"1: 'on click' needs one name"}, 0, 0},
      {"on start now\nend\n", {"1: 'on start' takes no name"}, 0, 0},
      {"on start\n  set a 1\n", {"1: handler without 'end'"}, 0, 1},
      // A forgotten 'end' before the next handler closes the first one there.
      {"on start\n  set a 1\non click b\nend\n", {"1: handler without 'end'"}, 0, 2},
      // The 'end' closes the 'if', so the handler is the one left open.
      {"on start\n  if 1\n  set a 1\nend\n", {"1: handler without 'end'"}, 0, 1},
      {"if 1 ~ 2\nend\n", {"1: unknown comparison '~'"}, 0, 0},
      {"if 1 2\nend\n", {"1: 'if' needs a value or 'value operator value'"}, 0, 0},
      {"if 1\nelse\nelse\nend\n", {"3: second 'else' in one 'if'"}, 1, 0},
      {"on start\nelse\nend\n", {"2: 'else' without 'if'"}, 0, 1},
      {"log \"open\nset a 1\n", {"1: unterminated string"}, 1, 0},
  };
  for (const Case& c : cases) {
    auto program = Parse(c.text);
    EXPECT_EQ(Messages(*program), c.errors) << c.text;
    EXPECT_EQ(program->error_count, c.errors.size()) << c.text;
    EXPECT_EQ(program->top.size(), c.top) << c.text;
    EXPECT_EQ(program->handlers.size(), c.handlers) << c.text;
  }
}

TEST(ParseSceneTest, DeepNestingIsCutWithoutExhaustingTheStack) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "if 1\n";
  text += "set inner 1\n";
  for (int i = 0; i < 20000; ++i) text += "end\n";
  text += "set after 1\n";
  auto program = Parse(text);
  ASSERT_EQ(program->errors.size(), 1u);
  EXPECT_EQ(program->errors[0].message, "'if' nested too deeply");
  EXPECT_EQ(program->errors[0].line, kMaxIfDepth + 1);
  ASSERT_EQ(program->top.size(), 2u);
  EXPECT_EQ(program->top[1].op, Op::kSet);
  EXPECT_EQ(program->top[1].line, 40002);
}

TEST(ParseSceneTest, LimitsOnLinesAndErrors) {
  std::string text = "log " + std::string(kMaxLineBytes, 'x') + "\n";
  for (int i = 0; i < 300; ++i) text += "bad\n";
  auto program = Parse(text);
  EXPECT_EQ(program->error_count, 301u);
  EXPECT_EQ(program->errors.size(), kMaxStoredErrors);
  EXPECT_EQ(program->errors[0].message, "line too long");

  std::string many;
  for (size_t i = 0; i < kMaxLines + 10; ++i) many += "\n";
  many += "set late 1\n";
  program = Parse(many);
  EXPECT_TRUE(program->top.empty());
  ASSERT_EQ(program->errors.size(), 1u);
  EXPECT_EQ(program->errors[0].message, "too many lines; the rest is ignored");
}

TEST(ParseSceneTest, ArbitraryBytesNeverFail) {
  std::string bytes;
  uint32_t state = 12345;
  for (int i = 0; i < 20000; ++i) {
    state = state * 1103515245u + 12345u;
    bytes += static_cast<char>((state >> 16) & 0xFF);
  }
  bytes[100] = '\0';
  auto program = Parse(bytes);
  EXPECT_GT(program->error_count, 0u);
}

}  // namespace
}  // namespace vexa::standin
