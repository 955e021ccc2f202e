// The progress window as a plain top-level window with a static text and a
// common-controls progress bar, scaled to the DPI of its monitor (the image's
// manifest declares per-monitor awareness). It is shown without activation:
// the launcher's right to bring a window to the front stays untouched for the
// application it starts next.
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <shobjidl.h>

#include <atomic>
#include <string>

#include "sys/ui/progress_window.hpp"

namespace aerolith::sys {
namespace {

constexpr wchar_t kClassName[] = L"Aerolith.ProgressWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kIconResource = 1;

// Layout in pixels at 96 dots per inch.
constexpr int kClientWidth = 380;
constexpr int kMargin = 16;
constexpr int kTextToBar = 10;
constexpr int kBarHeight = 18;

// The window on screen, for hideProgressWindowsNow() on any thread.
std::atomic<HWND> shownWindow{nullptr};
std::atomic<bool> barred{false};

// Per-monitor DPI functions of Windows 10 (1607 and later), looked up at run
// time so that the image still starts on Windows 7 and 8, where every window
// has the system's DPI and the plain functions already answer for it.
struct DpiFunctions {
  UINT(WINAPI* dpiForWindow)(HWND);
  BOOL(WINAPI* adjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT);
  BOOL(WINAPI* systemParametersInfoForDpi)(UINT, UINT, void*, UINT, UINT);
  int(WINAPI* systemMetricsForDpi)(int, UINT);

  bool available() const {
    return dpiForWindow != nullptr && adjustWindowRectExForDpi != nullptr &&
           systemParametersInfoForDpi != nullptr && systemMetricsForDpi != nullptr;
  }
};

template <typename Function>
void lookUp(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const DpiFunctions& dpiFunctions() {
  static const DpiFunctions functions = [] {
    DpiFunctions found{};
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    lookUp(user32, "GetDpiForWindow", found.dpiForWindow);
    lookUp(user32, "AdjustWindowRectExForDpi", found.adjustWindowRectExForDpi);
    lookUp(user32, "SystemParametersInfoForDpi", found.systemParametersInfoForDpi);
    lookUp(user32, "GetSystemMetricsForDpi", found.systemMetricsForDpi);
    return found;
  }();
  return functions;
}

UINT systemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT dpiOf(HWND window) {
  const DpiFunctions& functions = dpiFunctions();
  return functions.available() ? functions.dpiForWindow(window) : systemDpi();
}

int systemMetric(int index, UINT dpi) {
  const DpiFunctions& functions = dpiFunctions();
  return functions.available() ? functions.systemMetricsForDpi(index, dpi)
                               : GetSystemMetrics(index);
}

// The font of message boxes, at `dpi`.
HFONT messageFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  const DpiFunctions& functions = dpiFunctions();
  const BOOL found =
      functions.available()
          ? functions.systemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics,
                                                 0, dpi)
          : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return found ? CreateFontIndirectW(&metrics.lfMessageFont) : nullptr;
}

int lineHeight(HWND window, HFONT font) {
  HDC context = GetDC(window);
  HGDIOBJ previous =
      SelectObject(context, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(context, &metrics);
  SelectObject(context, previous);
  ReleaseDC(window, context);
  return metrics.tmHeight;
}

SIZE windowSize(UINT dpi, int textHeight) {
  const auto scaled = [dpi](int pixels) { return MulDiv(pixels, dpi, USER_DEFAULT_SCREEN_DPI); };
  RECT frame{0, 0, scaled(kClientWidth),
             2 * scaled(kMargin) + textHeight + scaled(kTextToBar) + scaled(kBarHeight)};
  const DpiFunctions& functions = dpiFunctions();
  if (functions.available()) {
    functions.adjustWindowRectExForDpi(&frame, kStyle, FALSE, 0, dpi);
  } else {
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  }
  return {frame.right - frame.left, frame.bottom - frame.top};
}

bool registerWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_NOCLOSE;  // the close box greyed, Close gone from the window menu
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

struct ProgressWindow::State {
  explicit State(std::wstring_view title) : caption(title) {}

  const std::wstring caption;
  HANDLE stopWaiting = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // manual reset: stays set
  const UINT taskbarButtonCreated = RegisterWindowMessageW(L"TaskbarButtonCreated");
  bool opened = false;  // once: never again after a failed open or a close
  HWND window = nullptr;
  HWND text = nullptr;
  HWND bar = nullptr;
  HFONT font = nullptr;
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
  bool comReady = false;
  ITaskbarList3* taskbar = nullptr;
  std::wstring shownText;
  std::uint32_t step = 0;

  void open(std::wstring_view firstText, std::uint32_t firstStep);
  void update(std::wstring_view newText, std::uint32_t newStep);
  void close();
  void layOut(UINT dpi, const RECT* suggested);
  void loadIcons(UINT dpi);
  void showOnTaskbar();
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// Messages go to the State that CreateWindowExW was given.
LRESULT CALLBACK ProgressWindow::State::procedure(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    auto* state = static_cast<State*>(creation->lpCreateParams);
    state->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
  }
  auto* state = reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return state != nullptr ? state->handle(message, wParam, lParam)
                          : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT ProgressWindow::State::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == taskbarButtonCreated) {
    showOnTaskbar();
    return 0;
  }
  switch (message) {
    case WM_CLOSE:  // Alt+F4 and the like: the work cannot be stopped halfway
      return 0;
    case WM_DPICHANGED:
      layOut(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void ProgressWindow::State::open(std::wstring_view firstText, std::uint32_t firstStep) {
  opened = true;
  if (barred.load()) return;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  if (!registerWindowClass(instance, procedure)) return;

  // Created on the monitor the user works on, so that it takes that monitor's DPI.
  POINT cursor{};
  GetCursorPos(&cursor);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY), &monitor);
  window = CreateWindowExW(0, kClassName, caption.c_str(), kStyle, monitor.rcWork.left,
                           monitor.rcWork.top, 0, 0, nullptr, nullptr, instance, this);
  if (window == nullptr) return;
  shownText.assign(firstText);
  step = firstStep;
  text = CreateWindowExW(0, WC_STATICW, shownText.c_str(),
                         WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, 0, 0, 0,
                         window, nullptr, instance, nullptr);
  bar = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window,
                        nullptr, instance, nullptr);
  SendMessageW(bar, PBM_SETRANGE32, 0, kProgressSteps);
  SendMessageW(bar, PBM_SETPOS, step, 0);
  layOut(dpiOf(window), nullptr);

  // Published before the last look at the bar, so that a crash either finds
  // the window to hide or keeps it from being shown.
  shownWindow.store(window);
  if (barred.load()) return;
  ShowWindow(window, SW_SHOWNOACTIVATE);
  UpdateWindow(window);

  comReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  if (comReady &&
      SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_ITaskbarList3, reinterpret_cast<void**>(&taskbar))) &&
      FAILED(taskbar->HrInit())) {
    taskbar->Release();
    taskbar = nullptr;
  }
  showOnTaskbar();
}

// The whole layout at `dpi`: font, icons, the two controls and the window's
// size; centred in the work area on the first layout, else where the system
// suggests after a move to a monitor of another DPI.
void ProgressWindow::State::layOut(UINT dpi, const RECT* suggested) {
  const auto scaled = [dpi](int pixels) { return MulDiv(pixels, dpi, USER_DEFAULT_SCREEN_DPI); };
  HFONT newFont = messageFont(dpi);
  SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(newFont), FALSE);
  if (font != nullptr) DeleteObject(font);
  font = newFont;
  loadIcons(dpi);

  const int textHeight = lineHeight(window, font);
  const int inner = scaled(kClientWidth) - 2 * scaled(kMargin);
  MoveWindow(text, scaled(kMargin), scaled(kMargin), inner, textHeight, TRUE);
  MoveWindow(bar, scaled(kMargin), scaled(kMargin) + textHeight + scaled(kTextToBar), inner,
             scaled(kBarHeight), TRUE);

  const SIZE size = windowSize(dpi, textHeight);
  POINT origin{};
  if (suggested != nullptr) {
    origin = {suggested->left, suggested->top};
  } else {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    origin = {work.left + (work.right - work.left - size.cx) / 2,
              work.top + (work.bottom - work.top - size.cy) / 2};
  }
  SetWindowPos(window, nullptr, origin.x, origin.y, size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void ProgressWindow::State::loadIcons(UINT dpi) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  const auto load = [&](int width, int height) {
    return static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, width, height, 0));
  };
  HICON big = load(systemMetric(SM_CXICON, dpi), systemMetric(SM_CYICON, dpi));
  HICON small = load(systemMetric(SM_CXSMICON, dpi), systemMetric(SM_CYSMICON, dpi));
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  if (bigIcon != nullptr) DestroyIcon(bigIcon);
  if (smallIcon != nullptr) DestroyIcon(smallIcon);
  bigIcon = big;
  smallIcon = small;
}

// Failures are of no consequence: the window shows the same.
void ProgressWindow::State::showOnTaskbar() {
  if (taskbar != nullptr) taskbar->SetProgressValue(window, step, kProgressSteps);
}

void ProgressWindow::State::update(std::wstring_view newText, std::uint32_t newStep) {
  if (window == nullptr) return;
  if (newText != shownText) {
    shownText.assign(newText);
    SetWindowTextW(text, shownText.c_str());
  }
  if (newStep != step) {
    step = newStep;
    SendMessageW(bar, PBM_SETPOS, step, 0);
    showOnTaskbar();
  }
}

void ProgressWindow::State::close() {
  if (window != nullptr) {
    shownWindow.store(nullptr);
    if (taskbar != nullptr) taskbar->SetProgressState(window, TBPF_NOPROGRESS);
    DestroyWindow(window);
    window = nullptr;
  }
  if (taskbar != nullptr) {
    taskbar->Release();
    taskbar = nullptr;
  }
  if (comReady) {
    CoUninitialize();
    comReady = false;
  }
  for (HICON* icon : {&bigIcon, &smallIcon}) {
    if (*icon != nullptr) DestroyIcon(*icon);
    *icon = nullptr;
  }
  if (font != nullptr) DeleteObject(font);
  font = nullptr;
}

ProgressWindow::ProgressWindow(std::wstring_view caption)
    : state_(std::make_unique<State>(caption)) {}

ProgressWindow::~ProgressWindow() {
  state_->close();
  if (state_->stopWaiting != nullptr) CloseHandle(state_->stopWaiting);
}

void ProgressWindow::show(std::wstring_view text, std::uint32_t step) {
  if (state_->opened) {
    state_->update(text, step);
  } else {
    state_->open(text, step);
  }
}

void ProgressWindow::close() {
  state_->opened = true;
  state_->close();
}

void ProgressWindow::wait(std::chrono::milliseconds period) {
  const auto deadline = std::chrono::steady_clock::now() + period;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    const DWORD woken =
        MsgWaitForMultipleObjectsEx(1, &state_->stopWaiting, static_cast<DWORD>(left.count()),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) return;  // else input, or woken early
  }
}

void ProgressWindow::stopWaiting() { SetEvent(state_->stopWaiting); }

void hideProgressWindowsNow() {
  barred.store(true);
  if (HWND window = shownWindow.load()) ShowWindowAsync(window, SW_HIDE);
}

}  // namespace aerolith::sys
