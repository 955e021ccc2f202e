// A trace logger installed for one test, writing to a file in the test's own
// folder, and the messages it has received so far.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "diag/trace_logger.hpp"
#include "support/temp_dir.hpp"

namespace aerolith::testing {

class TraceCapture {
 public:
  TraceCapture() {
    diag::installLogger(
        std::make_unique<diag::TraceLogger>(folder_ / "trace.log", diag::LogLevel::kTrace, 1));
  }
  ~TraceCapture() { diag::installLogger(nullptr); }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // "Tag: message" for each record.
  std::vector<std::string> records() const {
    std::vector<std::string> records;
    const std::string text = readFile(folder_ / "trace.log");
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = text.find("\r\n", start);
      const std::string record = text.substr(start, end - start);
      const std::size_t tagEnd = record.find(" <");
      const std::size_t tagStart = record.rfind(' ', tagEnd - 1) + 1;
      records.push_back(record.substr(tagStart, tagEnd - tagStart) + ": " +
                        record.substr(record.find(">: ") + 3));
      start = end + 2;
    }
    return records;
  }

 private:
  TempDir folder_;
};

}  // namespace aerolith::testing
