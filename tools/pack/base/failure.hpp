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

class Failure : public std::exception {
 public:
  explicit Failure(std::wstring message)
      : message_(std::move(message)), what_(text::toUtf8(message_)) {}
  const std::wstring& message() const { return message_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::wstring message_;
  std::string what_;
};

class UsageError : public Failure {
 public:
  using Failure::Failure;
};

}  // namespace aerolith::pack
