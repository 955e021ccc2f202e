// Results as the tests compare them: the reason of a failure or nothing, and
// the value of a call that must work.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <utility>

#include "base/result.hpp"

namespace aerolith::testing {

template <typename T, typename E>
std::optional<E> failureOf(const base::Result<T, E>& result) {
  if (result) return std::nullopt;
  return result.error();
}

// The code of a step that returns nothing on success: E{} then (a table's
// "ok" code, 0).
template <typename E>
E codeOf(const base::Result<void, E>& result) {
  return result ? E{} : result.error();
}

// The value; a test failure, and a default value, when the call failed.
template <typename T, typename E>
T valueOf(base::Result<T, E> result) {
  EXPECT_TRUE(result.ok()) << "the call failed";
  return result ? std::move(*result) : T();
}

}  // namespace aerolith::testing
