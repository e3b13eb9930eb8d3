// The system's audio mixer as the volume control uses it: the speakers destination line of mixer
// device 0 with its volume and mute controls, and the notices the mixer sends when they change.
//
// Windows: the multimedia mixer (winmm). Its notices arrive as window messages at a hidden window
// of class kMixerNoticeWindowClass that the device creates on the opening thread; that window
// forwards them to the listener. POSIX builds have no system mixer: CreateSystemMixer gives a
// device that never opens, so the volume commands answer failure there.
//
// The logic above the device (percent scaling, which notices count) is portable and tested with
// a fake device; see system/volume.h.
//
// Threading: a device is used on one thread, the one that opened it; its notices are delivered on
// that thread's message loop. Nothing here throws.
#pragma once

#include <cstdint>
#include <memory>

namespace vexa::platform {

// The mixer's change notices, with the Windows message numbers on every OS.
// Line change: `mixer` is the mixer handle, `id` the line id.
inline constexpr uint32_t kMsgMixerLineChange = 0x3D0;  // MM_MIXM_LINE_CHANGE
// Control change: `mixer` is the mixer handle, `id` the control id.
inline constexpr uint32_t kMsgMixerControlChange = 0x3D1;  // MM_MIXM_CONTROL_CHANGE

// Class name of the hidden window that receives the notices (Windows).
inline constexpr char kMixerNoticeWindowClass[] = "QXPLAYER_VolumeControl_Wnd";

// A mixer handle as the notices carry it (an HMIXER on Windows); 0 is none.
using MixerHandle = uintptr_t;

// What Open found: the speakers line and its two controls.
struct MixerSpeakersLine {
  MixerHandle mixer = 0;
  uint32_t line_id = 0;
  uint32_t volume_control_id = 0;
  uint32_t volume_maximum = 0;  // the volume control's upper bound (its lower bound is taken as 0)
  uint32_t mute_control_id = 0;
};

// Receives every mixer notice of an open device: the message (kMsgMixerLineChange or
// kMsgMixerControlChange), the mixer handle and the line or control id exactly as they came.
// Deciding which notices matter is the listener's business.
class IMixerListener {
 public:
  virtual void OnMixerNotice(uint32_t message, MixerHandle mixer, uint32_t id) = 0;

 protected:
  ~IMixerListener() = default;
};

class IMixerDevice {
 public:
  virtual ~IMixerDevice() = default;

  // Opens mixer device 0 with its notices going to `listener` (not owned; it must outlive the
  // device or Close), finds the speakers destination line and its volume and mute controls, and
  // fills `line`. False when there is no mixer, no speakers line or either control is missing, or
  // the notice window cannot be created; everything obtained is released again then, no notice
  // reaches the listener and `line` is unchanged. Opening twice without Close fails.
  virtual bool Open(IMixerListener* listener, MixerSpeakersLine* line) = 0;

  // Stops the notices and releases the mixer and the notice window. Harmless when not open.
  virtual void Close() = 0;

  // Reads the value of a one-channel, 4-byte control (the volume's raw value, the mute flag).
  // False when the device is not open or the mixer refuses; `value` is then unchanged.
  virtual bool ReadControl(uint32_t control_id, uint32_t* value) = 0;

  // Writes the value of a one-channel, 4-byte control. False when not open or refused.
  virtual bool WriteControl(uint32_t control_id, uint32_t value) = 0;
};

// The system's mixer (not yet opened).
std::unique_ptr<IMixerDevice> CreateSystemMixer();

}  // namespace vexa::platform
