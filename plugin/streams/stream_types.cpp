#include "streams/stream_types.h"

namespace qel {
namespace {

constexpr StreamType kStreamTypes[] = {{u"COM", nullptr}, {u"SOCKET", nullptr}, {u"FILE", nullptr}};

}  // namespace

std::span<const StreamType> StreamTypes() { return kStreamTypes; }

}  // namespace qel
