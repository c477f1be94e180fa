// Microsoft's object layout of the contract, checked on both sides: compiled
// by mingw-w64's g++ (the explicit layout) for x86 and x86-64, and by clang for
// x86_64-pc-windows-msvc (the compiler's own layout) inside the test host.
// The sizes and offsets are checked at compile time; with
// QEL_LAYOUT_CHECK_MAIN, a program also pins the slots of the explicit
// layout (g++ has no compile-time view of a vtable) and the virtual-base
// table that VirtuallyCounted builds.
#include "qel/date_time.h"
#include "qel/host.h"
#include "qel/refcounted.h"
#include "qel/stream.h"
#include "qel/value.h"
#include "qel/virtual_counted.h"

#if defined(_WIN32)

constexpr size_t kPtr = sizeof(void*);

// The counted base: its table, then the count (padded to a pointer).
static_assert(sizeof(CQelRefCounted) == 2 * kPtr);
// Interfaces without data: one table pointer.
static_assert(sizeof(IQelService) == kPtr && sizeof(IQelValue) == kPtr && sizeof(IQelDateTime) == kPtr &&
              sizeof(IQelStream) == kPtr);

// Interfaces counted through the virtual base: their table, the vbptr, and
// (in a complete object) the virtual base after them.
template <class Interface>
constexpr bool InterfacePartIsTableAndVbptr() {
#if QEL_EXPLICIT_MS_LAYOUT
  return sizeof(Interface) == 2 * kPtr;
#else
  return sizeof(Interface) == 2 * kPtr + sizeof(CQelRefCounted);
#endif
}
static_assert(InterfacePartIsTableAndVbptr<IQelNotifierList>());
static_assert(InterfacePartIsTableAndVbptr<IQelSettingService>());
static_assert(InterfacePartIsTableAndVbptr<IQelUnnamedHostService>());
static_assert(InterfacePartIsTableAndVbptr<IQelApplicationService>());

#if QEL_EXPLICIT_MS_LAYOUT
// g++ computes these offsets of a polymorphic class and warns that the
// language does not promise them; here they are the point.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(__builtin_offsetof(IQelNotifierList, table) == kPtr);
static_assert(__builtin_offsetof(IQelSettingService, table) == kPtr);
static_assert(__builtin_offsetof(IQelUnnamedHostService, table) == kPtr);
static_assert(__builtin_offsetof(IQelApplicationService, table) == kPtr);
#pragma GCC diagnostic pop
// The implementation: interface part, counted base, the table's two entries.
static_assert(sizeof(qel::VirtuallyCounted<IQelSettingService>) == 4 * kPtr + 8);
#else
// The compiler's own virtual inheritance: nothing added.
static_assert(sizeof(qel::VirtuallyCounted<IQelSettingService>) == sizeof(IQelSettingService));
#endif

#endif  // _WIN32

#if defined(QEL_LAYOUT_CHECK_MAIN) && QEL_EXPLICIT_MS_LAYOUT
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// On Itanium (which g++ keeps on Windows), a pointer to a virtual member
// function holds 1 + its byte offset in the table.
template <class F>
size_t SlotOf(F f) {
  ptrdiff_t bits[2];
  static_assert(sizeof(f) == sizeof(bits));
  std::memcpy(bits, &f, sizeof bits);
  return size_t(bits[0] - 1) / sizeof(void*);
}

struct Pin {
  const char* what;
  size_t slot;
  size_t expected;
};
#define PIN(function, expected) \
  { #function, SlotOf(&function), expected }

class Settings final : public qel::VirtuallyCounted<IQelSettingService> {
 public:
  bool Set(IQelText*, IQelText*, IQelValue*) override { return false; }
  bool Get(IQelText*, IQelText*, IQelValue*) override { return false; }
};

// Counts destructor runs: the deleting slot destroys the dynamic type.
int g_destroyed = 0;
class Counted final : public CQelRefCounted {
 public:
  ~Counted() override { ++g_destroyed; }
};

}  // namespace

int main() {
  int failures = 0;
  const Pin pins[] = {
      PIN(CQelRefCounted::AddRef, 0),
      PIN(CQelRefCounted::Release, 1),
      PIN(CQelRefCounted::ScalarDeletingDestructor, 2),
      PIN(IQelValue::Clear, 25),
      PIN(IQelValue::ScalarDeletingDestructor, 26),
      PIN(IQelDateTime::CountedRelease, 15),
      PIN(IQelDateTime::ScalarDeletingDestructor, 16),
      PIN(IQelNotifierList::AddNotifier, 0),
      PIN(IQelSettingService::Set, 0),
      PIN(IQelSettingService::Get, 1),
      PIN(IQelUnnamedHostService::Reserved0, 0),
      PIN(IQelApplicationService::GetStopHandle, 3),
      PIN(IQelStream::Read, 10),
  };
  for (const Pin& p : pins)
    if (p.slot != p.expected) {
      std::printf("slot of %s: %zu, not %zu\n", p.what, p.slot, p.expected);
      ++failures;
    }

  auto* settings = new Settings;
  IQelSettingService* handed = settings;
  const auto* vbptr =
      reinterpret_cast<const int32_t* const*>(reinterpret_cast<char*>(handed) + sizeof(void*));
  const ptrdiff_t toBase = reinterpret_cast<char*>(static_cast<CQelRefCounted*>(settings)) -
                           (reinterpret_cast<char*>(handed) + sizeof(void*));
  if ((*vbptr)[0] != -int32_t(sizeof(void*)) || (*vbptr)[1] != toBase) {
    std::printf("virtual-base table: %d %d, not %d %td\n", (*vbptr)[0], (*vbptr)[1], -int32_t(sizeof(void*)),
                toBase);
    ++failures;
  }
  if (qel::Counted(handed) != static_cast<CQelRefCounted*>(settings)) {
    std::printf("Counted() does not reach the counted base\n");
    ++failures;
  }
  if (qel::Counted(handed)->Release() != 0) ++failures;

  // The deleting slot frees with bit 0 and only destroys without it.
  auto* freed = new Counted;
  static_cast<CQelRefCounted*>(freed)->ScalarDeletingDestructor(1);
  alignas(Counted) unsigned char storage[sizeof(Counted)];
  auto* placed = new (storage) Counted;
  static_cast<CQelRefCounted*>(placed)->ScalarDeletingDestructor(0);
  if (g_destroyed != 2) {
    std::printf("deleting slot ran %d destructors, not 2\n", g_destroyed);
    ++failures;
  }
  std::printf("ms-layout-check: %zu slots pinned, %d failed\n", sizeof pins / sizeof *pins, failures);
  return failures ? 1 : 0;
}
#endif
