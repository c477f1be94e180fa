// Answers of recent registry reads, so that a caller reading the same keys and
// values again and again (model identification does, on every call) costs no
// database transaction. The rule is the hardware state's: answers are kept
// for at most kRecheck, so a change by another process is seen by every read
// that starts kRecheck after it, and a write by this process (through any of
// its connections) drops them at once.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "ce/error.h"
#include "ce/types.h"
#include "recheck.h"

namespace ce::sim {

template <class Answer>
class RegistryReadCache {
 public:
  using KeyId = int64_t;
  // A burst of distinct reads starts the window again early beyond this many
  // answers, which bounds the memory kept.
  static constexpr size_t kMaxAnswers = 4096;

  // Called before each read with this process's registry write count: drops
  // every answer once kRecheck has passed since the first of them was kept,
  // or when this process wrote since.
  void Begin(uint64_t writes) {
    if (answers_.size() >= kMaxAnswers) clock_.Expire();
    if (clock_.Due(writes)) answers_.clear();
  }

  // Told the database's version by every read that was not answered from
  // here: answers from another version are dropped, so that no answer is
  // older than a read before it (an enumeration that shows a new value, say,
  // and then the value itself).
  void Seen(uint64_t version) {
    if (version == version_) return;
    answers_.clear();
    version_ = version;
  }

  // kind tells apart the questions asked of one key and name (a key opened,
  // a value read).
  const Answer* Find(char16_t kind, KeyId key, std::u16string_view name) const {
    auto it = answers_.find(Key(kind, key, name));
    return it == answers_.end() ? nullptr : &it->second;
  }

  void Keep(char16_t kind, KeyId key, std::u16string_view name, Answer answer) {
    answers_.insert_or_assign(Key(kind, key, name), std::move(answer));
  }

  // Only answers that follow from the stored state are kept: a busy or
  // failing database is asked again.
  static bool Keepable(DWORD rc) {
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_KEY_DELETED;
  }

 private:
  // The kind, the key id's bytes, then the name as spelled: another spelling
  // of the same name is only a miss.
  static std::u16string Key(char16_t kind, KeyId key, std::u16string_view name) {
    std::u16string k(1 + sizeof key / sizeof(char16_t), kind);
    std::memcpy(k.data() + 1, &key, sizeof key);
    k.append(name);
    return k;
  }

  std::unordered_map<std::u16string, Answer> answers_;
  RecheckClock clock_;
  uint64_t version_ = ~uint64_t{0};
};

}  // namespace ce::sim
