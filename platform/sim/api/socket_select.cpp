// Winsock's select over socket sets, as one poll of the sockets' descriptors.
//
// A socket is ready as Winsock reports it: readable with data, a pending
// connection, an orderly close or an error (the receive then says which);
// writable when a send would not block, or after an error; in the except set
// with urgent data. A non-blocking connect under way is writable once
// connected and in the except set once it failed, and nothing else until then.
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <new>

#include "api.h"
#include "last_error.h"
#include "socket_errors.h"
#include "socket_object.h"

namespace ce::sim::api {
namespace {

using Clock = std::chrono::steady_clock;

// The sockets of one select, held until it returns so that none closes (and
// its descriptor number goes to another file) under the poll. On the stack:
// a select allocates nothing.
class Watched {
 public:
  Watched() = default;
  Watched(const Watched&) = delete;
  Watched& operator=(const Watched&) = delete;
  ~Watched() {
    for (size_t i = 0; i < count_; ++i) std::destroy_at(&socket(i));
  }

  size_t size() const { return count_; }
  host::PollEntry* entries() { return entries_; }
  host::PollEntry& entry(size_t i) { return entries_[i]; }
  Socket& operator[](size_t i) { return *socket(i); }
  uint16_t& asked(size_t i) { return asked_[i]; }

  // The index of s, adding it on first sight; -1 when s names no socket.
  int Add(SOCKET s) {
    for (size_t i = 0; i < count_; ++i)
      if (values_[i] == s) return int(i);
    std::shared_ptr<Socket> found = FindSocket(s);
    if (!found) return -1;
    const size_t i = count_++;
    values_[i] = s;
    entries_[i] = {found->fd(), 0, 0};
    asked_[i] = 0;
    new (&storage_[i]) std::shared_ptr<Socket>(std::move(found));
    return int(i);
  }

 private:
  static constexpr size_t kMax = host::kMaxPollEntries;
  std::shared_ptr<Socket>& socket(size_t i) {
    return *std::launder(reinterpret_cast<std::shared_ptr<Socket>*>(&storage_[i]));
  }

  size_t count_ = 0;
  SOCKET values_[kMax];
  host::PollEntry entries_[kMax];
  uint16_t asked_[kMax];  // the sets each socket is in: kIn, kOut, kPriority
  struct alignas(std::shared_ptr<Socket>) Slot {
    unsigned char bytes[sizeof(std::shared_ptr<Socket>)];
  };
  Slot storage_[kMax];
};

// One of the three sets: what it asks of its sockets and where each of them
// is among the watched.
struct SetWatch {
  fd_set* set;
  uint16_t asked;
  uint8_t at[FD_SETSIZE];
};
static_assert(host::kMaxPollEntries <= 256 && 3 * FD_SETSIZE <= host::kMaxPollEntries);

// Adds a set's sockets to the wait; false when one is no socket.
bool Watch(SetWatch& w, Watched& watched) {
  if (!w.set) return true;
  for (UINT i = 0; i < w.set->fd_count; ++i) {
    const int at = watched.Add(w.set->fd_array[i]);
    if (at < 0) return false;
    w.at[i] = uint8_t(at);
    watched.asked(size_t(at)) |= w.asked;
  }
  return true;
}

// What of asked a socket is, given what the poll saw; a connect seen to end
// well is no longer under way.
uint16_t Readiness(Socket& socket, uint16_t asked, uint16_t seen) {
  using namespace host;
  if (socket.connecting.load(std::memory_order_relaxed)) {
    if (seen & kError) return asked & kPriority;  // the except set reports the failure
    if (!(seen & kOut)) return 0;
    socket.wasConnected = true;
    socket.connecting = false;
  }
  uint16_t ready = 0;
  if (seen & (kIn | kHangUp | kError)) ready |= kIn;
  if (seen & (kOut | kError)) ready |= kOut;
  if (seen & kPriority) ready |= kPriority;
  return ready & asked;
}

// Keeps in the set the sockets that are ready for what it asks; the count kept.
int Reduce(SetWatch& w, const uint16_t* ready) {
  if (!w.set) return 0;
  UINT kept = 0;
  for (UINT i = 0; i < w.set->fd_count; ++i)
    if (ready[w.at[i]] & w.asked) w.set->fd_array[kept++] = w.set->fd_array[i];
  w.set->fd_count = kept;
  return int(kept);
}

int64_t NanosecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
  return left > 0 ? left : 0;
}

}  // namespace

int select(int, fd_set* readSet, fd_set* writeSet, fd_set* exceptSet, const timeval* timeout) {
  if (!WinsockStarted()) return SOCKET_ERROR;
  SetWatch sets[] = {{readSet, host::kIn, {}}, {writeSet, host::kOut, {}}, {exceptSet, host::kPriority, {}}};
  UINT total = 0;
  for (const SetWatch& w : sets) {
    if (!w.set) continue;
    if (w.set->fd_count > FD_SETSIZE) return SocketFailure(WSAEINVAL);
    total += w.set->fd_count;
  }
  if (total == 0 || (timeout && (timeout->tv_sec < 0 || timeout->tv_usec < 0)))
    return SocketFailure(WSAEINVAL);
  Watched watched;
  for (SetWatch& w : sets)
    if (!Watch(w, watched)) return SOCKET_ERROR;
  // A connect under way is watched for its end whatever the sets ask.
  for (size_t i = 0; i < watched.size(); ++i)
    watched.entry(i).wanted = uint16_t(watched.asked(i) | (watched[i].connecting.load() ? host::kOut : 0));

  const Clock::time_point deadline = Clock::now() + (timeout ? std::chrono::seconds(timeout->tv_sec) +
                                                                   std::chrono::microseconds(timeout->tv_usec)
                                                             : Clock::duration::zero());
  uint16_t ready[host::kMaxPollEntries] = {};
  for (;;) {
    const int64_t left = timeout ? NanosecondsLeft(deadline) : -1;
    const int n = host::Poll(watched.entries(), watched.size(), left);
    if (n == -EINTR) continue;
    if (n < 0) return SocketFailure(WinsockError(-n));
    bool any = false;
    for (size_t i = 0; i < watched.size(); ++i) {
      if (watched[i].closed.load()) return SocketFailure(WSAEINTR);
      host::PollEntry& e = watched.entry(i);
      if (!e.ready) continue;
      const bool wasConnecting = watched[i].connecting.load();
      ready[i] = Readiness(watched[i], watched.asked(i), e.ready);
      if (ready[i]) {
        any = true;
      } else if (wasConnecting && !watched[i].connecting.load()) {
        e.wanted = watched.asked(i);  // connected: now wait for what the sets ask
      } else {
        e.fd = -1;  // a hang-up or error that no set asks about: it stays so
      }
    }
    if (any || n == 0 || left == 0) break;
  }
  int count = 0;
  for (SetWatch& w : sets) count += Reduce(w, ready);
  return count;
}

int __WSAFDIsSet(SOCKET s, fd_set* set) {
  if (!set) return 0;
  for (UINT i = 0; i < set->fd_count; ++i)
    if (set->fd_array[i] == s) return 1;
  return 0;
}

}  // namespace ce::sim::api
