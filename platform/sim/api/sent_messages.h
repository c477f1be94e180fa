// Messages sent to windows of another thread wait in that thread's queue
// until it looks for a message; these run them there.
#pragma once

#include "ce/window.h"
#include "message_queue.h"

namespace ce::sim::api {

// Runs every message sent to the calling thread's windows that waits in its
// queue, and posts each result back to the thread that sent it.
void RunSentMessages(MessageQueue& queue);

}  // namespace ce::sim::api
