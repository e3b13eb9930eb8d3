#include "platform/mixer.h"

namespace vexa::platform {

namespace {

// No system mixer the player could rely on: the device never opens.
class CNoMixer : public IMixerDevice {
 public:
  bool Open(IMixerListener*, MixerSpeakersLine*) override { return false; }
  void Close() override {}
  bool ReadControl(uint32_t, uint32_t*) override { return false; }
  bool WriteControl(uint32_t, uint32_t) override { return false; }
};

}  // namespace

std::unique_ptr<IMixerDevice> CreateSystemMixer() {
  return std::make_unique<CNoMixer>();
}

}  // namespace vexa::platform
