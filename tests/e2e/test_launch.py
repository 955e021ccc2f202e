"""Starting the application, the run's last phase, as the real launcher does it:
the legacy files, the start by the process loader and by the shell, the exact
dialog when neither can start it; one launcher of ten started at once; and the
watchdog ending a run that takes too long, or keeping away from a fatal dialog."""

import datetime
import json
import os
import shutil
import subprocess
import time
from pathlib import Path

import bundle_format
import harness
from harness import (DIRECTORY, EXIT_APPLICATION_RUNNING, EXIT_FATAL, EXIT_LAUNCHER_RUNNING,
                     EXIT_STARTED, START_FAILED, TIMEOUT, fatal_record, launch_trace, read_trace,
                     record_time, wait_for)


LEGACY = ["hidapi.x86.dll", "hidapi.x64.dll", "Aerolith.Vantor.x86.exe", "Aerolith.Vantor.x64.exe"]
SYNC_PASS_END = "End files map iterate"
# An Aerolith.exe that neither system's process loader takes: no executable
# header, no interpreter line.
NOT_A_PROGRAM = b"Aerolith.exe of another system\n"
FILE_TIME = 133537860001234567
# How the process loader refuses it: ENOEXEC, ERROR_BAD_EXE_FORMAT.
REFUSED = {"native": 8, "windows": 193}
# Where the test prefix registers which program opens a file (the shell's App Paths).
APP_PATHS = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths"
OPENER = Path(__file__).resolve().parent / "opener"


def events(record):
    """The demo applications' record: one dict per line."""
    if not record.exists():
        return []
    return [json.loads(line) for line in record.read_text("utf-8").splitlines()]


class LaunchScenario(harness.Scenario):
    def setUp(self):
        super().setUp()
        self.trace = self.scratch / "trace.log"

    def local_app_data(self, name):
        """An isolated environment whose local application-data folder is
        scratch/`name`; returns it and the install directory in it."""
        env, _ = self.platform.isolated_env(self.scratch)
        local = self.scratch / name
        local.mkdir(exist_ok=True)
        env["LOCALAPPDATA"] = self.platform.host_path(local)
        if not self.platform.windows:
            env["XDG_DATA_HOME"] = str(local)
        return env, local / "Aerolith"

    def launch(self, env, launcher=None, trace=None, **kwargs):
        trace = trace or self.trace
        env = dict(env, AEROLITH_LAUNCHER_TRACE=self.platform.host_path(trace))
        return self.platform.run(launcher or self.platform.program("demo-launcher"), env=env,
                                 **kwargs)

    def messages(self):
        messages = [r.message for r in read_trace(self.trace)]
        self.trace.unlink()
        return messages

    def launch_messages(self):
        """What the run logged after the synchronisation pass."""
        messages = self.messages()
        return messages[messages.index(SYNC_PASS_END) + 1:]

    def target(self, install):
        return self.platform.host_path(install) + ("\\" if self.platform.windows else "/") + \
            "Aerolith.exe"

    def started_applications(self):
        """The "started" events of the scenario's demo applications so far."""
        return [e for e in events(self.platform.demo_record()) if e["event"] == "started"]

    def wait_for_started(self, count, timeout=30):
        """The `count`th "started" event, once it is there: a program that the
        launcher started may start up after the launcher has ended."""
        wait_for(lambda: len(self.started_applications()) >= count,
                 "%d started applications" % count, timeout)
        return self.started_applications()[count - 1]

    def not_a_program_launcher(self):
        """A launcher whose bundle holds an Aerolith.exe no process loader takes."""
        manifest, payload = bundle_format.write_bundle([
            ("", "Aerolith.exe", NOT_A_PROGRAM, FILE_TIME),
            ("Docs", "Licence.txt", b"Licence\n", FILE_TIME)])
        return harness.embed_bundle(self.platform, manifest, payload, self.scratch / "foreign")

    def wine_reg(self, *args):
        subprocess.run(["wine", "reg"] + list(args), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL,
                       env=dict(os.environ, WINEPREFIX=str(self.platform.wine_prefix()),
                                WINEDEBUG="-all"))

    def associate(self, env, install, program):
        """Makes the system's opener open install/Aerolith.exe with `program`: an
        App Paths entry for the file under Wine, the stand-in for xdg-open on
        PATH natively. Returns the environment to run with."""
        if self.platform.windows:
            key = APP_PATHS + "\\" + self.target(install)
            self.wine_reg("add", key, "/ve", "/d", self.platform.host_path(program), "/f")
            # The scenario's own branch of the keys, named after its scratch folder.
            scratch_key = APP_PATHS + "\\" + self.platform.host_path(self.scratch)
            self.addCleanup(self.wine_reg, "delete", scratch_key, "/f")
            return env
        return dict(env, PATH="%s:%s" % (OPENER, os.environ["PATH"]),
                    AEROLITH_OPENS_WITH=str(program))


class NormalStart(LaunchScenario):
    def test_application_starts_in_the_install_directory_with_its_quoted_path(self):
        for folder in ("LocalAppData", "Local App Data"):
            with self.subTest(folder=folder):
                env, install = self.local_app_data(folder)
                install.mkdir()
                for name in LEGACY:
                    (install / name).write_bytes(b"an older release")
                before = len(self.started_applications())

                result = self.launch(env)
                self.assertExitCode(result, EXIT_STARTED)
                self.assertEqual(result.dialogs, [])
                target = self.target(install)
                self.assertEqual(self.launch_messages(),
                                 launch_trace(self.platform, install) + ["final"])
                self.assertEqual([n for n in LEGACY if (install / n).exists()], [])

                started = self.wait_for_started(before + 1)
                self.assertEqual(started["arguments"], [target])
                self.assertEqual(started["workingDirectory"], self.platform.host_path(install))
                if self.platform.windows:
                    self.assertEqual(started["commandLine"], '"%s"' % target)

    def test_a_start_while_the_application_runs_hands_off_to_it(self):
        # The application outlives the launcher that started it and holds
        # nothing of it: the next launcher meets the application, not a launcher.
        env, install = self.local_app_data("LocalAppData")
        env["AEROLITH_DEMO_LIFETIME"] = "120"
        self.assertExitCode(self.launch(env), EXIT_STARTED)
        self.assertEqual(self.messages()[-1], "final")
        started = self.wait_for_started(1)
        record = self.platform.demo_record()
        wait_for(lambda: any(e["event"] == "published" for e in events(record)), "publishing")
        try:
            result = self.launch(env)
            self.assertExitCode(result, EXIT_APPLICATION_RUNNING)
            self.assertEqual(self.messages(), ["gui already exists"])
            wait_for(lambda: any(e["event"] == "hand-off" for e in events(record)), "the hand-off")
        finally:
            self.platform.end_process(started["processId"])
        published = next(e for e in events(record) if e["event"] == "published")
        hand_offs = [e for e in events(record) if e["event"] == "hand-off"]
        self.assertEqual([e["message"] for e in hand_offs], [published["message"]])

    def test_a_legacy_file_that_cannot_be_removed_stays_and_the_application_starts(self):
        env, install = self.local_app_data("LocalAppData")
        self.assertExitCode(self.launch(env), EXIT_STARTED)
        self.messages()
        for name in LEGACY:
            (install / name).write_bytes(b"an older release")
        locked = install / LEGACY[2]
        release = self.hold(locked)
        self.addCleanup(release)

        result = self.launch(env)
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual(result.dialogs, [])
        # Nothing is logged of the legacy files, left or not.
        self.assertEqual(self.launch_messages(), launch_trace(self.platform, install) + ["final"])
        self.assertEqual([n for n in LEGACY if (install / n).exists()], [LEGACY[2]])
        self.wait_for_started(2)


class ShellFallback(LaunchScenario):
    """Aerolith.exe is no program for this system: the process loader refuses
    it, and the shell opens it with whatever the system associates with it."""

    def setUp(self):
        super().setUp()
        self.env, self.install = self.local_app_data("Local App Data")
        self.launcher = self.not_a_program_launcher()
        self.refused = REFUSED[self.platform.name]

    def test_the_shell_opens_what_the_process_loader_refuses(self):
        opener = self.platform.program("demo-app")
        env = self.associate(self.env, self.install, opener)
        result = self.launch(env, self.launcher)
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual(result.dialogs, [])
        target = self.target(self.install)
        self.assertEqual(self.launch_messages(), [
            "path: '%s'" % target, "cmd: '\"%s\"'" % target,
            "CreateProcess failed, GetLastError = %d" % self.refused, "ShellExecuteEx success",
            "final"])
        started = self.wait_for_started(1)
        self.assertEqual(started["arguments"], [self.platform.host_path(opener), target])
        self.assertEqual(started["workingDirectory"], self.platform.host_path(self.install))
        if self.platform.windows:
            # The command line handed to the shell is the quoted path.
            self.assertEqual(started["commandLine"],
                             '"%s" "%s"' % (self.platform.host_path(opener), target))
            # The shell runs inside a single-threaded COM apartment without OLE1 DDE
            # (COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE), left again after
            # it; the calls between are the shell's own.
            shell = [(thread, function.split(".")[1], arguments) for thread, function, arguments
                     in result.calls if function.startswith(("combase.", "shell32."))]
            functions = [function for _, function, _ in shell]
            self.assertEqual(shell[0][1:], ("CoInitializeEx", "00000000,00000006"))
            self.assertEqual(functions[-1], "CoUninitialize")
            self.assertIn("ShellExecuteExW", functions[1:-1])
            ours = shell[0][0]  # the thread that starts the program
            self.assertEqual(shell[-1][0], ours)
            self.assertIn((ours, "ShellExecuteExW"), [(t, f) for t, f, _ in shell])

    def test_when_neither_starts_it_the_dialog_names_both_codes_and_the_folder(self):
        if self.platform.windows:
            # No association: the shell fails too, for the same reason
            # (ERROR_BAD_EXE_FORMAT), and shows no box of its own.
            cases = [("no association", self.env, 193)]
        else:
            cases = [("no opener", dict(self.env, PATH=str(self.scratch / "nothing")), 2),  # ENOENT
                     ("opener finds no program", dict(self.env, PATH=str(OPENER)), 3)]
        for name, env, shell_error in cases:
            with self.subTest(name):
                result = self.launch(env, self.launcher)
                self.assertExitCode(result, EXIT_FATAL)
                text = START_FAILED.format(self.refused, shell_error,
                                           self.platform.host_path(self.install))
                self.assertSingleDialog(result, text)
                target = self.target(self.install)
                self.assertEqual(self.launch_messages(), [
                    "path: '%s'" % target, "cmd: '\"%s\"'" % target,
                    "CreateProcess failed, GetLastError = %d" % self.refused,
                    "ShellExecuteEx failed, GetLastError = %d" % shell_error, fatal_record(text)])
        time.sleep(1)
        self.assertEqual(events(self.platform.demo_record()), [])


    def test_on_a_desktop_the_failure_is_the_one_box_and_no_timeout_follows(self):
        if not self.platform.windows:
            self.skipTest("the desktop's opener shows no box of its own")
        env = dict(self.env, AEROLITH_LAUNCHER_TRACE=self.platform.host_path(self.trace))
        with harness.Desktop(self.platform, self.scratch / "desktop") as desktop:
            running = self.platform.start(self.launcher, env=env, trace_dialogs=True)
            box = desktop.wait_for_boxes(1)[0]
            time.sleep(11)  # past the watchdog's limit
            self.assertEqual(desktop.boxes(), [box])
            desktop.close(box)
            result = running.wait()
        self.assertExitCode(result, EXIT_FATAL)
        self.assertSingleDialog(result, START_FAILED.format(
            self.refused, self.refused, self.platform.host_path(self.install)))


class LongRuns(LaunchScenario):
    """Runs beyond the watchdog's ten seconds on a file system that is slowed
    down or stops answering: the limit counts from the last progress."""

    def test_a_run_that_stops_making_progress_ends_in_the_timeout_dialog(self):
        # A listed file of another size is read for its CRC, and that read
        # never returns.
        env, install = self.local_app_data("LocalAppData")
        stuck = install / "Docs" / "Licence.txt"
        stuck.parent.mkdir(parents=True)
        stuck.write_bytes(b"an older licence")
        result = self.launch(env, timeout=120, host_env=self.platform.slow_file_system(
            install, stall=stuck.name))
        self.assertExitCode(result, EXIT_FATAL)
        self.assertSingleDialog(result, TIMEOUT)
        records = read_trace(self.trace)
        self.assertEqual([r.message for r in records[-2:]], ["timeout", fatal_record(TIMEOUT)])
        self.assertNotEqual(records[-1].thread, records[0].thread)
        # The main thread is still reading the file, and goes no further.
        main = [r.message for r in records if r.thread == records[0].thread]
        self.assertEqual(main[-1], " - begin check crc32")
        self.assertEqual([m for m in main if m.startswith("Existing file: ")][-1],
                         "Existing file: '%s'" % self.platform.host_path(stuck))
        # The limit counts from the last progress, the entry before the stuck
        # one, just before the main thread's last record; the margins leave
        # room for a loaded machine.
        last = [r for r in records if r.thread == records[0].thread][-1]
        limit = (record_time(records[-1]) - record_time(last)).total_seconds()
        self.assertGreaterEqual(limit, 9.9)
        self.assertLess(limit, 11.5)

    def test_a_slow_run_that_keeps_making_progress_is_not_timed_out(self):
        # Every file's write waits 300 ms: more than 12 s in all.
        env, install = self.local_app_data("LocalAppData")
        files = [("", "Aerolith.exe", harness.application_image(self.platform), FILE_TIME)]
        files += [("Data\\Part%d" % (i % 4), "file%02d.bin" % i, bytes([i]) * 5000, FILE_TIME + i)
                  for i in range(40)]
        launcher = harness.embed_bundle(self.platform, *bundle_format.write_bundle(files),
                                        self.scratch / "slow")
        result = self.launch(env, launcher, timeout=120, host_env=self.platform.slow_file_system(
            install, delay_ms=300))
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual(result.dialogs, [])
        records = read_trace(self.trace)
        self.assertNotIn("timeout", [r.message for r in records])
        self.assertEqual(records[-1].message, "final")
        self.assertGreater((record_time(records[-1]) - record_time(records[0])).total_seconds(), 12)
        for directory, name, content, _ in files:
            self.assertEqual((install / directory.replace("\\", "/") / name).read_bytes(), content)


class OneLauncherAtATime(LaunchScenario):
    """With boxes that stay open until they are closed, as a user sees them."""

    def test_of_ten_started_at_once_one_proceeds_and_its_dialog_keeps_the_timeout_away(self):
        launcher_dir = self.scratch / "app" / "bin"
        launcher_dir.mkdir(parents=True)
        launcher = Path(shutil.copy2(self.platform.program("demo-launcher"), launcher_dir))
        env, local = self.platform.isolated_env(self.scratch)
        with harness.Desktop(self.platform, self.scratch / "desktop") as desktop:
            # A file where each candidate's folder would go makes every one
            # unusable: the one that proceeds ends in the directory dialog.
            blocked = [local / "Aerolith", self.scratch / "app" / "Aerolith"]
            if self.platform.windows:
                blocked.append(Path(desktop.env["WINEPREFIX"]) / "drive_c" / "users" /
                               self.platform.prefix_local_app_data().parent.parent.name /
                               "AppData" / "Local" / "Aerolith")
            for path in blocked:
                path.unlink(missing_ok=True)
                path.write_bytes(b"in the way")
                self.addCleanup(path.unlink, missing_ok=True)
            traces = [self.scratch / ("trace%d.log" % i) for i in range(10)]
            runs = [self.platform.start(launcher, trace_dialogs=True, env=dict(
                env, AEROLITH_LAUNCHER_TRACE=self.platform.host_path(trace))) for trace in traces]
            box = desktop.wait_for_boxes(1, timeout=60)[0]
            # The other nine end at once; the one that proceeds waits for its box.
            wait_for(lambda: sum(r.process.poll() is None for r in runs) == 1, "nine launchers",
                     timeout=60)
            proceeding = next(i for i, r in enumerate(runs) if r.process.poll() is None)
            others = [r.wait() for i, r in enumerate(runs) if i != proceeding]
            for result in others:
                self.assertExitCode(result, EXIT_LAUNCHER_RUNNING)
                self.assertEqual(result.dialogs, [])
            for i, trace in enumerate(traces):
                if i != proceeding:
                    self.assertEqual([r.message for r in read_trace(trace)],
                                     ["launcher already exists"])

            # Past the watchdog's limit, the box on screen stays the only one.
            limit = record_time(read_trace(traces[proceeding])[0]) + datetime.timedelta(seconds=11.5)
            wait_for(lambda: datetime.datetime.utcnow() > limit or
                     runs[proceeding].process.poll() is not None, "the watchdog's limit", 60)
            self.assertEqual(desktop.boxes(), [box])
            self.assertIsNone(runs[proceeding].process.poll(), "ended before its box was closed")
            desktop.close(box)
            result = runs[proceeding].wait()
        self.assertExitCode(result, EXIT_FATAL)
        self.assertSingleDialog(result, DIRECTORY)
        messages = [r.message for r in read_trace(traces[proceeding])]
        self.assertNotIn("timeout", messages)
        self.assertEqual([m for m in messages if "accessible = " in m],
                         [m for m in messages if "accessible = false" in m])


if __name__ == "__main__":
    harness.main()
