#include "pack/forecast/start_actions.hpp"

#include <fmt/xchar.h>

#include "pack/cli/wording.hpp"

namespace aerolith::pack {

std::wstring_view actionName(StartAction action) {
  switch (action) {
    case StartAction::kKeep:
      return L"keep";
    case StartAction::kRestamp:
      return L"restamp";
    case StartAction::kRewrite:
      return L"rewrite";
    case StartAction::kWrite:
      return L"write";
    case StartAction::kRemove:
      return L"remove";
    case StartAction::kProtected:
      return L"protected";
    case StartAction::kFolder:
      return L"folder";
  }
  return L"";
}

void StartCost::add(StartAction action, const bundle::FileEntry* entry) {
  switch (action) {
    case StartAction::kKeep:
      ++kept;
      return;
    case StartAction::kRestamp:
      ++restamped;
      return;
    case StartAction::kRemove:
      ++removed;
      return;
    case StartAction::kProtected:
      ++protectedFiles;
      return;
    case StartAction::kFolder:
      ++folders;
      return;
    case StartAction::kRewrite:
      ++rewritten;
      payloadChecked = true;
      break;
    case StartAction::kWrite:
      ++written;
      break;
  }
  decodedBytes += static_cast<std::uint64_t>(entry->size);
  compressedBytes += static_cast<std::uint64_t>(entry->compressedSize);
}

std::wstring StartCost::summary() const {
  std::wstring text = fmt::format(
      L"writes {} ({} rewritten, {} new; {} decoded from {} of the payload), restamps {}, "
      L"removes {}, keeps {} unread",
      counted(rewritten + written, L"file", L"files"), rewritten, written,
      counted(decodedBytes, L"byte", L"bytes"), counted(compressedBytes, L"byte", L"bytes"),
      restamped, removed, kept);
  if (protectedFiles > 0) {
    text += fmt::format(L" and leaves {} alone",
                        counted(protectedFiles, L"configuration file", L"configuration files"));
  }
  if (payloadChecked) {
    text += fmt::format(L"; before the first rewrite it checks the payload's CRC-32C ({})",
                        counted(payloadBytes, L"byte", L"bytes"));
  }
  return text;
}

void StartCost::writeJson(JsonWriter& out) const {
  out.beginObject()
      .key(L"kept")
      .number(kept)
      .key(L"restamped")
      .number(restamped)
      .key(L"rewritten")
      .number(rewritten)
      .key(L"written")
      .number(written)
      .key(L"removed")
      .number(removed)
      .key(L"protected")
      .number(protectedFiles)
      .key(L"folders")
      .number(folders)
      .key(L"decodedBytes")
      .number(decodedBytes)
      .key(L"compressedBytes")
      .number(compressedBytes)
      .key(L"payloadChecked")
      .boolean(payloadChecked)
      .key(L"payloadBytes")
      .number(payloadBytes)
      .endObject();
}

}  // namespace aerolith::pack
