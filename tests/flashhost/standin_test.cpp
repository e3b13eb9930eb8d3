// The host against the real stand-in plug-in, written out of this executable's carried image:
// loading, the instance, stream delivery and requests as the plug-in reports them in its
// transcript, and shutdown.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "data/loader.h"
#include "data/pseudourl.h"
#include "fakes.h"
#include "flashhost/pluginhost.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "support/folders.h"
#include "transcript_reader.h"

namespace {

const std::string kPrefix = kPseudoUrlPrefix;

class StandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(game_.ok());
    loader_ = std::make_unique<CFileLoader>(game_.path().c_str());
    host_.SetFileLoader(loader_.get());
    host_.SetUrlOpener(&opener_);
    host_.SetJRIPeer(&peer_);
    ASSERT_EQ(S_OK, host_.LoadPlugin());
    char mime[] = "application/x-shockwave-flash";
    ASSERT_EQ(NPERR_NO_ERROR, host_.NppNew(mime, NP_EMBED, 0, nullptr, nullptr, nullptr));
  }

  void TearDown() override {
    host_.SetJRIPeer(&peer_);
    host_.ShutdownPlugin();
    DeletePluginFiles();
  }

  // Plays `scene` as the main movie and returns what the plug-in reported meanwhile.
  std::vector<TranscriptEvent> PlayMovie(const std::string& scene) {
    game_.Disk("movie.txt", scene);
    transcript_.Take();
    EXPECT_EQ(S_OK, host_.OpenMovieStream("movie.txt"));
    return transcript_.Take();
  }

  std::vector<TranscriptEvent> Serve() {
    host_.ServeNotifications();
    return transcript_.Take();
  }

  // The transcript must exist before the plug-in is loaded, so it comes first.
  CTranscriptFile transcript_;
  vexa::testing::CTempFolder game_;
  std::unique_ptr<CFileLoader> loader_;
  CRecordingOpener opener_;
  int peer_ = 0;
  CPluginHost host_;
};

TEST_F(StandinTest, LoadExchangesTablesAndCreatesTheInstance) {
  const std::vector<TranscriptEvent> events = transcript_.Take();
  const int entry = IndexOf(events, "NP_GetEntryPoints");
  const int init = IndexOf(events, "NP_Initialize");
  const int created = IndexOf(events, "NPP_New");
  ASSERT_GE(entry, 0);
  EXPECT_EQ(std::to_string(sizeof(NPPluginFuncs)), events[entry].Get("size"));
  EXPECT_EQ("0", events[entry].Get("result"));
  ASSERT_GT(init, entry);
  EXPECT_EQ("22", events[init].Get("version"));
  EXPECT_EQ(std::to_string(sizeof(NPNetscapeFuncs)), events[init].Get("size"));
  ASSERT_GT(created, init);
  EXPECT_EQ("application/x-shockwave-flash", events[created].Get("mime"));
  EXPECT_EQ("1", events[created].Get("mode"));
  EXPECT_EQ("0", events[created].Get("result"));
}

TEST_F(StandinTest, MainMovieIsDeliveredAtOnceAndRequestsWaitForTheQueue) {
  const std::string scene =
      "log \"movie started\"\n"
      "loadtext t1 0 0 \"notes/read%20me.txt\"\n";
  game_.Folder("notes");
  game_.Disk("notes/read me.txt", "hello world");
  std::vector<TranscriptEvent> events = PlayMovie(scene);

  const std::vector<TranscriptEvent> opened = Named(events, "NPP_NewStream");
  ASSERT_EQ(1u, opened.size());
  EXPECT_EQ(kPrefix + "movie.txt", opened[0].Get("url"));
  EXPECT_EQ("application/x-shockwave-flash", opened[0].Get("mime"));
  EXPECT_EQ("1", opened[0].Get("seekable"));
  EXPECT_EQ("0", opened[0].Get("end"));
  const std::vector<TranscriptEvent> closed = Named(events, "NPP_DestroyStream");
  ASSERT_EQ(1u, closed.size());
  EXPECT_EQ(std::to_string(scene.size()), closed[0].Get("bytes"));
  EXPECT_EQ("0", closed[0].Get("reason"));
  EXPECT_GE(IndexOf(events, "log", "text", "movie started"), 0);
  // The main movie gets no notification; the request is only queued.
  EXPECT_EQ(-1, IndexOf(events, "NPP_URLNotify"));
  const std::vector<TranscriptEvent> requested = Named(events, "NPN_GetURLNotify");
  ASSERT_EQ(1u, requested.size());
  EXPECT_EQ("notes/read%20me.txt", requested[0].Get("url"));
  EXPECT_EQ("0", requested[0].Get("result"));
  EXPECT_EQ(1u, host_.GetPendingNotificationCount());

  events = Serve();
  const int newStream = IndexOf(events, "NPP_NewStream");
  const int write = IndexOf(events, "NPP_Write");
  const int destroy = IndexOf(events, "NPP_DestroyStream");
  const int notify = IndexOf(events, "NPP_URLNotify");
  ASSERT_GE(newStream, 0);
  EXPECT_LT(newStream, write);
  EXPECT_LT(write, destroy);
  EXPECT_LT(destroy, notify);
  // The record keeps "%20"; the file is read with a space.
  EXPECT_EQ(kPrefix + "notes/read%20me.txt", events[newStream].Get("url"));
  EXPECT_EQ(requested[0].Get("notify"), events[newStream].Get("notify"));
  EXPECT_EQ("0", events[write].Get("offset"));
  EXPECT_EQ("11", events[write].Get("len"));
  EXPECT_EQ("11", events[destroy].Get("bytes"));
  EXPECT_EQ("notes/read%20me.txt", events[notify].Get("url"));
  EXPECT_EQ("0", events[notify].Get("reason"));
  EXPECT_EQ(requested[0].Get("notify"), events[notify].Get("notify"));
  const std::vector<TranscriptEvent> loaded = Named(events, "loaded", "key", "t1");
  ASSERT_EQ(1u, loaded.size());
  EXPECT_EQ("11", loaded[0].Get("bytes"));
  EXPECT_EQ(0u, host_.GetPendingNotificationCount());
}

TEST_F(StandinTest, MissingFileArrivesAsAnEmptyStream) {
  std::vector<TranscriptEvent> events = PlayMovie("loadtext t1 0 0 \"no/such.txt\"\n");
  ASSERT_EQ(1u, Named(events, "NPN_GetURLNotify").size());
  events = Serve();
  const int newStream = IndexOf(events, "NPP_NewStream");
  ASSERT_GE(newStream, 0);
  EXPECT_EQ("0", events[newStream].Get("end"));
  EXPECT_EQ(-1, IndexOf(events, "NPP_Write"));
  const int destroy = IndexOf(events, "NPP_DestroyStream");
  ASSERT_GT(destroy, newStream);
  EXPECT_EQ("0", events[destroy].Get("reason"));
  EXPECT_EQ("0", events[destroy].Get("bytes"));
  const int notify = IndexOf(events, "NPP_URLNotify");
  ASSERT_GT(notify, destroy);
  EXPECT_EQ("0", events[notify].Get("reason"));
  // To the movie this is an empty file, not a failure.
  EXPECT_EQ(1u, Named(events, "loaded", "bytes", "0").size());
  EXPECT_EQ(-1, IndexOf(events, "error"));
}

TEST_F(StandinTest, PageAddressRequestIsAnsweredWithThePseudoPage) {
  std::vector<TranscriptEvent> events = PlayMovie(
      "pageurl page\n"
      "on loaded page\n"
      "  log \"page=${page}\"\n"
      "end\n");
  ASSERT_EQ(1u, Named(events, "NPN_GetURLNotify").size());
  events = Serve();
  const int newStream = IndexOf(events, "NPP_NewStream");
  ASSERT_GE(newStream, 0);
  EXPECT_EQ("text/html", events[newStream].Get("mime"));
  EXPECT_EQ("0", events[newStream].Get("seekable"));
  const std::string answer = kPrefix + "default.html__flashplugin_unique__";
  EXPECT_EQ(std::to_string(answer.size()), Named(events, "NPP_DestroyStream")[0].Get("bytes"));
  EXPECT_EQ(1u, Named(events, "log", "text", "page=" + kPrefix + "default.html").size());
}

TEST_F(StandinTest, RequestsMadeWhileServingWaitForTheNextPass) {
  game_.Disk("one.txt", "loadscene 2 \"two.txt\"\n");
  game_.Disk("two.txt", "log \"two loaded\"\n");
  std::vector<TranscriptEvent> events = PlayMovie("loadscene 1 \"one.txt\"\n");
  ASSERT_EQ(1u, Named(events, "NPN_GetURLNotify").size());
  events = Serve();
  std::vector<TranscriptEvent> notes = Named(events, "NPP_URLNotify");
  ASSERT_EQ(1u, notes.size());
  EXPECT_EQ("one.txt", notes[0].Get("url"));
  EXPECT_EQ(1u, host_.GetPendingNotificationCount());
  events = Serve();
  notes = Named(events, "NPP_URLNotify");
  ASSERT_EQ(1u, notes.size());
  EXPECT_EQ("two.txt", notes[0].Get("url"));
  EXPECT_EQ(1u, Named(events, "log", "text", "two loaded").size());
  EXPECT_EQ(0u, host_.GetPendingNotificationCount());
}

TEST_F(StandinTest, AMovieRequestingFromItsLoadHandlerReturnsToTheLoopAfterEveryAnswer) {
  game_.Disk("tick.txt", "tick");
  PlayMovie(
      "loadtext t 0 0 \"tick.txt\"\n"
      "on loaded t\n"
      "  add n 1\n"
      "  log \"round ${n}\"\n"
      "  if $n < 40\n"
      "    loadtext t 0 0 \"tick.txt\"\n"
      "  end\n"
      "end\n");
  for (int round = 1; round <= 20; ++round) {
    const std::vector<TranscriptEvent> events = Serve();
    // One answer per pass: the request its handler makes waits for the next.
    ASSERT_EQ(1u, Named(events, "NPP_URLNotify").size()) << "round " << round;
    EXPECT_EQ(1u, Named(events, "log", "text", "round " + std::to_string(round)).size());
    EXPECT_EQ(1u, host_.GetPendingNotificationCount());
  }
}

TEST_F(StandinTest, NavigationOpensOutsideWithoutAStream) {
  game_.Folder("help");
  game_.Disk("help/index.html", "<p>help</p>");
  std::string page;
  ASSERT_TRUE(vexa::platform::ResolveShellPath(game_.path() + "help/index.html", &page));
  // Relative navigation is read against the working directory.
  std::vector<TranscriptEvent> events;
  {
    CWorkingDirectoryChange cwd(game_.path());
    ASSERT_TRUE(cwd.ok());
    events = PlayMovie(
        "navigate \"help/index.html\" \"_blank\"\n"
        "navigate \"help/../movie.exe\" \"_blank\"\n");
  }
  const std::vector<TranscriptEvent> requested = Named(events, "NPN_GetURLNotify");
  ASSERT_EQ(2u, requested.size());
  EXPECT_EQ("0", requested[0].Get("result"));
  EXPECT_EQ("0", requested[1].Get("result"));
  // The program is not handed over; the page is, as the file system names it.
  EXPECT_EQ(std::vector<std::string>{page}, opener_.opened);
  EXPECT_EQ(0u, host_.GetPendingNotificationCount());
  events = Serve();
  EXPECT_EQ(-1, IndexOf(events, "NPP_NewStream"));
}

TEST_F(StandinTest, ShutdownDetachesDestroysAndUnloads) {
  const std::string file = vexa::platform::WideToAnsi(host_.GetPluginFileName());
  PlayMovie("loadtext t1 0 0 \"late.txt\"\n");
  ASSERT_EQ(1u, host_.GetPendingNotificationCount());
  transcript_.Take();

  host_.ShutdownPlugin();
  const std::vector<TranscriptEvent> events = transcript_.Take();
  const int window = IndexOf(events, "NPP_SetWindow");
  const int destroy = IndexOf(events, "NPP_Destroy");
  ASSERT_GE(window, 0);
  EXPECT_EQ("null", events[window].Get("window"));
  EXPECT_EQ("0", events[window].Get("width"));
  ASSERT_GT(destroy, window);
  EXPECT_EQ("0", events[destroy].Get("result"));
  // The pending request belonged to the destroyed instance.
  EXPECT_EQ(0u, host_.GetPendingNotificationCount());
  EXPECT_EQ(-1, IndexOf(events, "NPP_URLNotify"));
  EXPECT_FALSE(host_.IsPluginLoaded());
  EXPECT_TRUE(vexa::platform::PathExists(file));
  DeletePluginFiles();
  EXPECT_FALSE(vexa::platform::PathExists(file));
}

}  // namespace
