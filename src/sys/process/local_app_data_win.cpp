#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <array>

#include "sys/internal/system_library_win.hpp"
#include "sys/process/local_app_data.hpp"

namespace aerolith::sys {
namespace {

// {F1B32785-6FBA-4FCF-9D55-7B8E7F157091}
constexpr KNOWNFOLDERID kLocalAppData = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};

void addEnvironmentFolder(std::vector<std::filesystem::path>& folders) {
  // Zero-filled, so a value too long for the buffer (nothing copied) reads as empty.
  std::array<wchar_t, 2048> buffer{};
  if (GetEnvironmentVariableW(L"LOCALAPPDATA", buffer.data(), buffer.size()) != 0 &&
      buffer[0] != L'\0') {
    folders.emplace_back(std::wstring(buffer.data()));
  }
}

void addShellFolder(std::vector<std::filesystem::path>& folders) {
  static const auto getFolderPath =
      systemFunction<decltype(&SHGetFolderPathW)>(L"shell32.dll", "SHGetFolderPathW");
  std::array<wchar_t, MAX_PATH> buffer{};
  if (getFolderPath != nullptr && getFolderPath(nullptr, CSIDL_LOCAL_APPDATA, nullptr,
                                                SHGFP_TYPE_CURRENT, buffer.data()) == S_OK) {
    folders.emplace_back(std::wstring(buffer.data()));
  }
}

void addSpecialFolder(std::vector<std::filesystem::path>& folders) {
  static const auto getSpecialFolderPath =
      systemFunction<decltype(&SHGetSpecialFolderPathW)>(L"shell32.dll", "SHGetSpecialFolderPathW");
  std::array<wchar_t, MAX_PATH> buffer{};
  if (getSpecialFolderPath != nullptr &&
      getSpecialFolderPath(nullptr, buffer.data(), CSIDL_LOCAL_APPDATA, FALSE) == TRUE) {
    folders.emplace_back(std::wstring(buffer.data()));
  }
}

void addKnownFolder(std::vector<std::filesystem::path>& folders) {
  static const auto getKnownFolderPath =
      systemFunction<decltype(&SHGetKnownFolderPath)>(L"shell32.dll", "SHGetKnownFolderPath");
  static const auto taskMemFree =
      systemFunction<decltype(&CoTaskMemFree)>(L"ole32.dll", "CoTaskMemFree");
  if (getKnownFolderPath == nullptr || taskMemFree == nullptr) return;
  PWSTR path = nullptr;
  const HRESULT result = getKnownFolderPath(kLocalAppData, 0, nullptr, &path);
  if (result == S_OK && path != nullptr) folders.emplace_back(std::wstring(path));
  // The caller frees the string whether or not the call succeeded.
  taskMemFree(path);
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
