// Interfaces of the host client that the module calls, in slot order, and the
// plain-function shapes the module hands to it.
#pragma once

#include <cstdint>

#include "qel/guid.h"
#include "qel/refcounted.h"
#include "qel/service.h"
#include "qel/value.h"
#include "qel/virtual_counted.h"

class ICommandContext;
class ICommandArguments;
class ICommandReply;
class IQelStream;
class IQelResult;

// Property getter and setter: the host's value and the context service (or null).
using QelPropertyFn = bool (*)(IQelValue* value, IQelService* context);
// Command handler: context, arguments, reply; reports only through those objects.
using QelCommandHandler = void (*)(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Kind of a command argument by its number (1-based).
using QelArgumentKindFn = int32_t (*)(int32_t argument);
// Stores a new stream for a matching type name; leaves `out` alone otherwise.
using QelStreamFactory = void (*)(const char16_t* type, IQelStream** out);
// Handles a file of a registered pattern; only the second and fourth values are read.
using QelFileHandler = int32_t (*)(void* first, bool deleteAfter, void* third, IQelResult* result);

// Registrar handed to RegisterService. Results are not relied on.
class IQelRegistrar {
 public:
  virtual bool AddCommand(const char16_t* code, QelCommandHandler handler, int32_t flag, int32_t timeout,
                          IQelService* context, QelArgumentKindFn kinds) = 0;  // 0
  virtual bool AddService(IQelService* service, GUID iid) = 0;                 // 1
  virtual void Reserved2() {}                                                  // 2
  virtual bool AddProperty(const char16_t* name, QelPropertyFn getter, QelPropertyFn setter,
                           IQelService* context, int32_t zero) = 0;  // 3

 protected:
  ~IQelRegistrar() = default;
};

// IID_QELSTREAMREGISTRY: a provider whose own operations start at slot 8.
class IQelStreamRegistry : public IQelService {
 public:
  virtual bool AddStreamFactory(QelStreamFactory factory) = 0;  // slot 8

 protected:
  ~IQelStreamRegistry() = default;
};

// IID_QELFILEHANDLERREGISTRY.
class IQelFileHandlerRegistry : public IQelService {
 public:
  virtual void Reserved8() {}                                                                      // slot 8
  virtual bool AddFileHandler(const char16_t* pattern, QelFileHandler handler, int32_t zero) = 0;  // 9

 protected:
  ~IQelFileHandlerRegistry() = default;
};

// A host callback told of a watched folder's change: the watch's full name and
// two zeros; true when the change has been dealt with.
class IQelNotifyCallback {
 public:
  virtual bool OnChange(IQelText* watchName, int32_t zero1, int32_t zero2) = 0;  // slot 0

 protected:
  ~IQelNotifyCallback() = default;
};

// A notifier the module adds to the host's notifier list.
class IQelNotifier {
 public:
  virtual int32_t AddRef() = 0;                                                             // slot 0
  virtual int32_t Release() = 0;                                                            // slot 1
  virtual void Unwatch(uint32_t subscriber) = 0;                                            // slot 2
  virtual bool Watch(uint32_t subscriber, const char16_t* name, const char16_t* path) = 0;  // slot 3
  virtual bool Attach(const char16_t* name, IQelNotifyCallback* callback) = 0;              // slot 4
  virtual bool DetachAll(IQelNotifyCallback* callback) = 0;                                 // slot 5

 protected:
  ~IQelNotifier() = default;
};

// IID_QELNOTIFIERLIST: reached through the notifier registry; derives virtually
// from the counted base, through which it is released (qel::Counted).
class IQelNotifierList : public QEL_VIRTUALLY_COUNTED {
 public:
  virtual bool AddNotifier(const char16_t* name, IQelNotifier* notifier) = 0;  // slot 0
};

// A caller's dictionary of texts (the terminal service's storage folders).
class IQelDictionary : public IQelService {
 public:
  virtual bool Add(IQelText* key, IQelText* value) = 0;  // slot 8

 protected:
  ~IQelDictionary() = default;
};

// IID_QELWINDOWSERVICE: the host's main window.
class IQelWindowService {
 public:
  virtual void Reserved0() {}           // slot 0
  virtual void Reserved1() {}           // slot 1
  virtual void Reserved2() {}           // slot 2
  virtual int32_t Release() = 0;        // slot 3
  virtual void* GetWindowHandle() = 0;  // slot 4

 protected:
  ~IQelWindowService() = default;
};

// IID_QELRADIOSERVICE: the cellular radio.
class IQelRadioService : public IQelService {
 public:
  virtual bool GetSignal(int32_t* value, int32_t zero) = 0;  // slot 8

 protected:
  ~IQelRadioService() = default;
};

// IID_QELSETTINGSERVICE: the host client's own settings, by section and name.
// Counted through the virtual base; its operations number from slot 0 (the
// implicit destructor's entries come after them on Itanium).
class IQelSettingService : public QEL_VIRTUALLY_COUNTED {
 public:
  virtual bool Set(IQelText* section, IQelText* name, IQelValue* value) = 0;  // slot 0
  virtual bool Get(IQelText* section, IQelText* name, IQelValue* value) = 0;  // slot 1
};

// The two unnamed host interfaces: only held, never called; counted through
// the virtual base.
class IQelUnnamedHostService : public QEL_VIRTUALLY_COUNTED {
 public:
  virtual void Reserved0() {}  // slot 0
};

// The host's application service ({E79DE16F-...}): told when a started
// application comes to the front or goes to the back, and the owner of the
// handle that ends waits on applications. Counted through the virtual base.
class IQelApplicationService : public QEL_VIRTUALLY_COUNTED {
 public:
  // The application's name (its path after the last backslash) and two zeros.
  virtual void NotifyForeground(IQelText* name, int32_t zero1, int32_t zero2) = 0;  // slot 0
  virtual void NotifyBackground(IQelText* name, int32_t zero1, int32_t zero2) = 0;  // slot 1
  virtual void Reserved2() {}                                                       // slot 2
  // A waitable handle (HANDLE) the host signals to end waits on applications.
  virtual void* GetStopHandle() = 0;  // slot 3
};
