#include "streams/stream_types.h"

#include "streams/file_stream.h"
#include "streams/serial_stream.h"
#include "streams/socket_stream.h"

namespace qel {
namespace {

constexpr StreamType kStreamTypes[] = {
    {u"COM", SerialStreamFactory},
    {u"SOCKET", SocketStreamFactory},
    {u"FILE", FileStreamFactory},
};

}  // namespace

std::span<const StreamType> StreamTypes() { return kStreamTypes; }

}  // namespace qel
