// Point-to-point message queues. A read handle is waitable: it is signalled
// while messages wait. Queues of one name are one queue; an unnamed queue is
// reached through the handle its creator holds (the system writes power
// notifications into it, say).
#pragma once

#include "ce/types.h"
#include "ce/unique.h"

#ifndef MSGQUEUE_NOPRECOMMIT
#define MSGQUEUE_NOPRECOMMIT 0x00000001
#endif
#ifndef MSGQUEUE_ALLOW_BROKEN
#define MSGQUEUE_ALLOW_BROKEN 0x00000002
#endif
#ifndef MSGQUEUE_MSGALERT
#define MSGQUEUE_MSGALERT 0x00000001
#endif

namespace ce {

struct MSGQUEUEOPTIONS {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwMaxMessages;  // 0: no limit
  DWORD cbMaxMessage;
  BOOL bReadAccess;
};
static_assert(sizeof(MSGQUEUEOPTIONS) == 20);

HANDLE CreateMsgQueue(LPCWSTR name, MSGQUEUEOPTIONS* options);
BOOL CloseMsgQueue(HANDLE queue);
// Takes the oldest message; ERROR_INSUFFICIENT_BUFFER (the message kept) when
// it does not fit, ERROR_TIMEOUT when none came in time.
BOOL ReadMsgQueue(HANDLE queue, void* buffer, DWORD bufferSize, DWORD* bytesRead, DWORD timeout,
                  DWORD* flags);
// ERROR_INSUFFICIENT_BUFFER for a message above the queue's maximum size,
// ERROR_OUTOFMEMORY when the queue is full.
BOOL WriteMsgQueue(HANDLE queue, const void* buffer, DWORD bufferSize, DWORD timeout, DWORD flags);

// Owns a queue handle; CreateMsgQueue gives null on failure.
struct MsgQueueTraits {
  using Value = HANDLE;
  static HANDLE Empty() { return nullptr; }
  static bool Held(HANDLE q) { return q != nullptr; }
  static void Close(HANDLE q) { ce::CloseMsgQueue(q); }
};
using UniqueMsgQueue = Unique<MsgQueueTraits>;

}  // namespace ce
