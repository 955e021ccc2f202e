#include "pack/bundle/app_scan.hpp"

#include <algorithm>
#include <optional>
#include <set>

#include <fmt/xchar.h>

#include "bundle/format.hpp"
#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/base/final_path.hpp"
#include "pack/bundle/release_rules.hpp"
#include "pack/image/program_kind.hpp"
#include "pack/names/bundle_rules.hpp"
#include "pack/names/windows_case.hpp"
#include "sys/file/file_time.hpp"
#include "sys/fs/path.hpp"
#include "text/utf16.hpp"

namespace aerolith::pack {
namespace {

namespace fs = std::filesystem;
namespace format = bundle::format;

std::wstring joined(const std::wstring& directory, const std::wstring& name) {
  return directory.empty() ? name : directory + format::kDirectorySeparator + name;
}

bool isInside(const fs::path& root, const fs::path& path) {
  return std::mismatch(root.begin(), root.end(), path.begin(), path.end()).first == root.end();
}

// The name as text, if the file system's name converts to text and back
// exactly (on POSIX a name is bytes, and only valid UTF-8 converts).
std::optional<std::wstring> exactName(const fs::path& name) {
  std::wstring wide = sys::wideFromPath(name);
  if (sys::pathFromWide(wide).native() != name.native()) return std::nullopt;
  return wide;
}

class Scanner {
 public:
  Scanner(const fs::path& appDir, const ScanOptions& options) : appDir_(appDir), options_(options) {
    std::error_code error;
    root_ = finalPath(appDir, error);
    if (error) throw Failure(fmt::format(L"cannot open {}: {}", quoted(appDir), describe(error)));
  }

  AppFolder scan() {
    walk(appDir_, {});
    for (const std::wstring& missing : options_.filter.unmatched(taken_)) {
      problems_.push_back(
          fmt::format(L"'{}': listed by --files-from, but no such file is packed", missing));
    }
    checkMainProgram();
    checkLetterCase();
    if (!problems_.empty()) {
      std::wstring message = fmt::format(L"cannot pack {}:", quoted(appDir_));
      for (const std::wstring& problem : problems_) message += L"\n  " + problem;
      throw Failure(message, L"cannot-pack", shownPath(appDir_));
    }
    if (folder_.files.empty()) {
      throw Failure(
          fmt::format(L"{} holds no files; a bundle needs at least one", quoted(appDir_)));
    }
    std::sort(folder_.files.begin(), folder_.files.end(), [](const auto& a, const auto& b) {
      return text::toUtf16(joined(a.directory, a.name)) <
             text::toUtf16(joined(b.directory, b.name));
    });
    return std::move(folder_);
  }

 private:
  void problem(const fs::path& path, std::wstring_view what) {
    problems_.push_back(fmt::format(L"{}: {}", quoted(path.lexically_relative(appDir_)), what));
  }

  void walk(const fs::path& folder, const std::wstring& directory) {
    std::error_code error;
    openFolders_.push_back(folder);
    const std::size_t filesBefore = folder_.files.size();
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error))
      visit(it->path(), directory);
    if (error) problem(folder, fmt::format(L"cannot list the folder: {}", describe(error)));
    if (folder_.files.size() == filesBefore && !directory.empty()) {
      folder_.notes.push_back(
          fmt::format(L"{} holds no files and is left out: a bundle holds files only",
                      quoted(folder.lexically_relative(appDir_))));
    }
    openFolders_.pop_back();
  }

  void visit(const fs::path& path, const std::wstring& directory) {
    const std::optional<std::wstring> name = exactName(path.filename());
    if (!name) return problem(path, L"the name is not valid Unicode text");
    if (options_.filter.excluded(joined(directory, *name))) return;
    if (const std::wstring why = componentProblem(*name); !why.empty()) return problem(path, why);

    // Whatever the entry's real location, through links or junctions, it must
    // lie inside the folder, and a folder must not hold itself.
    std::error_code error;
    const fs::path target = finalPath(path, error);
    if (error) return problem(path, fmt::format(L"it leads nowhere ({})", describe(error)));
    if (!isInside(root_, target)) {
      return problem(path, fmt::format(L"it leads outside the folder, to {}", quoted(target)));
    }
    const fs::file_status status = fs::status(path, error);
    if (error) return problem(path, describe(error));
    if (fs::is_directory(status)) {
      if (std::any_of(openFolders_.begin(), openFolders_.end(), [&](const fs::path& open) {
            std::error_code ignored;
            return fs::equivalent(open, path, ignored);
          })) {
        return problem(path, L"it leads back to a folder that holds it");
      }
      return walk(path, joined(directory, *name));
    }
    if (!fs::is_regular_file(status)) return problem(path, L"it is neither a file nor a folder");
    if (!options_.filter.takes(joined(directory, *name))) return;
    std::wstring relative = joined(directory, *name);
    std::replace(relative.begin(), relative.end(), L'\\', L'/');
    taken_.insert(relative);
    addFile(path, target, directory, *name);
  }

  // The size and time are those of the file a link leads to: Windows reports
  // a link's own.
  void addFile(const fs::path& path, const fs::path& target, const std::wstring& directory,
               const std::wstring& name) {
    const base::Result<sys::FileStamp> read = sys::readFileStamp(target);
    if (!read) {
      return problem(path,
                     fmt::format(L"cannot read its size and time: {}", describe(read.error())));
    }
    const sys::FileStamp& stamp = *read;
    if (stamp.size >= format::kFieldLimit) {
      return problem(path, fmt::format(L"it is {} bytes long; a bundle holds files below 2 GiB "
                                       L"({} bytes)",
                                       stamp.size, format::kFieldLimit));
    }
    if (const std::wstring why = placementProblem(directory, name); !why.empty()) {
      return problem(path, why);
    }
    folder_.files.push_back({path, directory, name, stamp.size, stamp.lastWriteTime});
  }

  // The program a launcher starts must be there, by that exact name; that it
  // is a program of the launcher's platform 'verify' checks once it is embedded.
  void checkMainProgram() {
    const auto top = [](const SourceFile& file) { return file.directory.empty(); };
    const auto main =
        std::find_if(folder_.files.begin(), folder_.files.end(),
                     [&](const auto& file) { return top(file) && file.name == kMainProgram; });
    if (main != folder_.files.end()) {
      const ProgramKind kind = programKind(readWholeFile(main->path));
      if (kind != ProgramKind::kWindowsX64 && kind != ProgramKind::kLinux) {
        folder_.notes.push_back(fmt::format(L"'{}' is {}; 'verify' refuses a launcher carrying it",
                                            kMainProgram, programKindName(kind)));
      }
      return;
    }
    if (options_.allowNoMainProgram || folder_.files.empty()) return;
    std::wstring message = fmt::format(
        L"there is no '{}' at the top, the program a launcher starts: every start would fail "
        L"(--allow-no-main packs such a folder, for tests)",
        kMainProgram);
    for (const SourceFile& file : folder_.files) {
      if (top(file) && windowsCaseKey(file.name) == windowsCaseKey(kMainProgram)) {
        message += fmt::format(L"; '{}' differs in letter case, and a launcher starts '{}' exactly",
                               file.name, kMainProgram);
      }
    }
    problems_.push_back(message);
  }

  void checkLetterCase() {
    std::vector<std::wstring> paths;
    for (const SourceFile& file : folder_.files) paths.push_back(joined(file.directory, file.name));
    for (std::wstring& clash : letterCaseClashes(paths)) problems_.push_back(std::move(clash));
  }

  fs::path appDir_;
  const ScanOptions& options_;
  std::set<std::wstring> taken_;  // relative paths with '/', for --files-from
  fs::path root_;
  std::vector<fs::path> openFolders_;
  std::vector<std::wstring> problems_;
  AppFolder folder_;
};

}  // namespace

AppFolder scanAppFolder(const fs::path& appDir, const ScanOptions& options) {
  std::error_code error;
  if (!fs::is_directory(appDir, error)) {
    throw Failure(fmt::format(L"{} is not a folder", quoted(appDir)));
  }
  return Scanner(appDir, options).scan();
}

}  // namespace aerolith::pack
