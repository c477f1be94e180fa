#include "handle_space.h"

#include <gtest/gtest.h>

#include <set>

#include "ce/error.h"
#include "ce/handle.h"
#include "handles.h"

namespace {

using ce::DWORD;
using ce::HANDLE;
using ce::sim::HandleSpace;
using ce::sim::HandleSpaceId;

struct FakeSocket {};
struct FakeWindow;  // named through pointers, as HWND is
using FakeHwnd = FakeWindow*;

TEST(HandleSpace, ASocketIsNoKernelHandle) {
  HandleSpace<FakeSocket> sockets(HandleSpaceId::kSocket);
  auto socket = std::make_shared<FakeSocket>();
  const std::weak_ptr<FakeSocket> watch = socket;
  const uintptr_t s = sockets.Add(std::move(socket));
  ASSERT_NE(s, 0u);

  ce::SetLastError(0xdeadbeef);
  EXPECT_FALSE(ce::CloseHandle(reinterpret_cast<HANDLE>(s)));
  EXPECT_EQ(ce::GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(sockets.Lookup(s));  // the failed close lost nothing

  EXPECT_TRUE(sockets.Close(s));
  EXPECT_TRUE(watch.expired());
  EXPECT_FALSE(sockets.Close(s));
  EXPECT_FALSE(sockets.Lookup(s));
}

// Values of one space name nothing in another, nor any kernel handle, and
// none is a value sockets or windows reserve.
TEST(HandleSpace, ValuesAreNeverValidElsewhere) {
  HandleSpace<FakeSocket> sockets(HandleSpaceId::kSocket);
  HandleSpace<FakeSocket> waves(HandleSpaceId::kWaveOut);
  HandleSpace<FakeSocket, FakeHwnd> windows(HandleSpaceId::kWindow);
  ce::UniqueHandle kernel(ce::sim::AddHandle(std::make_shared<ce::sim::KernelObject>()));
  std::set<uintptr_t> seen{reinterpret_cast<uintptr_t>(kernel.get())};
  for (int i = 0; i < 50; ++i) {
    const uintptr_t values[] = {sockets.Add(std::make_shared<FakeSocket>()),
                                waves.Add(std::make_shared<FakeSocket>()),
                                reinterpret_cast<uintptr_t>(windows.Add(std::make_shared<FakeSocket>()))};
    for (const uintptr_t v : values) {
      SCOPED_TRACE(v);
      EXPECT_TRUE(seen.insert(v).second);
      EXPECT_LT(v, uintptr_t{1} << 31);
      EXPECT_NE(v, 1u);
      EXPECT_NE(v, 0xFFFFu);
      EXPECT_FALSE(ce::sim::LookupHandle(reinterpret_cast<HANDLE>(v)));
    }
    EXPECT_TRUE(sockets.Lookup(values[0]) && !waves.Lookup(values[0]) &&
                !windows.Lookup(FakeHwnd(values[0])));
    EXPECT_TRUE(!sockets.Lookup(values[1]) && waves.Lookup(values[1]) &&
                !windows.Lookup(FakeHwnd(values[1])));
    EXPECT_TRUE(!sockets.Lookup(values[2]) && !waves.Lookup(values[2]) &&
                windows.Lookup(FakeHwnd(values[2])));
  }
}

TEST(HandleSpace, NumbersAreReusedOnlyAfterTheRestAndNeverWhileOpen) {
  HandleSpace<FakeSocket> space(HandleSpaceId::kSocket, 3);
  const uintptr_t a = space.Add(std::make_shared<FakeSocket>());
  ASSERT_TRUE(space.Close(a));
  const uintptr_t b = space.Add(std::make_shared<FakeSocket>());
  const uintptr_t c = space.Add(std::make_shared<FakeSocket>());
  EXPECT_TRUE(b != a && c != a && c != b);  // a waits until the others have had their turn
  EXPECT_EQ(space.Add(std::make_shared<FakeSocket>()), a);
  EXPECT_EQ(space.Add(std::make_shared<FakeSocket>()), 0u);  // full
  ASSERT_TRUE(space.Close(c));
  EXPECT_EQ(space.Add(std::make_shared<FakeSocket>()), c);  // the one free number, past the open ones
  EXPECT_EQ(space.size(), 3u);
}

}  // namespace
