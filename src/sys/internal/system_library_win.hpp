// A function of a system library, loaded on first use from the system folder
// only: the libraries beyond kernel32, user32 and the C runtime are not
// imported, so that nothing is loaded before the library search is restricted,
// and nothing from beside the launcher ever.
#pragma once

#include <windows.h>

#include <string>

namespace aerolith::sys {

// Null when the library or the function is missing.
template <typename Function>
Function systemFunction(const wchar_t* library, const char* name) {
  HMODULE module = ::LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr) {
    // Systems without the search flags: the library by its full path.
    std::wstring path(MAX_PATH, L'\0');
    const UINT length = ::GetSystemDirectoryW(path.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    path.resize(length);
    module = ::LoadLibraryW((path + L'\\' + library).c_str());
    if (module == nullptr) return nullptr;
  }
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace aerolith::sys
