// What the platform tests need to know of the backend they run on; each
// backend's main (sim_main.cpp, win32_main.cpp) defines these.
#pragma once

#include <string>

namespace cetest {

// The folder the tests make theirs in, ending in a backslash: the root on the
// device, where a test program may write anywhere; on a desktop, whose root
// belongs to its owner, the temporary folder.
const std::u16string& TestRoot();

// True on desktop Windows, which lacks what only the device has.
bool OnDesktop();

// Marks a result that desktop Windows is documented to give where the device
// gives another, in the manner of Wine's tests: true only on the desktop, so
// `EXPECT_TRUE(ok || broken(GetLastError() == ERROR_CALL_NOT_IMPLEMENTED))`
// still fails on the device's backend.
inline bool broken(bool condition) { return OnDesktop() && condition; }

}  // namespace cetest
