// qelhost's command-line rules for values: what they accept round-trips, and
// MakeValue agrees with them for every kind.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "value_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (const auto v = qelhost::WholeInt64(text)) {
    if (qelhost::WholeInt64(std::to_string(*v)) != v) abort();
    if (text.find_first_not_of(" +-0123456789") != std::string::npos) abort();
  }
  if (const auto v = qelhost::WholeUInt64(text)) {
    if (qelhost::WholeUInt64(std::to_string(*v)) != v) abort();
    if (text.find('-') != std::string::npos && *v != 0) abort();
  }
  if (const auto d = qelhost::DecimalNumber(text)) {
    if (!std::isfinite(*d)) abort();
  }
  const bool yesNo = qelhost::YesNo(text).has_value();
  for (uint32_t k = 1; k <= 11; ++k) {
    const QelKind kind = QelKind(k << 16);
    CQelValue value;
    const bool made = qelhost::MakeValue(text, kind, &value);
    if (made && value.GetKind() != kind) abort();
    if (kind == QelKind::Bool && made != yesNo) abort();
    if (kind == QelKind::UInt64 && made != qelhost::WholeUInt64(text).has_value()) abort();
    if (kind == QelKind::Int64 && made != qelhost::WholeInt64(text).has_value()) abort();
    if (kind == QelKind::Double && made != qelhost::DecimalNumber(text).has_value()) abort();
  }
  return 0;
}
