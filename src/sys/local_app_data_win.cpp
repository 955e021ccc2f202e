#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <array>

#include "sys/local_app_data.hpp"

namespace aerolith::sys {
namespace {

void addEnvironmentFolder(std::vector<std::filesystem::path>& folders) {
  // Zero-filled, so a value too long for the buffer (nothing copied) reads as empty.
  std::array<wchar_t, 2048> buffer{};
  if (GetEnvironmentVariableW(L"LOCALAPPDATA", buffer.data(), buffer.size()) != 0 &&
      buffer[0] != L'\0') {
    folders.emplace_back(std::wstring(buffer.data()));
  }
}

void addShellFolder(std::vector<std::filesystem::path>& folders) {
  std::array<wchar_t, MAX_PATH> buffer{};
  if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer.data()) ==
      S_OK) {
    folders.emplace_back(std::wstring(buffer.data()));
  }
}

void addSpecialFolder(std::vector<std::filesystem::path>& folders) {
  std::array<wchar_t, MAX_PATH> buffer{};
  if (SHGetSpecialFolderPathW(nullptr, buffer.data(), CSIDL_LOCAL_APPDATA, FALSE) == TRUE) {
    folders.emplace_back(std::wstring(buffer.data()));
  }
}

void addKnownFolder(std::vector<std::filesystem::path>& folders) {
  PWSTR path = nullptr;
  const HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path);
  if (result == S_OK && path != nullptr) folders.emplace_back(std::wstring(path));
  // The caller frees the string whether or not the call succeeded.
  CoTaskMemFree(path);
}

}  // namespace

std::vector<std::filesystem::path> localAppDataFolders() {
  std::vector<std::filesystem::path> folders;
  addEnvironmentFolder(folders);
  addShellFolder(folders);
  addSpecialFolder(folders);
  addKnownFolder(folders);
  return folders;
}

}  // namespace aerolith::sys
