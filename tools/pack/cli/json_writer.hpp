// A JSON document written front to back, for the --json output of the
// commands: the commas, quotes and escapes are the writer's, the structure is
// the caller's. Texts go out as they are (UTF-8 once written), control
// characters escaped.
#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <vector>

namespace aerolith::pack {

class JsonWriter {
 public:
  JsonWriter& beginObject() { return open(L'{'); }
  JsonWriter& endObject() { return close(L'}'); }
  JsonWriter& beginArray() { return open(L'['); }
  JsonWriter& endArray() { return close(L']'); }

  // The name of the next member of the open object.
  JsonWriter& key(std::wstring_view name);

  JsonWriter& string(std::wstring_view text);
  JsonWriter& boolean(bool value) { return raw(value ? L"true" : L"false"); }
  JsonWriter& null() { return raw(L"null"); }
  template <std::integral Number>
  requires(!std::same_as<Number, bool>) JsonWriter& number(Number value) {
    return raw(std::to_wstring(value));
  }

  // The document, ended by a line break.
  std::wstring finish() const { return text_ + L"\n"; }

 private:
  JsonWriter& open(wchar_t bracket);
  JsonWriter& close(wchar_t bracket);
  JsonWriter& raw(std::wstring_view token);
  void separate();  // the comma before a value or member that is not the first

  std::wstring text_;
  std::vector<bool> empty_;  // for each open object or array: nothing in it yet
  bool afterKey_ = false;
};

}  // namespace aerolith::pack
