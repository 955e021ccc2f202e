// Named mutexes visible to every process of the user's logon session: the
// single-instance guard between launchers, and the sign that the application runs.
#pragma once

#include <string_view>

namespace aerolith::sys {

// Opaque; null when no mutex could be created.
using MutexHandle = void*;

struct CreatedMutex {
  MutexHandle handle = nullptr;
  // True when the name already existed: the handle is then valid but not owned.
  bool alreadyExisted = false;
};

// Creates the named mutex, owned by the calling thread unless it already existed.
CreatedMutex createOwnedMutex(std::wstring_view name);

// True when a mutex of that name exists: some process holds it.
bool namedMutexExists(std::wstring_view name);

// Gives up ownership. Has no effect on a null handle, a mutex that is not owned,
// or when called from a thread other than the owner.
void releaseMutex(MutexHandle handle);

// Releases the mutex if owned and closes the handle; null is ignored.
void closeMutex(MutexHandle handle);

}  // namespace aerolith::sys
