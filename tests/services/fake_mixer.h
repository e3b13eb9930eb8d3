// A mixer device for tests: shows the values of MixerState and records what it is asked, and sends
// notices to its listener when the test says so.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/mixer.h"

namespace services_test {

using vexa::platform::IMixerDevice;
using vexa::platform::IMixerListener;
using vexa::platform::MixerHandle;
using vexa::platform::MixerSpeakersLine;

constexpr MixerHandle kHandle = 0x5150;
constexpr uint32_t kLine = 7;
constexpr uint32_t kVolumeId = 11;
constexpr uint32_t kMuteId = 12;

// What a fake mixer shows and records; outlives the device so tests can look after it is gone.
struct MixerState {
  bool opens = true;
  bool reads = true;
  bool writes = true;
  MixerSpeakersLine line{kHandle, kLine, kVolumeId, 65535, kMuteId};
  std::map<uint32_t, uint32_t> values;
  std::vector<std::pair<uint32_t, uint32_t>> written;
  int openCalls = 0;
  int closeCalls = 0;
  int readCalls = 0;
  IMixerListener* listener = nullptr;
  // Sent from inside Open, before it reports success (a notice that races the opening).
  bool noticeWhileOpening = false;

  void Notice(uint32_t message, MixerHandle mixer, uint32_t id) {
    if (listener) listener->OnMixerNotice(message, mixer, id);
  }
};

class CFakeMixer : public IMixerDevice {
 public:
  explicit CFakeMixer(MixerState* state) : state_(state) {}
  ~CFakeMixer() override { Close(); }

  bool Open(IMixerListener* listener, MixerSpeakersLine* line) override {
    ++state_->openCalls;
    if (!state_->opens) return false;
    state_->listener = listener;
    if (state_->noticeWhileOpening)
      state_->Notice(vexa::platform::kMsgMixerControlChange, kHandle, kVolumeId);
    *line = state_->line;
    open_ = true;
    return true;
  }
  void Close() override {
    if (open_ || state_->listener) ++state_->closeCalls;
    open_ = false;
    state_->listener = nullptr;
  }
  bool ReadControl(uint32_t id, uint32_t* value) override {
    ++state_->readCalls;
    if (!open_ || !state_->reads) return false;
    *value = state_->values[id];
    return true;
  }
  bool WriteControl(uint32_t id, uint32_t value) override {
    if (!open_ || !state_->writes) return false;
    state_->written.emplace_back(id, value);
    state_->values[id] = value;
    return true;
  }

 private:
  MixerState* state_;
  bool open_ = false;
};

inline std::unique_ptr<IMixerDevice> Fake(MixerState* state) {
  return std::make_unique<CFakeMixer>(state);
}

}  // namespace services_test
