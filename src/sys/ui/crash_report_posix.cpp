// Fatal signals and std::terminate write a text report: which signal, where,
// on which thread, and a backtrace. Everything the signal handler touches is
// prepared at installation, so that it only makes async-signal-safe calls
// (showing the box spawns zenity where a desktop is, the one exception).
#include <cxxabi.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>
#include <unwind.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <typeinfo>

#include "sys/fs/path.hpp"
#include "sys/internal/posix_io.hpp"
#include "sys/ui/crash_report.hpp"
#include "sys/ui/crash_turn.hpp"
#include "sys/ui/dialog.hpp"
#include "sys/ui/progress_window.hpp"

namespace aerolith::sys {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kMaxFrames = 128;
constexpr std::size_t kAlternateStackSize = 64 * 1024;

struct Settings {
  std::string file;
  PreparedMessageBox message;
};
const Settings* settings = nullptr;  // set once, never freed: crashes may read it at any time

// A stack overflow on the installing thread still finds room for the handler.
alignas(16) char alternateStack[kAlternateStackSize];

// Why std::terminate was called; the abort that follows writes it into the report.
char terminateReason[1024];

// Writes text and numbers to a descriptor without allocating.
class ReportWriter {
 public:
  explicit ReportWriter(int fd) : fd_(fd) {}

  // A report that cannot be written has nobody left to tell: best effort.
  ReportWriter& text(std::string_view text) {
    static_cast<void>(writeAll(fd_, text.data(), text.size()));
    return *this;
  }
  ReportWriter& decimal(std::int64_t number) {
    char digits[24];
    char* end = digits + sizeof digits;
    char* start = end;
    std::uint64_t magnitude = number < 0 ? 0 - static_cast<std::uint64_t>(number) : number;
    do {
      *--start = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0) *--start = '-';
    return text(std::string_view(start, static_cast<std::size_t>(end - start)));
  }
  ReportWriter& address(const void* address) {
    char digits[2 + 2 * sizeof(std::uintptr_t)];
    char* end = digits + sizeof digits;
    char* start = end;
    auto value = reinterpret_cast<std::uintptr_t>(address);
    do {
      *--start = "0123456789abcdef"[value % 16];
      value /= 16;
    } while (value != 0);
    *--start = 'x';
    *--start = '0';
    return text(std::string_view(start, static_cast<std::size_t>(end - start)));
  }

 private:
  int fd_;
};

struct FrameList {
  void** frames;
  int count;
};

_Unwind_Reason_Code addFrame(_Unwind_Context* context, void* list) {
  auto& frames = *static_cast<FrameList*>(list);
  if (frames.count == kMaxFrames) return _URC_END_OF_STACK;
  frames.frames[frames.count++] = reinterpret_cast<void*>(_Unwind_GetIP(context));
  return _URC_NO_REASON;
}

// Walks the stack with the unwinder the image links in. glibc's backtrace()
// would load libgcc_s on first use, which a signal handler must not do and
// which every start would otherwise pay for up front.
int collectBacktrace(void* (&frames)[kMaxFrames]) {
  FrameList list{frames, 0};
  _Unwind_Backtrace(addFrame, &list);
  return list.count;
}

void writeReport(int signal, const siginfo_t& info) {
  const int fd = ::open(settings->file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ReportWriter report(fd);
  const char* name = ::sigabbrev_np(signal);
  report.text("Crash report\nsignal: ")
      .decimal(signal)
      .text(" (SIG")
      .text(name != nullptr ? name : "?")
      .text("), code ")
      .decimal(info.si_code)
      .text("\n");
  if (info.si_code > 0) report.text("address: ").address(info.si_addr).text("\n");  // a fault
  const pid_t process = ::getpid();
  const pid_t thread = ::gettid();
  report.text("process: ").decimal(process).text("\nthread: ").decimal(thread);
  report.text(thread == process ? " (main)\n" : "\n");
  if (terminateReason[0] != '\0') report.text("reason: ").text(terminateReason).text("\n");
  report.text("backtrace:\n");
  void* frames[kMaxFrames];
  ::backtrace_symbols_fd(frames, collectBacktrace(frames), fd);
  ::close(fd);
}

void onFatalSignal(int signal, siginfo_t* info, void*) {
  switch (takeCrashTurn()) {
    case CrashTurn::kReport:
      hideProgressWindowsNow();
      writeReport(signal, *info);
      settings->message.show();
      break;
    case CrashTurn::kGiveUp:
      break;
    case CrashTurn::kWait:
      for (;;) ::pause();
  }
  // The default action ends the process as soon as this handler returns: the
  // signal stays blocked until then, and a fault is not retried before.
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  ::sigemptyset(&defaults.sa_mask);
  ::sigaction(signal, &defaults, nullptr);
  ::raise(signal);
}

void copyReason(std::string_view text) {
  const std::size_t length = std::min(text.size(), sizeof terminateReason - 1);
  text.copy(terminateReason, length);
  terminateReason[length] = '\0';
}

std::string demangled(const char* name) {
  int status = 0;
  char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  std::string result = status == 0 ? readable : name;
  std::free(readable);
  return result;
}

// The uncaught exception's type and message go into the report; the abort
// raises SIGABRT with the throw's stack still intact for the backtrace.
[[noreturn]] void onTerminate() {
  copyReason("std::terminate without an exception");
  if (const std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& error) {
      copyReason("uncaught exception " + demangled(typeid(error).name()) + ": " + error.what());
    } catch (...) {
      const std::type_info* type = abi::__cxa_current_exception_type();
      copyReason("uncaught exception " + (type != nullptr ? demangled(type->name()) : "?"));
    }
  }
  std::abort();
}

}  // namespace

void installCrashReporter(std::wstring_view file, std::wstring_view message,
                          std::wstring_view caption) {
  settings = new Settings{pathFromWide(file).native(),
                          PreparedMessageBox(message, caption, DialogIcon::kError)};

  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  ::sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_sigaction = onFatalSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  ::sigemptyset(&action.sa_mask);
  for (const int signal : kFatalSignals) ::sigaction(signal, &action, nullptr);
  std::set_terminate(onTerminate);
}

}  // namespace aerolith::sys
