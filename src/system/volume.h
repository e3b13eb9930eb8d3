// The speakers' volume and mute state for the movie, and the notices of their changes.
//
// CVolumeControl talks to the system mixer (platform/mixer.h) through an IMixerDevice: it opens the
// speakers line once, converts between the movie's percent (0 to 100) and the mixer's raw range,
// and turns the mixer's change notices into OnVolumeChanged calls on its callback.
//
// CVolumeControlManager connects it to the movie. It is the command processor's IVolumeService
// (fscommand/services.h: VCSC, VCGV, VCSV, VCGM, VCSM) and the control's callback: while the movie
// has named a report name (VCSC), every change notice, also one caused by another program or the
// system's volume slider, becomes the text "<percent> <0|1>" in the Flash holder's result list.
// Such a result is added while no command is being served, and the holder delivers it to the movie
// at the next message (flashhost/holder.h), so changes made outside the game reach the movie.
//
// Scaling between percent and the mixer's range, with max the volume control's maximum (1 when
// the control is closed or the maximum is 0; the minimum is taken as 0):
//   percent to mixer: ceiling(percent * max / 100), the percent first clamped to 0..100;
//   mixer to percent: floor(value * 100 / max), at most 100.
// Both are computed exactly in 64-bit integers. For the maxima mixers have (up to 65535) this is
// the same as dividing in single precision, the rule these values were first defined with; above
// that, single precision would lose the exact result and a 32-bit product would overflow.
//
// Threading: the UI thread only. The mixer's notices arrive as window messages on the thread that
// opened the control (the first volume command's), so no locking is needed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "fscommand/services.h"
#include "platform/mixer.h"
#include "platform/oleauto.h"
#include "script/smallstr.h"

class IFlashHolder;

namespace vexa::system {

// The mixer value of `percent` (clamped to 0..100) for a volume control whose maximum is
// `maximum` (0 counts as 1). 0 gives 0 and 100 gives the maximum.
uint32_t PercentToMixer(int32_t percent, uint32_t maximum);

// The percent of the mixer value `value` for a volume control whose maximum is `maximum` (0 counts
// as 1); a value above the maximum gives 100. The floor, with nothing rounded up: any value the
// mixer holds reads by the same rule, and for maxima of at least 100 every percent set by
// PercentToMixer reads back as itself. A mixer that keeps the volume in another scale and hands
// back a unit less than was written reads as the percent below.
int32_t MixerToPercent(uint32_t value, uint32_t maximum);

}  // namespace vexa::system

// Told of every volume or mute change the mixer reports.
class CVolumeCallback {
 public:
  virtual void OnVolumeChanged(int32_t percent, bool muted) = 0;

 protected:
  ~CVolumeCallback() = default;
};

// The operations on the speakers' volume. The four value operations return false at once while
// the control is not opened, and false when the mixer refuses the read or write.
class IVolumeControl {
 public:
  // Stores `callback` (not owned; null allowed), whether or not the control is opened.
  virtual void SetCallback(CVolumeCallback* callback) = 0;
  // *percent := the volume in percent. Unchanged on failure.
  virtual bool GetVolume(int32_t* percent) = 0;
  // Sets the volume to `percent`, clamped to 0..100.
  virtual bool SetVolume(int32_t percent) = 0;
  // *muted := whether the speakers are muted. Unchanged on failure.
  virtual bool GetMute(bool* muted) = 0;
  virtual bool SetMute(bool muted) = 0;
  virtual ~IVolumeControl() = default;
};

class CVolumeControl : public IVolumeControl, private vexa::platform::IMixerListener {
 public:
  // Opens `mixer` at once: the speakers line with its volume and mute controls. When that fails
  // (no mixer, no speakers line, a control missing) the control stays closed for good: there is
  // no re-opening, every value operation fails and no notices arrive. A null mixer is closed.
  explicit CVolumeControl(std::unique_ptr<vexa::platform::IMixerDevice> mixer);
  // Closes the mixer (no notice arrives afterwards).
  ~CVolumeControl() override;
  CVolumeControl(const CVolumeControl&) = delete;
  CVolumeControl& operator=(const CVolumeControl&) = delete;

  bool IsOpened() const { return opened_; }
  // What the mixer reported when it opened (all 0 while closed).
  const vexa::platform::MixerSpeakersLine& GetLine() const { return line_; }

  void SetCallback(CVolumeCallback* callback) override { callback_ = callback; }
  bool GetVolume(int32_t* percent) override;
  bool SetVolume(int32_t percent) override;
  bool GetMute(bool* muted) override;
  bool SetMute(bool muted) override;

 private:
  // A notice counts when it comes from this control's mixer and names its speakers line (a line
  // change) or its volume or mute control (a control change); then, while opened and with a
  // callback, the callback gets the current volume and mute state (0 and false for a value that
  // cannot be read). Every other notice is ignored.
  void OnMixerNotice(uint32_t message, vexa::platform::MixerHandle mixer, uint32_t id) override;

  std::unique_ptr<vexa::platform::IMixerDevice> mixer_;
  vexa::platform::MixerSpeakersLine line_;
  bool opened_ = false;
  CVolumeCallback* callback_ = nullptr;
};

// The volume commands' service. The control is created, and the mixer opened, by the first
// operation (any of the five below), on the calling thread; it lives as long as the manager.
class CVolumeControlManager : public IVolumeService, public CVolumeCallback {
 public:
  using MixerFactory = std::function<std::unique_ptr<vexa::platform::IMixerDevice>()>;

  // The system mixer (platform/mixer.h).
  CVolumeControlManager();
  // Mixers from `factory` (tests give a fake). A null factory or a null mixer gives a closed
  // control.
  explicit CVolumeControlManager(MixerFactory factory);
  ~CVolumeControlManager();
  CVolumeControlManager(const CVolumeControlManager&) = delete;
  CVolumeControlManager& operator=(const CVolumeControlManager&) = delete;

  // Replaces the mixer factory. Only before the control exists (the first operation creates it):
  // false, changing nothing, afterwards.
  bool SetMixerFactory(MixerFactory factory);

  // Where the change notices go (not owned; null stops them and makes HasResultSink false).
  void SetHolder(IFlashHolder* holder) { holder_ = holder; }
  IFlashHolder* GetHolder() const { return holder_; }
  const CSmallStr& GetReportName() const { return reportName_; }

  // The control, created on first use.
  IVolumeControl* GetControl();
  // The control if it was created, else null (nothing is created).
  CVolumeControl* FindControl() const { return control_.get(); }

  // ---- IVolumeService (S_OK, or E_FAIL when the control is closed or the mixer refuses)
  HRESULT GetVolume(int32_t* volume) override;
  // Clamps to 0..100.
  HRESULT SetVolume(int32_t volume) override;
  HRESULT GetMute(int32_t* muted) override;
  // Any non-zero value mutes.
  HRESULT SetMute(int32_t muted) override;
  // Null reads as empty; an empty name stops the reports.
  HRESULT SetReportName(const char* name) override;
  bool HasResultSink() override { return holder_ != nullptr; }

  // ---- CVolumeCallback: "<percent> <1 when muted, else 0>" to the holder's result list, when a
  // holder is set and the report name is not empty.
  void OnVolumeChanged(int32_t percent, bool muted) override;

 private:
  MixerFactory factory_;
  std::unique_ptr<CVolumeControl> control_;
  IFlashHolder* holder_ = nullptr;
  CSmallStr reportName_;
};
