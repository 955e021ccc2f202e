// A Windows launcher image carries its bundle as two RCDATA resources, written
// with the resource-update functions and read as the launcher reads them.
#include <windows.h>

#include <utility>
#include <vector>

#include <fmt/xchar.h>

#include "bundle/format.hpp"
#include "pack/failure.hpp"
#include "pack/file_io.hpp"
#include "pack/launcher_image.hpp"

namespace aerolith::pack {
namespace {

namespace format = bundle::format;

std::wstring lastError() { return fmt::format(L"error {}", ::GetLastError()); }

LPCWSTR resourceName(std::uint32_t id) { return MAKEINTRESOURCEW(id); }

// The image mapped as data: its resources can be read, none of its code runs.
class ImageData {
 public:
  explicit ImageData(const std::filesystem::path& image)
      : module_(::LoadLibraryExW(image.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    if (module_ == nullptr) {
      throw Failure(fmt::format(L"{} is not a Windows image ({})", quoted(image), lastError()));
    }
  }
  ~ImageData() { ::FreeLibrary(module_); }
  ImageData(const ImageData&) = delete;
  ImageData& operator=(const ImageData&) = delete;

  HMODULE module() const { return module_; }

 private:
  HMODULE module_;
};

std::vector<std::uint8_t> resourceBytes(const std::filesystem::path& image, HMODULE module,
                                        std::uint32_t id, std::wstring_view what) {
  const HRSRC found = ::FindResourceW(module, resourceName(id), RT_RCDATA);
  if (found == nullptr) {
    throw Failure(fmt::format(L"{} holds no bundle: it has no {} resource (RCDATA {})",
                              quoted(image), what, id));
  }
  const HGLOBAL loaded = ::LoadResource(module, found);
  const auto* data = static_cast<const std::uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
  const DWORD size = ::SizeofResource(module, found);
  if (data == nullptr) {
    throw Failure(
        fmt::format(L"cannot load the {} resource of {} ({})", what, quoted(image), lastError()));
  }
  return {data, data + size};
}

BOOL CALLBACK collectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
  reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
  return TRUE;
}

// Languages in which the image stores the resource, so that copies other than
// the one about to be written can be removed: each resource is stored once.
std::vector<WORD> storedLanguages(const ImageData& image, std::uint32_t id) {
  std::vector<WORD> languages;
  ::EnumResourceLanguagesW(image.module(), RT_RCDATA, resourceName(id), collectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
  return languages;
}

// Resource updates of one image file, abandoned unless committed.
class ResourceUpdate {
 public:
  explicit ResourceUpdate(const std::filesystem::path& image)
      : image_(image), handle_(::BeginUpdateResourceW(image.c_str(), FALSE)) {
    if (handle_ == nullptr) {
      throw Failure(
          fmt::format(L"cannot update the resources of {} ({})", quoted(image), lastError()));
    }
  }
  ~ResourceUpdate() {
    if (handle_ != nullptr) ::EndUpdateResourceW(handle_, TRUE);
  }
  ResourceUpdate(const ResourceUpdate&) = delete;
  ResourceUpdate& operator=(const ResourceUpdate&) = delete;

  // Empty data removes the resource in that language.
  void set(std::uint32_t id, WORD language, std::span<const std::uint8_t> data) {
    void* bytes = data.empty() ? nullptr : const_cast<std::uint8_t*>(data.data());
    if (!::UpdateResourceW(handle_, RT_RCDATA, resourceName(id), language, bytes,
                           static_cast<DWORD>(data.size()))) {
      throw Failure(fmt::format(L"cannot write resource RCDATA {} into {} ({})", id, quoted(image_),
                                lastError()));
    }
  }

  void commit() {
    const HANDLE handle = std::exchange(handle_, nullptr);
    if (!::EndUpdateResourceW(handle, FALSE)) {
      throw Failure(
          fmt::format(L"cannot write the resources of {} ({})", quoted(image_), lastError()));
    }
  }

 private:
  std::filesystem::path image_;
  HANDLE handle_;
};

}  // namespace

BundleBytes readImageBundle(const std::filesystem::path& image) {
  const ImageData data(image);
  return {resourceBytes(image, data.module(), format::kManifestResourceId, L"manifest"),
          resourceBytes(image, data.module(), format::kPayloadResourceId, L"payload")};
}

void embedBundle(const std::filesystem::path& launcher, std::span<const std::uint8_t> manifest,
                 std::span<const std::uint8_t> payload, const std::filesystem::path& output) {
  const auto language = static_cast<WORD>(format::kResourceLanguage);
  const std::pair<std::uint32_t, std::span<const std::uint8_t>> resources[] = {
      {format::kManifestResourceId, manifest}, {format::kPayloadResourceId, payload}};
  std::vector<std::vector<WORD>> stale;
  {
    const ImageData image(launcher);
    for (const auto& [id, data] : resources) stale.push_back(storedLanguages(image, id));
  }
  // The copy is updated under a name of its own and renamed into place, so
  // that a failure leaves no half-written output.
  OutputFile out(output);
  out.write(readWholeFile(launcher));
  out.close();
  ResourceUpdate update(out.path());
  for (std::size_t i = 0; i < std::size(resources); ++i) {
    const auto& [id, data] = resources[i];
    for (const WORD old : stale[i]) {
      if (old != language) update.set(id, old, {});
    }
    update.set(id, language, data);
  }
  update.commit();
  out.commit();
}

}  // namespace aerolith::pack
