// A command's three host objects as a test drives a handler directly: the
// arguments of a line, a context that hands out the services it is given and
// records results and branches, and a reply that records reports.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ceutil/text.h"
#include "qel/command.h"
#include "qel/service.h"
#include "qelcommon/text_buffer.h"

namespace qeltest {

// Entry 0 is the command code; an entry that is absent (nullopt) or empty
// takes the caller's default.
class CommandArgs final : public ICommandArguments {
 public:
  using Entry = std::optional<std::string>;
  explicit CommandArgs(std::vector<Entry> entries) : entries_(std::move(entries)) {}

  uint32_t Count() override { return uint32_t(entries_.size()); }
  bool IsEmpty(int32_t a) override { return !Present(a); }
  char GetChar(int32_t a, char fallback) override {
    return Present(a) ? (*entries_[size_t(a)])[0] : fallback;
  }
  bool GetBool(int32_t a, bool fallback) override {
    if (!Present(a)) return fallback;
    const char c = (*entries_[size_t(a)])[0];
    if (c == '1' || c == 'T' || c == 't' || c == 'Y' || c == 'y') return true;
    if (c == '0' || c == 'F' || c == 'f' || c == 'N' || c == 'n') return false;
    return fallback;
  }
  int32_t GetNumber(int32_t a, int32_t fallback) override { return GetInt(a, fallback); }
  int32_t GetInt(int32_t a, int32_t fallback) override {
    if (!Present(a)) return fallback;
    try {
      size_t used = 0;
      const int32_t v = std::stoi(*entries_[size_t(a)], &used);
      return used == entries_[size_t(a)]->size() ? v : fallback;
    } catch (...) {
      return fallback;
    }
  }
  IQelText* GetText(int32_t a, const char16_t* fallback, int32_t) override {
    auto& text = texts_.emplace_back();
    if (a >= 0 && size_t(a) < entries_.size() && entries_[size_t(a)])
      text.AssignZ(ceutil::FromUtf8(*entries_[size_t(a)]).c_str());
    else
      text.AssignZ(fallback ? fallback : u"");
    return &text;
  }
  IQelVariable* GetVariable(int32_t a) override {
    const auto it = variables.find(a);
    return it == variables.end() ? nullptr : it->second;
  }
  IQelFileReference* GetFile(int32_t a, int32_t, int32_t, int32_t, int32_t) override {
    const auto it = files.find(a);
    return it == files.end() ? nullptr : it->second;
  }

  // What GetVariable and GetFile hand out, by argument number; null elsewhere.
  std::map<int32_t, IQelVariable*> variables;
  std::map<int32_t, IQelFileReference*> files;

 private:
  bool Present(int32_t a) const {
    return a >= 0 && size_t(a) < entries_.size() && entries_[size_t(a)] && !entries_[size_t(a)]->empty();
  }
  std::vector<Entry> entries_;
  std::deque<CQelTextBuffer> texts_;
};

// An output variable that keeps every text and number stored into it.
class Variable final : public IQelVariable {
 public:
  bool SetInt(int32_t value, int32_t) override {
    ints.push_back(value);
    return true;
  }
  bool SetValue(IQelText*, int32_t) override { return false; }
  bool SetData(const void*, int32_t, int32_t) override { return false; }
  bool SetText(const char16_t* text, int32_t) override {
    texts.emplace_back(text ? text : u"");
    return true;
  }
  bool AppendText(const char16_t*, int32_t, int32_t) override { return false; }
  std::vector<std::u16string> texts;
  std::vector<int32_t> ints;
};

// A file reference to a device path, owned by the test (never released).
class FileReference final : public IQelFileReference {
 public:
  explicit FileReference(std::u16string path) : path_(std::move(path)) {}
  const char16_t* FullPath() override { return path_.c_str(); }

 private:
  std::u16string path_;
};

class CommandContext final : public ICommandContext {
 public:
  void SetResult(int32_t code, const char16_t* text) override {
    results.push_back(code);
    texts.push_back(text ? std::optional<std::u16string>(text) : std::nullopt);
  }
  IQelService* QueryService(GUID iid) override {
    for (const auto& [id, service] : services)
      if (id == iid) return service;
    return nullptr;
  }
  int32_t WaitTime() override { return -1; }
  // Accepts only the targets in `labels`; records every target asked for.
  int32_t Branch(IQelText* target) override {
    branches.emplace_back(target ? std::u16string(target->Chars(), target->Length()) : u"");
    for (const auto& label : labels)
      if (label == branches.back()) return 0;
    return 1;
  }

  std::vector<std::pair<GUID, IQelService*>> services;
  std::vector<std::u16string> labels;
  std::vector<int32_t> results;
  std::vector<std::optional<std::u16string>> texts;
  std::vector<std::u16string> branches;
};

class CommandReply final : public ICommandReply {
 public:
  void Fail(const char16_t* text) override { failures.emplace_back(text); }
  void BadArgument(int32_t a) override { bad.push_back(a); }
  void MissingArguments() override { ++missing; }
  std::vector<std::u16string> failures;
  std::vector<int32_t> bad;
  int missing = 0;
};

}  // namespace qeltest
