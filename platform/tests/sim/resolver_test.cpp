// The terminal's own host table (its profile's resolver): a name it knows
// with several addresses gives them all, in the table's order. sim_main.cpp
// puts "qeltest-two" there.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ce/socket.h"

namespace ce {
namespace {

TEST(SimResolver, ANameOfTheHostTableGivesEveryAddressInOrder) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(0x0202, &data), 0);
  const hostent* h = gethostbyname("qeltest-two");
  ASSERT_NE(h, nullptr) << WSAGetLastError();
  std::vector<DWORD> got;
  for (char** a = h->h_addr_list; *a; ++a) {
    DWORD ip;
    std::memcpy(&ip, *a, sizeof ip);
    got.push_back(ip);
  }
  EXPECT_EQ(got, (std::vector<DWORD>{0x0100007F, 0x0200007F}));
  EXPECT_EQ(WSACleanup(), 0);
}

}  // namespace
}  // namespace ce
