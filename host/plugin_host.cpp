#include "plugin_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cstdlib>

#include "ce/text.h"
#include "core/value.h"

namespace qelhost {
namespace fs = std::filesystem;
namespace {

// The command line is stricter than the value's own rules (which read "abc" as
// the number 0): a number must be all number, and in range for its kind.
template <class T>
bool IsWholeNumber(std::string_view text) {
  const size_t b = text.find_first_not_of(' ');
  const size_t e = text.find_last_not_of(' ');
  if (b == std::string_view::npos) return false;
  text = text.substr(b, e - b + 1);
  if (text.front() == '+') text.remove_prefix(1);
  T v{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return ec == std::errc() && end == text.data() + text.size();
}

bool IsDecimal(const std::string& text) {
  std::string t = text;
  if (auto comma = t.find(','); comma != std::string::npos && t.find('.') == std::string::npos) t[comma] = '.';
  char* end = nullptr;
  std::strtod(t.c_str(), &end);
  return end != t.c_str() && t.find_first_not_of(' ', size_t(end - t.c_str())) == std::string::npos;
}

bool LooksLike(QelKind kind, const std::string& text) {
  switch (kind) {
    case QelKind::Int32: return IsWholeNumber<int32_t>(text);
    case QelKind::UInt32: return IsWholeNumber<uint32_t>(text);
    case QelKind::Int64: return IsWholeNumber<int64_t>(text);
    case QelKind::UInt64: return IsWholeNumber<uint64_t>(text);
    case QelKind::Double: return IsDecimal(text);
    default: return true;
  }
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
  for (const auto& s : registrar_.services) registry_.Offer(s.iid, s.service.get());
  register_(0, &registry_);
  for (const auto& s : registrar_.services) s.service.get()->Bind(&registry_);
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
  if (value.GetString(&text) && text) r.text = ce::ToUtf8({text->Chars(), text->Length()});
  return r;
}

bool PluginHost::Write(const RegisteredProperty& property, const std::string& text, QelKind kind, bool* ok,
                       std::string* error) {
  CQelValue value;
  const std::u16string wide = ce::FromUtf8(text);
  value.SetString(wide.data(), uint32_t(wide.size()));
  // The text becomes the asked kind by the value's own conversion rules.
  bool converted = false;
  switch (kind) {
    case QelKind::Null: converted = value.Clear(); break;
    case QelKind::String: converted = true; break;
    case QelKind::Char: { char c; converted = value.GetChar(&c) && value.SetChar(c); break; }
    case QelKind::Bool: { bool b; converted = value.GetBool(&b) && value.SetBool(b); break; }
    case QelKind::TriState: { int32_t t; converted = value.GetTriState(&t) && value.SetTriState(t); break; }
    case QelKind::Double: { double d; converted = value.GetDouble(&d) && value.SetDouble(d); break; }
    case QelKind::Int32: { int32_t i; converted = value.GetInt32(&i) && value.SetInt32(i); break; }
    case QelKind::UInt32: { uint32_t u; converted = value.GetUInt32(&u) && value.SetUInt32(u); break; }
    case QelKind::Int64: {
      int64_t i;
      converted = value.GetInt64(&i) && value.SetInt64(uint32_t(uint64_t(i)), uint32_t(uint64_t(i) >> 32));
      break;
    }
    case QelKind::UInt64: {
      uint64_t u;
      converted = value.GetUInt64(&u) && value.SetUInt64(uint32_t(u), uint32_t(u >> 32));
      break;
    }
    case QelKind::Object: break;
  }
  if (!converted || !LooksLike(kind, text)) {
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

std::optional<QelKind> KindFromName(std::string_view name) {
  for (uint32_t code = 0x10000; code <= 0xB0000; code += 0x10000) {
    const auto kind = QelKind(code);
    if (name == QelKindName(kind)) return kind;
  }
  return std::nullopt;
}

}  // namespace qelhost
