// URL requests, the notification queue and stream delivery, against a plug-in table of recording
// functions (no library loaded).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/pseudourl.h"
#include "fakes.h"
#include "flashhost/browserfuncs.h"
#include "flashhost/netscapestream.h"
#include "flashhost/pluginhost.h"
#include "platform/process.h"

namespace {

const std::string kPrefix = kPseudoUrlPrefix;
constexpr uint32_t kLastModified = 0xAE1BC2A7u;

void* Notify(uintptr_t value) {
  return reinterpret_cast<void*>(value);
}

class RequestsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallFakePlugin(&host_, &plugin_);
    host_.SetFileLoader(&loader_);
    host_.SetUrlOpener(&opener_);
    host_.SetJRIPeer(&peer_);
    // The instance exists before it can ask for anything.
    char mime[] = "application/x-shockwave-flash";
    ASSERT_EQ(NPERR_NO_ERROR, host_.NppNew(mime, NP_EMBED, 0, nullptr, nullptr, nullptr));
    plugin_.log.clear();
  }

  NPError Request(const char* url, const char* target = nullptr, uintptr_t notify = 0) {
    return host_.GetBrowserFuncs()->geturlnotify(host_.GetInstance(), url, target, Notify(notify));
  }

  // The log lines from the first NewStream on, without the WriteReady lines.
  std::vector<std::string> Calls() const {
    std::vector<std::string> out;
    for (const std::string& line : plugin_.log)
      if (line != "WriteReady") out.push_back(line);
    return out;
  }

  int peer_ = 0;
  FakePlugin plugin_;
  CFakeLoader loader_;
  CRecordingOpener opener_;
  CPluginHost host_;
};

TEST_F(RequestsTest, RequestIsQueuedAndAnsweredOnlyWhenServed) {
  loader_.files["movie/intro.swf"] = "FWS-bytes";
  EXPECT_EQ(NPERR_NO_ERROR, Request("movie/intro.swf", nullptr, 7));
  EXPECT_TRUE(plugin_.log.empty()) << "nothing may happen inside the plug-in's own call";
  EXPECT_EQ(1u, host_.GetPendingNotificationCount());

  host_.ServeNotifications();

  const std::string url = kPrefix + "movie/intro.swf";
  const std::vector<std::string> expected = {
      "NewStream mime=application/x-shockwave-flash seekable=1 url=" + url +
          " end=0 notify=7 lastmodified=" + std::to_string(kLastModified) + " headers=null",
      "Write offset=0 len=9 end=9",
      "DestroyStream reason=0 url=" + url + " end=9 notify=7",
      "URLNotify url=movie/intro.swf reason=0 notify=7",
  };
  EXPECT_EQ(expected, Calls());
  EXPECT_EQ("FWS-bytes", plugin_.received);
  EXPECT_EQ(0u, host_.GetPendingNotificationCount());
  // The file is read through Load with no package name, under the name the plug-in wrote.
  EXPECT_EQ(std::vector<std::string>{"movie/intro.swf"}, loader_.loads);
  EXPECT_EQ(std::vector<std::string>{"(null)"}, loader_.packageNames);
  EXPECT_EQ(0, loader_.otherCalls);
  EXPECT_TRUE(plugin_.ndataAlwaysHost);
}

TEST_F(RequestsTest, WriteReadyPrecedesEveryWrite) {
  loader_.files["a.txt"] = "abcdef";
  plugin_.acceptPlan = {4, 2};
  Request("a.txt");
  host_.ServeNotifications();
  const std::vector<std::string> expected = {"NewStream",     "WriteReady", "WriteReady",
                                             "Write",         "WriteReady", "Write",
                                             "DestroyStream", "URLNotify"};
  std::vector<std::string> names;
  for (const std::string& line : plugin_.log) names.push_back(line.substr(0, line.find(' ')));
  EXPECT_EQ(expected, names);
}

TEST_F(RequestsTest, PseudoUrlRequestKeepsItsUrlAndSpacesAreReadForPercent20) {
  struct Case {
    const char* request;
    const char* streamUrl;
    const char* loaded;
  };
  const std::string pseudo = kPrefix + "data.pak/end_of_story/a%20b/c%20d.txt";
  const std::string pseudoLoaded = kPrefix + "data.pak/end_of_story/a b/c d.txt";
  const std::string relative = kPrefix + "my%20file%20.txt";
  const Case cases[] = {
      {"my%20file%20.txt", relative.c_str(), "my file .txt"},
      {pseudo.c_str(), pseudo.c_str(), pseudoLoaded.c_str()},
      // Only the exact prefix counts as already absolute.
      {"HTTP://game.invalid/x.txt", "http://game.invalid/HTTP://game.invalid/x.txt",
       "HTTP://game.invalid/x.txt"},
      {"%2", "http://game.invalid/%2", "%2"},
      // The query of a movie variant's URL is the movie's, not part of the file name.
      {"movie.scene?wide=1&x=%20", "http://game.invalid/movie.scene?wide=1&x=%20", "movie.scene"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    plugin_.log.clear();
    loader_.loads.clear();
    loader_.files[c.loaded] = "x";
    Request(c.request);
    host_.ServeNotifications();
    ASSERT_EQ(1u, loader_.loads.size());
    EXPECT_EQ(c.loaded, loader_.loads[0]);
    ASSERT_FALSE(plugin_.log.empty());
    EXPECT_NE(std::string::npos, plugin_.log[0].find(std::string(" url=") + c.streamUrl + " "))
        << plugin_.log[0];
    EXPECT_EQ(std::string("URLNotify url=") + c.request + " reason=0 notify=0", plugin_.log.back());
  }
}

TEST_F(RequestsTest, MissingFileIsAnEmptyStreamFollowedByDoneNotification) {
  Request("nowhere.swf", nullptr, 3);
  host_.ServeNotifications();
  const std::string url = kPrefix + "nowhere.swf";
  const std::vector<std::string> expected = {
      "NewStream mime=application/x-shockwave-flash seekable=1 url=" + url +
          " end=0 notify=3 lastmodified=" + std::to_string(kLastModified) + " headers=null",
      "DestroyStream reason=0 url=" + url + " end=0 notify=3",
      "URLNotify url=nowhere.swf reason=0 notify=3",
  };
  EXPECT_EQ(expected, Calls());
}

TEST_F(RequestsTest, EmptyFileIsDeliveredWithoutWrites) {
  loader_.files["empty.txt"] = "";
  Request("empty.txt");
  host_.ServeNotifications();
  ASSERT_EQ(3u, Calls().size());
  EXPECT_EQ(0u, plugin_.writeCalls);
}

TEST_F(RequestsTest, PartialWritesContinueAtTheRightByte) {
  struct Case {
    std::vector<int32_t> plan;
    std::vector<std::string> writes;
  };
  const Case cases[] = {
      {{3},
       {"Write offset=0 len=10 end=10", "Write offset=3 len=7 end=10",
        "Write offset=6 len=4 end=10", "Write offset=9 len=1 end=10"}},
      // Refusals in between only repeat the offer.
      {{4, 0, 0, 6},
       {"Write offset=0 len=10 end=10", "Write offset=4 len=6 end=10",
        "Write offset=4 len=6 end=10", "Write offset=4 len=6 end=10"}},
      // Claiming more than offered ends the delivery.
      {{7, 100}, {"Write offset=0 len=10 end=10", "Write offset=7 len=3 end=10"}},
  };
  for (const Case& c : cases) {
    plugin_ = FakePlugin();
    InstallFakePlugin(&host_, &plugin_);
    plugin_.acceptPlan = c.plan;
    loader_.files["ten.bin"] = "0123456789";
    Request("ten.bin");
    host_.ServeNotifications();
    std::vector<std::string> writes;
    for (const std::string& line : Calls())
      if (line.rfind("Write ", 0) == 0) writes.push_back(line);
    EXPECT_EQ(c.writes, writes);
    EXPECT_EQ("0123456789", plugin_.received);
    EXPECT_EQ("URLNotify url=ten.bin reason=0 notify=0", Calls().back());
  }
}

TEST_F(RequestsTest, NegativeWriteStopsDeliveryButStreamIsStillClosedAndNotified) {
  loader_.files["f.bin"] = "0123456789";
  plugin_.acceptPlan = {2, -1};
  Request("f.bin");
  host_.ServeNotifications();
  EXPECT_EQ(2u, plugin_.writeCalls);
  EXPECT_EQ("01", plugin_.received);
  const std::vector<std::string> calls = Calls();
  ASSERT_EQ(5u, calls.size());
  EXPECT_EQ(0u, calls[3].rfind("DestroyStream reason=0 ", 0));
  EXPECT_EQ(0u, calls[4].rfind("URLNotify url=f.bin reason=0", 0));
}

TEST_F(RequestsTest, PluginThatNeverTakesABytePassesAfterBoundedAttempts) {
  loader_.files["stuck.bin"] = "xyz";
  plugin_.acceptPlan = {1, 0};
  Request("stuck.bin");
  host_.ServeNotifications();
  EXPECT_EQ(1u + static_cast<size_t>(kMaxRefusedWrites), plugin_.writeCalls);
  EXPECT_EQ("x", plugin_.received);
  EXPECT_EQ("URLNotify url=stuck.bin reason=0 notify=0", Calls().back());
}

TEST_F(RequestsTest, AskedStreamTypeIsNotHonoured) {
  loader_.files["f.swf"] = "abc";
  plugin_.askStreamType = NP_ASFILEONLY;
  Request("f.swf");
  host_.ServeNotifications();
  EXPECT_EQ("abc", plugin_.received);
}

TEST_F(RequestsTest, PageAddressRequestIsAnsweredFromMemory) {
  EXPECT_EQ(NPERR_NO_ERROR,
            Request("javascript:top.location+\"__flashplugin_unique__\"", nullptr, 5));
  host_.ServeNotifications();
  const std::string answer = kPrefix + "default.html__flashplugin_unique__";
  const std::string url = kPrefix + "javascript:top.location+\"__flashplugin_unique__\"";
  const std::vector<std::string> expected = {
      "NewStream mime=text/html seekable=0 url=" + url +
          " end=0 notify=5 lastmodified=" + std::to_string(kLastModified) + " headers=null",
      "Write offset=0 len=" + std::to_string(answer.size()) +
          " end=" + std::to_string(answer.size()),
      "DestroyStream reason=0 url=" + url + " end=" + std::to_string(answer.size()) + " notify=5",
      "URLNotify url=javascript:top.location+\"__flashplugin_unique__\" reason=0 notify=5",
  };
  EXPECT_EQ(expected, Calls());
  EXPECT_EQ(answer, plugin_.received);
  EXPECT_TRUE(loader_.loads.empty());
}

TEST_F(RequestsTest, OnlyTheExactPageAddressRequestIsAnsweredFromMemory) {
  const char* nearMisses[] = {
      "javascript:top.location+\"__flashplugin_unique__\" ",
      "JavaScript:top.location+\"__flashplugin_unique__\"",
      "javascript:top.location+'__flashplugin_unique__'",
      "javascript:top.location",
  };
  for (const char* url : nearMisses) {
    SCOPED_TRACE(url);
    plugin_.log.clear();
    loader_.loads.clear();
    Request(url);
    host_.ServeNotifications();
    ASSERT_FALSE(plugin_.log.empty());
    EXPECT_EQ(0u, plugin_.log[0].rfind("NewStream mime=application/x-shockwave-flash", 0));
    EXPECT_EQ(std::vector<std::string>{url}, loader_.loads);
  }
}

TEST_F(RequestsTest, RequestWithTargetIsNavigationWithoutStreamOrNotification) {
  // What may be opened is navigation_test.cpp's subject; here: web and mail addresses go out as
  // written, anything refused goes nowhere, and neither makes a stream.
  struct Case {
    const char* url;
    const char* target;
    const char* opened;  // null: refused
  };
  const Case cases[] = {
      {"http://example.com/a", "_self", "http://example.com/a"},
      {"HTTPS://example.com/a?b=c d", "_blank", "HTTPS://example.com/a?b=c%20d"},
      {"mailto:a@http:b", "_blank", "mailto:a@http:b"},
      // Only the scheme counts, not "file:" or "http:" somewhere in the text.
      {"see-file:this", "_top", nullptr},
      {"javascript:alert('http://x')", "_blank", nullptr},
      {"no/such/page.html", "x", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    opener_.opened.clear();
    EXPECT_EQ(NPERR_NO_ERROR, Request(c.url, c.target));
    if (c.opened) {
      EXPECT_EQ(std::vector<std::string>{c.opened}, opener_.opened);
    } else {
      EXPECT_TRUE(opener_.opened.empty());
    }
  }
  EXPECT_EQ(0u, host_.GetPendingNotificationCount());
  host_.ServeNotifications();
  EXPECT_TRUE(plugin_.log.empty());
  EXPECT_TRUE(loader_.loads.empty());
}

TEST_F(RequestsTest, EmptyTargetIsAnOrdinaryRequest) {
  Request("a.swf", "");
  EXPECT_TRUE(opener_.opened.empty());
  EXPECT_EQ(1u, host_.GetPendingNotificationCount());
}

TEST_F(RequestsTest, BadRequestsAreRefusedWithoutEffect) {
  EXPECT_EQ(NPERR_INVALID_URL, Request(nullptr));
  EXPECT_EQ(NPERR_INVALID_INSTANCE_ERROR,
            host_.GetBrowserFuncs()->geturlnotify(nullptr, "a.swf", nullptr, nullptr));
  NPP_t stranger = {nullptr, nullptr};
  EXPECT_EQ(NPERR_INVALID_INSTANCE_ERROR,
            host_.GetBrowserFuncs()->geturlnotify(&stranger, "a.swf", nullptr, nullptr));
  EXPECT_EQ(0u, host_.GetPendingNotificationCount());
}

TEST_F(RequestsTest, APassServesWhatWasQueuedWhenItBeganAndLeavesTheRest) {
  loader_.files["1"] = "a";
  loader_.files["2"] = "b";
  loader_.files["3"] = "c";
  Request("1", nullptr, 1);
  Request("2", nullptr, 2);
  plugin_.requestOnNotify = {"3"};
  host_.ServeNotifications();
  std::vector<std::string> notes;
  for (const std::string& line : plugin_.log)
    if (line.rfind("URLNotify", 0) == 0) notes.push_back(line);
  const std::vector<std::string> expected = {"URLNotify url=1 reason=0 notify=1",
                                             "URLNotify url=2 reason=0 notify=2"};
  EXPECT_EQ(expected, notes);
  EXPECT_EQ("ab", plugin_.received);
  // Asked for from inside the answer to 1: the message loop gets its turn first.
  EXPECT_EQ(1u, host_.GetPendingNotificationCount());

  plugin_.log.clear();
  host_.ServeNotifications();
  ASSERT_FALSE(plugin_.log.empty());
  EXPECT_EQ("URLNotify url=3 reason=0 notify=0", plugin_.log.back());
  EXPECT_EQ("abc", plugin_.received);
  EXPECT_EQ(0u, host_.GetPendingNotificationCount());
}

TEST_F(RequestsTest, AMovieThatAlwaysAsksAgainStillLetsEveryPassEnd) {
  loader_.files["again"] = "x";
  Request("again");
  for (int pass = 1; pass <= 50; ++pass) {
    plugin_.requestOnNotify = {"again"};
    host_.ServeNotifications();
    ASSERT_EQ(1u, host_.GetPendingNotificationCount());
  }
  size_t notes = 0;
  for (const std::string& line : plugin_.log) notes += line.rfind("URLNotify", 0) == 0 ? 1 : 0;
  EXPECT_EQ(50u, notes);
}

TEST_F(RequestsTest, QueueWaitsForPeerAndForURLNotifyEntry) {
  Request("a.swf");
  host_.SetJRIPeer(nullptr);
  host_.ServeNotifications();
  EXPECT_EQ(1u, host_.GetPendingNotificationCount());

  host_.SetJRIPeer(&peer_);
  const NPP_URLNotifyProcPtr notify = host_.GetPluginFuncs()->urlnotify;
  host_.GetPluginFuncs()->urlnotify = nullptr;
  host_.ServeNotifications();
  EXPECT_EQ(1u, host_.GetPendingNotificationCount());
  EXPECT_TRUE(plugin_.log.empty());

  host_.GetPluginFuncs()->urlnotify = notify;
  host_.ServeNotifications();
  EXPECT_EQ(0u, host_.GetPendingNotificationCount());
  EXPECT_EQ("URLNotify url=a.swf reason=0 notify=0", plugin_.log.back());
}

TEST_F(RequestsTest, DroppedRequestsAreNeverAnswered) {
  Request("a.swf");
  Request("b.swf");
  host_.DropNotifications();
  host_.ServeNotifications();
  EXPECT_TRUE(plugin_.log.empty());
}

// A message that serves the queue again from inside its own processing, as a plug-in running a
// message loop inside one of its calls would.
class CReentrantMessage : public CNotifyMessage {
 public:
  explicit CReentrantMessage(std::vector<std::string>* order, const char* name)
      : order_(order), name_(name) {}
  void Process(CPluginHost* host) override {
    order_->push_back(std::string(name_) + " begin");
    host->ServeNotifications();
    order_->push_back(std::string(name_) + " end");
  }

 private:
  std::vector<std::string>* order_;
  const char* name_;
};

TEST_F(RequestsTest, ServingFromInsideAMessageKeepsTheOrder) {
  std::vector<std::string> order;
  host_.QueueNotification(std::make_unique<CReentrantMessage>(&order, "first"));
  host_.QueueNotification(std::make_unique<CReentrantMessage>(&order, "second"));
  host_.ServeNotifications();
  const std::vector<std::string> expected = {"first begin", "first end", "second begin",
                                             "second end"};
  EXPECT_EQ(expected, order);
}

// ---- A delivery whose instance goes away under it

// What a closing command does from inside a call into the plug-in: the movie is closed and opened
// again, and the new instance lives in the same record.
void ReopenInstance(CPluginHost* host) {
  host->NppDestroy();
  char mime[] = "application/x-shockwave-flash";
  host->NppNew(mime, NP_EMBED, 0, nullptr, nullptr, nullptr);
}

// The first word of each log line, without the WriteReady lines.
std::vector<std::string> CallNames(const std::vector<std::string>& log) {
  std::vector<std::string> names;
  for (const std::string& line : log) {
    const std::string name = line.substr(0, line.find(' '));
    if (name != "WriteReady") names.push_back(name);
  }
  return names;
}

TEST_F(RequestsTest, DeliveryEndsWhereACallIntoThePluginReplacedTheInstance) {
  struct Case {
    const char* during;
    std::function<void()> FakePlugin::*hook;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"NPP_NewStream", &FakePlugin::onNewStream, {"NewStream", "Destroy", "New"}},
      // More writes were due (3 bytes at a time): none goes to a stream the new instance never
      // opened, and it is not destroyed there either.
      {"NPP_Write", &FakePlugin::onWrite, {"NewStream", "Write", "Destroy", "New"}},
      // The notification's data belongs to the old instance's request.
      {"NPP_DestroyStream",
       &FakePlugin::onDestroyStream,
       {"NewStream", "Write", "Write", "Write", "Write", "DestroyStream", "Destroy", "New"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.during);
    plugin_ = FakePlugin();
    InstallFakePlugin(&host_, &plugin_);
    plugin_.acceptPlan = {3};
    loader_.files["ten.bin"] = "0123456789";
    Request("ten.bin", nullptr, 7);
    plugin_.*(c.hook) = [this] { ReopenInstance(&host_); };
    host_.ServeNotifications();
    EXPECT_EQ(c.calls, CallNames(plugin_.log));
    EXPECT_EQ(0u, host_.GetPendingNotificationCount());

    // The new instance's own requests are answered as usual.
    plugin_.log.clear();
    Request("ten.bin", nullptr, 9);
    host_.ServeNotifications();
    ASSERT_FALSE(plugin_.log.empty());
    EXPECT_EQ("URLNotify url=ten.bin reason=0 notify=9", plugin_.log.back());
  }
}

TEST_F(RequestsTest, MainMovieDeliveryEndsWhereTheInstanceWasReplaced) {
  loader_.files["game.swf"] = "0123456789";
  plugin_.acceptPlan = {4};
  plugin_.onWrite = [this] { ReopenInstance(&host_); };
  EXPECT_EQ(S_OK, host_.OpenMovieStream("game.swf"));
  const std::vector<std::string> expected = {"NewStream", "Write", "Destroy", "New"};
  EXPECT_EQ(expected, CallNames(plugin_.log));
}

TEST_F(RequestsTest, RequestsOfADestroyedInstanceAreNeverAnswered) {
  loader_.files["a.swf"] = "abc";
  Request("a.swf", nullptr, 4);
  // Destroyed and made again without the queue being dropped: the request is still not the new
  // instance's.
  ReopenInstance(&host_);
  plugin_.log.clear();
  host_.ServeNotifications();
  EXPECT_TRUE(plugin_.log.empty());
  EXPECT_EQ(0u, host_.GetPendingNotificationCount());
}

TEST_F(RequestsTest, DestroyGetsAPlaceForSavedDataAndWhatIsLeftThereIsReleased) {
  for (const bool leave : {false, true}) {
    SCOPED_TRACE(leave ? "saved data left" : "no saved data");
    const size_t blocks = CountHostBlocks();
    const uint32_t generation = host_.GetInstanceGeneration();
    plugin_.leaveSavedData = leave;
    plugin_.destroyGotSavePlace = false;
    EXPECT_EQ(NPERR_NO_ERROR, host_.NppDestroy());
    EXPECT_TRUE(plugin_.destroyGotSavePlace);
    // The record and its buffer went back through memfree.
    EXPECT_EQ(blocks, CountHostBlocks());
    EXPECT_FALSE(host_.IsInstanceCreated());
    EXPECT_NE(generation, host_.GetInstanceGeneration());
    char mime[] = "application/x-shockwave-flash";
    ASSERT_EQ(NPERR_NO_ERROR, host_.NppNew(mime, NP_EMBED, 0, nullptr, nullptr, nullptr));
  }
}

TEST_F(RequestsTest, OpenMovieStreamDeliversAtOnceWithoutNotification) {
  loader_.files["game.swf"] = "movie";
  EXPECT_EQ(S_OK, host_.OpenMovieStream("game.swf"));
  const std::string url = kPrefix + "game.swf";
  const std::vector<std::string> expected = {
      "NewStream mime=application/x-shockwave-flash seekable=1 url=" + url +
          " end=0 notify=0 lastmodified=" + std::to_string(kLastModified) + " headers=null",
      "Write offset=0 len=5 end=5",
      "DestroyStream reason=0 url=" + url + " end=5 notify=0",
  };
  EXPECT_EQ(expected, Calls());
  EXPECT_EQ(0u, host_.GetPendingNotificationCount());
  EXPECT_EQ(E_INVALIDARG, host_.OpenMovieStream(nullptr));
}

TEST_F(RequestsTest, MissingPluginEntriesAreNeverCalled) {
  loader_.files["a.swf"] = "abc";
  NPPluginFuncs* funcs = host_.GetPluginFuncs();
  funcs->newstream = nullptr;
  funcs->writeready = nullptr;
  funcs->write = nullptr;
  funcs->destroystream = nullptr;
  Request("a.swf");
  host_.ServeNotifications();
  EXPECT_EQ(std::vector<std::string>{"URLNotify url=a.swf reason=0 notify=0"}, plugin_.log);
  EXPECT_EQ(S_OK, host_.OpenMovieStream("a.swf"));
  EXPECT_EQ(1u, plugin_.log.size());
}

TEST_F(RequestsTest, NoLoaderMeansEmptyStreams) {
  host_.SetFileLoader(nullptr);
  Request("a.swf");
  host_.ServeNotifications();
  EXPECT_EQ(3u, Calls().size());
  EXPECT_EQ(0u, plugin_.writeCalls);
}

TEST(StreamTest, StreamRecordIsClearedAfterDelivery) {
  CPluginHost host;
  FakePlugin plugin;
  InstallFakePlugin(&host, &plugin);
  CSmartBuffer bytes;
  bytes.Assign("hello", 5);
  CNetscapeStream<CMemoryStorage> stream(host.GetInstance(), "text/plain", "x", Notify(9), bytes);
  EXPECT_EQ(kPrefix + "x", std::string(stream.GetStream().url));
  EXPECT_EQ(Notify(9), stream.GetStream().notifyData);
  stream.Deliver(&host);
  EXPECT_EQ("hello", plugin.received);
  const NPStream& record = stream.GetStream();
  EXPECT_EQ(nullptr, record.url);
  EXPECT_EQ(0u, record.end);
  EXPECT_EQ(0u, record.lastmodified);
  EXPECT_EQ(nullptr, record.notifyData);
  EXPECT_EQ(NPERR_NO_ERROR, stream.GetLastStatus());
}

}  // namespace
