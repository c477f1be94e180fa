// qelhost date and file-info: the foundation's date-time value and file
// object, run in qelhost's own process on the chosen terminal.
#include <CLI/CLI.hpp>
#include <charconv>
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "ce/error.h"
#include "ce/memory.h"
#include "ce/time.h"
#include "ceutil/text.h"
#include "foundation/date_time.h"
#include "foundation/file.h"
#include "verbs.h"

namespace qelhost {
namespace {

using json = nlohmann::ordered_json;

// Reads `digits` decimal digits at text[*at].
bool Take(const std::string& text, size_t* at, size_t digits, uint32_t* out) {
  if (*at + digits > text.size()) return false;
  const char* first = text.data() + *at;
  for (size_t i = 0; i < digits; ++i)
    if (first[i] < '0' || first[i] > '9') return false;
  std::from_chars(first, first + digits, *out);
  *at += digits;
  return true;
}

bool Expect(const std::string& text, size_t* at, char c) {
  if (*at >= text.size() || text[*at] != c) return false;
  ++*at;
  return true;
}

// YYYY-MM-DD, optionally followed by T (or a space) and HH:MM[:SS[.mmm]].
std::optional<QelDateTimeFields> ParseIsoTime(const std::string& text) {
  QelDateTimeFields f{};
  size_t at = 0;
  if (!Take(text, &at, 4, &f.year) || !Expect(text, &at, '-') || !Take(text, &at, 2, &f.month) ||
      !Expect(text, &at, '-') || !Take(text, &at, 2, &f.day))
    return std::nullopt;
  if (at < text.size()) {
    if (text[at] != 'T' && text[at] != ' ') return std::nullopt;
    ++at;
    if (!Take(text, &at, 2, &f.hour) || !Expect(text, &at, ':') || !Take(text, &at, 2, &f.minute))
      return std::nullopt;
    if (at < text.size() && (!Expect(text, &at, ':') || !Take(text, &at, 2, &f.second))) return std::nullopt;
    if (at < text.size() && (!Expect(text, &at, '.') || !Take(text, &at, 3, &f.millisecond)))
      return std::nullopt;
  }
  if (at != text.size() || f.day == 0) return std::nullopt;
  return f;
}

QelDateTimeFields LocalNow() {
  ce::SYSTEMTIME now{};
  ce::GetLocalTime(&now);
  return {now.wMilliseconds, now.wSecond, now.wMinute, now.wHour, now.wDay, now.wMonth, now.wYear};
}

// Releases a counted object when leaving scope.
template <class T>
struct Held {
  T* p;
  ~Held() {
    if (p) p->Release();
  }
};

// Formats through a new local-heap block, freed here.
std::optional<std::string> FormatToUtf8(IQelDateTime* value, const std::u16string& format) {
  char16_t* text = value->Format(format.c_str(), -1, nullptr, 0);
  if (!text) return std::nullopt;
  std::string utf8 = ceutil::ToUtf8(text);
  ce::LocalFree(text);
  return utf8;
}

}  // namespace

int FormatDate(const DateRequest& r, const Output& o) {
  static const std::pair<const char*, qel::NameLanguage> kLanguages[] = {{"fr", qel::NameLanguage::kFrench},
                                                                         {"nl", qel::NameLanguage::kDutch},
                                                                         {"en", qel::NameLanguage::kEnglish}};
  auto language = qel::NameLanguage::kEnglish;
  if (r.language) {
    bool known = false;
    for (const auto& [code, lang] : kLanguages)
      if (*r.language == code) language = lang, known = true;
    if (!known) {
      o.err << "qelhost: date: --language must be fr, nl or en, not '" << Printable(*r.language) << "'\n";
      return kUsage;
    }
  }
  QelDateTimeFields fields = LocalNow();
  if (!r.at.empty()) {
    const auto parsed = ParseIsoTime(r.at);
    if (!parsed) {
      o.err << "qelhost: date: --at '" << Printable(r.at)
            << "' is not a time such as 2024-03-05T14:07:09.045\n";
      return kUsage;
    }
    fields = *parsed;
  }
  Held<qel::CQelDateTime> value{qel::CQelDateTime::Create(fields)};
  if (!value.p) return kFailed;
  if (!value.p->IsValid()) {
    if (!r.at.empty()) {
      o.err << "qelhost: date: --at '" << Printable(r.at) << "' names no day of the calendar\n";
      return kUsage;
    }
    o.err
        << "qelhost: date: the terminal's local time (" << fields.year << "-" << fields.month << "-"
        << fields.day
        << ") names no day of the calendar: its clock or time zone (time.zone.* in 'qelhost terminal show') "
           "is wrong\n";
    return kFailed;
  }
  value.p->SetNameLanguage(language);
  // A format naming UTC converts by itself; converting here too would do it twice.
  const bool formatConverts = r.format.find("UTC") != std::string::npos;
  if (r.utc && !formatConverts && !value.p->ConvertToUtc()) {
    const ce::DWORD error = ce::GetLastError();  // before the stream's own calls
    o.err << "qelhost: date: the time cannot be converted to UTC (error " << error << ")\n";
    return kFailed;
  }
  const auto text = FormatToUtf8(value.p, ceutil::FromUtf8(r.format));
  if (!text) {
    o.err << "qelhost: date: out of memory\n";
    return kFailed;
  }
  if (o.json)
    o.out << json{{"format", r.format}, {"text", *text}}.dump(2) << "\n";
  else
    o.out << *text << "\n";
  return kOk;
}

int FileInfo(const std::string& devicePath, int waitMs, const Output& o) {
  if (waitMs < 0) {
    o.err << "qelhost: file-info: --wait must be 0 or more milliseconds\n";
    return kUsage;
  }
  if (!IsUtf8(devicePath)) {
    o.err << "qelhost: file-info: " << Printable(devicePath) << ": not valid UTF-8 text\n";
    return kUsage;
  }
  const std::u16string path = ceutil::FromUtf8(devicePath);
  Held<qel::CQelFile> file{qel::CQelFile::Create()};
  if (!file.p) return kFailed;
  // The object's record is taken when it closes the file; reopening then shows
  // whether anything wrote to the file in between.
  if (!file.p->Open(path.c_str(), kQelFileRead)) {
    const ce::DWORD error = ce::GetLastError();  // before the stream's own calls
    o.err << "qelhost: file-info: " << Printable(devicePath) << ": cannot be opened (error " << error
          << ")\n";
    return kFailed;
  }
  file.p->Close();
  if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
  if (!file.p->Open(path.c_str(), kQelFileRead)) {
    const ce::DWORD error = ce::GetLastError();  // before the stream's own calls
    o.err << "qelhost: file-info: " << Printable(devicePath) << ": cannot be reopened (error " << error
          << ")\n";
    return kFailed;
  }
  const bool changed = file.p->HasChanged();
  const uint64_t size = file.p->GetSize();
  Held<IQelDateTime> written{file.p->GetLastWriteTime()};
  const auto writtenText =
      written.p ? FormatToUtf8(written.p, u"%Y-%M-%DT%H:%N:%S.%L") : std::optional<std::string>();
  if (size == ~uint64_t{0} || !writtenText) {
    o.err << "qelhost: file-info: " << Printable(devicePath) << ": size or last-write time cannot be read\n";
    return kFailed;
  }
  if (o.json) {
    o.out << json{{"path", devicePath},
                  {"size", size},
                  {"last_write_utc", *writtenText + "Z"},
                  {"changed", changed}}
                 .dump(2)
          << "\n";
  } else {
    o.out << "path        " << Printable(devicePath) << "\n"
          << "size        " << size << "\n"
          << "last write  " << *writtenText << " (UTC)\n"
          << "changed     " << (changed ? "yes" : "no") << "\n";
  }
  return kOk;
}

Verb DateVerb() {
  return MakeVerb<DateRequest>(
      "date", "format a time with the %-code language (e.g. \"%D%/%M%/%Y %h%:%N\", %#64)", Needs::kTerminal,
      [](CLI::App& verb, DateRequest& r) {
        verb.add_option("FORMAT", r.format, "the format; %#NN selects standard format NN")->required();
        verb.add_option("--at", r.at,
                        "the time, YYYY-MM-DD[THH:MM[:SS[.mmm]]] (default: the terminal's local time)");
        verb.add_flag("--utc", r.utc, "convert from the terminal's local time to UTC first");
        verb.add_option("--language", r.language, "names when the terminal's locale has none: fr, nl or en");
      },
      [](const DateRequest& r, const VerbContext& c) { return FormatDate(r, c.out); });
}

Verb FileInfoVerb() {
  struct Options {
    std::string path;
    int waitMs = 0;
  };
  return MakeVerb<Options>(
      "file-info", "size, last-write time and change state of a terminal file", Needs::kTerminal,
      [](CLI::App& verb, Options& o) {
        verb.add_option("DEVICE-PATH", o.path, "device path, e.g. \\Windows\\Wceload.exe")->required();
        verb.add_option("--wait", o.waitMs, "milliseconds between the close and the reopening (default 0)");
      },
      [](const Options& o, const VerbContext& c) { return FileInfo(o.path, o.waitMs, c.out); });
}

}  // namespace qelhost
