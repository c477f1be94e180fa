// IID_QELPOWEREVENTSERVICE and IID_QELWAKEUPSERVICE: power transitions and
// wake-ups, told to listeners. A listener is its table followed by two links
// that the service uses to keep it in a list; the service never owns it.
#pragma once

#include "qel/service.h"

class IQelPowerEventListener {
 public:
  virtual void OnPowerStatusChange() = 0;  // slot 0
  virtual void OnResume() = 0;             // slot 1
  virtual void OnPowerOn() = 0;            // slot 2
  virtual void OnSuspend() = 0;            // slot 3

  IQelPowerEventListener* next = nullptr;
  IQelPowerEventListener* previous = nullptr;

 protected:
  ~IQelPowerEventListener() = default;
};

class IQelWakeUpListener {
 public:
  virtual void OnWakeUp() = 0;  // slot 0

  IQelWakeUpListener* next = nullptr;
  IQelWakeUpListener* previous = nullptr;

 protected:
  ~IQelWakeUpListener() = default;
};

class IQelPowerEventService : public IQelService {
 public:
  virtual void AddListener(IQelPowerEventListener* listener) = 0;     // slot 8
  virtual void RemoveListener(IQelPowerEventListener* listener) = 0;  // slot 9

 protected:
  ~IQelPowerEventService() = default;
};

class IQelWakeUpService : public IQelService {
 public:
  virtual bool AddListener(IQelWakeUpListener* listener) = 0;     // slot 8
  virtual bool RemoveListener(IQelWakeUpListener* listener) = 0;  // slot 9

 protected:
  ~IQelWakeUpService() = default;
};
