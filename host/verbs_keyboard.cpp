#include "verbs_keyboard.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <optional>

#include "ce/window.h"
#include "qel/guids.h"
#include "qel/keyboard.h"

namespace qelhost {
namespace {

using json = nlohmann::ordered_json;

json RectOf(ce::HWND w) {
  ce::RECT r{};
  if (!w || !ce::GetWindowRect(w, &r)) return nullptr;
  return {r.left, r.top, r.right, r.bottom};
}

std::string RectText(const json& r) {
  if (r.is_null()) return "none";
  return std::to_string(r[0].get<int>()) + "," + std::to_string(r[1].get<int>()) + " - " +
         std::to_string(r[2].get<int>()) + "," + std::to_string(r[3].get<int>());
}

std::string MessageText(const ReceivedMessage& m) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%X", m.message);
  std::string text = std::string(hex) + " " + std::to_string(m.wParam);
  if (m.message == kPanelStateMessage) text += m.wParam ? " (panel shown)" : " (panel hidden)";
  return text;
}

}  // namespace

int DriveKeyboard(PluginHost& host, const std::string& action,
                  const std::optional<std::string>& placementText, const Output& o) {
  const bool known = action == "show" || action == "hide" || action == "toggle" || action == "state";
  if (!known) {
    o.err << "qelhost: keyboard: " << Printable(action) << ": the action is show, hide, toggle or state\n";
    return kUsage;
  }
  if (placementText) {
    const auto placement = ParsePlacement(*placementText);
    if (!placement) {
      o.err << "qelhost: keyboard: --main-window " << Printable(*placementText)
            << ": give LEFT,TOP,WIDTH,HEIGHT in whole numbers, width and height at least 1, its right and "
               "bottom edges within -2147483648 to 2147483647\n";
      return kUsage;
    }
    std::string error;
    if (!host.mainWindow().Open(*placement, &error)) {
      o.err << "qelhost: keyboard: " << Printable(error) << "\n";
      return kFailed;
    }
  }
  IQelService* provider = host.registry().QueryService(qel::IID_QELKEYBOARDSERVICE);
  void* found = nullptr;
  if (!provider || !provider->GetInterface(qel::IID_QELKEYBOARDSERVICE, &found) || !found) {
    o.err << "qelhost: keyboard: the module registered no keyboard service\n";
    return kFailed;
  }
  auto* keyboard = static_cast<IQelKeyboardService*>(found);
  bool ok = true;
  if (action == "show") ok = keyboard->ShowPanel();
  if (action == "hide") ok = keyboard->HidePanel();
  if (action == "toggle") keyboard->TogglePanel();
  const bool on = keyboard->IsPanelOn();
  keyboard->Release();

  MainWindow& main = host.mainWindow();
  main.Flush();
  json received = json::array();
  std::vector<std::string> lines;
  for (const ReceivedMessage& m : main.Received()) {
    received.push_back({{"message", m.message}, {"wparam", m.wParam}, {"lparam", m.lParam}});
    lines.push_back(MessageText(m));
  }
  const json panel = RectOf(ce::FindWindowW(u"SipWndClass", nullptr));
  const json backdrop = RectOf(ce::FindWindowW(u"SipBackDropWndClass", nullptr));
  const json mainRect = RectOf(main.hwnd());
  if (o.json) {
    o.out << json{{"action", action},
                  {"ok", ok},
                  {"panel", on ? "shown" : "hidden"},
                  {"panel_rect", panel},
                  {"backdrop_rect", backdrop},
                  {"main_window_rect", mainRect},
                  {"main_window_received", received}}
                 .dump(2)
          << "\n";
  } else {
    o.out << "panel: " << (on ? "shown" : "hidden") << "\n"
          << "panel window: " << RectText(panel) << "\n"
          << "backdrop window: " << RectText(backdrop) << "\n"
          << "main window: " << RectText(mainRect) << "\n";
    for (const std::string& line : lines) o.out << "main window received: " << line << "\n";
  }
  if (!ok) {
    o.err << "qelhost: keyboard: " << action << ": the panel's state could not be written\n";
    return kFailed;
  }
  return kOk;
}

Verb KeyboardVerb() {
  struct Options {
    std::string action;
    std::optional<std::string> placement;  // given, even empty, or not
  };
  return MakeVerb<Options>(
      "keyboard",
      "show, hide or toggle the input panel through the module's keyboard service, or print its state",
      Needs::kModule,
      [](CLI::App& verb, Options& o) {
        verb.add_option("ACTION", o.action, "show, hide, toggle or state")->required();
        verb.add_option("--main-window", o.placement,
                        "LEFT,TOP,WIDTH,HEIGHT: moves qelhost's main window there first "
                        "(default 0,0,240,320); a panel shown is aligned to its bottom");
      },
      [](const Options& o, const VerbContext& c) {
        return DriveKeyboard(*c.host, o.action, o.placement, c.out);
      });
}

}  // namespace qelhost
