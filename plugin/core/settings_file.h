// A settings file in INI form, in the system's ANSI code page without a
// byte-order mark: one value per name, no multi-line values, "name=value"
// without spaces, CR LF line ends, sections and names kept in the order they
// were first loaded or added. Read and written through the system's file calls.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qel {

class SettingsFile {
 public:
  SettingsFile();
  ~SettingsFile();
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

  // False, leaving the object empty, when the file is missing or unreadable.
  bool Load(const char16_t* path);
  bool Save(const char16_t* path) const;

  // Creates the section when missing and replaces an existing value; false when the library refuses.
  bool Set(const char16_t* section, const char16_t* name, const char16_t* value);
  // Null when the section or the name is missing.
  const char16_t* Get(const char16_t* section, const char16_t* name) const;
  bool HasSection(const char16_t* section) const;
  // Every name of the section with a value, in file order.
  std::vector<std::pair<std::u16string, std::u16string>> Entries(const char16_t* section) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qel
