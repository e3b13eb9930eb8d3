// Without a window system there is nothing to paint into: the display list lives in the movie and
// reaches tests through the transcript. Timers run when the browser sends a timer event
// (NPP_HandleEvent), since there is no message loop of the plug-in's own.
#include "standin/view.h"

namespace vexa::standin {

namespace {

class CHeadlessView final : public IView {
 public:
  bool Attach(void*) override { return true; }
  void Detach() override {}
  void Invalidate() override {}
  void ScheduleTimer(uint32_t) override {}
  void CancelTimer() override {}
};

}  // namespace

std::unique_ptr<IView> CreateView(IViewSink*) {
  return std::make_unique<CHeadlessView>();
}

}  // namespace vexa::standin
