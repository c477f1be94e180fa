// The host's application service ({E79DE16F-...}): BRP tells it whether the
// application it starts comes to the foreground or goes to the background,
// and waits on its stop handle beside the application.
//  - each notice is one line on standard error: "qelhost: NAME comes to the
//    foreground" / "goes to the background", or with --json
//    {"application":NAME,"notice":"foreground"|"background"};
//  - the stop handle is a manual-reset event of the terminal, set by Stop()
//    (an end signal while commands run) and never reset: a wait that
//    begins after it has been set ends at once.
#pragma once

#include <mutex>
#include <ostream>

#include "ce/handle.h"
#include "qel/guids.h"
#include "qel/host.h"
#include "qel/object.h"

namespace qelhost {

class ApplicationService final : public qel::VirtuallyCounted<IQelApplicationService> {
 public:
  ApplicationService();
  void NotifyForeground(IQelText* name, int32_t zero1, int32_t zero2) override;
  void NotifyBackground(IQelText* name, int32_t zero1, int32_t zero2) override;
  void* GetStopHandle() override { return stop_.get(); }

  // Where the notices go, and in which form.
  void SetOutput(std::ostream* err, bool json);
  void Stop();

 private:
  void Notice(IQelText* name, bool foreground);

  std::mutex mu_;
  std::ostream* err_;
  bool json_ = false;
  ce::UniqueHandle stop_;  // null when the terminal could not make it
};

// Found under the application service's GUID; hands out the service.
class ApplicationServiceProvider final : public qel::CQelObject<IQelService, qel::IID_QELUNNAMED3> {
 public:
  ApplicationServiceProvider();
  ~ApplicationServiceProvider() override;
  bool GetInterface(GUID iid, void** out) override;
  ApplicationService& service() { return *service_; }

 private:
  ApplicationService* service_;  // counted
};

}  // namespace qelhost
