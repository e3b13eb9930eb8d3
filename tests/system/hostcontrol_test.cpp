// CHostControlImpl against a real file loader over a game folder and a recording holder.
#include "system/hostcontrol.h"

#include <gtest/gtest.h>

#include <string>

#include "data/loader.h"
#include "platform/comstream.h"
#include "support.h"

namespace {

using system_test::CFakeHolder;
using system_test::CGameFolder;
using system_test::Utf8;

class HostControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, CHostControlImpl::Create(&raw_));
    host_.reset(raw_);
    loader_ = std::make_unique<CFileLoader>(game_.path().c_str());
  }

  void Wire() {
    host_->SetFileLoader(loader_.get());
    host_->SetFlashHolder(&holder_);
  }

  // Opens `path` and reads the stream: "pos=<position at open> size=<Stat size> <bytes>".
  std::string Open(const wchar_t* path, HRESULT* status) {
    IStream* stream = reinterpret_cast<IStream*>(&stream);  // garbage the call must replace
    *status = host_->OpenFileStream(path, &stream);
    if (FAILED(*status)) {
      EXPECT_EQ(nullptr, stream) << Utf8(std::wstring(path));
      return "";
    }
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    ULARGE_INTEGER position;
    EXPECT_EQ(S_OK, stream->Seek(zero, STREAM_SEEK_CUR, &position));
    STATSTG stat;
    EXPECT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
    std::string bytes;
    char buffer[1000];
    ULONG got = 0;
    while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &got)) && got) bytes.append(buffer, got);
    stream->Release();
    return "pos=" + std::to_string(position.QuadPart) +
           " size=" + std::to_string(stat.cbSize.QuadPart) + " " + bytes;
  }

  CGameFolder game_;
  CFakeHolder holder_;
  std::unique_ptr<CFileLoader> loader_;
  CHostControlImpl* raw_ = nullptr;
  CHostControlPtr host_;
};

TEST_F(HostControlTest, AnswersItsInterfaceAndCountsReferences) {
  void* object = nullptr;
  ASSERT_EQ(S_OK, host_->QueryInterface(IID_IVEXAHostControl, &object));
  EXPECT_EQ(static_cast<IVEXAHostControl*>(raw_), object);
  void* unknown = nullptr;
  ASSERT_EQ(S_OK, host_->QueryInterface(IID_IUnknown, &unknown));
  EXPECT_EQ(object, unknown);
  // Two references from the queries plus the creator's.
  EXPECT_EQ(4u, raw_->AddRef());
  EXPECT_EQ(3u, raw_->Release());
  EXPECT_EQ(2u, raw_->Release());
  EXPECT_EQ(1u, raw_->Release());

  for (const IID* other : {&IID_IDispatch, &IID_IVEXAPluginObject}) {
    void* refused = &refused;
    EXPECT_EQ(E_NOINTERFACE, host_->QueryInterface(*other, &refused));
    EXPECT_EQ(nullptr, refused);
  }
  EXPECT_EQ(E_POINTER, host_->QueryInterface(IID_IUnknown, nullptr));
}

TEST_F(HostControlTest, OpensAFileOfThePackageAtPositionZeroWithItsLength) {
  std::string binary("PK\0\x01\xff", 5);
  for (int i = 0; i < 3000; ++i) binary += static_cast<char>(i % 251);
  game_.Package({{"docs/readme.txt", "first line\nsecond line\n"},
                 {"data/level.bin", binary},
                 {"empty.txt", ""}});
  game_.Disk("loose.txt", "beside the player");
  Wire();

  struct Case {
    const wchar_t* path;
    std::string expected;
  };
  const Case cases[] = {
      {L"docs/readme.txt", "pos=0 size=23 first line\nsecond line\n"},
      {L"DOCS\\README.TXT", "pos=0 size=23 first line\nsecond line\n"},  // case, separator
      {L"readme.txt", "pos=0 size=23 first line\nsecond line\n"},        // by name suffix
      {L"data/level.bin", "pos=0 size=3005 " + binary},
      {L"loose.txt", "pos=0 size=17 beside the player"},  // not in the package: the disk
  };
  for (const Case& c : cases) {
    HRESULT hr = E_UNEXPECTED;
    EXPECT_EQ(c.expected, Open(c.path, &hr)) << Utf8(std::wstring(c.path));
    EXPECT_EQ(S_OK, hr) << Utf8(std::wstring(c.path));
  }
}

TEST_F(HostControlTest, MissingOrEmptyFilesAreDeniedAndUnwiredHostIsUnexpected) {
  game_.Package({{"empty.txt", ""}});
  game_.Disk("../outside.txt", "next to the game folder, not in it");
  HRESULT hr = S_OK;
  Open(L"anything.txt", &hr);
  EXPECT_EQ(E_UNEXPECTED, hr);  // no loader yet

  Wire();
  Open(L"missing.txt", &hr);
  EXPECT_EQ(E_ACCESSDENIED, hr);
  Open(L"empty.txt", &hr);
  EXPECT_EQ(E_ACCESSDENIED, hr);
  Open(L"", &hr);
  EXPECT_EQ(E_ACCESSDENIED, hr);
  // Outside the game folder the loader does not look.
  Open(L"../outside.txt", &hr);
  EXPECT_EQ(E_ACCESSDENIED, hr);
}

TEST_F(HostControlTest, RefusesNullArgumentsWithoutTouchingAnything) {
  Wire();
  IStream* stream = reinterpret_cast<IStream*>(&stream);
  BSTR text = reinterpret_cast<BSTR>(&text);
  struct Case {
    const char* call;
    HRESULT status;
  };
  const Case cases[] = {
      {"OpenFileStream(null, out)", host_->OpenFileStream(nullptr, &stream)},
      {"OpenFileStream(path, null)", host_->OpenFileStream(L"x", nullptr)},
      {"GetHostFolder(null)", host_->GetHostFolder(nullptr)},
      {"ReadMovieVariable(null, out)", host_->ReadMovieVariable(nullptr, &text)},
      {"ReadMovieVariable(name, null)", host_->ReadMovieVariable(L"x", nullptr)},
      {"WriteResult(null, value)", host_->WriteResult(nullptr, L"v")},
      {"WriteResult(name, null)", host_->WriteResult(L"n", nullptr)},
  };
  for (const Case& c : cases) EXPECT_EQ(E_INVALIDARG, c.status) << c.call;
  EXPECT_TRUE(holder_.results.empty());
  EXPECT_TRUE(holder_.narrowVariableReads.empty());
}

TEST_F(HostControlTest, HostFolderEndsWithASlash) {
  BSTR folder = nullptr;
  // By default: the executable's folder.
  ASSERT_EQ(S_OK, host_->GetHostFolder(&folder));
  EXPECT_EQ(GetExecutableFolder().str(), Utf8(folder));
  ASSERT_GT(SysStringLen(folder), 0u);
  EXPECT_EQ(L'/', folder[SysStringLen(folder) - 1]);
  SysFreeString(folder);

  const struct {
    const char* given;
    const char* reported;
  } cases[] = {
      {"C:\\Games\\Demo", "C:/Games/Demo/"},
      {"/games/demo/", "/games/demo/"},
      {"relative\\x\\", "relative/x/"},
  };
  for (const auto& c : cases) {
    host_->SetHostFolder(c.given);
    folder = nullptr;
    ASSERT_EQ(S_OK, host_->GetHostFolder(&folder)) << c.given;
    EXPECT_EQ(c.reported, Utf8(folder)) << c.given;
    SysFreeString(folder);
  }
  host_->SetHostFolder("");
  EXPECT_EQ(GetExecutableFolder().str(), host_->GetHostFolderText());
}

TEST_F(HostControlTest, ReadsMovieVariablesThroughTheHolder) {
  BSTR value = reinterpret_cast<BSTR>(&value);
  EXPECT_EQ(E_UNEXPECTED, host_->ReadMovieVariable(L"_root.score", &value));
  EXPECT_EQ(nullptr, value);

  Wire();
  holder_.variables[L"_root.score"] = "1250";
  holder_.variables[L"_root.empty"] = "";
  ASSERT_EQ(S_OK, host_->ReadMovieVariable(L"_root.score", &value));
  EXPECT_EQ("1250", Utf8(value));
  SysFreeString(value);
  ASSERT_EQ(S_OK, host_->ReadMovieVariable(L"_root.empty", &value));
  EXPECT_EQ("", Utf8(value));
  SysFreeString(value);

  value = reinterpret_cast<BSTR>(&value);
  EXPECT_EQ(E_FAIL, host_->ReadMovieVariable(L"_root.missing", &value));  // the holder's status
  EXPECT_EQ(nullptr, value);
}

TEST_F(HostControlTest, WritesResultsThroughTheHolderKeepingEveryCharacter) {
  EXPECT_EQ(E_UNEXPECTED, host_->WriteResult(L"n", L"v"));
  Wire();
  // Characters outside any single-byte code page must not turn into '?' on the way.
  const std::wstring text = L"caf\u00e9 \u65e5\u672c \u0416";
  ASSERT_EQ(S_OK, host_->WriteResult(L"label", text.c_str()));
  ASSERT_EQ(S_OK, host_->WriteResult(L"", L""));
  ASSERT_EQ(2u, holder_.results.size());
  EXPECT_EQ(L"label", holder_.results[0].first);
  EXPECT_EQ(text, holder_.results[0].second);
  EXPECT_EQ(L"", holder_.results[1].second);
}

TEST_F(HostControlTest, ReservedSlotsAnswerAsDocumented) {
  LONG out = 77;
  EXPECT_EQ(E_NOTIMPL, host_->Reserved8(1, 2, &out));
  EXPECT_EQ(0, out);
  EXPECT_EQ(E_NOTIMPL, host_->Reserved8(1, 2, nullptr));

  EXPECT_EQ(E_UNEXPECTED, host_->Reserved7(1, 2, 3));
  Wire();
  EXPECT_EQ(E_FAIL, host_->Reserved7(1, 2, 3));
  EXPECT_EQ(1, holder_.reserved12Calls);
}

// The interface is a binary contract with separately built libraries: the slots must stay where
// the header says they are.
TEST(HostControlLayout, SlotsKeepTheirOrder) {
  struct Probe {
    void** vtable;
  };
  CHostControlImpl* raw = nullptr;
  ASSERT_EQ(S_OK, CHostControlImpl::Create(&raw));
  CHostControlPtr host(raw);
  IVEXAHostControl* iface = raw;
  // Slot 8 through the raw vtable: Reserved8 is the only one with a recognisable answer and no
  // wiring needed.
  using Slot8 = HRESULT(STDMETHODCALLTYPE*)(IVEXAHostControl*, LONG, LONG, LONG*);
  void** vtable = reinterpret_cast<Probe*>(iface)->vtable;
  LONG out = 5;
  EXPECT_EQ(E_NOTIMPL, reinterpret_cast<Slot8>(vtable[8])(iface, 0, 0, &out));
  EXPECT_EQ(0, out);
  // Slot 4, GetHostFolder.
  using Slot4 = HRESULT(STDMETHODCALLTYPE*)(IVEXAHostControl*, BSTR*);
  BSTR folder = nullptr;
  EXPECT_EQ(S_OK, reinterpret_cast<Slot4>(vtable[4])(iface, &folder));
  EXPECT_EQ(GetExecutableFolder().str(), Utf8(folder));
  SysFreeString(folder);
}

}  // namespace
