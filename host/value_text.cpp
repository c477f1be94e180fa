#include "value_text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "ce/text.h"
#include "ceutil/text.h"

namespace qelhost {
namespace {

std::string_view Trim(std::string_view text) {
  const size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return text.substr(b, text.find_last_not_of(' ') - b + 1);
}

template <class T>
std::optional<T> WholeNumber(std::string_view text) {
  text = Trim(text);
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
  T v{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace

std::optional<int64_t> WholeInt64(std::string_view text) { return WholeNumber<int64_t>(text); }
std::optional<uint64_t> WholeUInt64(std::string_view text) { return WholeNumber<uint64_t>(text); }

std::optional<double> DecimalNumber(std::string_view text) {
  std::string t(Trim(text));
  if (t.empty() || t.find_first_not_of("0123456789+-.,eE") != std::string::npos) return std::nullopt;
  if (auto comma = t.find(','); comma != std::string::npos && t.find('.') == std::string::npos)
    t[comma] = '.';
  char* end = nullptr;
  const double d = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(d)) return std::nullopt;
  // A nonzero number too small for a double would silently become 0.
  const std::string mantissa = t.substr(0, t.find_first_of("eE"));
  if (d == 0 && mantissa.find_first_of("123456789") != std::string::npos) return std::nullopt;
  return d;
}

std::optional<bool> YesNo(std::string_view text) {
  const std::string word = Lower(Trim(text));
  for (const char* yes : {"1", "true", "yes", "on", "t", "y", "e", "enabled"})
    if (word == yes) return true;
  for (const char* no : {"0", "false", "no", "off", "f", "n", "d", "disabled"})
    if (word == no) return false;
  return std::nullopt;
}

bool MakeValue(const std::string& text, QelKind kind, CQelValue* value) {
  const std::u16string wide = ceutil::FromUtf8(text);
  switch (kind) {
    case QelKind::Null:
      return value->Clear();
    case QelKind::String:
      return value->SetString(wide.data(), uint32_t(wide.size()));
    case QelKind::Char: {
      const std::string ansi = ceutil::ToAnsi(wide);
      return wide.size() == 1 && ansi.size() == 1 && ceutil::FromAnsi(ansi) == wide &&
             value->SetChar(ansi[0]);
    }
    case QelKind::Bool:
      if (auto b = YesNo(text)) return value->SetBool(*b);
      return false;
    case QelKind::TriState:
      if (Lower(Trim(text)) == "unknown") return value->SetTriState(kTriUnknown);
      if (auto b = YesNo(text)) return value->SetTriState(*b ? kTriYes : kTriNo);
      return false;
    case QelKind::Double:
      if (auto d = DecimalNumber(text)) return value->SetDouble(*d);
      return false;
    case QelKind::Int32:
      if (auto v = WholeNumber<int32_t>(text)) return value->SetInt32(*v);
      return false;
    case QelKind::UInt32:
      if (auto v = WholeNumber<uint32_t>(text)) return value->SetUInt32(*v);
      return false;
    case QelKind::Int64:
      if (auto v = WholeNumber<int64_t>(text))
        return value->SetInt64(uint32_t(uint64_t(*v)), uint32_t(uint64_t(*v) >> 32));
      return false;
    case QelKind::UInt64:
      if (auto v = WholeNumber<uint64_t>(text)) return value->SetUInt64(uint32_t(*v), uint32_t(*v >> 32));
      return false;
    case QelKind::Object:
      return false;
  }
  return false;
}

}  // namespace qelhost
