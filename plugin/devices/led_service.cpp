#include "devices/led_service.h"

#include <new>

#include "core/proc_address.h"

namespace qel {
namespace {

constexpr int32_t kOff = 0, kOn = 1, kBlink = 2;

ce::NLED_SETTINGS_INFO Blink(uint32_t led, uint32_t onMs, uint32_t offMs, uint32_t metaOn, uint32_t metaOff) {
  ce::NLED_SETTINGS_INFO s{};
  s.LedNum = led;
  s.OffOnBlink = kBlink;
  s.TotalCycleTime = ce::LONG((onMs + offMs) * 1000);
  s.OnTime = ce::LONG(onMs * 1000);
  s.OffTime = ce::LONG(offMs * 1000);
  s.MetaCycleOn = int32_t(metaOn);
  s.MetaCycleOff = int32_t(metaOff);
  return s;
}

}  // namespace

CQelLedService::CQelLedService() : core_(ce::LoadLibraryW(u"COREDLL.DLL")) {
  if (core_) setDevice_ = ProcAddress<SetDeviceFn>(core_.get(), u"NLedSetDevice");
}

bool CQelLedService::Send(const ce::NLED_SETTINGS_INFO& settings) {
  if (!setDevice_) return false;
  ce::NLED_SETTINGS_INFO copy = settings;
  return setDevice_(NLED_SETTINGS_INFO_ID, &copy) == 1;
}

bool CQelLedService::LedOn(uint32_t led) {
  ce::NLED_SETTINGS_INFO s{};
  s.LedNum = led;
  s.OffOnBlink = kOn;
  return Send(s);
}

bool CQelLedService::LedOff(uint32_t led) {
  ce::NLED_SETTINGS_INFO s{};
  s.LedNum = led;
  s.OffOnBlink = kOff;
  return Send(s);
}

bool CQelLedService::LedBlink(uint32_t led, uint32_t onMs, uint32_t offMs) {
  return Send(Blink(led, onMs, offMs, 1, 0));
}

bool CQelLedService::LedBlinkCycles(uint32_t led, uint32_t onMs, uint32_t offMs, uint32_t metaOn,
                                    uint32_t metaOff) {
  return Send(Blink(led, onMs, offMs, metaOn, metaOff));
}

IQelService* CreateLedService() { return new (std::nothrow) CQelLedService; }

}  // namespace qel
