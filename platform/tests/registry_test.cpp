// The Reg* functions return their error and leave the thread's last error
// alone, so each test sets the sentinel once and checks it survived them all.
#include "ce/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/sync.h"
#include "ceutil/text.h"
#include "conformance.h"

namespace ce {
namespace {

using cetest::kSentinel;
using Bytes = std::vector<BYTE>;

class Registry : public cetest::KeyTest {
 protected:
  void SetUp() override {
    KeyTest::SetUp();
    SetLastError(kSentinel);
  }
  void TearDown() override {
    EXPECT_EQ(GetLastError(), kSentinel);
    KeyTest::TearDown();
  }
  static RegKey Create(HKEY parent, LPCWSTR path, DWORD* disposition = nullptr) {
    RegKey key;
    EXPECT_EQ(
        ce::RegCreateKeyExW(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), disposition),
        ERROR_SUCCESS);
    return key;
  }
  static LONG SetDword(HKEY key, LPCWSTR name, DWORD value) {
    return ce::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }
  static LONG GetDword(HKEY key, LPCWSTR name, DWORD* value) {
    DWORD size = sizeof *value;
    return ce::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
  }
};

TEST_F(Registry, CreateAndOpen) {
  DWORD disposition = 0;
  RegKey app = Create(root_.get(), u"Vendor\\App", &disposition);
  EXPECT_EQ(disposition, DWORD{REG_CREATED_NEW_KEY});
  RegKey again = Create(root_.get(), u"vendor\\APP", &disposition);
  EXPECT_EQ(disposition, DWORD{REG_OPENED_EXISTING_KEY});

  RegKey vendor;
  EXPECT_EQ(
      ce::RegOpenKeyExW(HKEY_CURRENT_USER, (u"\\" + name_ + u"\\VENDOR").c_str(), 0, KEY_READ, vendor.put()),
      ERROR_SUCCESS);
  HKEY missing = HKEY_USERS;
  EXPECT_EQ(ce::RegOpenKeyExW(vendor.get(), u"Nope", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);

  // Null or empty opens the key again, under a handle of its own; desktop
  // Windows hands a predefined key back as it is.
  RegKey self, root;
  ASSERT_EQ(ce::RegOpenKeyExW(app.get(), nullptr, 0, KEY_READ, self.put()), ERROR_SUCCESS);
  ASSERT_EQ(ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"", 0, KEY_READ, root.put()), ERROR_SUCCESS);
  EXPECT_NE(self.get(), app.get());
  EXPECT_TRUE(root.get() != HKEY_LOCAL_MACHINE || cetest::broken(root.get() == HKEY_LOCAL_MACHINE));
  DWORD value = 0;
  ASSERT_EQ(SetDword(self.get(), u"Level", 3), ERROR_SUCCESS);
  ASSERT_EQ(GetDword(again.get(), u"level", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 3u);

  const HKEY closed = app.release();
  EXPECT_EQ(ce::RegCloseKey(closed), ERROR_SUCCESS);
  EXPECT_EQ(ce::RegCloseKey(closed), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetDword(closed, u"Level", &value), ERROR_INVALID_HANDLE);
  EXPECT_EQ(ce::RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(ce::RegOpenKeyExW(reinterpret_cast<HKEY>(uintptr_t{0x80000004}), u"", 0, 0, root.put()),
            ERROR_INVALID_HANDLE);
}

TEST_F(Registry, KeysAndKernelObjectsAreNotInterchangeable) {
  UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  ASSERT_TRUE(event);
  EXPECT_EQ(ce::RegCloseKey(reinterpret_cast<HKEY>(event.get())), ERROR_INVALID_HANDLE);
  SetLastError(kSentinel);
  if (CloseHandle(reinterpret_cast<HANDLE>(root_.get()))) {
    // Desktop Windows' keys are kernel handles: that closed it.
    EXPECT_TRUE(cetest::broken(true));
    root_.release();
    ASSERT_EQ(ce::RegOpenKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, 0, root_.put()), ERROR_SUCCESS);
  } else {
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(SetDword(root_.get(), u"still", 1), ERROR_SUCCESS);  // both survive
  EXPECT_TRUE(SetEvent(event.get()));
  SetLastError(kSentinel);
}

TEST_F(Registry, QueryValueFollowsTheSizeProtocol) {
  const struct {
    const char16_t* name;
    DWORD type;
    Bytes data;
  } cases[] = {
      {nullptr, REG_SZ, {'d', 0, 0, 0}},  // the default value
      {u"Sz", REG_SZ, {'a', 0, 'b', 0, 0, 0}},
      {u"Expand", REG_EXPAND_SZ, {'%', 0, 0, 0}},
      {u"Multi", REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0}},
      {u"Binary", REG_BINARY, {1, 2, 3}},
      {u"Empty", REG_BINARY, {}},
      {u"None", REG_NONE, {9}},
      {u"Dword", REG_DWORD, {1, 0, 0, 0}},
      {u"Qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
  };
  const HKEY key = root_.get();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name ? ceutil::ToUtf8(c.name) : "default");
    const auto n = static_cast<DWORD>(c.data.size());
    ASSERT_EQ(ce::RegSetValueExW(key, c.name, 0, c.type, c.data.data(), n), ERROR_SUCCESS);
    DWORD type = 99, size = 0;
    ASSERT_EQ(ce::RegQueryValueExW(key, c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, n);
    Bytes buffer(n + 4, 0xCC);
    if (n > 0) {
      size = n - 1;
      EXPECT_EQ(ce::RegQueryValueExW(key, c.name, nullptr, nullptr, buffer.data(), &size), ERROR_MORE_DATA);
      EXPECT_EQ(size, n);
    }
    size = n + 4;
    ASSERT_EQ(ce::RegQueryValueExW(key, c.name, nullptr, nullptr, buffer.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, n);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + n), c.data);
    EXPECT_EQ(buffer[n], 0xCC);  // nothing written past the data
  }
  BYTE byte = 0;
  DWORD size = 1;
  EXPECT_EQ(ce::RegQueryValueExW(key, u"Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ce::RegQueryValueExW(key, u"Binary", nullptr, nullptr, &byte, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ce::RegDeleteValueW(key, u"BINARY"), ERROR_SUCCESS);
  EXPECT_EQ(ce::RegDeleteValueW(key, u"Binary"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ce::RegQueryValueExW(key, u"binary", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, EnumerationReportsShortBuffersAndTheEnd) {
  const HKEY key = root_.get();
  Create(key, u"First");
  Create(key, u"Second2");
  const BYTE data[] = {1, 2, 3, 4, 5};
  ASSERT_EQ(ce::RegSetValueExW(key, u"Val", 0, REG_BINARY, data, sizeof data), ERROR_SUCCESS);

  char16_t name[16];
  DWORD length = 6;  // "First" and its NUL, exactly
  ASSERT_EQ(ce::RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"First");
  EXPECT_EQ(length, 5u);
  length = 8;
  ASSERT_EQ(ce::RegEnumKeyExW(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"Second2");
  length = 16;
  EXPECT_EQ(ce::RegEnumKeyExW(key, 2, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(ce::RegEnumKeyExW(key, 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);

  DWORD type = 0, dataSize = 2;
  BYTE buffer[8] = {};
  length = 4;
  EXPECT_EQ(ce::RegEnumValueW(key, 0, name, &length, nullptr, &type, buffer, &dataSize), ERROR_MORE_DATA);
  EXPECT_EQ(dataSize, 5u);
  length = 4;
  dataSize = sizeof buffer;
  ASSERT_EQ(ce::RegEnumValueW(key, 0, name, &length, nullptr, &type, buffer, &dataSize), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"Val");
  EXPECT_EQ(type, DWORD{REG_BINARY});
  EXPECT_EQ(Bytes(buffer, buffer + dataSize), Bytes(data, data + sizeof data));
  length = 16;
  EXPECT_EQ(ce::RegEnumValueW(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
}

// RegCreateKeyExW or RegOpenKeyExW of path under parent, the sentinel last
// error set before; the one test of both calls drives them alike.
LONG OpenOrCreate(bool create, HKEY parent, const char16_t* path, HKEY* out, DWORD* disposition) {
  SetLastError(kSentinel);
  return create ? ce::RegCreateKeyExW(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, out, disposition)
                : ce::RegOpenKeyExW(parent, path, 0, KEY_READ, out);
}

// Both calls take a path alike, trailing backslashes dropped as Windows does,
// and one leading backslash as the device does.
TEST_F(Registry, OpenAndCreateTakePathsAlike) {
  RegKey test = Create(root_.get(), u"Test");
  ASSERT_EQ(SetDword(test.get(), u"Mark", 7), ERROR_SUCCESS);
  const struct {
    const char* what;
    const char16_t* path;
    LONG rc;
  } cases[] = {
      {"one trailing backslash", u"Test\\", ERROR_SUCCESS},
      {"two trailing backslashes", u"Test\\\\", ERROR_SUCCESS},
      {"leading backslash", u"\\Test", ERROR_SUCCESS},
      {"leading and two trailing", u"\\TEST\\\\", ERROR_SUCCESS},
      {"empty name inside", u"Test\\\\Sub", ERROR_INVALID_PARAMETER},
  };
  const HKEY marker = reinterpret_cast<HKEY>(uintptr_t{0x5A5A});
  for (const bool create : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(create ? "create, " : "open, ") + c.what);
      HKEY out = marker;
      DWORD disposition = 99;
      const LONG rc = OpenOrCreate(create, root_.get(), c.path, &out, &disposition);
      EXPECT_EQ(rc, c.rc);
      EXPECT_EQ(GetLastError(), kSentinel);
      RegKey opened(out != marker ? out : nullptr);
      if (c.rc != ERROR_SUCCESS) {
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(disposition, 99u);
        continue;
      }
      DWORD mark = 0;
      EXPECT_EQ(GetDword(out, u"Mark", &mark), ERROR_SUCCESS);
      EXPECT_EQ(mark, 7u);  // the same key, not one named with backslashes
      EXPECT_EQ(disposition, create ? DWORD{REG_OPENED_EXISTING_KEY} : 99u);
    }
  }
  DWORD subKeys = 0;
  ASSERT_EQ(ce::RegQueryInfoKeyW(root_.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 1u);  // a refused path made nothing on the way
}

// A parent that is no key fails before anything is written: the caller's
// handle keeps what it held.
TEST_F(Registry, OpenAndCreateUnderAnInvalidParentLeaveTheResultAlone) {
  RegKey closing = Create(root_.get(), u"Closed");
  const HKEY closed = closing.release();
  ASSERT_EQ(ce::RegCloseKey(closed), ERROR_SUCCESS);
  const struct {
    const char* what;
    HKEY parent;
  } cases[] = {
      {"closed key", closed},
      {"no predefined key", reinterpret_cast<HKEY>(uintptr_t{0x80000004})},
      {"null", nullptr},
  };
  const HKEY marker = reinterpret_cast<HKEY>(uintptr_t{0x5A5A});
  for (const bool create : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(create ? "create, " : "open, ") + c.what);
      HKEY out = marker;
      DWORD disposition = 99;
      const LONG rc = OpenOrCreate(create, c.parent, u"Sub", &out, &disposition);
      EXPECT_EQ(rc, ERROR_INVALID_HANDLE);
      EXPECT_EQ(GetLastError(), kSentinel);
      EXPECT_EQ(out, marker);
      EXPECT_EQ(disposition, 99u);
    }
  }
}

TEST_F(Registry, QueryValueOutParameters) {
  const HKEY key = root_.get();
  const Bytes stored = {1, 2, 3, 4, 5};
  ASSERT_EQ(ce::RegSetValueExW(key, u"Binary", 0, REG_BINARY, stored.data(), 5), ERROR_SUCCESS);
  const struct {
    const char* what;
    const char16_t* name;
    bool shared;  // one variable passed as both the type and the size
    bool buffer;
    DWORD size;
    LONG rc;
    DWORD sizeAfter;
    DWORD typeAfter;
    bool copied;
  } cases[] = {
      // The size is read before the type is written over it.
      {"type and size shared, room enough", u"Binary", true, true, 8, ERROR_SUCCESS, 5, 0, true},
      {"type and size shared, no buffer", u"Binary", true, false, 0, ERROR_SUCCESS, 5, 0, false},
      {"type and size shared, short buffer", u"Binary", true, true, 4, ERROR_MORE_DATA, 5, 0, false},
      {"separate, room enough", u"Binary", false, true, 8, ERROR_SUCCESS, 5, REG_BINARY, true},
      // Asked for its size only, a missing value has none; with a buffer, the
      // size is left as it was.
      {"missing, no buffer", u"Missing", false, false, 1234, ERROR_FILE_NOT_FOUND, 0, 99, false},
      {"missing, with buffer", u"Missing", false, true, 8, ERROR_FILE_NOT_FOUND, 8, 99, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes buffer(8, 0xCC);
    DWORD type = 99, size = c.size;
    DWORD* typeOut = c.shared ? &size : &type;
    SetLastError(kSentinel);
    EXPECT_EQ(ce::RegQueryValueExW(key, c.name, nullptr, typeOut, c.buffer ? buffer.data() : nullptr, &size),
              c.rc);
    EXPECT_EQ(GetLastError(), kSentinel);
    EXPECT_EQ(size, c.sizeAfter);
    if (!c.shared) {
      EXPECT_EQ(type, c.typeAfter);
    }
    Bytes expected(8, 0xCC);
    if (c.copied) std::copy(stored.begin(), stored.end(), expected.begin());
    EXPECT_EQ(buffer, expected);
  }
}

// The data is stored as given, whatever the type says of its size, as Windows
// does (an empty REG_DWORD reads back as such); a reader checks the size. Only
// a string whose size leaves out its terminator gets one.
TEST_F(Registry, SetValueStoresTheBytesAsGiven) {
  const HKEY key = root_.get();
  const BYTE one = 1;
  const BYTE four[] = {1, 2, 3, 4};
  const char16_t abc[] = u"abc";
  const BYTE old = 9;
  const struct {
    const char* what;
    DWORD type;
    const void* data;
    DWORD size;
    LONG rc;
    DWORD stored;  // how many bytes of data read back
  } cases[] = {
      {"empty DWORD", REG_DWORD, nullptr, 0, ERROR_SUCCESS, 0},
      {"DWORD of one byte", REG_DWORD, &one, 1, ERROR_SUCCESS, 1},
      {"QWORD of four bytes", REG_QWORD, four, 4, ERROR_SUCCESS, 4},
      {"string without its terminator", REG_SZ, abc, 6, ERROR_SUCCESS, 8},
      {"string with its terminator", REG_EXPAND_SZ, abc, 8, ERROR_SUCCESS, 8},
      {"empty string", REG_SZ, abc, 0, ERROR_SUCCESS, 0},
      {"null data with a size", REG_BINARY, nullptr, 4, ERROR_NOACCESS, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(ce::RegSetValueExW(key, u"V", 0, REG_NONE, &old, 1), ERROR_SUCCESS);
    SetLastError(kSentinel);
    EXPECT_EQ(ce::RegSetValueExW(key, u"V", 0, c.type, static_cast<const BYTE*>(c.data), c.size), c.rc);
    EXPECT_EQ(GetLastError(), kSentinel);
    const bool set = c.rc == ERROR_SUCCESS;
    const auto* bytes = static_cast<const BYTE*>(set ? c.data : &old);
    const Bytes expected = bytes ? Bytes(bytes, bytes + c.stored) : Bytes{};
    Bytes buffer(16, 0xCC);
    DWORD type = 99, size = 16;
    ASSERT_EQ(ce::RegQueryValueExW(key, u"V", nullptr, &type, buffer.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, set ? c.type : DWORD{REG_NONE});  // a refused call loses nothing
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + size), expected);
  }
}

// A name that does not fit: ERROR_MORE_DATA with the caller's length as it
// was and no buffer written, as Windows answers; the value's type and data size,
// and the key's last write time, are still told. A caller retries with a buffer
// of its own choosing.
TEST_F(Registry, EnumerationLeavesAShortNameAndItsLengthAlone) {
  const HKEY key = root_.get();
  Create(key, u"Test");
  const Bytes stored = {1, 2, 3, 4, 5};
  ASSERT_EQ(ce::RegSetValueExW(key, u"Test", 0, REG_BINARY, stored.data(), 5), ERROR_SUCCESS);
  const struct {
    const char* what;
    bool value;
    DWORD length;
  } cases[] = {
      {"key, room for one character", false, 1},
      {"key, room for the name but not its NUL", false, 4},
      {"value, room for one character", true, 1},
      {"value, room for the name but not its NUL", true, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::u16string name(8, u'x');
    Bytes data(8, 0xCC);
    DWORD length = c.length, type = 99, dataSize = 8, classLength = 8;
    std::u16string cls(8, u'x');
    FILETIME written{7, 7};
    SetLastError(kSentinel);
    const LONG rc =
        c.value
            ? ce::RegEnumValueW(key, 0, name.data(), &length, nullptr, &type, data.data(), &dataSize)
            : ce::RegEnumKeyExW(key, 0, name.data(), &length, nullptr, cls.data(), &classLength, &written);
    EXPECT_EQ(rc, ERROR_MORE_DATA);
    EXPECT_EQ(GetLastError(), kSentinel);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(name, std::u16string(8, u'x'));
    EXPECT_EQ(data, Bytes(8, 0xCC));
    if (c.value) {
      EXPECT_EQ(type, DWORD{REG_BINARY});
      EXPECT_EQ(dataSize, 5u);
    } else {
      EXPECT_EQ(cls, std::u16string(8, u'x'));
      EXPECT_EQ(classLength, 8u);
    }
    length = 5;  // the same call with room for the NUL succeeds
    FILETIME writtenAgain{};
    ASSERT_EQ(c.value
                  ? ce::RegEnumValueW(key, 0, name.data(), &length, nullptr, &type, data.data(), &dataSize)
                  : ce::RegEnumKeyExW(key, 0, name.data(), &length, nullptr, nullptr, nullptr, &writtenAgain),
              ERROR_SUCCESS);
    if (!c.value) {
      EXPECT_EQ(written.dwLowDateTime, writtenAgain.dwLowDateTime);
      EXPECT_EQ(written.dwHighDateTime, writtenAgain.dwHighDateTime);
    }
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(name.substr(0, 5), std::u16string(u"Test\0", 5));
  }
}

TEST_F(Registry, QueryInfoKeyFillsCountsAndMaxima) {
  RegKey key;
  char16_t cls[] = u"KeyClass";
  ASSERT_EQ(ce::RegCreateKeyExW(root_.get(), u"Info", 0, cls, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  Create(key.get(), u"ab");
  Create(key.get(), u"abcd\\deeper");
  ASSERT_EQ(SetDword(key.get(), u"Value", 1), ERROR_SUCCESS);
  ASSERT_EQ(ce::RegSetValueExW(key.get(), u"V", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"long text"), 20),
            ERROR_SUCCESS);

  char16_t clsOut[16];
  DWORD clsLength = 16, subKeys = 0, maxSubKey = 0, maxClass = 99, values = 0, maxName = 0, maxData = 0;
  FILETIME written{};
  ASSERT_EQ(ce::RegQueryInfoKeyW(key.get(), clsOut, &clsLength, nullptr, &subKeys, &maxSubKey, &maxClass,
                                 &values, &maxName, &maxData, nullptr, &written),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(clsOut), u"KeyClass");
  EXPECT_EQ(clsLength, 8u);
  EXPECT_EQ(subKeys, 2u);  // "deeper" is not a direct child
  EXPECT_EQ(maxSubKey, 4u);
  EXPECT_EQ(maxClass, 0u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 5u);
  EXPECT_EQ(maxData, 20u);
  EXPECT_NE(written.dwHighDateTime, 0u);
  EXPECT_EQ(ce::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
}

TEST_F(Registry, KeysDeletedUnderneathReportKeyDeleted) {
  RegKey parent = Create(root_.get(), u"Doomed");
  RegKey child = Create(parent.get(), u"Child");
  RegKey sibling = Create(root_.get(), u"Sibling");
  ASSERT_EQ(ce::RegDeleteKeyW(root_.get(), u"DOOMED"), ERROR_SUCCESS);  // while both are open

  DWORD value = 0, length = 8;
  char16_t name[8];
  RegKey sub;
  EXPECT_EQ(GetDword(child.get(), u"x", &value), ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword(parent.get(), u"x", 1), ERROR_KEY_DELETED);
  EXPECT_EQ(ce::RegEnumKeyExW(parent.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(ce::RegOpenKeyExW(parent.get(), u"Child", 0, KEY_READ, sub.put()), ERROR_KEY_DELETED);
  EXPECT_EQ(ce::RegCreateKeyExW(parent.get(), u"New", 0, nullptr, 0, 0, nullptr, sub.put(), nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword(sibling.get(), u"x", 1), ERROR_SUCCESS);
  EXPECT_EQ(ce::RegCloseKey(child.release()), ERROR_SUCCESS);

  // The whole subtree goes; a key made again under the old name is a new key.
  RegKey deep = Create(sibling.get(), u"A\\B\\C");
  EXPECT_EQ(ce::RegDeleteKeyW(root_.get(), u"SIBLING"), ERROR_SUCCESS);
  EXPECT_EQ(ce::RegOpenKeyExW(root_.get(), u"Sibling\\A", 0, KEY_READ, sub.put()), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ce::RegDeleteKeyW(root_.get(), u"Sibling"), ERROR_FILE_NOT_FOUND);
  Create(root_.get(), u"Sibling\\A\\B\\C");
  EXPECT_EQ(SetDword(deep.get(), u"x", 1), ERROR_KEY_DELETED);
  EXPECT_EQ(ce::RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ce::RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
}

// Only an empty path names the key itself for deletion. A path of nothing but
// backslashes, as a join with a missing child name gives, is refused and the
// key and what is below it stay; trailing backslashes after a name still name it.
TEST_F(Registry, DeleteKeyRefusesAPathOfOnlyBackslashes) {
  const struct {
    const char* what;
    const char16_t* path;
    LONG rc;
    bool parentStays;
    bool childStays;
  } cases[] = {
      {"one backslash", u"\\", ERROR_INVALID_PARAMETER, true, true},
      {"two backslashes", u"\\\\", ERROR_INVALID_PARAMETER, true, true},
      {"many backslashes", u"\\\\\\\\\\", ERROR_INVALID_PARAMETER, true, true},
      {"child and a run of backslashes", u"Child\\\\\\", ERROR_SUCCESS, true, false},
      {"empty path", u"", ERROR_SUCCESS, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegKey parent = Create(root_.get(), u"Parent");
    Create(parent.get(), u"Child");
    SetLastError(kSentinel);
    EXPECT_EQ(ce::RegDeleteKeyW(parent.get(), c.path), c.rc);
    EXPECT_EQ(GetLastError(), kSentinel);
    RegKey probe;
    EXPECT_EQ(ce::RegOpenKeyExW(root_.get(), u"Parent", 0, KEY_READ, probe.put()),
              c.parentStays ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ce::RegOpenKeyExW(root_.get(), u"Parent\\Child", 0, KEY_READ, probe.put()),
              c.childStays ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    ce::RegDeleteKeyW(root_.get(), u"Parent");
  }
}

TEST_F(Registry, ThreadsShareTheRegistry) {
  constexpr int kThreads = 4, kValues = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      const std::u16string path = u"T" + ceutil::FromUtf8(std::to_string(t));
      for (int i = 0; i < kValues; ++i) {
        RegKey key;
        ASSERT_EQ(
            ce::RegCreateKeyExW(root_.get(), path.c_str(), 0, nullptr, 0, 0, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
        ASSERT_EQ(SetDword(key.get(), (u"v" + ceutil::FromUtf8(std::to_string(i))).c_str(), DWORD(i)),
                  ERROR_SUCCESS);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  SetLastError(kSentinel);  // starting and joining threads may set it
  for (int t = 0; t < kThreads; ++t) {
    RegKey key;
    ASSERT_EQ(ce::RegOpenKeyExW(root_.get(), (u"t" + ceutil::FromUtf8(std::to_string(t))).c_str(), 0,
                                KEY_READ, key.put()),
              ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(ce::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                   nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, DWORD{kValues});
  }
}

}  // namespace
}  // namespace ce
