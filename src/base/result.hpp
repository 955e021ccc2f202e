// What every fallible call of the core returns: its value, or why it failed.
// The shape of C++23's std::expected, which g++ 12 lacks, cut to what the
// launcher uses. The type is [[nodiscard]]: a failure cannot be dropped by
// accident, only on purpose (static_cast<void>, with a comment saying why).
//
//   Result<Folder> folder = parent.openFolder(name);
//   if (!folder) return fail(folder.error());
//
// Each layer has its own reason type: sys a std::error_code, bundle an
// ErrorTriple, install what a write met.
#pragma once

#include <optional>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>

namespace aerolith::base {

// The reason alone, on its way into a Result: `return fail(error);`.
template <typename E>
struct Failure {
  E reason;
};

template <typename E>
Failure<std::decay_t<E>> fail(E&& reason) {
  return {std::forward<E>(reason)};
}

template <typename T, typename E = std::error_code>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  template <typename R, typename = std::enable_if_t<std::is_constructible_v<E, R>>>
  Result(Failure<R> failure) : state_(std::in_place_index<1>, std::move(failure.reason)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // The value; only when ok().
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  // Why it failed; only when !ok().
  const E& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, E> state_;
};

// Success that carries nothing. Default-constructed it is success.
template <typename E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  template <typename R, typename = std::enable_if_t<std::is_constructible_v<E, R>>>
  Result(Failure<R> failure) : error_(std::in_place, std::move(failure.reason)) {}

  bool ok() const { return !error_; }
  explicit operator bool() const { return ok(); }

  // Why it failed; only when !ok().
  const E& error() const { return *error_; }

 private:
  std::optional<E> error_;
};

// The reason of a failed system call, clear on success: what a trace shows.
template <typename T>
std::error_code errorOf(const Result<T>& result) {
  return result ? std::error_code() : result.error();
}

// A system call's outcome as a Result<void>: success when `error` is clear.
inline Result<void> statusOf(std::error_code error) {
  if (error) return fail(error);
  return {};
}

}  // namespace aerolith::base
