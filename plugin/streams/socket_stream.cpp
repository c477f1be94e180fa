#include "streams/socket_stream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "ce/sync.h"
#include "ce/system.h"
#include "ceutil/text.h"
#include "qelcommon/value.h"
#include "streams/stream_values.h"

namespace qel {
namespace {

ce::WORD NetworkOrder(uint16_t v) {
  if constexpr (std::endian::native == std::endian::little) return ce::WORD((v >> 8) | (v << 8));
  return v;
}

ce::DWORD NetworkOrder32(uint32_t v) {
  if constexpr (std::endian::native == std::endian::little)
    return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
  return v;
}

ce::SOCKADDR_IN Address(ce::DWORD ip, uint16_t port) {
  ce::SOCKADDR_IN a{};
  a.sin_family = AF_INET;
  a.sin_port = NetworkOrder(port);
  a.sin_addr.S_un.S_addr = ip;
  return a;
}

const ce::SOCKADDR* AsAddress(const ce::SOCKADDR_IN& a) { return reinterpret_cast<const ce::SOCKADDR*>(&a); }

ce::timeval Limit(uint32_t timeoutMs) {
  return {ce::LONG(timeoutMs / 1000), ce::LONG(timeoutMs % 1000 * 1000)};
}

// Shut both ways and close; the slot becomes empty.
void CloseSocket(std::atomic<ce::SOCKET>& slot) {
  const ce::SOCKET s = slot.exchange(INVALID_SOCKET);
  if (s == INVALID_SOCKET) return;
  ce::shutdown(s, SD_BOTH);
  ce::closesocket(s);
}

bool MakeNonBlocking(ce::SOCKET s) {
  ce::DWORD on = 1;
  return ce::ioctlsocket(s, FIONBIO, &on) == 0;
}

// The time still left of `remaining` after an attempt that began at `since`.
uint32_t Left(uint32_t remaining, ce::DWORD since) {
  const ce::DWORD spent = ce::GetTickCount() - since;
  return spent >= remaining ? 0 : remaining - spent;
}

// The addresses of a host: its dotted form, else what the resolver knows.
std::vector<ce::DWORD> Resolve(const std::u16string& host) {
  const std::string name = ceutil::ToAnsi(host);
  const ce::DWORD dotted = ce::inet_addr(name.c_str());
  if (dotted != INADDR_NONE) return {dotted};
  std::vector<ce::DWORD> found;
  if (const ce::hostent* h = ce::gethostbyname(name.c_str()); h && h->h_addr_list)
    for (char** a = h->h_addr_list; *a; ++a) {
      ce::DWORD ip;
      std::memcpy(&ip, *a, sizeof ip);
      found.push_back(ip);
    }
  return found;
}

}  // namespace

CQelSocketStream::CQelSocketStream() : CQelThread(u"Socket Stream") { local_.sin_family = AF_INET; }

CQelSocketStream::~CQelSocketStream() {
  Close();
  Finish(1000);
}

bool CQelSocketStream::Configure(int32_t count, IQelValue** values) {
  if (count < 2 || !values) return false;
  std::u16string protocol = ValueText(values[0]);
  if (protocol.empty()) protocol = u"TCP";
  if (ceutil::EqualNoCase(protocol, u"TCP")) {
    type_ = SOCK_STREAM;
  } else if (ceutil::EqualNoCase(protocol, u"UDP")) {
    type_ = SOCK_DGRAM;
  } else if (ceutil::EqualNoCase(protocol, u"TCPSERVER")) {
    type_ = SOCK_STREAM;
    server_ = true;
  } else {
    return false;
  }
  uint32_t port = 0;
  if (!ValueNumber(values[1], 0, &port) || port > 0xFFFF) return false;
  local_ = Address(INADDR_ANY, uint16_t(port));
  if (count > 3 && !ValueEmpty(values[3])) {
    bool on = true;
    if (values[3]->GetBool(&on)) keepAlive_ = on ? 1 : 0;
  }
  if (count == 2) return server_;  // a server needs no address; a client does
  const std::u16string address = ValueText(values[2]);
  return !address.empty() && SetAddress(address.c_str());
}

bool CQelSocketStream::SetAddress(const char16_t* address) {
  if (!address || !*address) return false;
  const std::u16string_view text(address);
  port_ = kDefaultPort;
  const size_t colon = text.find(u':');
  host_ = text.substr(0, colon);
  if (colon != std::u16string_view::npos && colon + 1 < text.size()) {
    uint32_t port = 0;
    for (size_t i = colon + 1; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
      port = port * 10 + uint32_t(text[i] - u'0');
    port_ = uint16_t(port);
  }
  return true;
}

IQelValue* CQelSocketStream::GetAddress() {
  auto* value = new (std::nothrow) CQelValue;
  if (!value) return nullptr;
  const std::u16string text = host_ + u":" + std::u16string(ceutil::FromAnsi(std::to_string(port_)));
  value->SetStringZ(text.c_str());
  return value;
}

void CQelSocketStream::Open(uint32_t timeoutMs) {
  if (open_ || timeoutMs == 0) return;
  Close();  // what a peer's close left behind: the wake socket, the server's thread
  const ce::SOCKET s = ce::socket(AF_INET, type_, 0);
  if (s == INVALID_SOCKET) return;
  (server_ ? listen_ : data_) = s;
  bool ok = local_.sin_port == 0 || ce::bind(s, AsAddress(local_), sizeof local_) == 0;
  if (ok) {
    const ce::SOCKET wake = ce::socket(AF_INET, SOCK_DGRAM, 0);
    wake_ = wake;
    const ce::SOCKADDR_IN loopback = Address(NetworkOrder32(INADDR_LOOPBACK), 0);
    ok = wake != INVALID_SOCKET && ce::bind(wake, AsAddress(loopback), sizeof loopback) == 0;
  }
  if (ok && server_) {
    ok = CQelThread::Start();
  } else if (ok) {
    ok = MakeNonBlocking(s) && Connect(timeoutMs);
    if (ok && type_ == SOCK_STREAM)
      ce::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&keepAlive_),
                     sizeof keepAlive_);
  }
  unread_ = 0;
  if (ok)
    open_ = true;
  else
    Close();
}

bool CQelSocketStream::Connect(uint32_t timeoutMs) {
  const std::vector<ce::DWORD> addresses = Resolve(host_);
  const ce::SOCKET s = data_;
  uint32_t remaining = timeoutMs;
  for (size_t next = 0; next < addresses.size() && remaining > 0; ++next) {
    const ce::DWORD since = ce::GetTickCount();
    const ce::SOCKADDR_IN to = Address(addresses[next], port_);
    if (ce::connect(s, AsAddress(to), sizeof to) == 0) return true;
    if (ce::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    ce::fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(wake_.load(), &readable);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    const int ready = Select(&readable, &writable, &failed, remaining);
    if (ready == SOCKET_ERROR) return false;
    if (ready > 0 && FD_ISSET(s, &writable)) return true;
    if (ready > 0 && FD_ISSET(wake_.load(), &readable)) {
      DrainWake();
      return false;  // interrupted
    }
    remaining = Left(remaining, since);  // timed out or refused: the next address
  }
  return false;
}

ce::DWORD CQelSocketStream::Run() {
  const ce::SOCKET listening = listen_;
  if (ce::listen(listening, 1) != 0) return 1;
  while (listen_ != INVALID_SOCKET) {
    const ce::SOCKET client = ce::accept(listening, nullptr, nullptr);
    CloseData(data_.load());  // one client at a time
    if (client == INVALID_SOCKET) {
      ce::Sleep(1);  // a failing accept (out of descriptors) must not spin
      continue;
    }
    if (listen_ == INVALID_SOCKET) {  // closed while this client came: it has no stream
      ce::closesocket(client);
      break;
    }
    MakeNonBlocking(client);
    data_ = client;
    Interrupt();  // a reader waiting for a client looks again
  }
  return 0;
}

int CQelSocketStream::Select(ce::fd_set* readable, ce::fd_set* writable, ce::fd_set* failed,
                             uint32_t timeoutMs) {
  const ce::timeval limit = Limit(timeoutMs);
  inSelect_ = true;
  const int ready = ce::select(0, readable, writable, failed, &limit);
  inSelect_ = false;
  return ready;
}

void CQelSocketStream::DrainWake() {
  char byte;
  ce::recv(wake_, &byte, 1, 0);
}

bool CQelSocketStream::Interrupt() {
  if (!inSelect_) return true;
  const ce::SOCKET wake = wake_;
  ce::SOCKADDR_IN self{};
  int length = sizeof self;
  if (ce::getsockname(wake, reinterpret_cast<ce::SOCKADDR*>(&self), &length) == 0)
    ce::sendto(wake, "", 0, 0, AsAddress(self), length);
  return true;
}

void CQelSocketStream::CloseData(ce::SOCKET which) {
  if (which == INVALID_SOCKET || !data_.compare_exchange_strong(which, INVALID_SOCKET)) return;
  ce::shutdown(which, SD_BOTH);
  ce::closesocket(which);
  if (!server_) open_ = false;
}

int32_t CQelSocketStream::Read(void* buffer, uint32_t count, uint32_t timeoutMs) {
  if (!open_) return 0;
  if (!buffer) count = 0;
  uint32_t remaining = timeoutMs;
  if (server_ && data_ == INVALID_SOCKET) {
    while (remaining > 0) {
      const ce::DWORD since = ce::GetTickCount();
      ce::fd_set readable;
      FD_ZERO(&readable);
      FD_SET(listen_.load(), &readable);
      FD_SET(wake_.load(), &readable);
      // Marked as waiting before the last look for a client, so the accept
      // thread's Interrupt cannot fall between the look and the wait.
      inSelect_ = true;
      if (data_ != INVALID_SOCKET) {
        inSelect_ = false;
        break;
      }
      const ce::timeval limit = Limit(remaining);
      const int ready = ce::select(0, &readable, nullptr, nullptr, &limit);
      inSelect_ = false;
      if (ready == SOCKET_ERROR) {
        Close();
        return 0;
      }
      if (ready > 0 && FD_ISSET(wake_.load(), &readable)) {
        DrainWake();
        if (data_ == INVALID_SOCKET) return 0;
      }
      remaining = Left(remaining, since);
    }
    if (data_ == INVALID_SOCKET) return 0;
  }
  if (unread_ == 0 && count != 0) {
    const ce::SOCKET s = data_;
    ce::fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    FD_SET(wake_.load(), &readable);
    const int ready = Select(&readable, nullptr, nullptr, remaining);
    // A server's client replaced meanwhile by the next is no failure of the stream.
    if (server_ && data_ != s) return 0;
    if (ready == SOCKET_ERROR) {
      CloseData(s);
      return 0;
    }
    if (ready > 0 && FD_ISSET(wake_.load(), &readable)) {
      DrainWake();
      return 0;
    }
    if (ready > 0 && FD_ISSET(s, &readable)) {
      const int got = ce::recv(s, buffer_, int(kBufferSize), 0);
      if (got <= 0) {
        if (server_ && data_ != s) return 0;
        CloseData(s);
        return got;
      }
      readAt_ = 0;
      unread_ = uint32_t(got);
    }
  }
  const uint32_t n = std::min(count, unread_);
  if (n) std::memcpy(buffer, buffer_ + readAt_, n);
  readAt_ += n;
  unread_ -= n;
  return int32_t(n);
}

int32_t CQelSocketStream::Write(const void* buffer, uint32_t count, uint32_t timeoutMs) {
  if (!open_ || timeoutMs == 0) return -1;
  const ce::SOCKET s = data_;
  const char* bytes = static_cast<const char*>(buffer);
  uint32_t sent = 0, remaining = timeoutMs;
  while (sent < count) {
    const int n = ce::send(s, bytes + sent, int(count - sent), 0);
    if (n > 0) {
      sent += uint32_t(n);
      continue;
    }
    if (ce::WSAGetLastError() != WSAEWOULDBLOCK) {
      CloseData(s);
      return -1;
    }
    const ce::DWORD since = ce::GetTickCount();
    ce::fd_set readable, writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_SET(wake_.load(), &readable);
    FD_SET(s, &writable);
    const int ready = Select(&readable, &writable, nullptr, remaining);
    if (ready <= 0) break;
    if (FD_ISSET(wake_.load(), &readable)) {
      DrainWake();
      break;
    }
    if (!FD_ISSET(s, &writable)) break;
    remaining = Left(remaining, since);
  }
  return int32_t(sent);
}

bool CQelSocketStream::Reset() {
  if (!open_) return false;
  const ce::SOCKET s = data_;
  if (s == INVALID_SOCKET) return true;
  for (;;) {
    ce::fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    const ce::timeval now{0, 0};
    const int ready = ce::select(0, &readable, nullptr, nullptr, &now);
    if (ready == 0) return true;
    char discarded[kBufferSize];
    if (ready == SOCKET_ERROR || ce::recv(s, discarded, int(sizeof discarded), 0) <= 0) {
      CloseData(s);
      return false;
    }
  }
}

bool CQelSocketStream::IsConnected() {
  const ce::SOCKET s = data_;
  if (s == INVALID_SOCKET) return false;
  int32_t on = 0;
  int length = sizeof on;
  return ce::getsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char*>(&on), &length) == 0 && on != 0;
}

bool CQelSocketStream::Close() {
  CloseSocket(data_);
  CloseSocket(listen_);
  CloseSocket(wake_);
  open_ = false;
  if (!IsCurrentThread()) Finish(1000);  // the accept loop ends with its socket
  return true;
}

void SocketStreamFactory(const char16_t* type, IQelStream** out) {
  if (!out || !type || !ceutil::EqualNoCase(type, u"SOCKET")) return;
  if (auto* stream = new (std::nothrow) CQelSocketStream) *out = stream;
}

}  // namespace qel
