// What each qelhost verb does, and the verbs' entries for the table.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "ce/types.h"
#include "plugin_host.h"
#include "verb_table.h"

namespace qelhost {

enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2, kOutputFailed = 3 };

// Text for a message line: control characters and bytes that are not UTF-8
// shown as \xNN, so a name cannot move the cursor or break the line.
std::string Printable(std::string_view text);
// A number as hexadecimal with its 0x ("0x1F").
std::string Hex(uint64_t v);
// The system's English text for an error code, without its line end, and the code.
std::string SystemErrorText(ce::DWORD code);
// Text is well-formed UTF-8, so that its conversion to UTF-16 loses nothing.
bool IsUtf8(std::string_view text);

// Says on err that the output could not be written, and why (an errno value).
void ReportOutputFailure(std::ostream& err, int reason);

struct Output {
  std::ostream& out;
  std::ostream& err;
  bool json = false;
};

int ListProperties(PluginHost& host, const Output& o);
int GetProperty(PluginHost& host, const std::string& name, const Output& o);
int SetProperty(PluginHost& host, const std::string& name, const std::string& value, const std::string& kind,
                const Output& o);
int ListServices(PluginHost& host, const Output& o);
// Calls GetESN, GetUSN and GetQELPlatform; 1 when any returned false.
int ShowIdentity(PluginHost& host, const Output& o);
int ListCommands(PluginHost& host, const Output& o);

struct DateRequest {
  std::string format;
  std::string at;                       // ISO time; empty: the terminal's local time now
  bool utc = false;                     // convert from local time to UTC first
  std::optional<std::string> language;  // fr, nl or en: names when the locale has none
};
int FormatDate(const DateRequest& request, const Output& o);
// Opens the file, closes it, waits, reopens it and reports size, last-write
// time and whether it changed since that close.
int FileInfo(const std::string& devicePath, int waitMs, const Output& o);

// Entries of the verbs above: verbs.cpp, verbs_identity.cpp (IdentityVerb),
// verbs_time.cpp (DateVerb, FileInfoVerb).
Verb PropsVerb();
Verb PropVerb();
Verb PropGetVerb();
Verb PropSetVerb();
Verb IdentityVerb();
Verb ServicesVerb();
Verb CommandsVerb();
Verb DateVerb();
Verb FileInfoVerb();

}  // namespace qelhost
