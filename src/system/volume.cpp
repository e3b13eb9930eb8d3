#include "system/volume.h"

#include <string>
#include <utility>

#include "flashhost/holder.h"

namespace vexa::system {

uint32_t PercentToMixer(int32_t percent, uint32_t maximum) {
  const uint64_t max = maximum == 0 ? 1 : maximum;
  const uint64_t p = percent < 0 ? 0 : percent > 100 ? 100 : static_cast<uint64_t>(percent);
  // ceiling(p * max / 100); at most max, since p is at most 100.
  return static_cast<uint32_t>((p * max + 99) / 100);
}

int32_t MixerToPercent(uint32_t value, uint32_t maximum) {
  const uint64_t max = maximum == 0 ? 1 : maximum;
  // Nothing is rounded up: a value short of the next percent's step, whoever wrote it, reads as
  // the percent below.
  const uint64_t percent = static_cast<uint64_t>(value) * 100 / max;
  return percent >= 100 ? 100 : static_cast<int32_t>(percent);
}

}  // namespace vexa::system

using vexa::platform::IMixerDevice;
using vexa::platform::MixerHandle;

// ---- CVolumeControl

CVolumeControl::CVolumeControl(std::unique_ptr<IMixerDevice> mixer) : mixer_(std::move(mixer)) {
  if (!mixer_) return;
  vexa::platform::MixerSpeakersLine line;
  if (!mixer_->Open(this, &line)) {
    // A closed control never reaches the mixer again and takes no notices.
    mixer_->Close();
    callback_ = nullptr;
    return;
  }
  line_ = line;
  opened_ = true;
}

CVolumeControl::~CVolumeControl() {
  opened_ = false;
  if (mixer_) mixer_->Close();
}

bool CVolumeControl::GetVolume(int32_t* percent) {
  if (!opened_ || !percent) return false;
  uint32_t value = 0;
  if (!mixer_->ReadControl(line_.volume_control_id, &value)) return false;
  *percent = vexa::system::MixerToPercent(value, line_.volume_maximum);
  return true;
}

bool CVolumeControl::SetVolume(int32_t percent) {
  if (!opened_) return false;
  return mixer_->WriteControl(line_.volume_control_id,
                              vexa::system::PercentToMixer(percent, line_.volume_maximum));
}

bool CVolumeControl::GetMute(bool* muted) {
  if (!opened_ || !muted) return false;
  uint32_t value = 0;
  if (!mixer_->ReadControl(line_.mute_control_id, &value)) return false;
  *muted = value == 1;
  return true;
}

bool CVolumeControl::SetMute(bool muted) {
  if (!opened_) return false;
  return mixer_->WriteControl(line_.mute_control_id, muted ? 1 : 0);
}

void CVolumeControl::OnMixerNotice(uint32_t message, MixerHandle mixer, uint32_t id) {
  if (!opened_ || !callback_ || mixer != line_.mixer) return;
  bool ours = false;
  if (message == vexa::platform::kMsgMixerLineChange) {
    ours = id == line_.line_id;
  } else if (message == vexa::platform::kMsgMixerControlChange) {
    ours = id == line_.volume_control_id || id == line_.mute_control_id;
  }
  if (!ours) return;
  int32_t percent = 0;
  bool muted = false;
  if (!GetVolume(&percent)) percent = 0;
  if (!GetMute(&muted)) muted = false;
  callback_->OnVolumeChanged(percent, muted);
}

// ---- CVolumeControlManager

CVolumeControlManager::CVolumeControlManager()
    : CVolumeControlManager([] { return vexa::platform::CreateSystemMixer(); }) {}

CVolumeControlManager::CVolumeControlManager(MixerFactory factory) : factory_(std::move(factory)) {}

CVolumeControlManager::~CVolumeControlManager() {
  // The control goes first (it closes the mixer), so no notice can reach a manager half gone.
  control_.reset();
}

bool CVolumeControlManager::SetMixerFactory(MixerFactory factory) {
  if (control_) return false;
  factory_ = std::move(factory);
  return true;
}

IVolumeControl* CVolumeControlManager::GetControl() {
  if (!control_) {
    control_ = std::make_unique<CVolumeControl>(factory_ ? factory_() : nullptr);
    control_->SetCallback(this);
  }
  return control_.get();
}

HRESULT CVolumeControlManager::GetVolume(int32_t* volume) {
  if (!volume) return E_POINTER;
  return GetControl()->GetVolume(volume) ? S_OK : E_FAIL;
}

HRESULT CVolumeControlManager::SetVolume(int32_t volume) {
  return GetControl()->SetVolume(volume) ? S_OK : E_FAIL;
}

HRESULT CVolumeControlManager::GetMute(int32_t* muted) {
  if (!muted) return E_POINTER;
  bool value = false;
  if (!GetControl()->GetMute(&value)) return E_FAIL;
  *muted = value ? 1 : 0;
  return S_OK;
}

HRESULT CVolumeControlManager::SetMute(int32_t muted) {
  return GetControl()->SetMute(muted != 0) ? S_OK : E_FAIL;
}

HRESULT CVolumeControlManager::SetReportName(const char* name) {
  // The name switches the reports on; the mixer must be open for any to come.
  GetControl();
  reportName_ = name ? name : "";
  return S_OK;
}

void CVolumeControlManager::OnVolumeChanged(int32_t percent, bool muted) {
  if (!holder_ || reportName_.IsEmpty()) return;
  const std::string text = std::to_string(percent) + (muted ? " 1" : " 0");
  holder_->AddResultA(reportName_.c_str(), text.c_str());
}
