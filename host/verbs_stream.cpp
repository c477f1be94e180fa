#include "verbs_stream.h"

#include <poll.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/socket.h"
#include "ceutil/text.h"
#include "qel/stream.h"
#include "qelcommon/value.h"
#include "verbs_events.h"

namespace qelhost {
namespace {

using Clock = std::chrono::steady_clock;

enum class Kind { kSerial, kSocket, kFile };

Kind KindOf(std::u16string_view type) {
  if (type.size() >= 3 && ceutil::EqualNoCase(type.substr(0, 3), u"COM")) return Kind::kSerial;
  return ceutil::EqualNoCase(type, u"FILE") ? Kind::kFile : Kind::kSocket;
}

const char* ValuesHelp(Kind kind) {
  switch (kind) {
    case Kind::kSerial:
      return "give SPEED (1200 to 115200), DATA-BITS (7 or 8), PARITY (N, O or E), STOP-BITS (1 or 2) and "
             "FLOW (N, H or S); an empty value (\"\") takes the default, 115200 8 N 1 N";
    case Kind::kFile:
      return "give the file's device path";
    case Kind::kSocket:
      break;
  }
  return "give PROTOCOL (TCP, UDP or TCPSERVER, upper or lower case), LOCAL-PORT (0 for none) and, but for a "
         "server, ADDRESS[:PORT] (port 601 when none is given)";
}

// The port a serial type name opens: the name when its fifth character is
// ':', else its first four characters and ':'.
std::u16string SerialDevice(std::u16string_view type) {
  if (type.size() >= 5 && type[4] == u':') return std::u16string(type);
  return std::u16string(type.substr(0, 4)) + u":";
}

// Whether someone could open the file or port without sharing it: 0, or the error.
ce::DWORD TryOpen(const std::u16string& path) {
  ce::SetLastError(0);
  ce::UniqueHandle h(
      ce::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  return h ? 0 : ce::GetLastError();
}

std::string WhyNot(ce::DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return "there is no such device or file";
    case ERROR_PATH_NOT_FOUND:
      return "its folder does not exist";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return "it is in use, or a folder";
    case ERROR_INVALID_NAME:
      return "the name is no file's or port's name";
    default:
      return "error " + std::to_string(error);
  }
}

struct DestroyStream {
  void operator()(IQelStream* s) const { s->Destroy(); }
};

// Sockets are ready for as long as the verb runs, as a host makes them.
class SocketsStarted {
 public:
  SocketsStarted() : started_(ce::WSAStartup(0x0202, &data_) == 0) {}
  ~SocketsStarted() {
    if (started_) ce::WSACleanup();
  }

 private:
  ce::WSADATA data_{};
  bool started_;
};

// The pump's state, shared by the threads that read, write and watch for an end signal.
struct Pump {
  IQelStream* stream;
  Kind kind;
  bool server;
  const StreamOptions& options;
  const Output& o;
  std::atomic<bool> ending{false};     // an end signal came
  std::atomic<bool> readDone{false};   // the reading side ended
  std::atomic<bool> inputDone{false};  // standard input ended
  std::atomic<bool> finished{false};   // the pump is over: the watcher may stop
  std::atomic<long long> lastInputMs{0};
  std::atomic<long long> bytesRead{0}, bytesWritten{0};
  std::string end;       // why reading ended; the reader's
  std::string writeEnd;  // why writing failed, if it did; the writer's
  int outputError = 0;   // the reader's
  std::atomic<bool> failed{false};

  long long Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
  }

  // A read waits no longer than the idle time left, once that counts.
  uint32_t ReadTimeout() const {
    if (!inputDone || options.idleMs < 0) return options.timeoutMs;
    const long long left = options.idleMs - (Now() - lastInputMs);
    return uint32_t(std::clamp<long long>(left, 1, options.timeoutMs));
  }

  // What was read, to standard output; 0, or why it failed. Writes to the
  // process's own output go out as room comes, so an end signal still ends a
  // pump whose reader of the output has stopped reading.
  int Print(const char* bytes, size_t size) {
    errno = 0;
    if (&o.out != &std::cout) {
      o.out.write(bytes, std::streamsize(size));
      o.out.flush();
      return o.out ? 0 : (errno ? errno : EIO);
    }
    std::cout.flush();
    for (size_t at = 0; at < size && !ending;) {
      pollfd room{STDOUT_FILENO, POLLOUT, 0};
      if (::poll(&room, 1, 100) <= 0) continue;
      const ssize_t n = ::write(STDOUT_FILENO, bytes + at, size - at);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n < 0) return errno;
      at += size_t(n);
    }
    return 0;
  }

  bool Idle() const { return inputDone && options.idleMs >= 0 && Now() - lastInputMs >= options.idleMs; }

  // Until an end signal, the far side closing, the end of a file, or idleness.
  void ReadAll() {
    char buffer[4096];
    lastInputMs = Now();
    while (!ending) {
      const int32_t n = stream->Read(buffer, sizeof buffer, ReadTimeout());
      if (n > 0) {
        if (const int error = Print(buffer, size_t(n))) {
          outputError = error;
          end = "standard output failed";
          break;
        }
        if (ending) break;  // output was blocked until the end signal
        bytesRead += n;
        lastInputMs = Now();
        continue;
      }
      if (n < 0 && !server) {
        end = kind == Kind::kFile ? "the file could not be read" : "the stream failed";
        failed = true;
        break;
      }
      if (kind == Kind::kFile) {
        end = "end of the file";
        break;
      }
      if (kind == Kind::kSocket && !server && stream->Write(nullptr, 0, 1) != 0) {
        end = "the far side closed the connection";
        break;
      }
      if (Idle()) {
        end = "nothing came for " + std::to_string(options.idleMs) + " ms after the input ended";
        break;
      }
    }
    if (ending && end.empty()) end = "interrupted";
    readDone = true;
  }

  // Standard input to the stream until it ends, an end signal, or (but for a
  // file, whose reading comes first) the reader is done.
  void WriteAll() {
    char buffer[4096];
    while (!ending && (kind == Kind::kFile || !readDone)) {
      pollfd in{STDIN_FILENO, POLLIN, 0};
      const int ready = ::poll(&in, 1, 100);
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) continue;
      const ssize_t n = ready < 0 ? -1 : ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      for (ssize_t at = 0; at < n && !ending;) {
        const int32_t w = stream->Write(buffer + at, uint32_t(n - at), options.timeoutMs);
        if (w < 0 && server && !readDone) {  // no client yet, or it left: wait for the next
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
          continue;
        }
        if (w < 0) {
          writeEnd = "the stream failed while writing";
          failed = true;
          inputDone = true;
          return;
        }
        at += w;
        bytesWritten += w;
      }
    }
    lastInputMs = Now();
    inputDone = true;
  }

  // Takes an end signal as the end, waking whatever wait the stream is in.
  void Watch() {
    while (!finished) {
      if (!ending && AwaitEndSignal(100)) ending = true;
      if (ending) {
        stream->Interrupt();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
  }
};

// A server's local port: digits, 1 to 65535. Without one the stream would
// open and never listen.
bool ListenPort(const std::vector<std::string>& values) {
  if (values.size() < 2 || values[1].empty() || values[1].size() > 5) return false;
  if (!std::all_of(values[1].begin(), values[1].end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  const int port = std::stoi(values[1]);
  return port >= 1 && port <= 65535;
}

// Whether Open left the stream open, and if not, why.
bool Opened(IQelStream* stream, Kind kind, const std::u16string& path, std::string* why) {
  if (kind == Kind::kSocket) {
    if (stream->Write(nullptr, 0, 1) == 0) return true;
    *why =
        "could not be opened (no connection within the time-out, a name that cannot be resolved, or a local "
        "port in use)";
    return false;
  }
  // The stream opens without sharing: while it holds the file or port nobody else can.
  const ce::DWORD error = TryOpen(path);
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) return true;
  *why = kind == Kind::kSerial ? "was refused its line settings by the port" : "could not be opened";
  return false;
}

}  // namespace

int PumpStream(PluginHost& host, const StreamOptions& options, const Output& o) {
  if (!IsUtf8(options.type)) {
    o.err << "qelhost: stream: " << Printable(options.type) << ": the type is not UTF-8 text\n";
    return kUsage;
  }
  const std::u16string type = ceutil::FromUtf8(options.type);
  const Kind kind = KindOf(type);
  SocketsStarted sockets;
  std::unique_ptr<IQelStream, DestroyStream> stream(host.registry().streams().MakeStream(type.c_str()));
  if (!stream) {
    o.err << "qelhost: stream: " << Printable(options.type)
          << ": no stream factory of the module makes this type (it offers COM1 to COM9, SOCKET and FILE)\n";
    return kUsage;
  }

  const bool server = kind == Kind::kSocket && !options.values.empty() &&
                      ceutil::EqualNoCase(ceutil::FromUtf8(options.values[0]), u"TCPSERVER");
  if (server && !ListenPort(options.values)) {
    o.err << "qelhost: stream: a TCPSERVER stream needs the local port it listens on, 1 to 65535\n";
    return kUsage;
  }

  std::vector<std::unique_ptr<CQelValue>> values;
  std::vector<IQelValue*> pointers;
  for (const std::string& v : options.values) {
    if (!IsUtf8(v)) {
      o.err << "qelhost: stream: " << Printable(v) << ": a value is not UTF-8 text\n";
      return kUsage;
    }
    values.push_back(std::make_unique<CQelValue>());
    values.back()->SetStringZ(ceutil::FromUtf8(v).c_str());
    pointers.push_back(values.back().get());
  }
  if (!stream->Configure(int32_t(pointers.size()), pointers.data())) {
    o.err << "qelhost: stream: the " << Printable(options.type)
          << " stream refused its values: " << ValuesHelp(kind) << "\n";
    return kUsage;
  }
  const std::u16string path = kind == Kind::kSerial ? SerialDevice(type)
                              : kind == Kind::kFile ? ceutil::FromUtf8(options.values.at(0))
                                                    : std::u16string();
  if (kind != Kind::kSocket) {
    const ce::DWORD error = TryOpen(path);
    const bool fine = error == 0 || (kind == Kind::kFile && error == ERROR_FILE_NOT_FOUND);
    if (!fine) {
      o.err << "qelhost: stream: " << Printable(ceutil::ToUtf8(path)) << ": " << WhyNot(error) << "\n";
      return kFailed;
    }
  }

  Pump pump{stream.get(), kind, server, options, o};
  std::thread watcher([&] { pump.Watch(); });
  stream->Open(options.timeoutMs);
  std::string why;
  const bool opened = !pump.ending && Opened(stream.get(), kind, path, &why);
  if (opened) {
    if (kind == Kind::kFile) {  // one position for both: what is there first, then the input at the end
      pump.ReadAll();
      pump.WriteAll();
    } else {
      std::thread reader([&] { pump.ReadAll(); });
      pump.WriteAll();
      reader.join();
    }
  }
  pump.finished = true;
  watcher.join();
  stream->Close();

  if (!opened) {
    o.err << "qelhost: stream: the " << Printable(options.type) << " stream "
          << (pump.ending ? "was interrupted while opening" : why) << "\n";
    return pump.ending ? kOk : kFailed;
  }
  if (pump.outputError) {
    ReportOutputFailure(o.err, pump.outputError);
    return kOutputFailed;
  }
  if (o.json) {
    o.err << nlohmann::ordered_json{{"type", options.type},
                                    {"bytes_written", pump.bytesWritten.load()},
                                    {"bytes_read", pump.bytesRead.load()},
                                    {"end", pump.writeEnd.empty() ? pump.end : pump.writeEnd},
                                    {"failed", pump.failed.load()}}
                 .dump()
          << "\n";
  } else {
    o.err << "qelhost: stream: " << pump.bytesWritten << " bytes written, " << pump.bytesRead << " read; "
          << (pump.writeEnd.empty() ? pump.end : pump.writeEnd) << "\n";
  }
  return pump.failed ? kFailed : kOk;
}

Verb StreamVerb() {
  return MakeVerb<StreamOptions>(
      "stream",
      "open a stream of the module (SOCKET, FILE or COMn) and pump standard input to it and what it reads to "
      "standard output; Ctrl-C ends it",
      Needs::kModule,
      [](CLI::App& verb, StreamOptions& o) {
        verb.add_option("TYPE", o.type,
                        "SOCKET, FILE, or a serial port COM1 to COM9 (COM1: alike), without regard to case")
            ->required();
        verb.add_option(
            "VALUES", o.values,
            "the stream's settings, in order. SOCKET: PROTOCOL (TCP, UDP, TCPSERVER) LOCAL-PORT "
            "[ADDRESS[:PORT]], e.g. TCP 0 127.0.0.1:8080 or TCPSERVER 8080 (one client at a time: a client "
            "that connects while another is served replaces it). FILE: a device path; "
            "what the file holds is printed first, then the input is appended. COMn: SPEED "
            "DATA-BITS PARITY STOP-BITS FLOW, e.g. 115200 8 N 1 N");
        verb.add_option("--timeout", o.timeoutMs,
                        "ms that opening (connecting) and each read and write may take (default 5000)")
            ->check(CLI::Range(1u, 0xFFFFFFFEu));
        verb.add_option("--idle", o.idleMs,
                        "after standard input has ended, end once nothing has come for this many ms "
                        "(default: go on until Ctrl-C or the far side closes)")
            ->check(CLI::Range(0L, 86400000L));
      },
      [](const StreamOptions& o, const VerbContext& c) { return PumpStream(*c.host, o, c.out); },
      Hold::kEndSignals);
}

}  // namespace qelhost
