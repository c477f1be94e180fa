#include "application_service.h"

#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "ce/sync.h"
#include "ceutil/text.h"
#include "verbs.h"

namespace qelhost {

ApplicationService::ApplicationService()
    : err_(&std::cerr), stop_(ce::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void ApplicationService::NotifyForeground(IQelText* name, int32_t, int32_t) { Notice(name, true); }
void ApplicationService::NotifyBackground(IQelText* name, int32_t, int32_t) { Notice(name, false); }

void ApplicationService::SetOutput(std::ostream* err, bool json) {
  std::lock_guard lock(mu_);
  err_ = err;
  json_ = json;
}

void ApplicationService::Stop() {
  if (stop_) ce::SetEvent(stop_.get());
}

void ApplicationService::Notice(IQelText* name, bool foreground) {
  const std::string text =
      name && name->Chars() ? ceutil::ToUtf8(std::u16string(name->Chars(), name->Length())) : std::string();
  std::lock_guard lock(mu_);
  if (json_)
    *err_
        << nlohmann::json{{"application", text}, {"notice", foreground ? "foreground" : "background"}}.dump()
        << "\n";
  else
    *err_ << "qelhost: " << Printable(text)
          << (foreground ? " comes to the foreground\n" : " goes to the background\n");
  err_->flush();
}

ApplicationServiceProvider::ApplicationServiceProvider() : service_(new ApplicationService) {}
ApplicationServiceProvider::~ApplicationServiceProvider() {
  static_cast<CQelRefCounted*>(service_)->Release();
}

bool ApplicationServiceProvider::GetInterface(GUID iid, void** out) {
  if (!out || iid != qel::IID_QELUNNAMED3) return false;
  service_->AddRef();
  *out = static_cast<IQelApplicationService*>(service_);
  return true;
}

}  // namespace qelhost
