// The host's own services that commands use, all working on the terminal
// through the system calls:
//  - file location (IID_QELFILELOCATION): Resolve turns a name into a device
//    path: "\x\y" (or "/x/y") as it stands, "<QEL>name" and a bare name in the
//    host's folder on the terminal, kHostFolder, "<ADM>name" in its agent's,
//    kAgentFolder; names with < > : | ? * or control characters cannot be
//    resolved;
//  - file service (IID_QELFILESERVICE): Find resolves the same way and answers
//    only for a file that exists; Prepare makes a file's folders before a
//    stream opens it;
//  - file system (IID_QELFILESYSTEMSERVICE): Exists, PrepareDirectory and
//    directory enumeration;
//  - settings (IID_QELSETTINGSERVICE): the host's own settings, persisted in
//    the terminal's registry under HKEY_LOCAL_MACHINE\kSettingsKey\<section>
//    as REG_SZ values.
#pragma once

#include <string>

#include "qel/command.h"
#include "qel/guids.h"
#include "qel/host.h"
#include "qel/object.h"

namespace qelhost {

inline constexpr char16_t kHostFolder[] = u"\\Program Files\\Qel\\";
inline constexpr char16_t kAgentFolder[] = u"\\Program Files\\Qel\\Agent\\";
// The host client's executable in that folder: qelhost's module path on the terminal.
inline constexpr char16_t kHostExecutable[] = u"\\Program Files\\Qel\\qelhost.exe";
inline constexpr char16_t kSettingsKey[] = u"Software\\Qel\\Settings";

// A counted reference to a device path.
class FileReference final : public IQelFileReference {
 public:
  explicit FileReference(std::u16string path) : path_(std::move(path)) {}
  const char16_t* FullPath() override { return path_.c_str(); }

 private:
  std::u16string path_;
};

// The device path for a name, or empty when the name cannot be resolved.
std::u16string ResolveName(std::u16string_view name);
// Makes every missing folder above the file a device path names; true when
// its folder is there.
bool PrepareFolders(std::u16string_view path);

class FileLocation final : public qel::CQelObject<IQelFileLocation, qel::IID_QELFILELOCATION> {
 public:
  IQelFileReference* Resolve(IQelText* name) override;
};

class FileService final : public qel::CQelObject<IQelFileService, qel::IID_QELFILESERVICE> {
 public:
  IQelFileReference* Find(IQelText* name) override;
  // Makes the folders of the file's path; hands back nothing to release.
  IQelService* Prepare(IQelFileReference* file) override;
};

class FileSystem final : public qel::CQelObject<IQelFileSystemService, qel::IID_QELFILESYSTEMSERVICE> {
 public:
  bool Enumerate(IQelText* pattern, IQelFileEnumerator** out) override;
  bool Exists(IQelFileReference* file) override;
  bool PrepareDirectory(IQelFileReference* file) override;
};

class Settings final : public qel::VirtuallyCounted<IQelSettingService> {
 public:
  bool Set(IQelText* section, IQelText* name, IQelValue* value) override;
  bool Get(IQelText* section, IQelText* name, IQelValue* value) override;
};

// Found under IID_QELSETTINGSERVICE; hands out the settings object.
class SettingsProvider final : public qel::CQelObject<IQelService, qel::IID_QELSETTINGSERVICE> {
 public:
  SettingsProvider();
  ~SettingsProvider() override;
  bool GetInterface(GUID iid, void** out) override;

 private:
  Settings* settings_;  // counted
};

}  // namespace qelhost
