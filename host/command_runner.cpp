#include "command_runner.h"

#include <charconv>
#include <deque>
#include <memory>

#include "ceutil/text.h"
#include "command_line.h"
#include "host_services.h"
#include "module_crash.h"
#include "qel/command.h"
#include "qelcommon/text_buffer.h"

namespace qelhost {
namespace {

class Variable final : public IQelVariable {
 public:
  bool SetInt(int32_t value, int32_t) override {
    value_ = value;
    return true;
  }
  bool SetValue(IQelText* text, int32_t) override {
    if (!text) return false;
    value_ = std::u16string(text->Chars(), text->Length());
    return true;
  }
  // Text of `length` characters, or exactly `length` bytes of binary data.
  bool SetData(const void* data, int32_t length, int32_t unit) override {
    if (length < 0 || (!data && length > 0)) return false;
    if (unit == kQelDataChars) {
      value_ = std::u16string(static_cast<const char16_t*>(data), size_t(length));
    } else if (unit == kQelDataBytes) {
      const auto* bytes = static_cast<const uint8_t*>(data);
      value_ = std::vector<uint8_t>(bytes, bytes + length);
    } else {
      return false;
    }
    return true;
  }
  bool SetText(const char16_t* text, int32_t) override {
    value_ = std::u16string(text ? text : u"");
    return true;
  }
  bool AppendText(const char16_t* text, int32_t count, int32_t) override {
    if (count < 0 || (!text && count > 0)) return false;
    auto* held = std::get_if<std::u16string>(&value_);
    if (!held) value_ = std::u16string();
    std::get<std::u16string>(value_).append(text, size_t(count));
    return true;
  }
  const VariableValue& value() const { return value_; }

 private:
  VariableValue value_;
};

class Run final : public ICommandContext, public ICommandArguments, public ICommandReply {
 public:
  Run(std::vector<Entry> entries, IQelServiceRegistry& services, const Script* script, int32_t waitMs)
      : entries_(std::move(entries)), services_(services), script_(script), waitMs_(waitMs) {
    for (const Entry& e : entries_)
      if (e.variable && !variables_.count(e.text)) variables_.emplace(e.text, std::make_unique<Variable>());
  }

  // ICommandContext
  void SetResult(int32_t code, const char16_t* text) override {
    outcome_.code = code;
    CommandReport r{CommandReport::Kind::SetResult};
    r.result = code;
    if (text) r.text = text;
    outcome_.reports.push_back(std::move(r));
  }
  IQelService* QueryService(GUID iid) override { return services_.QueryService(iid); }
  int32_t WaitTime() override { return waitMs_; }
  // Only a label of the running script is a target; the last accepted wins.
  int32_t Branch(IQelText* target) override {
    if (!script_ || !target) return 1;
    const std::string name = ceutil::ToUtf8(std::u16string_view(target->Chars(), target->Length()));
    const auto next = script_->Find(name);
    if (!next) return 1;
    outcome_.branch = name;
    outcome_.next = *next;
    return 0;
  }

  // ICommandArguments
  uint32_t Count() override { return uint32_t(entries_.size()); }
  bool IsEmpty(int32_t n) override { return !Present(n); }
  char GetChar(int32_t n, char fallback) override {
    if (!Present(n)) return fallback;
    const std::string ansi = ceutil::ToAnsi(ceutil::FromUtf8(entries_[n].text).substr(0, 1));
    return ansi.empty() ? fallback : ansi[0];
  }
  bool GetBool(int32_t n, bool fallback) override {
    if (!Present(n)) return fallback;
    switch (entries_[n].text[0]) {
      case '1':
      case 'T':
      case 't':
      case 'Y':
      case 'y':
        return true;
      case '0':
      case 'F':
      case 'f':
      case 'N':
      case 'n':
        return false;
      default:
        return fallback;
    }
  }
  int32_t GetNumber(int32_t n, int32_t fallback) override { return GetInt(n, fallback); }
  // Decimal with an optional sign, or 0x hexadecimal; anything else is not a number.
  int32_t GetInt(int32_t n, int32_t fallback) override {
    if (!Present(n)) return fallback;
    std::string_view t = entries_[n].text;
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
      t.remove_prefix(2);
      base = 16;
      uint32_t u = 0;
      const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), u, base);
      return ec == std::errc() && end == t.data() + t.size() ? int32_t(u) : fallback;
    }
    if (t.size() > 1 && t[0] == '+') t.remove_prefix(1);
    int32_t v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
    return ec == std::errc() && end == t.data() + t.size() ? v : fallback;
  }
  IQelText* GetText(int32_t n, const char16_t* fallback, int32_t) override {
    auto& text = texts_.emplace_back();
    if (InRange(n))
      text.AssignZ(ceutil::FromUtf8(Written(n)).c_str());
    else
      text.AssignZ(fallback ? fallback : u"");
    return &text;
  }
  IQelVariable* GetVariable(int32_t n) override {
    if (!InRange(n) || !entries_[n].variable) return nullptr;
    return variables_.at(entries_[n].text).get();
  }
  IQelFileReference* GetFile(int32_t n, int32_t, int32_t, int32_t, int32_t) override {
    if (!Present(n)) return nullptr;
    std::u16string path = ResolveName(ceutil::FromUtf8(Written(n)));
    if (path.empty()) return nullptr;
    files_.push_back(qel::Ref<FileReference>::Adopt(new FileReference(std::move(path))));
    return files_.back().get();
  }

  // ICommandReply
  void Fail(const char16_t* text) override {
    CommandReport r{CommandReport::Kind::Fail};
    r.text = text ? text : u"";
    outcome_.reports.push_back(std::move(r));
  }
  void BadArgument(int32_t n) override {
    CommandReport r{CommandReport::Kind::BadArgument};
    r.argument = n;
    outcome_.reports.push_back(std::move(r));
  }
  void MissingArguments() override { outcome_.reports.push_back({CommandReport::Kind::MissingArguments}); }

  CommandOutcome Finish() {
    for (const auto& [name, variable] : variables_) outcome_.variables[name] = variable->value();
    return std::move(outcome_);
  }

 private:
  bool InRange(int32_t n) const { return n >= 0 && size_t(n) < entries_.size(); }
  bool Present(int32_t n) const { return InRange(n) && !entries_[n].text.empty(); }
  // The entry as the line wrote it, a variable with its $.
  std::string Written(int32_t n) const { return (entries_[n].variable ? "$" : "") + entries_[n].text; }

  std::vector<Entry> entries_;
  IQelServiceRegistry& services_;
  const Script* script_;
  const int32_t waitMs_;
  std::map<std::string, std::unique_ptr<Variable>> variables_;
  std::deque<CQelTextBuffer> texts_;  // handed out; stable until the run ends
  std::vector<qel::Ref<FileReference>> files_;
  CommandOutcome outcome_;
};

}  // namespace

bool CommandOutcome::failed() const {
  for (const CommandReport& r : reports)
    if (r.kind != CommandReport::Kind::SetResult || r.result != 0) return true;
  return false;
}

const RegisteredCommand* CommandRunner::Find(const std::string& line, std::vector<Entry>* entries,
                                             std::string* error) const {
  auto split = SplitCommandLine(line, error);
  if (!split) return nullptr;
  if (split->empty()) {
    *error = "an empty command line";
    return nullptr;
  }
  const std::u16string code = ceutil::FromUtf8((*split)[0].text);
  for (const RegisteredCommand& c : registrar_.commands())
    if (ceutil::EqualNoCase(c.code, code)) {
      *entries = std::move(*split);
      return &c;
    }
  *error = "no command '" + (*split)[0].text + "' is registered (see: qelhost commands)";
  return nullptr;
}

bool CommandRunner::Check(const std::string& line, std::string* error) const {
  std::vector<Entry> entries;
  return Find(line, &entries, error) != nullptr;
}

std::optional<CommandOutcome> CommandRunner::Run(const std::string& line, std::string* error,
                                                 const Script* script) {
  std::vector<Entry> entries;
  const RegisteredCommand* command = Find(line, &entries, error);
  if (!command) return std::nullopt;
  class Run run(std::move(entries), services_, script, waitMs_);
  ModuleCall call("the handler of the command", command->code.c_str());
  command->handler(&run, &run, &run);
  return run.Finish();
}

}  // namespace qelhost
