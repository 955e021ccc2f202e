// The floor that a first install and an intact start are measured against: the
// same tree of empty files made, and listed with every file's time and size,
// with the platform's plainest calls and nothing else (no checks, no trace).
#pragma once

#include <cstdint>
#include <filesystem>

namespace floor_tree {

// A folder that empty files are made in one after the other. On POSIX it is
// held open and each file made relative to it (openat, futimens, close); on
// Windows each file is made by its full path (CreateFileW with CREATE_NEW,
// SetFileTime, CloseHandle), as a plain Windows program would.
class Folder {
 public:
  // Creates the folder (its parent must exist) and opens it; isOpen() says
  // whether both worked.
  explicit Folder(const std::filesystem::path& path);
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  bool isOpen() const;
  // Creates the empty file `name`, which must not exist, stamped with the
  // last-write time `fileTime` (FILETIME). False on any failure.
  bool createEmpty(const std::filesystem::path& name, std::uint64_t fileTime);

 private:
  std::filesystem::path path_;
  std::intptr_t handle_ = -1;  // POSIX: the folder's descriptor; Windows: 0 once made
};

// Lists the folder `root` and every folder below it, reading each file's
// last-write time and size as the platform's listing calls give them (POSIX:
// one status query per entry). The number of files, -1 on a failure.
long long listTree(const std::filesystem::path& root);

}  // namespace floor_tree
