// PXS on the host's own settings ("%QEL") and on a settings file (any other
// store name). Both take argument 3 as the section and value names and
// values (or variables) from the groups; the groups' third argument is unused.
#include <string>

#include "commands/command_frame.h"
#include "commands/pxs_stores.h"
#include "core/settings_file.h"
#include "qel/host.h"
#include "qelcommon/value.h"

namespace qel {
namespace {

// A file that is not one is left as it is, for reading and for writing.
constexpr char16_t kNotIni[] =
    u"The file is not an INI file in the terminal's code page or in UTF-8 with its mark";

template <class Visit>
void ForEachGroup(const PxsCall& c, Visit&& visit) {
  for (int32_t n = kFirstGroup; uint32_t(n) < c.count; n += kGroupSize) visit(n);
}

void WriteToService(const PxsCall& c, IQelSettingService* settings, IQelText* section) {
  bool failed = false;
  ForEachGroup(c, [&](int32_t n) {
    IQelText* name = c.args->GetText(n, nullptr, -1);
    const std::u16string_view text = TextOf(c.args->GetText(n + 1, nullptr, -1));
    CQelValue value;
    value.SetString(text.data(), uint32_t(text.size()));
    if (!settings->Set(section, name, &value)) failed = true;
  });
  if (failed) c.context->SetResult(1, nullptr);
}

void ReadFromService(const PxsCall& c, IQelSettingService* settings, IQelText* section) {
  bool failed = false;
  ForEachGroup(c, [&](int32_t n) {
    IQelText* name = c.args->GetText(n, nullptr, -1);
    IQelVariable* variable = c.args->GetVariable(n + 1);
    if (!name || !variable) return;
    CQelValue value;
    IQelText* text = nullptr;
    if (!settings->Get(section, name, &value)) {
      failed = true;
    } else if (!value.GetString(&text) || !variable->SetValue(text, 0)) {
      failed = true;
    }
  });
  if (failed) c.context->SetResult(1, nullptr);
}

// The file services a settings file needs, in their order; false after reporting one missing.
bool HaveFileServices(const PxsCall& c) {
  for (Slot s : {Slot::FileSystem, Slot::FileService, Slot::FileLocation})
    if (!RequireService(s, c.context, c.reply)) return false;
  return true;
}

void WriteToFile(const PxsCall& c, IQelFileSystemService* files, IQelFileReference* file) {
  if (!files->PrepareDirectory(file)) {
    c.context->SetResult(1, u"Cannot create destination directory");
    return;
  }
  const std::u16string section(TextOf(c.args->GetText(3, nullptr, -1)));
  SettingsFile ini;
  // The file is held from its load to its save, so no other writer's change
  // is lost; one that cannot be held sets no value.
  if (!SettingsFile::CanHoldSection(section)) {
    c.context->SetResult(1, nullptr);
    return;
  }
  if (!ini.OpenForChange(file->FullPath())) {
    c.context->SetResult(1, ini.failure() == SettingsFile::Failure::kNotIni ? kNotIni : nullptr);
    return;
  }
  bool failed = false;
  ForEachGroup(c, [&](int32_t n) {
    const std::u16string name(TextOf(c.args->GetText(n, nullptr, -1)));
    const std::u16string value(TextOf(c.args->GetText(n + 1, nullptr, -1)));
    if (!ini.Set(section.c_str(), name.c_str(), value.c_str())) failed = true;
  });
  ini.Save();  // a file that cannot be written is not reported
  if (failed) c.context->SetResult(1, nullptr);
}

void ReadFromFile(const PxsCall& c, IQelFileSystemService* files, IQelFileReference* file) {
  if (!files->Exists(file)) {
    c.context->SetResult(1, u"File not found");
    return;
  }
  SettingsFile ini;
  const std::u16string section(TextOf(c.args->GetText(3, nullptr, -1)));
  if (!ini.Load(file->FullPath())) {
    c.context->SetResult(1, ini.failure() == SettingsFile::Failure::kNotIni ? kNotIni : nullptr);
    return;
  }
  if (section.empty()) {
    c.context->SetResult(1, nullptr);
    return;
  }
  bool failed = false;
  ForEachGroup(c, [&](int32_t n) {
    const std::u16string name(TextOf(c.args->GetText(n, nullptr, -1)));
    IQelVariable* variable = c.args->GetVariable(n + 1);
    if (name.empty() || !variable) {
      failed = true;
      return;
    }
    if (name == u"*") {
      variable->SetText(u"", 0);
      if (!ini.HasSection(section.c_str())) {
        failed = true;
        return;
      }
      for (const auto& [key, value] : ini.Entries(section.c_str())) {
        const std::u16string line = key + u"=" + value + u"\r\n";
        variable->AppendText(line.data(), int32_t(line.size()), 0);
      }
      return;
    }
    if (const char16_t* value = ini.Get(section.c_str(), name.c_str())) {
      variable->SetText(value, 0);
    } else {
      variable->SetText(u"", 0);
      failed = true;
    }
  });
  if (failed) c.context->SetResult(1, nullptr);
}

}  // namespace

void SettingsServiceStore(const PxsCall& call) {
  auto* settings = Require<IQelSettingService>(Slot::Settings, call.context, call.reply);
  if (!settings) return;
  IQelText* section = call.args->GetText(3, nullptr, -1);
  if (call.read)
    ReadFromService(call, settings, section);
  else
    WriteToService(call, settings, section);
}

void SettingsFileStore(const PxsCall& call) {
  if (!HaveFileServices(call)) return;
  IQelFileReference* file = call.args->GetFile(2, 1, 0, -1, 0);  // belongs to the argument list
  if (!file) {
    call.reply->BadArgument(2);
    return;
  }
  auto* files = SlotAs<IQelFileSystemService>(Slot::FileSystem);
  if (call.read)
    ReadFromFile(call, files, file);
  else
    WriteToFile(call, files, file);
}

}  // namespace qel
