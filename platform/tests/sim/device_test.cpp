// Stream devices reached by name ("UIO1:"): opening, the calls their handles
// take, and closing.
#include "ce/device.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/sync.h"
#include "conformance.h"

namespace ce {
namespace {

using cetest::kSentinel;

constexpr DWORD kOidMediaConnectStatus = 0x00010114;
constexpr DWORD kOidSsid = 0x0D010102;
constexpr size_t kHeader = offsetof(NDISUIO_QUERY_OID, Data);

HANDLE OpenDevice(LPCWSTR name, DWORD disposition = OPEN_EXISTING) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     disposition, 0, nullptr);
}

TEST(SimDevice, OpensTheNamesTheTerminalHas) {
  const struct {
    LPCWSTR name;
    DWORD disposition;
    DWORD error;  // ERROR_SUCCESS: it opens
  } rows[] = {
      {u"UIO1:", OPEN_EXISTING, ERROR_SUCCESS},
      {u"uio1:", OPEN_EXISTING, ERROR_SUCCESS},  // names match without regard to case
      {u"XYZ9:", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {u"COM9:", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},  // a port the terminal does not have
      {u"UIO1:", CREATE_ALWAYS, ERROR_INVALID_PARAMETER},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.disposition << " " << row.error);
    SetLastError(kSentinel);
    UniqueHandle h(OpenDevice(row.name, row.disposition));
    EXPECT_EQ(h.valid(), row.error == ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), row.error);
  }
}

TEST(SimDevice, ClosesOnce) {
  const HANDLE h = OpenDevice(u"UIO1:");
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  SetLastError(kSentinel);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

// Each call on a handle that is not an open device, and the calls a device
// without them refuses; a refused call leaves the handle as it was.
TEST(SimDevice, CallsFailOnHandlesThatCannotTakeThem) {
  const HANDLE closed = OpenDevice(u"UIO1:");
  ASSERT_TRUE(CloseHandle(closed));
  UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueHandle uio(OpenDevice(u"UIO1:"));
  ASSERT_TRUE(event.valid() && uio.valid());

  enum Call { kRead, kWrite, kControl };
  const struct {
    const char* what;
    HANDLE handle;
    Call call;
    DWORD error;
  } rows[] = {
      {"closed", closed, kRead, ERROR_INVALID_HANDLE},
      {"closed", closed, kWrite, ERROR_INVALID_HANDLE},
      {"closed", closed, kControl, ERROR_INVALID_HANDLE},
      {"event", event.get(), kRead, ERROR_INVALID_HANDLE},
      {"event", event.get(), kWrite, ERROR_INVALID_HANDLE},
      {"event", event.get(), kControl, ERROR_INVALID_HANDLE},
      {"null", nullptr, kControl, ERROR_INVALID_HANDLE},
      {"no packets on UIO1:", uio.get(), kRead, ERROR_INVALID_FUNCTION},
      {"no packets on UIO1:", uio.get(), kWrite, ERROR_INVALID_FUNCTION},
      {"unknown control code", uio.get(), kControl, ERROR_NOT_SUPPORTED},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.what << ", call " << row.call);
    char buffer[16] = "data";
    DWORD done = 7;
    SetLastError(kSentinel);
    const BOOL ok = row.call == kRead    ? ReadFile(row.handle, buffer, sizeof buffer, &done, nullptr)
                    : row.call == kWrite ? WriteFile(row.handle, buffer, 4, &done, nullptr)
                                         : DeviceIoControl(row.handle, 0x00120000, buffer, sizeof buffer,
                                                           buffer, sizeof buffer, &done, nullptr);
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), row.error);
  }
  EXPECT_TRUE(CloseHandle(uio.release()));
}

// The adapter queries of the default terminal (Thor VM1: a wired E1000CE1 and
// a wireless WLAGS46B1 on SSID "Warehouse").
TEST(SimDevice, UioAnswersAdapterQueries) {
  UniqueHandle uio(OpenDevice(u"UIO1:"));
  ASSERT_TRUE(uio.valid());
  const struct {
    LPWSTR adapter;
    DWORD oid;
    DWORD outSize;
    DWORD error;  // ERROR_SUCCESS: answered
    std::vector<uint8_t> data;
  } rows[] = {
      {const_cast<LPWSTR>(u"WLAGS46B1"), kOidMediaConnectStatus, 64, ERROR_SUCCESS, {0, 0, 0, 0}},
      {const_cast<LPWSTR>(u"wlags46b1"),
       kOidSsid,
       64,
       ERROR_SUCCESS,
       {9, 0, 0, 0, 'W', 'a', 'r', 'e', 'h', 'o', 'u', 's', 'e'}},
      {const_cast<LPWSTR>(u"WLAGS46B1"), kOidSsid, kHeader + 8, ERROR_INSUFFICIENT_BUFFER, {}},
      {const_cast<LPWSTR>(u"E1000CE1"), kOidSsid, 64, ERROR_NOT_SUPPORTED, {}},  // wired
      {const_cast<LPWSTR>(u"NOSUCH1"), kOidMediaConnectStatus, 64, ERROR_FILE_NOT_FOUND, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << row.oid << std::dec << " " << row.error);
    std::vector<uint8_t> record(64, 0xEE);
    NDISUIO_QUERY_OID query{row.oid, row.adapter, {}};
    std::memcpy(record.data(), &query, kHeader);
    DWORD returned = 0;
    SetLastError(kSentinel);
    const BOOL ok = DeviceIoControl(uio.get(), IOCTL_NDISUIO_QUERY_OID_VALUE, record.data(), kHeader,
                                    record.data(), row.outSize, &returned, nullptr);
    EXPECT_EQ(ok, row.error == ERROR_SUCCESS);
    if (!ok) {
      EXPECT_EQ(GetLastError(), row.error);
      continue;
    }
    EXPECT_GE(returned, kHeader + row.data.size());
    EXPECT_EQ(std::vector<uint8_t>(record.begin() + kHeader, record.begin() + kHeader + row.data.size()),
              row.data);
  }
}

}  // namespace
}  // namespace ce
