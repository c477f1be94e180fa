#include "recorded_change.h"

#include "outputs.h"

namespace ce::sim {

bool RecordedChange(std::string_view device, const hw::Changes& changes, std::string_view line,
                    std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  bool made = false, ran = false;
  AppendOutputLine(
      device, line, error, [&](std::string* e) { return made = changes.Apply(e); }, &ran);
  if (!ran) made = changes.Apply(error);
  return made;
}

}  // namespace ce::sim
