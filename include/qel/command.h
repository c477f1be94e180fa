// The objects a command handler receives, the output variables and file
// references they hand out, and the host services commands use. Every
// interface declares its slots in order; unnamed slots are placeholders that
// keep later slot numbers.
#pragma once

#include <cstdint>

#include "qel/guid.h"
#include "qel/refcounted.h"
#include "qel/service.h"
#include "qel/value.h"

// A file reference: the path interface first, the counted base second. Its
// holder releases it through the second interface.
class IQelFilePath {
 public:
  virtual void Reserved0() {}              // slot 0
  virtual const char16_t* FullPath() = 0;  // slot 1

 protected:
  ~IQelFilePath() = default;
};

class IQelFileReference : public IQelFilePath, public CQelRefCounted {};

// What the length given to IQelVariable::SetData counts, as its third value
// says: the UTF-16 characters of text (0, as every other call's third value),
// or the bytes of binary data, which the variable reads no further than.
inline constexpr int32_t kQelDataChars = 0;
inline constexpr int32_t kQelDataBytes = 1;

// An output variable of a command line.
class IQelVariable {
 public:
  virtual void Reserved0() {}                               // slot 0
  virtual void Reserved1() {}                               // slot 1
  virtual void Reserved2() {}                               // slot 2
  virtual void Reserved3() {}                               // slot 3
  virtual bool SetInt(int32_t value, int32_t zero) = 0;     // slot 4
  virtual void Reserved5() {}                               // slot 5
  virtual void Reserved6() {}                               // slot 6
  virtual void Reserved7() {}                               // slot 7
  virtual void Reserved8() {}                               // slot 8
  virtual void Reserved9() {}                               // slot 9
  virtual bool SetValue(IQelText* text, int32_t zero) = 0;  // slot 10
  virtual void Reserved11() {}                              // slot 11
  virtual void Reserved12() {}                              // slot 12
  // Text or binary data; `unit` (kQelDataChars, kQelDataBytes) says what
  // `length` counts.
  virtual bool SetData(const void* data, int32_t length, int32_t unit) = 0;        // slot 13
  virtual bool SetText(const char16_t* text, int32_t zero) = 0;                    // slot 14
  virtual void Reserved15() {}                                                     // slot 15
  virtual void Reserved16() {}                                                     // slot 16
  virtual void Reserved17() {}                                                     // slot 17
  virtual bool AppendText(const char16_t* text, int32_t count, int32_t zero) = 0;  // slot 18

 protected:
  ~IQelVariable() = default;
};

// The running command.
class ICommandContext {
 public:
  virtual void SetResult(int32_t code, const char16_t* text) = 0;  // slot 0
  virtual void Reserved1() {}                                      // slot 1
  virtual void Reserved2() {}                                      // slot 2
  virtual IQelService* QueryService(GUID iid) = 0;                 // slot 3
  virtual void Reserved4() {}                                      // slot 4
  virtual void Reserved5() {}                                      // slot 5
  virtual void Reserved6() {}                                      // slot 6
  virtual void Reserved7() {}                                      // slot 7
  virtual void Reserved8() {}                                      // slot 8
  virtual void Reserved9() {}                                      // slot 9
  virtual void Reserved10() {}                                     // slot 10
  virtual void Reserved11() {}                                     // slot 11
  virtual void Reserved12() {}                                     // slot 12
  virtual void Reserved13() {}                                     // slot 13
  virtual void Reserved14() {}                                     // slot 14
  virtual void Reserved15() {}                                     // slot 15
  virtual void Reserved16() {}                                     // slot 16
  virtual void Reserved17() {}                                     // slot 17
  virtual void Reserved18() {}                                     // slot 18
  virtual void Reserved19() {}                                     // slot 19
  virtual int32_t WaitTime() = 0;                                  // slot 20: ms, -1 for no waiting
  virtual void Reserved21() {}                                     // slot 21
  virtual void Reserved22() {}                                     // slot 22
  virtual void Reserved23() {}                                     // slot 23
  virtual void Reserved24() {}                                     // slot 24
  virtual void Reserved25() {}                                     // slot 25
  virtual void Reserved26() {}                                     // slot 26
  virtual void Reserved27() {}                                     // slot 27
  virtual void Reserved28() {}                                     // slot 28
  virtual int32_t Branch(IQelText* target) = 0;                    // slot 29: 0 when accepted

 protected:
  ~ICommandContext() = default;
};

// The command's arguments: entry 0 is the code, arguments number from 1.
// Objects handed out belong to the list and are not released by the caller.
class ICommandArguments {
 public:
  virtual uint32_t Count() = 0;                                                                 // slot 0
  virtual bool IsEmpty(int32_t argument) = 0;                                                   // slot 1
  virtual void Reserved2() {}                                                                   // slot 2
  virtual char GetChar(int32_t argument, char fallback) = 0;                                    // slot 3
  virtual bool GetBool(int32_t argument, bool fallback) = 0;                                    // slot 4
  virtual void Reserved5() {}                                                                   // slot 5
  virtual void Reserved6() {}                                                                   // slot 6
  virtual int32_t GetNumber(int32_t argument, int32_t fallback) = 0;                            // slot 7
  virtual int32_t GetInt(int32_t argument, int32_t fallback) = 0;                               // slot 8
  virtual void Reserved9() {}                                                                   // slot 9
  virtual void Reserved10() {}                                                                  // slot 10
  virtual IQelText* GetText(int32_t argument, const char16_t* fallback, int32_t minusOne) = 0;  // slot 11
  virtual IQelVariable* GetVariable(int32_t argument) = 0;                                      // slot 12
  virtual void Reserved13() {}                                                                  // slot 13
  virtual void Reserved14() {}                                                                  // slot 14
  virtual IQelFileReference* GetFile(int32_t argument, int32_t mode, int32_t zero, int32_t minusOne,
                                     int32_t last) = 0;  // slot 15

 protected:
  ~ICommandArguments() = default;
};

// Where argument errors and service failures are reported.
class ICommandReply {
 public:
  virtual void Reserved0() {}                      // slot 0
  virtual void Reserved1() {}                      // slot 1
  virtual void Fail(const char16_t* text) = 0;     // slot 2
  virtual void BadArgument(int32_t argument) = 0;  // slot 3
  virtual void MissingArguments() = 0;             // slot 4

 protected:
  ~ICommandReply() = default;
};

// The result object a file handler may be given.
class IQelResult {
 public:
  virtual void SetResult(int32_t code, const char16_t* text) = 0;  // slot 0

 protected:
  ~IQelResult() = default;
};

// An entry's attributes, as a directory enumeration reports them.
class IQelFileAttributes {
 public:
  virtual void Reserved0() {}      // slot 0
  virtual void Reserved1() {}      // slot 1
  virtual void Reserved2() {}      // slot 2
  virtual void Reserved3() {}      // slot 3
  virtual void Reserved4() {}      // slot 4
  virtual bool IsDirectory() = 0;  // slot 5

 protected:
  ~IQelFileAttributes() = default;
};

// A name handed out by an enumeration: text first, the counted base second,
// released through the second.
class IQelName : public IQelText, public CQelRefCounted {};

// Walks the entries matching a pattern; positioned on the first entry when made.
class IQelFileEnumerator {
 public:
  virtual void Dispose() = 0;                    // slot 0
  virtual IQelFileAttributes* Attributes() = 0;  // slot 1: borrowed
  virtual IQelName* Name() = 0;                  // slot 2: counted, the caller releases it
  virtual bool Next(IQelName** name) = 0;        // slot 3: false at the end

 protected:
  ~IQelFileEnumerator() = default;
};

// IID_QELFILESYSTEMSERVICE.
class IQelFileSystemService : public IQelService {
 public:
  virtual void Reserved8() {}  // slot 8
  // Entries matching a pattern ("\\Folder\\*.mpi"); false when none can be listed.
  virtual bool Enumerate(IQelText* pattern, IQelFileEnumerator** out) = 0;  // slot 9
  virtual void Reserved10() {}                                              // slot 10
  virtual void Reserved11() {}                                              // slot 11
  virtual void Reserved12() {}                                              // slot 12
  virtual void Reserved13() {}                                              // slot 13
  virtual void Reserved14() {}                                              // slot 14
  virtual void Reserved15() {}                                              // slot 15
  virtual bool Exists(IQelFileReference* file) = 0;                         // slot 16
  // Makes sure the folder holding the file exists.
  virtual bool PrepareDirectory(IQelFileReference* file) = 0;  // slot 17

 protected:
  ~IQelFileSystemService() = default;
};

// IID_QELFILESERVICE.
class IQelFileService : public IQelService {
 public:
  // A counted reference to a file the host knows by that name, or null.
  virtual IQelFileReference* Find(IQelText* name) = 0;  // slot 8
  // Readies a file (the reference may be null) before a stream opens it; what
  // comes back, when not null, is released through its slot 1 once the file
  // is open.
  virtual IQelService* Prepare(IQelFileReference* file) = 0;  // slot 9

 protected:
  ~IQelFileService() = default;
};

// IID_QELFILELOCATION.
class IQelFileLocation : public IQelService {
 public:
  virtual void Reserved8() {}  // slot 8
  // A counted reference for the name, or null when it cannot be resolved.
  virtual IQelFileReference* Resolve(IQelText* name) = 0;  // slot 9

 protected:
  ~IQelFileLocation() = default;
};
