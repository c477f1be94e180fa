// The terminal's event channel as a listener reads it: any bytes, read in any
// pieces, give exactly the complete lines of at most kMaxEventRecordBytes
// (longer ones skipped whole), while the reader never holds more than one
// record; each record parses without fault, and a power record's bytes
// written again read back the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "terminal_events.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ce::sim;
  if (size < 1) return 0;
  // The first byte chooses the sizes of the pieces the rest is read in.
  const unsigned step = 1 + data[0] % 64u;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  // What the channel holds, by the rule.
  std::vector<std::string> expected;
  size_t skipped = 0;
  for (size_t at = 0;;) {
    const size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) break;
    const std::string_view line = bytes.substr(at, end - at);
    if (line.size() <= kMaxEventRecordBytes) {
      expected.emplace_back(line);
    } else {
      ++skipped;
    }
    at = end + 1;
  }

  EventRecordReader reader;
  std::vector<std::string> got;
  unsigned piece = step;
  for (size_t at = 0; at < bytes.size();) {
    const size_t n = std::min<size_t>(piece, bytes.size() - at);
    reader.Feed(bytes.substr(at, n), [&](std::string_view r) { got.emplace_back(r); });
    if (reader.held() > kMaxEventRecordBytes) abort();
    at += n;
    piece = piece * 7 % 4099 + 1;  // pieces of many sizes, some longer than a record
  }
  if (got != expected || reader.skipped() != skipped) abort();

  for (const auto& r : got) {
    const EventRecord e = ParseEventRecord(r);
    if (e.kind == EventRecord::Kind::kPower) {
      const std::string again = PowerEventRecord(e.power);
      const EventRecord back = ParseEventRecord(again);
      if (back.kind != EventRecord::Kind::kPower || back.power != e.power || again.size() != r.size())
        abort();
      if (!WhyNotAnEventRecord(again).empty()) abort();
    }
    const bool plain = r.find('\0') == std::string::npos;
    if (WhyNotAnEventRecord(r).empty() != plain) abort();
  }
  return 0;
}
