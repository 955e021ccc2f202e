// The demo's main window is a hidden message-only window: it needs no desktop
// (Wine without a display has none) and still receives posted messages.
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "demo_app.hpp"

namespace {

using namespace aerolith::demo;

constexpr UINT_PTR kLifetimeTimer = 1;

struct Window {
  const Recorder* recorder = nullptr;
  UINT handOffMessage = 0;
  const wchar_t* endReason = L"lifetime";
};
Window demo;

std::vector<std::wstring> arguments() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> result(argv, argv + (argv != nullptr ? count : 0));
  LocalFree(argv);
  return result;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == demo.handOffMessage) {
    demo.recorder->record(Event("hand-off")
                              .add("message", std::int64_t{message})
                              .add("wParam", static_cast<std::int64_t>(wParam))
                              .add("lParam", static_cast<std::int64_t>(lParam)));
    return 0;
  }
  switch (message) {
    case WM_CLOSE:
      demo.endReason = L"closed";
      DestroyWindow(window);
      return 0;
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const Settings settings = settingsFromEnvironment();
  const Recorder recorder(settings.record);
  recorder.record(startedEvent(arguments()).add("commandLine", GetCommandLineW()));
  if (settings.passesAtOnce()) {
    recorder.record(Event("ended").add("reason", L"lifetime"));
    return 0;
  }
  demo.recorder = &recorder;
  demo.handOffMessage = RegisterWindowMessageW(L"Aerolith.Demo.HandOff");

  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"Aerolith.Demo.MainWindow";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Aerolith", 0, 0, 0, 0, 0,
                                HWND_MESSAGE, nullptr, instance, nullptr);
  if (window == nullptr || demo.handOffMessage == 0) {
    recorder.record(Event("failed").add("error", std::int64_t{GetLastError()}));
    return 1;
  }
  // Window handles have 32 significant bits, which is all the record holds.
  const auto presence = Presence::announce(
      recorder, static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(window)),
      demo.handOffMessage);
  if (!presence) return 1;

  const auto lifetime = std::min<std::int64_t>(settings.lifetime.count(), USER_TIMER_MAXIMUM);
  SetTimer(window, kLifetimeTimer, static_cast<UINT>(std::max<std::int64_t>(lifetime, 1)), nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  recorder.record(Event("ended").add("reason", demo.endReason));
  return 0;
}
