// The three FSCommand paths, the result callback and the page objects, driven by the stand-in
// plug-in (its scenes make the calls a movie would) and, for inputs the stand-in never produces,
// by calling the browser table entries as a plug-in would.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "data/pseudourl.h"
#include "flashhost/bridge.h"
#include "flashhost/jrienv.h"
#include "flashhost/netscapestream.h"
#include "support.h"

namespace {

const std::string kCallEnd = ")) ; } catch (e) { \"<undefined/>\"; }";

class BridgeTest : public HolderTest {
 protected:
  // The CallFunction requests the plug-in received, as invoke XML.
  static std::vector<std::string> InvokeRequests(const std::vector<TranscriptEvent>& events) {
    std::vector<std::string> requests;
    for (const TranscriptEvent& e : Named(events, "NPClass.invoke", "method", "CallFunction")) {
      requests.push_back(e.Get("arg0"));
    }
    return requests;
  }

  // Evaluates `script` through the browser table as the plug-in does; the text is handed over in a
  // block of exactly its length, without a terminator.
  bool EvaluateRaw(const std::string& script) {
    std::unique_ptr<char[]> block(new char[script.size() ? script.size() : 1]);
    std::memcpy(block.get(), script.data(), script.size());
    NPString text = {block.get(), static_cast<uint32_t>(script.size())};
    NPObject* window = NewWindowObject();
    NPVariant result;
    result.type = NPVariantType_Void;
    const bool ok = Browser()->evaluate(holder_.GetInstance(), window, &text, &result);
    EXPECT_EQ(NPVariantType_Void, result.type) << "the evaluation result is never set";
    Browser()->releaseobject(window);
    return ok;
  }

  void AddResultsOnCommand(std::vector<std::string> texts) {
    sink_.reaction = [this, texts](const CRecordingSink::Call&) {
      for (const std::string& text : texts) holder_.AddResultA("result", text.c_str());
    };
  }
};

struct ExternalCase {
  const char* statement;  // scene line making the ExternalInterface call
  const char* command;
  const char* argument;
};

TEST_F(BridgeTest, ExternalInterfaceCallsBecomeFSCommands) {
  const ExternalCase cases[] = {
      {"fscommand external GS demo", "GS", "demo"},  // one string argument
      {"external GS", "GS", ""},                     // no argument
      {"external GS null", "GS", ""},                // null
      {"external GS \"a\" \"b\"", "GS", "a\",\"b"},  // two strings: not separated
      {"external SS 42", "SS", "42"},                // a number stays as written
      {"external SS \"l1\\nl2\\tt\\rx\"", "SS", "l1\nl2\tt\rx"},
      {"external SS \"say \\\"hi\\\"\"", "SS", "say \\\"hi\\\""},
  };
  for (const ExternalCase& c : cases) {
    SCOPED_TRACE(c.statement);
    sink_.calls.clear();
    const std::vector<TranscriptEvent> events = Play(std::string(c.statement) + "\n");
    ASSERT_EQ(1u, sink_.calls.size());
    EXPECT_EQ(W(c.command), sink_.calls[0].command);
    EXPECT_EQ(W(c.argument), sink_.calls[0].argument) << A(sink_.calls[0].argument);
    const std::vector<TranscriptEvent> evaluated = Named(events, "NPN_Evaluate");
    ASSERT_EQ(1u, evaluated.size());
    EXPECT_EQ("false", evaluated[0].Get("result"));
  }
}

TEST_F(BridgeTest, ResultsGoToTheCallbackInOrderWithEscaping) {
  holder_.SetResultCallback(L"onResult");
  AddResultsOnCommand({"first", "a<b \"q\" & c", "already &lt; escaped"});
  const std::vector<TranscriptEvent> events = Play(
      "on call onResult\n"
      "  log \"n=$# 1=$1 2=$2 3=$3\"\n"
      "end\n"
      "fscommand external GS demo\n");
  ASSERT_EQ(1u, sink_.calls.size());
  const std::vector<std::string> requests = InvokeRequests(events);
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ(
      "<invoke name=\"onResult\" returntype=\"string\"><arguments>"
      "<string>first</string>"
      "<string>a&lt;b &quot;q&quot; & c</string>"
      "<string>already &lt; escaped</string>"
      "</arguments></invoke>",
      requests[0]);
  // The movie received the values decoded, in the order the handler added them.
  EXPECT_EQ(1u,
            Named(events, "log", "text", "n=3 1=first 2=a<b \"q\" & c 3=already < escaped").size());
  // The list is kept after sending; only the next ExternalInterface command clears it.
  EXPECT_EQ(3u, holder_.GetResults().size());
}

TEST_F(BridgeTest, CallbackGetsZeroWhenNoResultWasAdded) {
  holder_.SetResultCallback(L"onResult");
  holder_.AddResultA("old", "stale");  // from an earlier command: cleared before this one runs
  const std::vector<TranscriptEvent> events = Play("external LS\n");
  ASSERT_EQ(1u, sink_.calls.size());
  const std::vector<std::string> requests = InvokeRequests(events);
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ(
      "<invoke name=\"onResult\" returntype=\"string\"><arguments><string>0</string>"
      "</arguments></invoke>",
      requests[0]);
  EXPECT_TRUE(holder_.GetResults().empty());
}

TEST_F(BridgeTest, WithoutCallbackResultsStayInTheList) {
  AddResultsOnCommand({"kept"});
  const std::vector<TranscriptEvent> events = Play("external GS \"x\"\n");
  ASSERT_EQ(1u, sink_.calls.size());
  EXPECT_TRUE(InvokeRequests(events).empty());
  ASSERT_EQ(1u, holder_.GetResults().size());
  EXPECT_EQ("kept", VariantText(holder_.GetResults()[0]));
}

TEST_F(BridgeTest, WithoutSinkTheCallbackStillGetsZero) {
  holder_.SetNotifySink(nullptr);
  holder_.SetResultCallback(L"onResult");
  const std::vector<TranscriptEvent> events = Play("external GS \"x\"\n");
  const std::vector<std::string> requests = InvokeRequests(events);
  ASSERT_EQ(1u, requests.size());
  EXPECT_NE(std::string::npos, requests[0].find("<string>0</string>"));
}

TEST_F(BridgeTest, JriCommandsWaitForTheNextPreTranslation) {
  holder_.SetResultCallback(L"onResult");
  // Left by an earlier command (a result added outside any command would be delivered on its own).
  holder_.EnterCommand();
  holder_.AddResultA("old", "kept");
  holder_.LeaveCommand();
  std::vector<TranscriptEvent> events = Play(
      "fscommand jri GS demo\n"
      "fscommand jri SS \"two words\"\n");
  const std::vector<TranscriptEvent> ids = Named(events, "JRI.GetMethodID");
  ASSERT_EQ(2u, ids.size());
  EXPECT_EQ(std::to_string(kJRIFSCommandMethodId), ids[0].Get("result"));
  EXPECT_EQ(2u, Named(events, "JRI.CallMethod").size());
  EXPECT_TRUE(sink_.calls.empty());
  EXPECT_EQ(2u, holder_.GetPendingNotificationCount());

  events = Serve();
  ASSERT_EQ(2u, sink_.calls.size());
  EXPECT_EQ(L"GS", sink_.calls[0].command);
  EXPECT_EQ(L"demo", sink_.calls[0].argument);
  EXPECT_EQ(L"SS", sink_.calls[1].command);
  EXPECT_EQ(L"two words", sink_.calls[1].argument);
  EXPECT_EQ(0u, holder_.GetPendingNotificationCount());
  // This path neither clears nor sends the result list.
  EXPECT_TRUE(InvokeRequests(events).empty());
  EXPECT_EQ(1u, holder_.GetResults().size());
}

// ---- Results added outside any command

const char kEchoCallback[] =
    "on call onResult\n"
    "  log \"n=$# 1=$1 2=$2\"\n"
    "end\n";

TEST_F(BridgeTest, ResultsAddedOutsideCommandsReachTheCallbackAtTheNextPreTranslation) {
  holder_.SetResultCallback(L"onResult");
  Play(kEchoCallback);
  // A plug-in object's timer, say: no command is being served.
  holder_.AddResultA("timer", "late <one>");
  holder_.AddResult(L"timer", L"late two");
  EXPECT_EQ(2u, holder_.GetUndeliveredResults().size());

  std::vector<TranscriptEvent> events = Serve();
  const std::vector<std::string> requests = InvokeRequests(events);
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ(
      "<invoke name=\"onResult\" returntype=\"string\"><arguments>"
      "<string>late &lt;one&gt;</string><string>late two</string></arguments></invoke>",
      requests[0]);
  EXPECT_EQ(1u, Named(events, "log", "text", "n=2 1=late <one> 2=late two").size());
  EXPECT_TRUE(holder_.GetUndeliveredResults().empty());
  // Delivered once; the result list itself keeps them as it keeps every result.
  EXPECT_TRUE(InvokeRequests(Serve()).empty());
  EXPECT_EQ(2u, holder_.GetResults().size());
}

TEST_F(BridgeTest, ResultsOfServedCommandsAreNotDeliveredAgain) {
  holder_.SetResultCallback(L"onResult");
  AddResultsOnCommand({"answer"});
  std::vector<TranscriptEvent> events = Play(std::string(kEchoCallback) +
                                             "external GS \"x\"\n"
                                             "fscommand invoke GS y\n"
                                             "fscommand jri GS z\n");
  // Only the ExternalInterface command answers through the callback.
  ASSERT_EQ(1u, InvokeRequests(events).size());
  events = Serve();  // the JRI command runs here
  ASSERT_EQ(3u, sink_.calls.size());
  EXPECT_TRUE(InvokeRequests(events).empty());
  EXPECT_TRUE(holder_.GetUndeliveredResults().empty());
  EXPECT_FALSE(holder_.IsServingCommand());
}

TEST_F(BridgeTest, UndeliveredResultsWaitForTheMovieAndNeedACallback) {
  // No callback name: nobody to deliver to; the values stay only in the result list.
  holder_.AddResultA("x", "first");
  EXPECT_EQ(S_FALSE, holder_.DeliverResults());
  EXPECT_TRUE(holder_.GetUndeliveredResults().empty());
  EXPECT_EQ(1u, holder_.GetResults().size());

  // A callback but no movie yet: they wait.
  holder_.SetResultCallback(L"onResult");
  holder_.AddResultA("x", "second");
  EXPECT_EQ(E_UNEXPECTED, holder_.DeliverResults());
  EXPECT_EQ(1u, holder_.GetUndeliveredResults().size());

  // While a command is served nothing is delivered from outside it.
  Play(kEchoCallback);
  holder_.EnterCommand();
  EXPECT_EQ(S_FALSE, holder_.DeliverResults());
  holder_.LeaveCommand();
  const std::vector<TranscriptEvent> events = Serve();
  EXPECT_EQ(1u, Named(events, "log", "text", "n=1 1=second 2=").size());
  EXPECT_EQ(S_FALSE, holder_.DeliverResults());
}

TEST_F(BridgeTest, ARefusedDeliveryIsNotRetried) {
  holder_.SetResultCallback(L"missing");
  Play(kEchoCallback);
  holder_.AddResultA("x", "lost");
  EXPECT_EQ(E_FAIL, holder_.DeliverResults());
  EXPECT_EQ(1u, InvokeRequests(transcript_.Take()).size());
  EXPECT_TRUE(holder_.GetUndeliveredResults().empty());
  EXPECT_TRUE(InvokeRequests(Serve()).empty());
}

TEST_F(BridgeTest, ResultsAddedByTheCallbackItselfWaitForTheNextPreTranslation) {
  holder_.SetResultCallback(L"onResult");
  // The movie answers the delivery with a command of its own that adds a result, and a plug-in
  // adds one from outside while the movie runs the callback.
  sink_.reaction = [this](const CRecordingSink::Call&) { holder_.AddResultA("answer", "inside"); };
  Play(
      "on call onResult\n"
      "  log \"got $1\"\n"
      "  fscommand invoke PING x\n"
      "end\n");
  holder_.AddResultA("x", "one");
  std::vector<TranscriptEvent> events = Serve();
  EXPECT_EQ(1u, Named(events, "log", "text", "got one").size());
  ASSERT_EQ(1u, sink_.calls.size());
  // The command's result answered that command; nothing new is waiting.
  EXPECT_TRUE(holder_.GetUndeliveredResults().empty());
  EXPECT_TRUE(InvokeRequests(Serve()).empty());
}

TEST_F(BridgeTest, JriCommandsWithoutSinkAreDropped) {
  holder_.SetNotifySink(nullptr);
  Play("fscommand jri GS demo\n");
  ASSERT_EQ(1u, holder_.GetPendingNotificationCount());
  Serve();
  EXPECT_EQ(0u, holder_.GetPendingNotificationCount());
  EXPECT_TRUE(sink_.calls.empty());
}

TEST_F(BridgeTest, InvokePathIsImmediateAndLeavesResultsAlone) {
  holder_.SetResultCallback(L"onResult");
  holder_.AddResultA("old", "kept");
  const std::vector<TranscriptEvent> events = Play("fscommand invoke GS demo\n");
  ASSERT_EQ(1u, sink_.calls.size());
  EXPECT_EQ(L"GS", sink_.calls[0].command);
  EXPECT_EQ(L"demo", sink_.calls[0].argument);
  const std::vector<TranscriptEvent> invoked =
      Named(events, "NPN_Invoke", "method", "test_DoFSCommand");
  ASSERT_EQ(1u, invoked.size());
  EXPECT_EQ("true", invoked[0].Get("result"));
  EXPECT_TRUE(InvokeRequests(events).empty());
  EXPECT_EQ(1u, holder_.GetResults().size());
  EXPECT_EQ(0u, holder_.GetPendingNotificationCount());
}

TEST_F(BridgeTest, TestDoFSCommandReadsOnlyStringArgumentsItHas) {
  holder_.CreateInstance();
  NPObject* window = NewWindowObject();
  NPIdentifier method = const_cast<char*>("test_DoFSCommand");
  // A string block with no terminator after its three bytes.
  std::unique_ptr<char[]> bare(new char[3]);
  std::memcpy(bare.get(), "cmd", 3);

  NPVariant str;
  str.type = NPVariantType_String;
  str.value.stringValue = {bare.get(), 3};
  NPVariant number;
  number.type = NPVariantType_Int32;
  number.value.intValue = 7;
  NPVariant nullString;
  nullString.type = NPVariantType_String;
  nullString.value.stringValue = {nullptr, 5};

  struct Case {
    std::vector<NPVariant> args;
    const wchar_t* command;
    const wchar_t* argument;
  };
  const Case cases[] = {
      {{}, L"", L""},
      {{str}, L"cmd", L""},
      {{number, str}, L"", L"cmd"},
      {{str, number}, L"cmd", L""},
      {{nullString, str}, L"", L"cmd"},
  };
  for (const Case& c : cases) {
    sink_.calls.clear();
    NPVariant result;
    result.type = NPVariantType_Void;
    EXPECT_TRUE(Browser()->invoke(holder_.GetInstance(), window, method,
                                  c.args.empty() ? nullptr : c.args.data(),
                                  static_cast<uint32_t>(c.args.size()), &result));
    ASSERT_EQ(1u, sink_.calls.size());
    EXPECT_EQ(c.command, sink_.calls[0].command);
    EXPECT_EQ(c.argument, sink_.calls[0].argument);
    EXPECT_EQ(NPVariantType_Void, result.type);
  }
  Browser()->releaseobject(window);
}

TEST_F(BridgeTest, EvaluateRecognisesOnlyTheCallShape) {
  holder_.CreateInstance();
  struct Case {
    std::string script;
    bool delivered;
    const char* command;
    const char* argument;
  };
  const Case cases[] = {
      {"try { __flash__toXML(GS(\"x\"" + kCallEnd, true, "GS", "x"},
      {"try { __flash__toXML(GS('single'" + kCallEnd, true, "GS", "single"},
      {"try { __flash__toXML(GS(\"" + kCallEnd, true, "GS", ""},  // a lone quote
      {"try { __flash__toXML(GS(1,2" + kCallEnd, true, "GS", "1,2"},
      {"try { __flash__toXML(GS(" + kCallEnd, true, "GS", ""},
      // A description with parentheses and an escape: the command keeps it whole.
      {"try { __flash__toXML(SS;g;1;Level 3 (auto\\tsave)(\"10\"" + kCallEnd, true,
       "SS;g;1;Level 3 (auto\tsave)", "10"},
      {"alert(1)", false, "", ""},
      {"try { __flash__toXML(GS(\"x\")) }", false, "", ""},    // no end marker
      {"GS(\"x\"" + kCallEnd, false, "", ""},                  // no start marker
      {kCallEnd + " __flash__toXML(GS(\"x\"", false, "", ""},  // markers swapped
      {"try { __flash__toXML(GS" + kCallEnd, false, "", ""},   // no call
      {std::string("try { __flash__toXML(GS(\"x\"") + '\0' + kCallEnd, false, "", ""},
      {"", false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    sink_.calls.clear();
    EXPECT_FALSE(EvaluateRaw(c.script));
    if (!c.delivered) {
      EXPECT_TRUE(sink_.calls.empty());
      continue;
    }
    ASSERT_EQ(1u, sink_.calls.size());
    EXPECT_EQ(W(c.command), sink_.calls[0].command);
    EXPECT_EQ(W(c.argument), sink_.calls[0].argument);
  }
  NPVariant result;
  result.type = NPVariantType_Void;
  EXPECT_FALSE(Browser()->evaluate(holder_.GetInstance(), nullptr, nullptr, &result));
}

TEST_F(BridgeTest, SinkMayReadMovieVariablesAndAnswerThroughTheCallback) {
  holder_.SetResultCallback(L"onResult");
  sink_.reaction = [this](const CRecordingSink::Call& call) {
    if (call.command != L"VAR") return;
    CSmallStr value;
    if (holder_.GetMovieVariable(call.argument.c_str(), &value) == S_OK) {
      holder_.AddResultA("var", value.c_str());
    }
  };
  const std::vector<TranscriptEvent> events = Play(
      "set score 1234\n"
      "on call onResult\n"
      "  set echoed $1\n"
      "end\n"
      "external VAR \"score\"\n");
  const std::vector<std::string> requests = InvokeRequests(events);
  ASSERT_EQ(1u, requests.size());
  EXPECT_NE(std::string::npos, requests[0].find("<string>1234</string>")) << requests[0];
  CSmallStr echoed;
  ASSERT_EQ(S_OK, holder_.GetMovieVariableA("echoed", &echoed));
  EXPECT_STREQ("1234", echoed.c_str());
}

TEST_F(BridgeTest, SinkMayCloseTheMovieFromInsideTheCall) {
  holder_.SetResultCallback(L"onResult");
  sink_.reaction = [this](const CRecordingSink::Call& call) {
    if (call.command == L"CLOSE") holder_.CloseMovie();
  };
  const std::vector<TranscriptEvent> events = Play(
      "external CLOSE\n"
      "log \"after close\"\n");
  ASSERT_EQ(1u, sink_.calls.size());
  const int destroyed = IndexOf(events, "NPP_Destroy");
  ASSERT_GE(destroyed, 0);
  // The instance was created again, and the movie's handler stopped with the old one.
  EXPECT_GE(IndexOf(events, "NPP_New"), 0);
  EXPECT_EQ(-1, IndexOf(events, "log", "text", "after close"));
  EXPECT_TRUE(holder_.IsCreated());
  EXPECT_NE(nullptr, holder_.GetScriptableObject());
}

TEST_F(BridgeTest, PageObjectsAnswerWithThePseudoPage) {
  const std::vector<TranscriptEvent> events = Play(
      "location where\n"
      "log \"where=$where\"\n");
  const std::string page = std::string(kPseudoUrlPrefix) + "default.html";
  EXPECT_STREQ(page.c_str(), PseudoPageUrl());
  EXPECT_EQ(1u, Named(events, "log", "text", "where=" + page).size());
  const std::vector<TranscriptEvent> property =
      Named(events, "NPN_GetProperty", "name", "location");
  ASSERT_EQ(1u, property.size());
  EXPECT_EQ("true", property[0].Get("result"));

  NPObject* window = nullptr;
  ASSERT_EQ(NPERR_NO_ERROR,
            Browser()->getvalue(holder_.GetInstance(), NPNVWindowNPObject, &window));
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(GetWindowObjectClass(), window->_class);
  EXPECT_EQ(1u, window->referenceCount);
  NPVariant top;
  top.type = NPVariantType_Void;
  ASSERT_TRUE(
      Browser()->getproperty(holder_.GetInstance(), window, const_cast<char*>("top"), &top));
  ASSERT_EQ(NPVariantType_Object, top.type);
  EXPECT_EQ(1u, top.value.objectValue->referenceCount);
  NPVariant text;
  text.type = NPVariantType_Void;
  ASSERT_TRUE(Browser()->invoke(holder_.GetInstance(), top.value.objectValue,
                                const_cast<char*>("toString"), nullptr, 0, &text));
  ASSERT_EQ(NPVariantType_String, text.type);
  EXPECT_EQ(page,
            std::string(text.value.stringValue.UTF8Characters, text.value.stringValue.UTF8Length));
  Browser()->releasevariantvalue(&text);  // constant text: nothing to free
  Browser()->releasevariantvalue(&top);

  NPVariant other;
  other.type = NPVariantType_Void;
  EXPECT_FALSE(
      Browser()->getproperty(holder_.GetInstance(), window, const_cast<char*>("document"), &other));
  EXPECT_EQ(NPVariantType_Void, other.type);
  // Unknown methods succeed without an answer.
  NPVariant untouched;
  untouched.type = NPVariantType_Int32;
  untouched.value.intValue = 99;
  EXPECT_TRUE(Browser()->invoke(holder_.GetInstance(), window, const_cast<char*>("alert"), nullptr,
                                0, &untouched));
  EXPECT_EQ(NPVariantType_Int32, untouched.type);
  Browser()->releaseobject(window);
}

struct EscapeCase {
  const wchar_t* input;
  const wchar_t* expected;
};

TEST(EscapeXmlText, EscapesOnceAndLeavesBareAmpersands) {
  const EscapeCase cases[] = {
      {L"plain", L"plain"},
      {L"a<b>c", L"a&lt;b&gt;c"},
      {L"say \"hi\" it's", L"say &quot;hi&quot; it&apos;s"},
      {L"fish & chips", L"fish & chips"},  // a bare ampersand is not escaped
      {L"&lt;tag&gt;", L"&lt;tag&gt;"},    // already escaped: not escaped twice
      {L"&quot;&apos;&amp;", L"&quot;&apos;&amp;"},
      {L"\\\"quoted\\\"", L"&quot;quoted&quot;"},  // backslash-escaped quotes
      {L"100%amp;", L"100&amp;"},                  // the placeholder itself
      {L"&amp;lt;", L"&amp;lt;"},
      {L"", L""},
  };
  for (const EscapeCase& c : cases) {
    CSmallWStr text(c.input);
    EscapeXmlText(&text);
    EXPECT_EQ(std::wstring(c.expected), std::wstring(text.c_str())) << A(c.input);
  }
  EscapeXmlText(nullptr);
}

TEST(BuildInvokeXml, WritesStringsAndIntegersAndSkipsOtherTypes) {
  VARIANT args[5];
  for (VARIANT& v : args) VariantInit(&v);
  args[0].vt = VT_BSTR;
  args[0].bstrVal = SysAllocString(L"<x>");
  args[1].vt = VT_INT;
  args[1].intVal = -42;
  args[2].vt = VT_UINT;
  args[2].uintVal = 4000000000u;
  args[3].vt = VT_R8;
  args[3].dblVal = 1.5;
  args[4].vt = VT_BSTR;
  args[4].bstrVal = nullptr;  // an empty BSTR
  const CSmallWStr xml = BuildInvokeXml(L"fn\"name", args, 5);
  EXPECT_EQ(std::wstring(L"<invoke name=\"fn\"name\" returntype=\"string\"><arguments>"
                         L"<string>&lt;x&gt;</string><number>-42</number>"
                         L"<number>4000000000</number><string></string>"
                         L"</arguments></invoke>"),
            std::wstring(xml.c_str()));
  for (VARIANT& v : args) VariantClear(&v);
  EXPECT_EQ(std::wstring(L"<invoke name=\"\" returntype=\"string\"><arguments></arguments>"
                         L"</invoke>"),
            std::wstring(BuildInvokeXml(nullptr, nullptr, 3).c_str()));
}

}  // namespace
