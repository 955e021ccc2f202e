#include "pack/image/version_info.hpp"

#include <fmt/xchar.h>

#include "base/byte_order.hpp"
#include "pack/base/failure.hpp"
#include "pack/image/byte_reader.hpp"

namespace aerolith::pack {
namespace {

// Every node of the block: wLength, wValueLength, wType, a key ending in a zero
// unit, padding to 4 bytes, the value, then the children, each 4-aligned.
// wValueLength counts bytes for binary values and UTF-16 units for texts.
struct Node {
  std::u16string key;
  std::uint16_t type = 0;
  std::uint16_t valueLength = 0;  // as stored
  std::vector<std::uint8_t> value;
  std::vector<Node> children;
};

constexpr std::uint16_t kBinary = 0;
constexpr std::uint16_t kText = 1;
constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kMaxDepth = 8;  // the block has four levels; more is damage

constexpr std::u16string_view kRootKey = u"VS_VERSION_INFO";
constexpr std::u16string_view kStringFileInfo = u"StringFileInfo";
constexpr std::u16string_view kFileVersionKey = u"FileVersion";
constexpr std::u16string_view kProductVersionKey = u"ProductVersion";

// VS_FIXEDFILEINFO: the signature, then the structure version, then the file
// and product versions, each as a high and a low 32-bit half.
constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::size_t kFixedInfoSize = 52;
constexpr std::size_t kFileVersionOffset = 8;
constexpr std::size_t kProductVersionOffset = 16;

std::size_t align4(std::size_t value) { return (value + 3) & ~std::size_t{3}; }

Failure damaged(std::wstring_view why) {
  return Failure(fmt::format(L"its version resource is damaged: {}", why));
}

Node parseNode(const ByteReader& block, std::size_t offset, std::size_t limit, std::size_t depth) {
  if (depth > kMaxDepth) throw damaged(L"it nests too deep");
  const std::uint16_t length = block.u16(offset, L"a version node");
  if (length < kHeaderSize || offset + length > limit) {
    throw damaged(fmt::format(L"a node at {} claims {} bytes", offset, length));
  }
  const std::size_t end = offset + length;
  Node node;
  node.valueLength = block.u16(offset + 2, L"a version node");
  node.type = block.u16(offset + 4, L"a version node");
  std::size_t at = offset + kHeaderSize;
  for (;; at += 2) {
    if (at + 2 > end) throw damaged(fmt::format(L"the key of the node at {} has no end", offset));
    const std::uint16_t unit = block.u16(at, L"a version key");
    if (unit == 0) break;
    node.key.push_back(static_cast<char16_t>(unit));
  }
  const std::size_t valueStart = std::min(align4(at + 2), end);
  const std::size_t declared =
      node.type == kText ? node.valueLength * std::size_t{2} : node.valueLength;
  const auto value = block.bytes(valueStart, std::min(declared, end - valueStart), L"a value");
  node.value.assign(value.begin(), value.end());
  // Padding after the last child may be counted in the parent's length.
  for (std::size_t child = align4(valueStart + value.size());
       child + kHeaderSize <= end && block.u16(child, L"a version node") != 0;) {
    node.children.push_back(parseNode(block, child, end, depth + 1));
    child = align4(child + block.u16(child, L"a version node"));
  }
  return node;
}

Node parseRoot(std::span<const std::uint8_t> bytes) {
  const ByteReader block(bytes, L"the version resource");
  Node root = parseNode(block, 0, bytes.size(), 0);
  if (root.key != kRootKey) throw damaged(L"it does not start with VS_VERSION_INFO");
  if (root.value.size() < kFixedInfoSize || base::loadLe32(root.value.data()) != kFixedSignature) {
    throw damaged(L"it has no VS_FIXEDFILEINFO");
  }
  return root;
}

void appendLe16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void writeNode(const Node& node, std::vector<std::uint8_t>& out) {
  const std::size_t start = out.size();
  appendLe16(out, 0);  // the length, known at the end
  appendLe16(out, node.valueLength);
  appendLe16(out, node.type);
  for (const char16_t unit : node.key) appendLe16(out, unit);
  appendLe16(out, 0);
  if (!node.value.empty() || !node.children.empty()) out.resize(start + align4(out.size() - start));
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const Node& child : node.children) {
    out.resize(start + align4(out.size() - start));
    writeNode(child, out);
  }
  const std::size_t length = out.size() - start;
  if (length > UINT16_MAX) throw damaged(L"a stamped node would exceed 65535 bytes");
  out[start] = static_cast<std::uint8_t>(length);
  out[start + 1] = static_cast<std::uint8_t>(length >> 8);
}

void setText(Node& node, std::u16string_view text) {
  node.type = kText;
  node.valueLength = static_cast<std::uint16_t>(text.size() + 1);
  node.value.clear();
  for (const char16_t unit : text) appendLe16(node.value, unit);
  appendLe16(node.value, 0);
}

void setString(Node& table, std::u16string_view key, std::u16string_view text) {
  for (Node& string : table.children) {
    if (string.key == key) return setText(string, text);
  }
  Node& added = table.children.emplace_back();
  added.key = key;
  setText(added, text);
}

void storeVersion(std::uint8_t* at, const FileVersion& version) {
  base::storeLe32(at, std::uint32_t{version.parts[0]} << 16 | version.parts[1]);
  base::storeLe32(at + 4, std::uint32_t{version.parts[2]} << 16 | version.parts[3]);
}

}  // namespace

std::wstring FileVersion::text() const {
  std::wstring text;
  for (std::size_t i = 0; i < count; ++i) text += (i ? L"." : L"") + std::to_wstring(parts[i]);
  return text;
}

bool sameVersion(FileVersion a, FileVersion b) {
  a.count = b.count = 4;
  return a == b;
}

std::optional<FileVersion> parseFileVersion(std::wstring_view text) {
  FileVersion version;
  version.count = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = std::min(text.find(L'.', start), text.size());
    const std::wstring_view number = text.substr(start, dot - start);
    if (number.empty() || number.size() > 5 || version.count == version.parts.size()) {
      return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const wchar_t digit : number) {
      if (digit < L'0' || digit > L'9') return std::nullopt;
      value = value * 10 + static_cast<std::uint32_t>(digit - L'0');
    }
    if (value > UINT16_MAX) return std::nullopt;
    version.parts[version.count++] = static_cast<std::uint16_t>(value);
    if (dot == text.size()) break;
    start = dot + 1;
  }
  if (version.count < 3) return std::nullopt;
  return version;
}

FileVersion readFileVersion(std::span<const std::uint8_t> block) {
  const Node root = parseRoot(block);
  const std::uint32_t high = base::loadLe32(root.value.data() + kFileVersionOffset);
  const std::uint32_t low = base::loadLe32(root.value.data() + kFileVersionOffset + 4);
  return {{static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
           static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)},
          4};
}

std::optional<std::wstring> readVersionString(std::span<const std::uint8_t> block,
                                              std::u16string_view key) {
  const Node root = parseRoot(block);
  for (const Node& info : root.children) {
    if (info.key != kStringFileInfo) continue;
    for (const Node& table : info.children) {
      for (const Node& string : table.children) {
        if (string.key != key) continue;
        std::wstring text;
        for (std::size_t at = 0; at + 1 < string.value.size(); at += 2) {
          const auto unit = static_cast<wchar_t>(string.value[at] | string.value[at + 1] << 8);
          if (unit == 0) break;
          text += unit;
        }
        return text;
      }
    }
  }
  return std::nullopt;
}

std::vector<std::uint8_t> stampVersion(std::span<const std::uint8_t> block,
                                       const FileVersion& version) {
  Node root = parseRoot(block);
  storeVersion(root.value.data() + kFileVersionOffset, version);
  storeVersion(root.value.data() + kProductVersionOffset, version);
  const std::wstring wide = version.text();
  const std::u16string text(wide.begin(), wide.end());  // digits and dots only
  for (Node& info : root.children) {
    if (info.key != kStringFileInfo) continue;
    for (Node& table : info.children) {
      setString(table, kFileVersionKey, text);
      setString(table, kProductVersionKey, text);
    }
  }
  std::vector<std::uint8_t> out;
  writeNode(root, out);
  return out;
}

}  // namespace aerolith::pack
