// The battery driver. The kernel keeps the driver's last report; callers that
// do not ask for an update get that copy.
#include "ce/power.h"

#include <cstring>
#include <mutex>

#include "api.h"
#include "ce/error.h"
#include "hardware.h"
#include "kernel.h"
#include "last_error.h"
#include "msgqueue.h"
#include "terminal_events.h"

namespace ce::sim::api {
namespace {

using sim::DriverReport;

DriverReport ReadDriver() {
  namespace hw = sim::hw;
  DriverReport r;
  if (!sim::Current()) return r;
  SYSTEM_POWER_STATUS_EX2& s = r.status;
  s.ACLineStatus = hw::Read(hw::kAcLineStatus);
  s.BatteryFlag = hw::Read(hw::kBatteryFlag);
  s.BatteryLifePercent = hw::Read(hw::kBatteryLifePercent);
  s.BatteryLifeTime = hw::Read(hw::kBatteryLifeTime);
  s.BatteryFullLifeTime = hw::Read(hw::kBatteryFullLifeTime);
  s.BackupBatteryFlag = hw::Read(hw::kBackupBatteryFlag);
  s.BackupBatteryLifePercent = hw::Read(hw::kBackupBatteryLifePercent);
  s.BackupBatteryLifeTime = hw::Read(hw::kBackupBatteryLifeTime);
  s.BackupBatteryFullLifeTime = hw::Read(hw::kBackupBatteryFullLifeTime);
  s.BatteryVoltage = hw::Read(hw::kBatteryVoltage);
  s.BatteryCurrent = DWORD(hw::Read(hw::kBatteryCurrent));  // signed milliamperes, as the driver reports them
  s.BatteryAverageCurrent = DWORD(hw::Read(hw::kBatteryAverageCurrent));
  s.BatteryAverageInterval = hw::Read(hw::kBatteryAverageInterval);
  s.BatterymAHourConsumed = hw::Read(hw::kBatteryMahConsumed);
  s.BatteryTemperature = DWORD(hw::Read(hw::kBatteryTemperature));
  s.BackupBatteryVoltage = hw::Read(hw::kBackupBatteryVoltage);
  s.BatteryChemistry = hw::Read(hw::kBatteryChemistry);
  r.ex2Bytes = hw::Read(hw::kPowerDriverEx2Bytes);
  r.ok = hw::Read(hw::kPowerDriverOk);
  return r;
}

// The kernel's copy, per terminal, filled on first use or on request.
DriverReport Report(bool update) {
  auto& cache = sim::Kernel::Get().power;
  const auto current = sim::Current();
  std::lock_guard lock(cache.mu);
  if (update || !current || cache.of.lock() != current) {
    cache.report = ReadDriver();
    cache.of = current;
  }
  return cache.report;
}

}  // namespace

BOOL GetSystemPowerStatusEx(SYSTEM_POWER_STATUS_EX* status, BOOL update) {
  if (!status) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DriverReport r = Report(update != FALSE);
  if (!r.ok) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  std::memcpy(status, &r.status, sizeof *status);
  return TRUE;
}

DWORD GetSystemPowerStatusEx2(SYSTEM_POWER_STATUS_EX2* status, DWORD length, BOOL update) {
  if (!status) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DriverReport r = Report(update != FALSE);
  if (!r.ok) {
    SetLastError(ERROR_NOT_READY);
    return 0;
  }
  const DWORD n = std::min<DWORD>({length, r.ex2Bytes, DWORD(sizeof r.status)});
  std::memcpy(status, &r.status, n);
  return n;
}

}  // namespace ce::sim::api

namespace ce::sim::api {

HANDLE RequestPowerNotifications(HANDLE msgQueue, DWORD flags) {
  using namespace sim;
  auto end = LookupHandleAs<MsgQueueEnd>(msgQueue);
  if (!end || !end->reads()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto terminal = Current();
  if (!terminal) return nullptr;
  if (!Kernel::Get().terminalEvents.Follow(terminal)) {
    SetLastError(ERROR_GEN_FAILURE);
    return nullptr;
  }
  auto n = std::make_shared<PowerNotification>(end->queue(), flags);
  Kernel::Get().terminalEvents.AddPowerNotification(n);
  return AddHandle(n);
}

BOOL StopPowerNotifications(HANDLE notifications) {
  if (!sim::LookupHandleAs<sim::PowerNotification>(notifications)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return sim::RemoveHandle(notifications) ? TRUE : FALSE;
}

}  // namespace ce::sim::api
