// The battery driver's last report, as the kernel keeps it.
#pragma once

#include <memory>
#include <mutex>

#include "ce/power.h"

namespace ce::sim {

class Terminal;

struct DriverReport {
  SYSTEM_POWER_STATUS_EX2 status{};
  DWORD ex2Bytes = 0;  // how much of the extended record the driver fills
  bool ok = false;
};

struct PowerReportCache {
  std::mutex mu;
  DriverReport report;
  std::weak_ptr<Terminal> of;  // the terminal the report came from
};

}  // namespace ce::sim
