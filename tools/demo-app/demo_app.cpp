#include "demo_app.hpp"

#include <cstdio>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "launcher/instance_guards.hpp"
#include "sys/fs/path.hpp"
#include "sys/process/process.hpp"
#include "text/utf.hpp"

namespace aerolith::demo {
namespace {

constexpr std::chrono::milliseconds kDefaultLifetime{60'000};

std::filesystem::path defaultRecordFile() {
  std::error_code error;
  const auto temp = std::filesystem::temp_directory_path(error);
  return (error ? std::filesystem::path() : temp) / "Aerolith.Demo.jsonl";
}

std::optional<std::chrono::milliseconds> parseSeconds(const std::wstring& text) {
  try {
    std::size_t used = 0;
    const double seconds = std::stod(text::toUtf8(text), &used);
    if (used != text.size() || !(seconds >= 0) || seconds > 1e9) return std::nullopt;
    return std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000));
  } catch (const std::logic_error&) {
    return std::nullopt;
  }
}

std::string jsonString(std::wstring_view text) {
  std::string json = "\"";
  for (const char c : text::toUtf8(text)) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      json += escaped;
    } else {
      json += c;
    }
  }
  return json + "\"";
}

}  // namespace

Settings settingsFromEnvironment() {
  Settings settings{defaultRecordFile(), kDefaultLifetime};
  if (const auto record = sys::environmentVariable(L"AEROLITH_DEMO_RECORD");
      record && !record->empty()) {
    settings.record = sys::pathFromWide(*record);
  }
  if (const auto lifetime = sys::environmentVariable(L"AEROLITH_DEMO_LIFETIME")) {
    settings.lifetime = parseSeconds(*lifetime).value_or(kDefaultLifetime);
  }
  return settings;
}

Event::Event(std::string_view name) : json_("{\"event\":") {
  json_ += jsonString(text::fromUtf8(name));
}

Event& Event::key(std::string_view name) {
  json_ += ',';
  json_ += jsonString(text::fromUtf8(name));
  json_ += ':';
  return *this;
}

Event& Event::add(std::string_view name, std::wstring_view text) {
  key(name).json_ += jsonString(text);
  return *this;
}

Event& Event::add(std::string_view name, std::int64_t number) {
  key(name).json_ += std::to_string(number);
  return *this;
}

Event& Event::add(std::string_view name, const std::vector<std::wstring>& texts) {
  key(name).json_ += '[';
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i != 0) json_ += ',';
    json_ += jsonString(texts[i]);
  }
  json_ += ']';
  return *this;
}

void Recorder::record(const Event& event) const {
  const std::string line = event.line();
  std::ofstream out(file_, std::ios::binary | std::ios::app);
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
}

Event startedEvent(const std::vector<std::wstring>& arguments) {
  std::error_code error;
  const auto directory = std::filesystem::current_path(error);
  Event event("started");
  event.add("processId", std::int64_t{sys::currentProcessId()})
      .add("arguments", arguments)
      .add("workingDirectory", sys::wideFromPath(directory));
  return event;
}

Presence::Presence(sys::MutexHandle mutex, std::int32_t window, std::uint32_t message)
    : mutex_(mutex),
      record_(launcher::kWindowHandleMappingName,
              launcher::WindowHandleRecord{window, message}.encode()) {}

Presence::~Presence() { sys::closeMutex(mutex_); }

std::unique_ptr<Presence> Presence::announce(const Recorder& recorder, std::int32_t window,
                                             std::uint32_t message) {
  const sys::CreatedMutex mutex = sys::createOwnedMutex(launcher::kApplicationMutexName);
  if (mutex.alreadyExisted) {
    recorder.record(Event("already-running"));
    return nullptr;
  }
  std::unique_ptr<Presence> presence(new Presence(mutex.handle, window, message));
  recorder.record(Event("published")
                      .add("window", std::int64_t{window})
                      .add("message", std::int64_t{message})
                      .add("mutex", std::int64_t{mutex.handle != nullptr})
                      .add("record", std::int64_t{presence->record_.published()}));
  return presence;
}

}  // namespace aerolith::demo
