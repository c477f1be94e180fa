// CQelValue: the plug-in's own value object. A getter that succeeds
// converts the value in place to the kind it read; one that fails leaves the
// value untouched. Every setter first clears the value.
#pragma once

#include <cstdint>

#include "qel/value.h"
#include "qelcommon/text_buffer.h"

class CQelValue final : public IQelValue {
 public:
  CQelValue() = default;
  CQelValue(const CQelValue&) = delete;
  CQelValue& operator=(const CQelValue&) = delete;
  ~CQelValue() override;

  int32_t IsEmpty() override;
  QelKind GetKind() override { return kind_; }
  bool GetString(IQelText** out) override;
  bool GetChar(char* out) override;
  bool GetBool(bool* out) override;
  bool GetTriState(int32_t* out) override;
  bool GetDouble(double* out) override;
  bool GetInt32(int32_t* out) override;
  bool GetUInt32(uint32_t* out) override;
  bool GetInt64(int64_t* out) override;
  bool GetUInt64(uint64_t* out) override;
  bool GetObject(IQelService** inout) override;
  bool SetObject(IQelService** inout) override;
  bool Assign(IQelValue* other) override;
  bool SetUInt64(uint32_t low, uint32_t high) override;
  bool SetInt64(uint32_t low, uint32_t high) override;
  bool SetUInt32(uint32_t v) override;
  bool SetInt32(int32_t v) override;
  bool SetDouble(double v) override;
  bool SetTriState(int32_t v) override;
  bool SetBool(bool v) override;
  bool SetChar(char v) override;
  bool SetText(IQelText* text) override;
  bool SetString(const char16_t* s, uint32_t length) override;
  bool SetStringZ(const char16_t* s) override;
  bool Clear() override;

  // The embedded text buffer: the String payload and the last text conversion.
  const CQelTextBuffer& TextBuffer() const { return text_; }

 private:
  union Payload {
    char c;
    bool b;
    int32_t tri;
    double d;
    int32_t i32;
    uint32_t u32;
    int64_t i64;
    uint64_t u64;
    IQelService* obj;
  };
  static constexpr uint32_t kWorkChars = 64;  // the ToString work buffer

  // Conversions without side effects; the getters commit what they return.
  bool ReadChar(char* out) const;
  bool ReadBool(bool* out) const;
  int32_t ReadTriState() const;
  bool ReadSmall(int32_t* out) const;  // Char, Bool, TriState as a number
  bool ReadDouble(double* out) const;
  bool ReadInt32(int32_t* out) const;
  bool ReadUInt32(uint32_t* out) const;
  bool ReadInt64(int64_t* out) const;
  bool ReadUInt64(uint64_t* out) const;
  // ToString of every kind but String; returns the length written to `work`.
  uint32_t Format(char16_t (&work)[kWorkChars]) const;

  // Stores a converted payload: releases an Object payload, keeps the text.
  void Convert(QelKind kind, Payload payload);
  // The first step of every setter: Null, no object, empty text.
  void Reset();
  void ReleaseObject();

  QelKind kind_ = QelKind::Null;
  Payload payload_{.u64 = 0};
  CQelTextBuffer text_{CQelTextBuffer::kDefaultGranule};
};
