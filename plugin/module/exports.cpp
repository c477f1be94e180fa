// The module's exported entry points.
#include "qel/exports.h"

#include "commands/commands.h"
#include "core/fs_watcher.h"
#include "core/hal_event_handler.h"
#include "core/module_slots.h"
#include "module/tables.h"
#include "qel/guids.h"
#include "streams/stream_types.h"
#include "terminal/terminal_service.h"

namespace qel {
namespace {

// Slots Register fills, in its order (the stream registry comes first, on its own).
constexpr Slot kFetchOrder[] = {
    Slot::FileSystem, Slot::Settings,  Slot::Audio,       Slot::FileService,     Slot::Wlan,
    Slot::Unnamed1,   Slot::Backlight, Slot::Unnamed2,    Slot::Terminal,        Slot::Radio,
    Slot::Battery,    Slot::Cradle,    Slot::Application, Slot::HalEventHandler, Slot::Window,
};

// Slots UnRegister releases, in its order.
constexpr Slot kReleaseOrder[] = {
    Slot::FileLocation,    Slot::StreamRegistry, Slot::Settings, Slot::Audio,     Slot::FileService,
    Slot::FileSystem,      Slot::Wlan,           Slot::Unnamed1, Slot::Backlight, Slot::Cradle,
    Slot::Unnamed2,        Slot::Terminal,       Slot::Radio,    Slot::Battery,   Slot::Application,
    Slot::HalEventHandler, Slot::Window,
};
static_assert(std::size(kReleaseOrder) == size_t(Slot::kCount));

// A fresh terminal service for one question; never bound, released before returning.
bool AskTerminal(bool (IQelTerminalService::*operation)(char16_t*, uint32_t), char16_t* buffer,
                 uint32_t capacity) {
  IQelTerminalService* terminal = NewTerminalService();
  if (!terminal) return false;
  const bool ok = (terminal->*operation)(buffer, capacity);
  terminal->Release();
  return ok;
}

}  // namespace
}  // namespace qel

extern "C" {

bool RegisterService(IQelRegistrar* registrar) {
  qel::RegisterAll(registrar, qel::Tables());
  return true;
}

bool Register(uint32_t, IQelServiceRegistry* registry) {
  using namespace qel;
  auto* streams = static_cast<IQelStreamRegistry*>(RefetchSlot(Slot::StreamRegistry, registry));
  if (streams)
    for (const StreamType& t : StreamTypes()) streams->AddStreamFactory(t.factory);
  for (Slot s : kFetchOrder) RefetchSlot(s, registry);
  auto* handler = SlotAs<CQelHalEventHandler>(Slot::HalEventHandler);
  if (handler) handler->Restart();

  IQelService* notifiers = registry ? registry->QueryService(IID_QELNOTIFIERREGISTRY) : nullptr;
  void* found = nullptr;
  if (notifiers && notifiers->GetInterface(IID_QELNOTIFIERLIST, &found) && found) {
    auto* list = static_cast<IQelNotifierList*>(found);
    auto* watcher = new CQelFsWatcher(handler, SlotAs<IQelFileLocation>(Slot::FileLocation));
    list->AddNotifier(u"FS", watcher);
    watcher->Release();
    Counted(list)->Release();
  }
  if (IQelService* provider = registry ? registry->QueryService(IID_QELFILEHANDLERREGISTRY) : nullptr) {
    void* handlers = nullptr;
    if (provider->GetInterface(IID_QELFILEHANDLERREGISTRY, &handlers) && handlers) {
      auto* registryOfHandlers = static_cast<IQelFileHandlerRegistry*>(handlers);
      registryOfHandlers->AddFileHandler(u"*.cab", InstallCabFile, 0);
      registryOfHandlers->Release();
    }
  }
  return true;
}

bool UnRegister() {
  using namespace qel;
  if (auto* handler = SlotAs<CQelHalEventHandler>(Slot::HalEventHandler)) handler->Stop();
  for (Slot s : kReleaseOrder) ReleaseSlot(s);
  return true;
}

bool GetESN(char16_t* buffer, uint32_t capacity) {
  return qel::AskTerminal(&IQelTerminalService::GetEsn, buffer, capacity);
}
bool GetUSN(char16_t* buffer, uint32_t capacity) {
  return qel::AskTerminal(&IQelTerminalService::GetUsn, buffer, capacity);
}
bool GetQELPlatform(char16_t* buffer, uint32_t capacity) {
  return qel::AskTerminal(&IQelTerminalService::GetPlatform, buffer, capacity);
}

}  // extern "C"
