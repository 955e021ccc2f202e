// extraction_probe [replace|add INDEX]...: loads the bundle of its own image as
// the launcher does, then extracts the entries named, in order: "replace" as a
// file being overwritten, "add" as one being added, with one run state for all,
// as the synchronisation pass does, and shows a failure as the launcher does.
// Logs through the trace logger set by the environment; exits with 0 when every
// extraction succeeded, 2 on bad arguments.
#include <cstdlib>
#include <string>
#include <vector>

#include "bundle/extraction.hpp"
#include "bundle/loading.hpp"
#include "diag/trace_logger.hpp"
#include "install/sync_state.hpp"
#include "launcher/fatal_dialog.hpp"

int main(int argc, char** argv) {
  using namespace aerolith;
  diag::installLoggerFromEnvironment();
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() % 2 != 0) return 2;
  bundle::Bundle bundle;
  diag::Progress unwatched;
  if (const bundle::Status loaded = bundle::loadBundle(nullptr, bundle, unwatched); !loaded)
    launcher::showCorruptAndExit(loaded.error());
  install::SyncState state;
  for (std::size_t i = 0; i < args.size(); i += 2) {
    if (args[i] != "replace" && args[i] != "add") return 2;
    const int index = std::atoi(args[i + 1].c_str());
    for (const auto& [path, entry] : bundle.files) {
      if (entry->index != index) continue;
      const auto stage =
          args[i] == "replace" ? bundle::Stage::kReplaceEntry : bundle::Stage::kAddEntry;
      if (const bundle::Status extracted =
              bundle::extractEntry(bundle.view, *entry, stage, state.payloadValidated, unwatched);
          !extracted) {
        launcher::showCorruptAndExit(extracted.error());
      }
    }
  }
  return 0;
}
