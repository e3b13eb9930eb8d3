// The command processor's dispatch: upper-casing, prefix matching, move-to-front (also when a
// handler dispatches again), and the LS and Q handlers. The player is not started: its dilator
// operations need no plug-in, and the holder's result list works without one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flashhost/holder.h"
#include "fscommand/processor.h"
#include "support.h"

namespace {

using player_test::CTestPlayer;
using player_test::TextOf;

class ProcessorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    processor_.SetDilator(&player_);
    processor_.SetHolder(&holder_);
  }

  std::vector<std::string> Results() const {
    std::vector<std::string> texts;
    for (const VARIANT& value : holder_.GetResults()) texts.push_back(TextOf(value));
    return texts;
  }

  // The search order of the two codes these tests use (the whole table's order is tested with the
  // processor in tests/fscommand).
  std::vector<std::wstring> Order() const {
    std::vector<std::wstring> codes;
    for (const wchar_t* code : processor_.GetCommandOrder()) {
      if (std::wstring(code) == L"Q" || std::wstring(code) == L"LS") codes.push_back(code);
    }
    return codes;
  }

  CFlashHolder holder_;
  CTestPlayer player_{&holder_};
  CFSCommandProcessor processor_;
};

TEST_F(ProcessorTest, ReadyFlagIsAddedForEveryCommandBeginningWithLS) {
  for (const wchar_t* command : {L"LS", L"ls", L"Ls", L"LSX", L"ls:anything"}) {
    holder_.ClearResults();
    EXPECT_EQ(S_OK, processor_.OnFSCommand(command, L"ready"));
    EXPECT_EQ(std::vector<std::string>{"1"}, Results()) << CSmallStr(command).c_str();
  }
  // An empty result name still gets the value, and so does a missing argument.
  holder_.ClearResults();
  processor_.OnFSCommand(L"LS", L"");
  processor_.OnFSCommand(L"LS", nullptr);
  EXPECT_EQ((std::vector<std::string>{"1", "1"}), Results());
  EXPECT_EQ(0, player_.quits);
}

TEST_F(ProcessorTest, QuitRunsForEveryCommandBeginningWithQ) {
  for (const wchar_t* command : {L"Q", L"q", L"quit", L"QUITGAME"})
    processor_.OnFSCommand(command, L"");
  EXPECT_EQ(4, player_.quits);
  EXPECT_TRUE(holder_.GetResults().empty());
}

TEST_F(ProcessorTest, CommandsWithoutAnEntryAreDroppedSilently) {
  const std::vector<std::wstring> before = Order();
  for (const wchar_t* command : {L"HELLO", L"", L"L", L" LS", L"XQ", L"\u00dfLS"}) {
    EXPECT_EQ(S_OK, processor_.OnFSCommand(command, L"r"));
  }
  EXPECT_EQ(S_OK, processor_.OnFSCommand(nullptr, nullptr));
  EXPECT_TRUE(holder_.GetResults().empty());
  EXPECT_EQ(0, player_.quits);
  EXPECT_EQ(before, Order());
}

TEST_F(ProcessorTest, TheMatchedCodeMovesToTheHead) {
  EXPECT_EQ((std::vector<std::wstring>{L"Q", L"LS"}), Order());
  processor_.OnFSCommand(L"ls", L"r");
  EXPECT_EQ((std::vector<std::wstring>{L"LS", L"Q"}), Order());
  processor_.OnFSCommand(L"LS", L"r");
  EXPECT_EQ((std::vector<std::wstring>{L"LS", L"Q"}), Order());
  processor_.OnFSCommand(L"Q", L"");
  EXPECT_EQ((std::vector<std::wstring>{L"Q", L"LS"}), Order());
}

TEST_F(ProcessorTest, AHandlerThatDispatchesAgainLeavesTheListWhole) {
  int nested = 0;
  player_.onQuit = [&] {
    if (nested++ > 0) return;
    processor_.OnFSCommand(L"LS", L"inner");
    processor_.OnFSCommand(L"Q", L"");  // Q again, from inside Q
  };
  processor_.OnFSCommand(L"LS", L"first");  // LS at the head, Q behind it
  processor_.OnFSCommand(L"Q", L"");
  EXPECT_EQ(2, player_.quits);
  EXPECT_EQ((std::vector<std::string>{"1", "1"}), Results());
  // Each code once, the last one matched at the head.
  EXPECT_EQ((std::vector<std::wstring>{L"Q", L"LS"}), Order());
}

TEST_F(ProcessorTest, WithoutItsObjectsAHandlerDoesNothing) {
  CFSCommandProcessor bare;
  EXPECT_EQ(S_OK, bare.OnFSCommand(L"LS", L"r"));
  EXPECT_EQ(S_OK, bare.OnFSCommand(L"Q", L""));
  // A dilator but no holder: LS has nowhere to put its value.
  bare.SetDilator(&player_);
  bare.OnFSCommand(L"LS", L"r");
  bare.OnFSCommand(L"Q", L"");
  EXPECT_EQ(1, player_.quits);
  EXPECT_TRUE(holder_.GetResults().empty());
  EXPECT_EQ(E_NOTIMPL, bare.OnPlayerNotification(1, 2, 3, nullptr));
}

}  // namespace
