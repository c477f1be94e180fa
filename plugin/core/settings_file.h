// A settings file in INI form, in the system's ANSI code page without a
// byte-order mark, or in UTF-8 when it starts with the UTF-8 mark (written
// back so, mark kept): one value per name, no multi-line values, "name=value"
// without spaces, CR LF line ends, sections and names kept in the order they
// were first loaded or added. Read and written through the system's file calls.
//
// Other programs may use the same file at the same time: a change holds the
// file from its load to its save, denying other writers and readers, and a
// reader denies writers while it loads.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qel {

class SettingsFile {
 public:
  SettingsFile();
  ~SettingsFile();
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

  // Why the last Load or OpenForChange failed.
  enum class Failure {
    kNone,
    kUnavailable,  // missing, unreadable, or held by another program for too long
    kNotIni,       // bytes that do not read as an INI file (see IsIniText)
  };

  // For reading. False, leaving the object empty, when the file is missing,
  // unreadable, held by a writer for longer than a reader waits, or not an
  // INI file (IsIniText).
  bool Load(const char16_t* path);

  // For a change: opens the file, creating it when missing, holds it until
  // Save or destruction, and loads what it holds. False when it cannot be
  // opened (for instance held by another program for longer than a change
  // waits) or does not hold an INI file (IsIniText): such a file is let go
  // unchanged, never written over.
  bool OpenForChange(const char16_t* path);
  Failure failure() const;

  // Whether bytes read back as an INI file and nothing of them would be lost
  // by loading and saving: in the system's ANSI code page, or in UTF-8 after
  // the UTF-8 mark (a UTF-16 mark is refused); no control character but tab,
  // CR and LF, text the code page converts both ways unchanged, and every
  // line blank, a comment (";" or "#"), a section ("[name]") or "name=value"
  // with a name.
  static bool IsIniText(std::string_view bytes);
  // Writes the object back into the file OpenForChange holds, and lets it go.
  bool Save();

  // Whether the text has the shape of a section name that reads back as
  // written, in any file: not empty, no brackets or line breaks, no blank at
  // either end. Its characters are the file's matter (Set).
  static bool CanHoldSection(std::u16string_view section);

  // Creates the section when missing and replaces an existing value. False,
  // changing nothing, when the library refuses or when a section, name or
  // value would not read back as written (line breaks, "=" in a name, blanks
  // at either end, a name that reads as a comment or section, characters the
  // file's code page lacks: outside the ANSI code page, or a lone surrogate in UTF-8).
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
