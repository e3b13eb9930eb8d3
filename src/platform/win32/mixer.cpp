#include "platform/mixer.h"

#include <windows.h>

#include <mmsystem.h>

#include <string>

#include "platform/codepage.h"

namespace vexa::platform {

namespace {

class CWinMixer;

LRESULT CALLBACK NoticeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

class CWinMixer : public IMixerDevice {
 public:
  CWinMixer() = default;
  ~CWinMixer() override { Close(); }
  CWinMixer(const CWinMixer&) = delete;
  CWinMixer& operator=(const CWinMixer&) = delete;

  bool Open(IMixerListener* listener, MixerSpeakersLine* line) override {
    if (window_ || mixer_ || !line) return false;
    if (mixerGetNumDevs() == 0) return false;
    if (!CreateNoticeWindow()) return false;
    // The listener is known before the mixer can send anything; the window procedure only reaches
    // it through this object, which the window knows from its creation on.
    listener_ = listener;

    MixerSpeakersLine found;
    HMIXER mixer = nullptr;
    // Device 0 by its id, notices to the window. (Naming the device by a handle flag with id 0, as
    // some callers do, leaves it to the system to read 0 as a handle.)
    if (mixerOpen(&mixer, 0, reinterpret_cast<DWORD_PTR>(window_), 0,
                  CALLBACK_WINDOW | MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR) {
      Close();
      return false;
    }
    mixer_ = mixer;
    HMIXEROBJ object = reinterpret_cast<HMIXEROBJ>(mixer_);

    MIXERLINEW speakers = {};
    speakers.cbStruct = sizeof(speakers);
    speakers.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    if (mixerGetLineInfoW(object, &speakers,
                          MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) !=
        MMSYSERR_NOERROR) {
      Close();
      return false;
    }
    MIXERCONTROLW volume = {};
    MIXERCONTROLW mute = {};
    if (!FindControl(object, speakers.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, &volume) ||
        !FindControl(object, speakers.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE, &mute)) {
      Close();
      return false;
    }
    found.mixer = reinterpret_cast<MixerHandle>(mixer_);
    found.line_id = speakers.dwLineID;
    found.volume_control_id = volume.dwControlID;
    found.volume_maximum = volume.Bounds.dwMaximum;
    found.mute_control_id = mute.dwControlID;
    *line = found;
    return true;
  }

  void Close() override {
    listener_ = nullptr;
    if (mixer_) {
      mixerClose(mixer_);
      mixer_ = nullptr;
    }
    if (window_) {
      // Messages sent while the window goes (WM_DESTROY, WM_NCDESTROY) find no object.
      SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      DestroyWindow(window_);
      window_ = nullptr;
    }
  }

  bool ReadControl(uint32_t control_id, uint32_t* value) override {
    if (!mixer_ || !value) return false;
    DWORD raw = 0;
    MIXERCONTROLDETAILS details = Details(control_id, &raw);
    if (mixerGetControlDetailsW(reinterpret_cast<HMIXEROBJ>(mixer_), &details,
                                MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) !=
        MMSYSERR_NOERROR) {
      return false;
    }
    *value = raw;
    return true;
  }

  bool WriteControl(uint32_t control_id, uint32_t value) override {
    if (!mixer_) return false;
    DWORD raw = value;
    MIXERCONTROLDETAILS details = Details(control_id, &raw);
    return mixerSetControlDetails(reinterpret_cast<HMIXEROBJ>(mixer_), &details,
                                  MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE) ==
           MMSYSERR_NOERROR;
  }

  // From the notice window.
  void Notice(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!listener_) return;
    listener_->OnMixerNotice(message, static_cast<MixerHandle>(wParam),
                             static_cast<uint32_t>(lParam));
  }

 private:
  static MIXERCONTROLDETAILS Details(uint32_t control_id, DWORD* value) {
    MIXERCONTROLDETAILS details = {};
    details.cbStruct = sizeof(details);
    details.dwControlID = control_id;
    details.cChannels = 1;
    details.cMultipleItems = 0;
    details.cbDetails = sizeof(DWORD);
    details.paDetails = value;
    return details;
  }

  static bool FindControl(HMIXEROBJ object, DWORD line_id, DWORD type, MIXERCONTROLW* control) {
    MIXERLINECONTROLSW request = {};
    request.cbStruct = sizeof(request);
    request.dwLineID = line_id;
    request.dwControlType = type;
    request.cControls = 1;
    request.cbmxctrl = sizeof(MIXERCONTROLW);
    control->cbStruct = sizeof(MIXERCONTROLW);
    request.pamxctrl = control;
    return mixerGetLineControlsW(object, &request,
                                 MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) ==
           MMSYSERR_NOERROR;
  }

  bool CreateNoticeWindow() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const std::wstring class_name = AnsiToWide(kMixerNoticeWindowClass);
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = NoticeWindowProc;
    window_class.hInstance = instance;
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    window_class.lpszClassName = class_name.c_str();
    // A second device (or a second player in the process) finds the class registered already.
    if (!RegisterClassExW(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      return false;
    }
    // The object pointer travels with the creation, so the window procedure knows it (or knows it
    // has none) from the very first message on.
    window_ = CreateWindowExW(0, class_name.c_str(), L"", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                              nullptr, instance, this);
    return window_ != nullptr;
  }

  HWND window_ = nullptr;
  HMIXER mixer_ = nullptr;
  IMixerListener* listener_ = nullptr;
};

LRESULT CALLBACK NoticeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create ? create->lpCreateParams : nullptr));
  }
  if (message == MM_MIXM_LINE_CHANGE || message == MM_MIXM_CONTROL_CHANGE) {
    // Null before WM_NCCREATE and after Close: such notices are dropped.
    CWinMixer* self = reinterpret_cast<CWinMixer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) self->Notice(message, wParam, lParam);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

std::unique_ptr<IMixerDevice> CreateSystemMixer() {
  return std::make_unique<CWinMixer>();
}

}  // namespace vexa::platform
