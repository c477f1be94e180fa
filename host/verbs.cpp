#include "verbs.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <nlohmann/json.hpp>

#include "ce/memory.h"
#include "ce/message.h"
#include "ceutil/text.h"
#include "qelcommon/guid_text.h"
#include "qelcommon/kind_names.h"

namespace qelhost {
namespace {

using json = nlohmann::ordered_json;

std::string Utf8(std::u16string_view s) { return ceutil::ToUtf8(s); }

json ReadingJson(const std::string& name, const PropertyReading& r) {
  if (!r.ok) return {{"name", name}, {"ok", false}};
  return {{"name", name}, {"ok", true}, {"kind", QelKindName(r.kind)}, {"text", r.text}};
}

// A value is whatever the module or a setter put there: shown, never obeyed.
void PrintReading(std::ostream& out, const std::string& name, const PropertyReading& r, size_t width) {
  out << std::left << std::setw(int(width)) << Printable(name) << "  ";
  if (r.ok)
    out << Printable(r.text) << "  (" << QelKindName(r.kind) << ")\n";
  else
    out << "<getter failed>\n";
}

std::string ContextName(IQelService* context, PluginHost& host) {
  if (!context) return {};
  for (const RegisteredService& s : host.registrar().services())
    if (s.service.get() == context) {
      const char* name = qel::InterfaceName(s.iid);
      return name ? name : qel::ToString(s.iid);
    }
  return "(unregistered object)";
}

const RegisteredProperty* Find(PluginHost& host, const std::string& name, const Output& o) {
  const RegisteredProperty* p = host.registrar().FindProperty(ceutil::FromUtf8(name));
  if (!p) o.err << "qelhost: no property named '" << Printable(name) << "' (see: qelhost props)\n";
  return p;
}

}  // namespace

void ReportOutputFailure(std::ostream& err, int reason) {
  err << "qelhost: the output could not be written: " << std::strerror(reason) << "\n";
}

bool IsUtf8(std::string_view text) { return ceutil::ToUtf8(ceutil::FromUtf8(text)) == text; }

std::string Hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
  return text;
}

std::string SystemErrorText(ce::DWORD code) {
  char16_t* text = nullptr;
  ce::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0x409, reinterpret_cast<char16_t*>(&text), 0, nullptr);
  std::string why = text ? ceutil::ToUtf8(text) : "";
  if (text) ce::LocalFree(text);
  while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ')) why.pop_back();
  return why.empty() ? "error " + std::to_string(code) : why + " (error " + std::to_string(code) + ")";
}

std::string Printable(std::string_view text) {
  std::string shown;
  auto escape = [&](unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    shown += "\\x";
    shown += kHex[c >> 4];
    shown += kHex[c & 15];
  };
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) {
      escape(c);
      ++i;
      continue;
    }
    // The length of a well-formed UTF-8 sequence starting here, or 0.
    size_t n = c < 0x80                   ? 1
               : (c >= 0xC2 && c <= 0xDF) ? 2
               : (c >= 0xE0 && c <= 0xEF) ? 3
               : (c >= 0xF0 && c <= 0xF4) ? 4
                                          : 0;
    if (n > 1) {
      if (i + n > text.size()) n = 0;
      for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) n = 0;
      if (n > 0) {
        const auto d = static_cast<unsigned char>(text[i + 1]);
        if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) ||
            (c == 0xF4 && d > 0x8F))
          n = 0;
      }
    }
    if (n == 0) {
      escape(c);
      ++i;
      continue;
    }
    shown.append(text.substr(i, n));
    i += n;
  }
  return shown;
}

int ListProperties(PluginHost& host, const Output& o) {
  json all = json::array();
  size_t width = 0;
  for (const RegisteredProperty& p : host.registrar().properties()) width = std::max(width, p.name.size());
  for (const RegisteredProperty& p : host.registrar().properties()) {
    const PropertyReading r = host.Read(p);
    if (o.json)
      all.push_back(ReadingJson(Utf8(p.name), r));
    else
      PrintReading(o.out, Utf8(p.name), r, width);
  }
  if (o.json) o.out << all.dump(2) << "\n";
  return kOk;
}

int GetProperty(PluginHost& host, const std::string& name, const Output& o) {
  const RegisteredProperty* p = Find(host, name, o);
  if (!p) return kUsage;
  const PropertyReading r = host.Read(*p);
  if (o.json)
    o.out << ReadingJson(name, r).dump(2) << "\n";
  else
    PrintReading(o.out, name, r, name.size());
  return r.ok ? kOk : kFailed;
}

int SetProperty(PluginHost& host, const std::string& name, const std::string& value,
                const std::string& kindName, const Output& o) {
  const RegisteredProperty* p = Find(host, name, o);
  if (!p) return kUsage;
  if (!p->setter) {
    o.err << "qelhost: property '" << Printable(name) << "' is read-only\n";
    return kUsage;
  }
  const auto kind = QelKindFromName(kindName);
  if (!kind || *kind == QelKind::Object) {
    o.err << "qelhost: --kind must be one of Null, String, Char, Bool, TriState, Double, Int32, UInt32, "
             "Int64, UInt64 (not '"
          << Printable(kindName) << "')\n";
    return kUsage;
  }
  bool ok = false;
  std::string error;
  if (!host.Write(*p, value, *kind, &ok, &error)) {
    o.err << "qelhost: " << Printable(error) << "\n";
    return kUsage;
  }
  if (o.json)
    o.out << json{{"name", name}, {"ok", ok}}.dump(2) << "\n";
  else
    o.out << Printable(name) << (ok ? "  set\n" : "  <setter failed>\n");
  return ok ? kOk : kFailed;
}

int ListServices(PluginHost& host, const Output& o) {
  json all = json::array();
  for (const RegisteredService& s : host.registrar().services()) {
    const char* name = qel::InterfaceName(s.iid);
    const std::string iid = qel::ToString(s.iid);
    if (o.json)
      all.push_back({{"iid", iid}, {"name", name ? json(name) : json()}});
    else
      o.out << iid << "  " << (name ? name : "") << "\n";
  }
  if (o.json) o.out << all.dump(2) << "\n";
  return kOk;
}

int ListCommands(PluginHost& host, const Output& o) {
  json all = json::array();
  for (const RegisteredCommand& c : host.registrar().commands()) {
    const std::string context = ContextName(c.context.get(), host);
    if (o.json)
      all.push_back({{"code", Utf8(c.code)},
                     {"flag", c.flag},
                     {"timeout", c.timeout},
                     {"context", context.empty() ? json() : json(context)},
                     {"argument_kinds", c.kinds != nullptr}});
    else
      o.out << Utf8(c.code) << "  flag " << c.flag << "  timeout " << c.timeout
            << (context.empty() ? "" : "  context " + context) << "\n";
  }
  if (o.json)
    o.out << all.dump(2) << "\n";
  else if (host.registrar().commands().empty())
    o.out << "(the module registered no commands)\n";
  return kOk;
}

Verb PropsVerb() {
  return MakeVerb("props", "list every registered property with its value, in registration order",
                  Needs::kModule, [](const VerbContext& c) { return ListProperties(*c.host, c.out); });
}

Verb PropVerb() { return VerbGroup("prop", "read or write one property"); }

Verb PropGetVerb() {
  struct Options {
    std::string name;
  };
  return MakeVerb<Options>(
      "prop get", "read a property", Needs::kModule,
      [](CLI::App& verb, Options& o) { verb.add_option("NAME", o.name, "property name")->required(); },
      [](const Options& o, const VerbContext& c) { return GetProperty(*c.host, o.name, c.out); });
}

Verb PropSetVerb() {
  struct Options {
    std::string name, value, kind = "String";
  };
  return MakeVerb<Options>(
      "prop set", "write a property", Needs::kModule,
      [](CLI::App& verb, Options& o) {
        verb.add_option("NAME", o.name, "property name")->required();
        verb.add_option("VALUE", o.value, "the value, as text")->required();
        verb.add_option("--kind", o.kind, "kind of the value written (default String)");
      },
      [](const Options& o, const VerbContext& c) {
        return SetProperty(*c.host, o.name, o.value, o.kind, c.out);
      });
}

Verb ServicesVerb() {
  return MakeVerb("services", "list the services the module registered", Needs::kModule,
                  [](const VerbContext& c) { return ListServices(*c.host, c.out); });
}

Verb CommandsVerb() {
  return MakeVerb("commands", "list the commands the module registered", Needs::kModule,
                  [](const VerbContext& c) { return ListCommands(*c.host, c.out); });
}

}  // namespace qelhost
