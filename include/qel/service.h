// IQelService: the common interface of every service, and the registry through
// which services find each other. Slot order is part of the binary contract.
#pragma once

#include <cstdint>

#include "qel/guid.h"

class IQelService;

// The host's service registry (also handed to each service's Bind).
class IQelServiceRegistry {
 public:
  // slot 0: a borrowed provider, or null. Never released by the caller.
  virtual IQelService* QueryService(GUID iid) = 0;

 protected:
  ~IQelServiceRegistry() = default;
};

class IQelService {
 public:
  virtual int32_t AddRef() = 0;                            // slot 0
  virtual int32_t Release() = 0;                           // slot 1
  virtual bool GetInterface(GUID iid, void** out) = 0;     // slot 2
  virtual void Bind(IQelServiceRegistry* /*registry*/) {}  // slot 3
  virtual void SaveState() {}                              // slot 4
  virtual void RestoreState() {}                           // slot 5
  virtual void Reserved6(uint32_t /*value*/) {}            // slot 6
  virtual void Reserved7(uint32_t /*value*/) {}            // slot 7

 protected:
  ~IQelService() = default;  // no destructor slot: objects die through Release
};

// Every service is a provider: QueryService hands one out, GetInterface (slot 2)
// turns it into a counted interface pointer.
using ServiceProvider = IQelService;
