// Serial calls on handles that are no serial port.
#include "ce/serial.h"

#include <gtest/gtest.h>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/sync.h"
#include "conformance.h"

namespace ce {
namespace {

using cetest::kSentinel;

TEST(SerialPorts, CallsOnAHandleThatIsNoPortFail) {
  UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DCB dcb{};
  COMMTIMEOUTS t{};
  DWORD errors = 0;
  COMSTAT status{};
  for (HANDLE h : {event.get(), HANDLE(nullptr)}) {
    SetLastError(kSentinel);
    EXPECT_FALSE(ce::GetCommState(h, &dcb));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(ce::SetCommTimeouts(h, &t));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(ce::ClearCommError(h, &errors, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(ce::PurgeComm(h, PURGE_RXCLEAR));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  }
}

}  // namespace
}  // namespace ce
