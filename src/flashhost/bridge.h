// The scripting bridge between the movie and the host.
//
// FSCommands reach the holder's notification sink (flashhost/notifysink.h) by three paths:
// 1. JRI: the plug-in calls FSCommand(target, command, argument) on its Java peer. The call is
//    queued as a CFSCommandMessage and delivered when the holder next pre-translates a message.
// 2. NPN_Invoke of "test_DoFSCommand" (command, argument) on the window object: delivered at once.
// 3. ExternalInterface: the plug-in asks the browser to evaluate
//      try { __flash__toXML(FN(ARGS)) ; } catch (e) { "<undefined/>"; }
//    FN becomes the command and ARGS, with one pair of enclosing quotes removed ("null" read as
//    empty), the argument; FN may itself hold parentheses (ParseExternalCall says where ARGS
//    begins). The result list is cleared first; afterwards, when the game named a result
//    callback, the movie function of that name is called with the results the sink added (or the
//    single string "0"). The evaluation itself always fails: nothing is returned to the movie by
//    that route.
// Every command handed to the sink, on all three paths, is bracketed with the holder's
// EnterCommand/LeaveCommand, so that results added outside commands can be told apart and delivered
// on their own (flashhost/holder.h).
// Values go back into the movie through CFlashHolder::CallMovieFunction, which sends an invoke XML
// to the plug-in's scriptable object (CallFunction).
//
// There is no script engine: only the shapes above are recognised, everything else is answered
// inertly. The page the movie believes it lives in is PseudoPageUrl() (flashhost/netscapestream.h);
// its window object (and the "location" and "top" properties, which are window objects too) answer
// toString with it.
//
// Text conversions follow the host's conventions: FSCommand texts become wide with the runtime's
// multibyte conversion; JRI strings are UTF-8 and pass through the ANSI code page first.
//
// Main window thread only.
#pragma once

#include <string>

#include "flashhost/browserfuncs.h"
#include "flashhost/notify.h"
#include "flashhost/npapi.h"
#include "platform/oleauto.h"
#include "script/smallstr.h"

class CFlashHolder;

// An FSCommand waiting in the holder's queue (the JRI path).
class CFSCommandMessage : public CNotifyMessage {
 public:
  CFSCommandMessage(const CSmallWStr& command, const CSmallWStr& argument)
      : command_(command), argument_(argument) {}

  // OnFSCommand(command, argument) on the sink of `host` (a CFlashHolder) when it has one.
  void Process(CPluginHost* host) override;

  const CSmallWStr& GetCommand() const { return command_; }
  const CSmallWStr& GetArgument() const { return argument_; }

 private:
  CSmallWStr command_;
  CSmallWStr argument_;
};

// Makes `text` safe inside an XML element of the invoke request, in place, without escaping what is
// escaped already. Eleven replace-all passes, in order: \" -> ", &lt; -> <, &gt; -> >,
// &quot; -> ", &apos; -> ', &amp; -> %amp;, < -> &lt;, > -> &gt;, " -> &quot;, ' -> &apos;,
// %amp; -> &amp;. A bare ampersand stays as it is (and a literal "%amp;" becomes "&amp;"). Null is
// ignored.
void EscapeXmlText(CSmallWStr* text);

// The invoke request for calling `name` with `args`:
//   <invoke name="NAME" returntype="string"><arguments>...</arguments></invoke>
// with <string>ESCAPED</string> for VT_BSTR, <number>N</number> for VT_INT (signed) and VT_UINT
// (unsigned); other types are left out. The name is not escaped. Null `name` reads as empty; null
// `args` as no arguments.
CSmallWStr BuildInvokeXml(const wchar_t* name, const VARIANT* args, int count);

// Steps of the ExternalInterface path, exposed for tests. Finds "__flash__toXML(" and, after it,
// ")) ; } catch (e)" in `script` and splits the text between them into the command and the
// argument text, removing one pair of enclosing quotes ('"' or '\'') or reading a bare "null" as
// empty. The command is the function name as the movie wrote it and may hold "(", ")" and quotes;
// the arguments are what the plug-in wrote as script literals (strings in either quote with
// backslash escapes, numbers, null, true, false, separated by commas). So the split is at the
// first "(" after which the rest is such a list (possibly empty); when there is none, at the first
// "(". False, with the outputs untouched, when either marker or the "(" is missing.
bool ParseExternalCall(const std::string& script, std::string* command, std::string* argument);

// The window object class (NPClass version 3): 8-byte objects whose callbacks all succeed without
// touching their outputs.
NPClass* GetWindowObjectClass();
// A new window object with one reference, or null when memory runs out.
NPObject* NewWindowObject();

// The bridge as the browser table reaches it; installed by the first CFlashHolder. The host passed
// to each entry must be a live CFlashHolder for the entry to act.
IBrowserScripting* GetScriptingBridge();

// The holders that exist (the bridge looks the JRI peer calls' target up here).
void RegisterFlashHolder(CFlashHolder* holder);
void UnregisterFlashHolder(CFlashHolder* holder);
