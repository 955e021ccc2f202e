#include "pack/cli/findings.hpp"

namespace aerolith::pack {
namespace {

void writeFinding(JsonWriter& out, const Finding& finding) {
  out.beginObject().key(L"code").string(finding.code).key(L"message").string(finding.message);
  out.key(L"path");
  if (finding.path.empty()) {
    out.null();
  } else {
    out.string(finding.path);
  }
  out.endObject();
}

}  // namespace

std::wstring findingLines(std::span<const Finding> findings, std::wstring_view prefix) {
  std::wstring text;
  for (const Finding& finding : findings) {
    text += prefix;
    text += L": " + finding.message + L"\n";
  }
  return text;
}

void writeFindings(JsonWriter& out, std::wstring_view key, std::span<const Finding> findings) {
  out.key(key).beginArray();
  for (const Finding& finding : findings) writeFinding(out, finding);
  out.endArray();
}

std::wstring failureJson(const Finding& error) {
  JsonWriter out;
  out.beginObject().key(L"ok").boolean(false).key(L"error");
  writeFinding(out, error);
  return out.endObject().finish();
}

}  // namespace aerolith::pack
