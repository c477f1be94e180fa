// What the processes of one terminal and the terminal's object server say to
// each other. The server owns what every process on the terminal shares (the
// process table, named events, mutexes and semaphores, threads' message
// queues, windows) and hands out file
// descriptors: an object's state lives in an eventfd (and, for a mutex or a
// semaphore, a shared page), so signalling and waiting stay local calls and
// only opening, closing and listing go to the server.
//
// One SOCK_SEQPACKET connection per process, on an abstract socket named after
// the terminal folder: the kernel frees the name when the server dies, and the
// server sees a process end (kill -9 included) as its connection closing.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace ce::sim::wire {

enum class Op : uint32_t {
  kHello = 1,
  kOpen,
  kClose,
  kProgramStart,
  kProgramEnd,
  kList,
  kWindowCreate,   // the request's window; the reply's id is its handle
  kWindowDestroy,  // id: the window (its owner's process only)
  kWindowChange,   // id: the window; flags: kWindowMove...; the reply's flags: the style before
  kWindowFind,     // flags: kFind...; the reply's text: the windows found, as WindowRecords
  kProcessList,    // the reply's text: the live processes, as ProcessRecords
  kTerminate,      // id: the process; value: its exit code
  kReboot,         // flags: kRebootCold; every program ends, every process hears that the terminal is down
};
// A queue is a thread's message queue, found by the thread's id rather than
// by name: a connected pair of SOCK_SEQPACKET sockets whose receiving end the
// owning thread polls and whose sending end any process may post into.
// A process is found by its id: its event is signalled, and its page holds
// its exit code, once it has ended.
enum class Kind : uint32_t { kEvent = 1, kMutex, kSemaphore, kQueue, kProcess };
enum class Status : uint32_t { kCreated = 1, kOpened, kOtherKind, kMissing, kFailed, kBadRequest };

// Open flags.
inline constexpr uint32_t kCreate = 1;        // make it when missing
inline constexpr uint32_t kManualReset = 2;   // events
inline constexpr uint32_t kInitialState = 4;  // events: signalled; mutexes: owned by the opener
inline constexpr uint32_t kToTerminate = 8;   // processes: to end it (a program, or the opener itself)

// Object names and process names, in UTF-16 code units (MAX_PATH).
inline constexpr uint32_t kMaxName = 260;

// A window as every process on the terminal sees it. Its procedure, user
// data and extra bytes stay in the process that made it.
struct WindowRecord {
  uint32_t hwnd = 0;
  uint32_t parent = 0;
  uint32_t process = 0;  // the terminal's id of the maker's process (the server fills it in;
                         // a program of the maker's, when named, is kept)
  uint32_t thread = 0;   // the thread whose queue gets its messages
  uint32_t style = 0;
  uint32_t exStyle = 0;
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  uint32_t classUnits = 0;
  uint32_t titleUnits = 0;
  char16_t className[kMaxName] = {};
  char16_t title[kMaxName] = {};
};

// The soft input panel's two windows, the terminal's own from its start (no
// process makes or ends them; any may find, move, show or hide them): the
// panel and its backdrop, hidden, 240 by 80 at the bottom of a 240 by 320
// screen, the size of the standard panel.
inline constexpr char16_t kPanelClass[] = u"SipWndClass";
inline constexpr char16_t kPanelBackdropClass[] = u"SipBackDropWndClass";
inline constexpr int32_t kPanelLeft = 0, kPanelTop = 240, kPanelRight = 240, kPanelBottom = 320;

// Window handles are the server's, terminal-wide, in the form of the
// simulation's window handle table (handle_space.h): odd, tagged with the
// window space, below 2^31.
inline constexpr uint32_t kWindowNumbers = (1u << 22) - 1;
inline constexpr uint32_t WindowHandle(uint32_t number) { return (3u << 24) | 1u | (number << 2); }

// kWindowChange flags.
inline constexpr uint32_t kWindowMove = 1;      // left, top (the size kept)
inline constexpr uint32_t kWindowSize = 2;      // right - left, bottom - top (the position kept)
inline constexpr uint32_t kWindowStyle = 4;     // style
inline constexpr uint32_t kWindowShow = 8;      // WS_VISIBLE set
inline constexpr uint32_t kWindowHide = 16;     // WS_VISIBLE cleared
inline constexpr uint32_t kWindowExStyle = 32;  // exStyle
// To the front of the window list, and the terminal's foreground window.
inline constexpr uint32_t kWindowForeground = 64;
// kWindowFind flags; none finds every window.
inline constexpr uint32_t kFindHandle = 1;       // id
inline constexpr uint32_t kFindClass = 2;        // window.className, without regard to case
inline constexpr uint32_t kFindTitle = 4;        // window.title, without regard to case
inline constexpr uint32_t kFindTopLevel = 8;     // no parent
inline constexpr uint32_t kFindForeground = 16;  // the foreground window alone

struct Request {
  Op op{};
  Kind kind{};
  uint32_t flags = 0;
  int32_t count = 0;    // semaphores: initial count
  int32_t maximum = 0;  // semaphores: maximum count
  uint32_t id = 0;      // the object (close), program (end), process (open, terminate) it is about;
                        // hello: the program a runner starts as (0: none)
  uint32_t value = 0;   // hello: the host pid; program end, terminate: the exit code; open: the
                        // opening thread (a queue: the thread whose queue it is)
  uint32_t nameUnits = 0;
  char16_t name[kMaxName] = {};
  WindowRecord window;  // window requests
};

struct Reply {
  Status status{};
  uint32_t id = 0;         // the object, the program, or (hello) the process's id on the terminal
  uint32_t textBytes = 0;  // list: the JSON text that follows the reply
  uint32_t flags = 0;      // open: the object's own flags (kManualReset), which an opener must follow;
                           // hello: kHelloWithNames
};

// The page a mutex or a semaphore shares between every process holding it.
struct SharedState {
  std::atomic<uint32_t> ownerProcess{0};  // mutex: terminal process id of the owner, 0 when free
  std::atomic<uint32_t> ownerThread{0};
  std::atomic<uint32_t> abandoned{0};  // set when the owner's process died holding it
  std::atomic<int32_t> count{0};       // semaphore: current count
  std::atomic<int32_t> maximum{0};
  uint32_t recursion = 0;             // mutex: touched by the owner only
  std::atomic<uint32_t> exitCode{0};  // process: written before its event is signalled
};
static_assert(std::atomic<uint32_t>::is_always_lock_free && std::atomic<int32_t>::is_always_lock_free,
              "a shared page needs address-free atomics");

// Which names are in use: per slot (a hash of the name) how many named
// objects the server holds. The server writes it, every process maps it
// read-only (it comes with the hello's reply), so that opening a name nobody
// holds, the common probe, is answered without a round trip. A slot counts up
// before the creator hears of its object and down once the object is gone.
inline constexpr uint32_t kNameSlots = 4096;
struct NameTable {
  std::atomic<uint32_t> inUse[kNameSlots];
};
uint32_t NameSlot(std::u16string_view name);

// A process as a snapshot of the terminal lists it.
struct ProcessRecord {
  uint32_t id = 0;
  uint32_t parent = 0;  // the process that started it (0: started from outside the terminal)
  uint32_t threads = 0;
  uint32_t nameUnits = 0;
  char16_t name[kMaxName] = {};  // the program's device path
};

// Hello reply flags: the names table follows the down event.
inline constexpr uint32_t kHelloWithNames = 1;

// kReboot flags.
inline constexpr uint32_t kRebootCold = 1;

// What a process that never said how it ended (it was killed outside the
// terminal, or crashed) leaves as its exit code.
inline constexpr uint32_t kVanishedExitCode = 0x40010004;

// Raised whenever a message changes meaning without changing size, or the
// server starts a terminal with other windows (3: the input panel's; 4: the
// process objects, the down event of the hello's reply and the foreground window).
inline constexpr uint32_t kWireVersion = 4;

// The abstract socket name of the terminal in dir (which must exist) for this
// process's user: the folder's device and inode, so that every spelling of the
// path reaches one server, and the user, whose processes alone it serves.
std::string SocketName(const std::filesystem::path& dir);

// One message, as it travels through a queue. A sent message waits for its
// result: the owner of the queue runs the window's procedure and posts the
// result back to the sender's thread as a reply (in lParam).
enum class Delivery : uint32_t { kPosted = 0, kSent, kReply };
struct PostedMessage {
  uint64_t hwnd = 0;
  uint32_t message = 0;
  uint32_t time = 0;
  uint64_t wParam = 0;
  int64_t lParam = 0;
  Delivery delivery = Delivery::kPosted;
  uint32_t sender = 0;  // sent: the thread waiting for the result
  uint64_t sendId = 0;  // sent and reply: which send of the sender's
};

// Largest message: a request, or a reply with its listing.
inline constexpr size_t kMaxListBytes = 1 << 20;

}  // namespace ce::sim::wire
