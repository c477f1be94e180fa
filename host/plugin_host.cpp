#include "plugin_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "ce/text.h"
#include "ceutil/text.h"
#include "qelcommon/kind_names.h"
#include "qelcommon/value.h"

namespace qelhost {
namespace fs = std::filesystem;
namespace {

std::string_view Trim(std::string_view text) {
  const size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return text.substr(b, text.find_last_not_of(' ') - b + 1);
}

// A whole number that fits T, nothing else around it but spaces.
template <class T>
std::optional<T> WholeNumber(std::string_view text) {
  text = Trim(text);
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
  T v{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

// A decimal number: digits, one sign, a point or a comma, an exponent.
std::optional<double> Decimal(std::string_view text) {
  std::string t(Trim(text));
  if (t.empty() || t.find_first_not_of("0123456789+-.,eE") != std::string::npos) return std::nullopt;
  if (auto comma = t.find(','); comma != std::string::npos && t.find('.') == std::string::npos) t[comma] = '.';
  char* end = nullptr;
  const double d = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(d)) return std::nullopt;
  return d;
}

bool IsYesNo(char16_t c) { return c < 0x80 && std::strchr("1EeTtYy0DdFfNn", char(c)) != nullptr; }

// The command line is stricter than the value's own rules (which read "abc"
// as the number 0): each kind takes only text that plainly is such a value.
bool MakeValue(const std::string& text, QelKind kind, CQelValue* value) {
  const std::u16string wide = ceutil::FromUtf8(text);
  switch (kind) {
    case QelKind::Null: return value->Clear();
    case QelKind::String: return value->SetString(wide.data(), uint32_t(wide.size()));
    case QelKind::Char: {
      const std::string ansi = ceutil::ToAnsi(wide);
      return wide.size() == 1 && ansi.size() == 1 && ceutil::FromAnsi(ansi) == wide && value->SetChar(ansi[0]);
    }
    case QelKind::Bool:
    case QelKind::TriState: {
      const std::u16string_view t = wide;
      if (t.empty() || !(IsYesNo(t[0]) || (kind == QelKind::TriState && (t[0] == u'X' || t[0] == u'x'))))
        return false;
      value->SetString(wide.data(), uint32_t(wide.size()));
      bool b = false;
      int32_t tri = 0;
      return kind == QelKind::Bool ? value->GetBool(&b) : value->GetTriState(&tri);
    }
    case QelKind::Double:
      if (auto d = Decimal(text)) return value->SetDouble(*d);
      return false;
    case QelKind::Int32:
      if (auto v = WholeNumber<int32_t>(text)) return value->SetInt32(*v);
      return false;
    case QelKind::UInt32:
      if (auto v = WholeNumber<uint32_t>(text)) return value->SetUInt32(*v);
      return false;
    case QelKind::Int64:
      if (auto v = WholeNumber<int64_t>(text)) return value->SetInt64(uint32_t(uint64_t(*v)), uint32_t(uint64_t(*v) >> 32));
      return false;
    case QelKind::UInt64:
      if (auto v = WholeNumber<uint64_t>(text)) return value->SetUInt64(uint32_t(*v), uint32_t(*v >> 32));
      return false;
    case QelKind::Object: return false;
  }
  return false;
}

}  // namespace

struct PluginHost::Library {
  void* handle = nullptr;
  ~Library() {
    if (handle) dlclose(handle);
  }
};

PluginHost::PluginHost() = default;
PluginHost::~PluginHost() { Shutdown(); }

bool PluginHost::Load(const fs::path& module, std::string* error) {
  std::error_code ec;
  if (!fs::is_regular_file(module, ec)) {
    *error = module.string() + ": no such module file";
    return false;
  }
  auto lib = std::make_unique<Library>();
  lib->handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib->handle) {
    const char* why = dlerror();
    *error = module.string() + ": cannot be loaded: " + (why ? why : "unknown reason");
    return false;
  }
  std::array<void*, 6> found{};
  for (size_t i = 0; i < found.size(); ++i) {
    found[i] = dlsym(lib->handle, kQelExportNames[i]);
    if (!found[i]) {
      *error = module.string() + ": does not export " + kQelExportNames[i];
      return false;
    }
  }
  register_ = reinterpret_cast<QelRegisterFn>(found[0]);
  registerService_ = reinterpret_cast<QelRegisterServiceFn>(found[1]);
  unregister_ = reinterpret_cast<QelUnRegisterFn>(found[2]);
  for (int i = 0; i < 3; ++i) text_[i] = reinterpret_cast<QelTextExportFn>(found[3 + i]);
  library_ = std::move(lib);
  return true;
}

void PluginHost::Start() {
  if (!library_ || started_) return;
  registerService_(&registrar_);
  for (const RegisteredService& s : registrar_.services()) registry_.Offer(s.iid, s.service.get());
  // Services bind before Register: what they add to the HAL event handler
  // (the wake-up event) is then waited on from Register's restart of it.
  for (const RegisteredService& s : registrar_.services()) s.service.get()->Bind(&registry_);
  register_(0, &registry_);
  started_ = true;
}

void PluginHost::Shutdown() {
  if (started_) unregister_();
  started_ = false;
  registry_.Clear();
  registrar_.Clear();
  library_.reset();
}

PropertyReading PluginHost::Read(const RegisteredProperty& property) {
  PropertyReading r;
  CQelValue value;
  r.ok = property.getter(&value, property.context.get());
  if (!r.ok) return r;
  r.kind = value.GetKind();
  IQelText* text = nullptr;
  if (value.GetString(&text) && text) r.text = ceutil::ToUtf8({text->Chars(), text->Length()});
  return r;
}

bool PluginHost::Write(const RegisteredProperty& property, const std::string& text, QelKind kind, bool* ok,
                       std::string* error) {
  CQelValue value;
  if (!MakeValue(text, kind, &value)) {
    *error = "'" + text + "' is not a value of kind " + QelKindName(kind);
    return false;
  }
  *ok = property.setter(&value, property.context.get());
  return true;
}

fs::path DefaultModulePath() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return (ec ? fs::current_path() : self.parent_path()) / "QelHal_HON2.mpi";
}

}  // namespace qelhost
