#include "pack/base/file_io.hpp"

#include <cerrno>
#include <type_traits>

#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "sys/fs/path.hpp"
#include "text/utf.hpp"

namespace aerolith::pack {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `bytes`, 0 if
// there is none: no overlong form, no surrogate, nothing above U+10FFFF.
std::size_t utf8Sequence(std::string_view bytes) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

// A POSIX name is bytes; a Windows name is UTF-16 already.
template <typename Native>
std::wstring shownNative(const Native& native) {
  if constexpr (std::is_same_v<Native, std::wstring>) {
    return native;
  } else {
    std::wstring shown;
    std::string_view rest(native);
    while (!rest.empty()) {
      const std::size_t length = utf8Sequence(rest);
      if (length == 0) {
        shown += fmt::format(L"\\x{:02X}", static_cast<unsigned char>(rest[0]));
        rest.remove_prefix(1);
        continue;
      }
      shown += text::fromUtf8(rest.substr(0, length));
      rest.remove_prefix(length);
    }
    return shown;
  }
}

}  // namespace

std::wstring shownPath(const std::filesystem::path& path) {
  return shownNative(path.lexically_normal().make_preferred().native());
}

std::wstring quoted(const std::filesystem::path& path) { return L"'" + shownPath(path) + L"'"; }

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
  if (error) {
    throw Failure(fmt::format(L"cannot read {}: {}", quoted(file), describe(error)), L"cannot-read",
                  shownPath(file));
  }
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    throw Failure(
        fmt::format(L"cannot read {}: {}", quoted(file), streamReason(L"it cannot be opened")),
        L"cannot-read", shownPath(file));
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
  if (error) {
    throw Failure(fmt::format(L"cannot write {}: {}", quoted(target_), describe(error)),
                  L"cannot-write", shownPath(target_));
  }
  committed_ = true;
}

// Names the file the user asked for: the temporary one beside it is the
// tool's business.
void OutputFile::check() {
  if (!stream_) {
    throw Failure(fmt::format(L"cannot write {}: {}", quoted(target_),
                              streamReason(L"the system gave no reason")),
                  L"cannot-write", shownPath(target_));
  }
}

}  // namespace aerolith::pack
