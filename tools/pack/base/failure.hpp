// What aerolith-pack reports to its user instead of doing its work: a refusal or
// damaged input (exit code 1), or a command line it cannot follow (exit code 2).
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "text/utf.hpp"

namespace aerolith::pack {

// The tool's exit codes: its work done, a Failure, a UsageError.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// `code` names the kind of failure for programs reading --json ("not-found",
// "output-exists"; "failed" when nothing more precise is known), `path` the
// file or folder it concerns, as messages show it, if any.
class Failure : public std::exception {
 public:
  explicit Failure(std::wstring message, std::wstring code = L"failed", std::wstring path = {})
      : message_(std::move(message)),
        code_(std::move(code)),
        path_(std::move(path)),
        what_(text::toUtf8(message_)) {}
  const std::wstring& message() const { return message_; }
  const std::wstring& code() const { return code_; }
  const std::wstring& path() const { return path_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::wstring message_;
  std::wstring code_;
  std::wstring path_;
  std::string what_;
};

class UsageError : public Failure {
 public:
  explicit UsageError(std::wstring message) : Failure(std::move(message), L"usage") {}
};

}  // namespace aerolith::pack
