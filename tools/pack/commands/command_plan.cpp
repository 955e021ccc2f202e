// plan BUNDLE DIR: what a start would do to the folder DIR, without doing it.
#include <fmt/xchar.h>

#include "bundle/loading.hpp"
#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/bundle/bundle_check.hpp"
#include "pack/bundle/bundle_files.hpp"
#include "pack/cli/console.hpp"
#include "pack/cli/json_writer.hpp"
#include "pack/commands/commands.hpp"
#include "pack/forecast/install_plan.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::pack {
namespace {

std::wstring_view folderNote(FolderState state) {
  switch (state) {
    case FolderState::kFolder:
      return L"";
    case FolderState::kMissing:
      return L"it does not exist: a start makes it and writes every file\n";
    case FolderState::kLink:
      return L"it is a link: a start removes the link (its target stays as it is), makes a "
             L"folder in its place and writes every file\n";
  }
  return L"";
}

std::wstring_view folderStateName(FolderState state) {
  switch (state) {
    case FolderState::kFolder:
      return L"folder";
    case FolderState::kMissing:
      return L"missing";
    case FolderState::kLink:
      return L"link";
  }
  return L"";
}

// What --changes-only leaves out: the steps that change nothing.
bool changes(const PlannedStep& step) {
  return step.action != StartAction::kKeep && step.action != StartAction::kFolder &&
         step.action != StartAction::kProtected;
}

int report(const InstallPlan& plan, const std::filesystem::path& dir, bool changesOnly) {
  std::wstring text(folderNote(plan.folder));
  for (const PlannedStep& step : plan.steps) {
    if (changesOnly && !changes(step)) continue;
    text += fmt::format(L"{:<9} {}\n", actionName(step.action), sys::wideFromPath(step.path));
  }
  writeOut(text + fmt::format(L"a start on {} {}\n", quoted(dir), plan.start.summary()));
  return 0;
}

int reportJson(const InstallPlan& plan, const std::filesystem::path& dir, bool changesOnly) {
  JsonWriter out;
  out.beginObject()
      .key(L"ok")
      .boolean(true)
      .key(L"folder")
      .string(sys::wideFromPath(dir))
      .key(L"state")
      .string(folderStateName(plan.folder))
      .key(L"steps")
      .beginArray();
  for (const PlannedStep& step : plan.steps) {
    if (changesOnly && !changes(step)) continue;
    out.beginObject()
        .key(L"action")
        .string(actionName(step.action))
        .key(L"path")
        .string(sys::wideFromPath(step.path))
        .key(L"entry");
    if (step.entry) {
      out.number(step.entry->index);
    } else {
      out.null();
    }
    out.endObject();
  }
  out.endArray().key(L"start");
  plan.start.writeJson(out);
  writeOut(out.endObject().finish());
  return 0;
}

// 'plan INSTALL_DIR BUNDLE' reads a folder without a bundle as the bundle;
// say what happened rather than that manifest.bin is missing.
void checkOrder(const std::filesystem::path& bundle, const std::filesystem::path& dir) {
  std::error_code error;
  if (!std::filesystem::is_directory(bundle, error) ||
      std::filesystem::exists(bundle / kManifestFileName, error)) {
    return;
  }
  if (namesImage(dir) || std::filesystem::exists(dir / kManifestFileName, error)) {
    throw UsageError(
        fmt::format(L"the arguments are swapped: {} is the bundle and {} the folder; "
                    L"plan takes the bundle first: 'aerolith-pack plan {} {}'",
                    quoted(dir), quoted(bundle), shownPath(dir), shownPath(bundle)));
  }
}

int run(const Arguments& arguments) {
  checkOrder(sys::pathFromWide(arguments.positional[0]),
             sys::pathFromWide(arguments.positional[1]));
  const LoadedBundle loaded(readBundleBytes(sys::pathFromWide(arguments.positional[0])));
  bundle::Bundle bundle{loaded.view(), {}};
  // The files map as a launcher builds it: the first entry of each path.
  diag::Progress unwatched;  // a tool's work has no watchdog
  if (const bundle::Status read = bundle::readManifest(bundle.view, bundle.files, unwatched);
      !read) {
    throw Failure(refusal(read.error(), L""));
  }
  const auto dir = sys::pathFromWide(arguments.positional[1]);
  const InstallPlan plan = planStart(std::move(bundle), dir);
  const bool changesOnly = arguments.flag(L"--changes-only");
  return arguments.flag(L"--json") ? reportJson(plan, dir, changesOnly)
                                   : report(plan, dir, changesOnly);
}

constexpr std::wstring_view kFlags[] = {L"--json", L"--changes-only"};

}  // namespace

const Command kPlanCommand = {
    L"plan",
    L"plan BUNDLE DIR [--changes-only] [--json]",
    L"Shows what a start of a launcher carrying BUNDLE would do to the install folder\n"
    L"DIR, object by object, without changing anything: the same walk and the same\n"
    L"decisions as the launcher's. Each line is an action and a path below DIR:\n"
    L"  folder     a folder: left alone, never removed\n"
    L"  protected  Config.ini or VantorConfig.json (exact spelling, any folder): left alone\n"
    L"  remove     a file or link the bundle does not list: removed, a link as a link\n"
    L"  keep       the entry's last-write time and size: trusted, never read\n"
    L"  restamp    the entry's content (CRC-32C): only its time is set\n"
    L"  rewrite    anything else at an entry's path, a link included: written anew\n"
    L"  write      an entry not met as a file: written after the walk\n"
    L"Then the sum: files written, the bytes decoded for them, and whether the start\n"
    L"checks the whole payload. After that a start removes the legacy files at the\n"
    L"top, which a bundle that passes 'verify' never holds.\n\n"
    L"BUNDLE is a folder holding manifest.bin and payload.bin, or a launcher image.\n\n"
    L"  --changes-only  only the steps that change something: no keep, folder or\n"
    L"                  protected lines (the sums still count every step)\n"
    L"  --json          one JSON document instead: ok, the folder, its state, every\n"
    L"                  step and the sums\n",
    {},
    2,
    run,
    kFlags,
};

}  // namespace aerolith::pack
