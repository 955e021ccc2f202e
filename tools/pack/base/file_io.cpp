#include "pack/base/file_io.hpp"

#include <cerrno>

#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "sys/fs/path.hpp"
#include "text/utf.hpp"

namespace aerolith::pack {

std::wstring quoted(const std::filesystem::path& path) {
  return L"'" + sys::wideFromPath(path.lexically_normal().make_preferred()) + L"'";
}

std::wstring describe(const std::error_code& error) { return text::fromUtf8(error.message()); }

namespace {

// File streams report no reason of their own; the C library's, when it left
// one, is what the system said.
std::wstring streamReason(std::wstring_view fallback) {
  const int code = errno;
  return code == 0 ? std::wstring(fallback)
                   : describe(std::error_code(code, std::generic_category()));
}

}  // namespace

std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& file) {
  std::error_code error;
  const auto size = std::filesystem::file_size(file, error);
  if (error) throw Failure(fmt::format(L"cannot read {}: {}", quoted(file), describe(error)));
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    throw Failure(
        fmt::format(L"cannot read {}: {}", quoted(file), streamReason(L"it cannot be opened")));
  }
  std::vector<std::uint8_t> bytes(size);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  if (static_cast<std::uintmax_t>(in.gcount()) != size ||
      in.peek() != std::ifstream::traits_type::eof()) {
    throw Failure(fmt::format(L"cannot read {}: it changed while being read", quoted(file)));
  }
  return bytes;
}

OutputFile::OutputFile(std::filesystem::path target)
    : target_(std::move(target)), temporary_(target_) {
  temporary_ += ".partial";
  errno = 0;
  stream_.open(temporary_, std::ios::binary | std::ios::trunc);
  check();
}

OutputFile::~OutputFile() {
  if (committed_) return;
  stream_.close();
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void OutputFile::write(std::span<const std::uint8_t> bytes) {
  errno = 0;
  stream_.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
  check();
}

void OutputFile::overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  const auto end = stream_.tellp();
  stream_.seekp(static_cast<std::streamoff>(offset));
  write(bytes);
  stream_.seekp(end);
  check();
}

void OutputFile::setPermissions(std::filesystem::perms permissions) {
  std::error_code error;
  std::filesystem::permissions(temporary_, permissions, error);
  if (error) {
    throw Failure(
        fmt::format(L"cannot set the permissions of {}: {}", quoted(target_), describe(error)));
  }
}

void OutputFile::close() {
  errno = 0;
  stream_.close();
  check();
}

void OutputFile::commit() {
  if (stream_.is_open()) close();
  std::error_code error;
  std::filesystem::rename(temporary_, target_, error);
  if (error) throw Failure(fmt::format(L"cannot write {}: {}", quoted(target_), describe(error)));
  committed_ = true;
}

// Names the file the user asked for: the temporary one beside it is the
// tool's business.
void OutputFile::check() {
  if (!stream_) {
    throw Failure(fmt::format(L"cannot write {}: {}", quoted(target_),
                              streamReason(L"the system gave no reason")));
  }
}

}  // namespace aerolith::pack
