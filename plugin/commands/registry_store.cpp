// PXS on the registry: "root\sub\key", then groups of name, value and type
// letter; reading hands the value and its type letter to two variables.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "ce/registry.h"
#include "ceutil/text.h"
#include "commands/command_frame.h"
#include "commands/pxs_stores.h"

namespace qel {
namespace {

constexpr char16_t kKeyNotValid[] = u"The key is not valid";
constexpr char16_t kTypeNotValid[] = u"The type is not valid";
constexpr char16_t kValueNotValid[] = u"The value is not valid";

struct Root {
  std::u16string_view name;
  ce::HKEY key;
};

ce::HKEY RootNamed(std::u16string_view name) {
  const std::array<Root, 4> roots{{
      {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
      {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
      {u"HKEY_USERS", HKEY_USERS},
  }};
  for (const Root& r : roots)
    if (ceutil::EqualNoCase(r.name, name)) return r.key;
  return nullptr;
}

// Opens, or creates, the key argument 3 names; reports and returns false when it cannot.
bool OpenKey(const PxsCall& c, ce::RegKey* key) {
  const std::u16string_view path = TextOf(c.args->GetText(3, nullptr, -1));
  if (path.empty()) {
    c.reply->BadArgument(3);
    return false;
  }
  const size_t slash = path.find(u'\\');
  ce::HKEY root = slash == std::u16string_view::npos ? nullptr : RootNamed(path.substr(0, slash));
  if (!root) {
    c.context->SetResult(1, kKeyNotValid);
    return false;
  }
  const std::u16string sub(path.substr(slash + 1));
  ce::DWORD disposition = 0;
  if (ce::RegCreateKeyExW(root, sub.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                          key->put(), &disposition) != ERROR_SUCCESS) {
    c.context->SetResult(1, kKeyNotValid);
    return false;
  }
  return true;
}

ce::LONG SetText(ce::HKEY key, const char16_t* name, ce::DWORD type, IQelText* value) {
  const std::u16string_view text = TextOf(value);
  const std::u16string data(text);  // with its terminating zero
  return ce::RegSetValueExW(key, name, 0, type, reinterpret_cast<const ce::BYTE*>(data.c_str()),
                            ce::DWORD((data.size() + 1) * sizeof(char16_t)));
}

void WriteGroups(const PxsCall& c, ce::HKEY key) {
  for (int32_t n = kFirstGroup; uint32_t(n + 2) < c.count; n += kGroupSize) {
    IQelText* name = c.args->GetText(n, nullptr, -1);
    if (TextOf(name).empty()) {
      c.reply->BadArgument(n);
      return;
    }
    char type = c.args->GetChar(n + 2, '?');
    if (type == '?') type = c.args->GetInt(n + 1, -1) != -1 ? 'D' : 'S';
    ce::LONG rc = ERROR_SUCCESS;
    switch (type) {
      case 'S':
        rc = SetText(key, CharsOf(name), REG_SZ, c.args->GetText(n + 1, nullptr, -1));
        break;
      case 'E':
        rc = SetText(key, CharsOf(name), REG_EXPAND_SZ, c.args->GetText(n + 1, nullptr, -1));
        break;
      case 'B':
        rc = SetText(key, CharsOf(name), REG_BINARY, c.args->GetText(n + 1, nullptr, -1));
        break;
      case 'M':
        rc = SetText(key, CharsOf(name), REG_MULTI_SZ, c.args->GetText(n + 1, nullptr, -1));
        break;
      case 'D': {
        const int32_t number = c.args->GetInt(n + 1, -1);
        if (number == -1) {
          c.context->SetResult(1, kTypeNotValid);
          continue;
        }
        const ce::DWORD dword = ce::DWORD(number);
        rc = ce::RegSetValueExW(key, CharsOf(name), 0, REG_DWORD, reinterpret_cast<const ce::BYTE*>(&dword),
                                sizeof dword);
        break;
      }
      default:
        c.context->SetResult(1, kTypeNotValid);
        continue;
    }
    if (rc != ERROR_SUCCESS) c.context->SetResult(1, kValueNotValid);
  }
}

// Hands one value read from the registry to the variables; false for a type PXS has no letter for.
bool Deliver(ce::DWORD type, const std::vector<ce::BYTE>& data, ce::DWORD size, IQelVariable* value,
             IQelVariable* typeVar) {
  const char16_t* letter = nullptr;
  switch (type) {
    case REG_SZ:
      letter = u"S";
      break;
    case REG_EXPAND_SZ:
      letter = u"E";
      break;
    case REG_MULTI_SZ:
      letter = u"M";
      break;
    case REG_BINARY:
      letter = u"B";
      break;
    case REG_DWORD:
      letter = u"D";
      break;
    default:
      return false;
  }
  if (typeVar) typeVar->SetText(letter, 0);
  if (type == REG_DWORD) {
    int32_t number = 0;
    std::copy_n(data.begin(), std::min<size_t>(size, sizeof number), reinterpret_cast<ce::BYTE*>(&number));
    value->SetInt(number, 0);
  } else if (type == REG_BINARY) {
    value->SetData(data.data(), int32_t(size), kQelDataBytes);
  } else {
    // Characters without the last terminating zero; a value stored with no
    // bytes at all is the empty text, not a length of -1.
    value->SetData(data.data(), std::max<int32_t>(int32_t(size / 2) - 1, 0), kQelDataChars);
  }
  return true;
}

void ReadGroups(const PxsCall& c, ce::HKEY key) {
  for (int32_t n = kFirstGroup; uint32_t(n + 2) < c.count; n += kGroupSize) {
    IQelText* name = c.args->GetText(n, nullptr, -1);
    if (TextOf(name).empty()) {
      c.reply->BadArgument(n);
      return;
    }
    IQelVariable* value = c.args->GetVariable(n + 1);
    if (!value) {
      c.reply->BadArgument(n + 1);
      return;
    }
    IQelVariable* typeVar = c.args->GetVariable(n + 2);
    ce::DWORD type = 0, size = 0;
    ce::LONG rc = ce::RegQueryValueExW(key, CharsOf(name), nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) {
      c.context->SetResult(1, kValueNotValid);
      continue;
    }
    // Twice the bytes, zero beyond what is read: a host variable that takes
    // a binary length as characters whatever its unit still stays inside.
    std::vector<ce::BYTE> data(size_t(size) * 2 + sizeof(char16_t));
    rc = ce::RegQueryValueExW(key, CharsOf(name), nullptr, &type, data.data(), &size);
    if (rc != ERROR_SUCCESS) {
      c.context->SetResult(1, kValueNotValid);
      continue;
    }
    if (!Deliver(type, data, size, value, typeVar)) c.context->SetResult(1, kTypeNotValid);
  }
}

}  // namespace

void RegistryStore(const PxsCall& call) {
  ce::RegKey key;
  if (!OpenKey(call, &key)) return;
  if (call.read)
    ReadGroups(call, key.get());
  else
    WriteGroups(call, key.get());
}

}  // namespace qel
