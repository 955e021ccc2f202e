// Whole-file reads and all-or-nothing writes for the tool's inputs and outputs,
// reporting failures as messages that name the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace aerolith::pack {

// A path as messages show it, in the system's own separators. The bytes of a
// POSIX name that are no UTF-8 show as \xFF, so that two names never show
// alike (the console shows a lone UTF-16 surrogate as \uD800).
std::wstring shownPath(const std::filesystem::path& path);

// The shownPath in single quotes.
std::wstring quoted(const std::filesystem::path& path);

// The system's text for an error code.
std::wstring describe(const std::error_code& error);

std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& file);

// Written beside its final name and renamed into place by commit(), so that a
// failed run leaves the previous file, or none, never a half-written one.
class OutputFile {
 public:
  explicit OutputFile(std::filesystem::path target);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(std::span<const std::uint8_t> bytes);
  void overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  void setPermissions(std::filesystem::perms permissions);

  // Ends writing; the file under path() may then be changed by other means.
  void close();
  const std::filesystem::path& path() const { return temporary_; }
  const std::filesystem::path& target() const { return target_; }

  // Closes the file if still open and moves it to its final name.
  void commit();

 private:
  void check();

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::ofstream stream_;
  bool committed_ = false;
};

}  // namespace aerolith::pack
