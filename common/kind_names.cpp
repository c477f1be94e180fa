#include "qelcommon/kind_names.h"

#include <string_view>

const char* QelKindName(QelKind kind) {
  switch (kind) {
    case QelKind::Null:
      return "Null";
    case QelKind::String:
      return "String";
    case QelKind::Char:
      return "Char";
    case QelKind::Bool:
      return "Bool";
    case QelKind::TriState:
      return "TriState";
    case QelKind::Double:
      return "Double";
    case QelKind::Int32:
      return "Int32";
    case QelKind::UInt32:
      return "UInt32";
    case QelKind::Int64:
      return "Int64";
    case QelKind::UInt64:
      return "UInt64";
    case QelKind::Object:
      return "Object";
  }
  return "?";
}

std::optional<QelKind> QelKindFromName(std::string_view name) {
  for (uint32_t code = 0x10000; code <= 0xB0000; code += 0x10000) {
    const auto kind = QelKind(code);
    if (name == QelKindName(kind)) return kind;
  }
  return std::nullopt;
}
