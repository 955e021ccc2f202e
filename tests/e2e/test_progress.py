"""The progress window as a user sees it, under Wine on a virtual X display: it
appears for a long first install, centred, with caption, icon, text and a
partly filled bar that advances, and is gone as soon as the run closes it. Then
a launcher carrying a large bundle, on a slowed file system: the window during
a long first install only, and gone before a fatal dialog; natively with
zenity's stand-in. The terminal line is left to the unit tests."""

import os
import random
import re
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

import bundle_format
import harness
from harness import EXIT_FATAL, EXIT_STARTED, WRITE_FAILED, fatal_record, read_trace

CAPTION = "^Aerolith Vantor$"
SCREEN = (1024, 768)
# Where Wine draws the windows' frames (caption, icon) itself.
VIRTUAL_DESKTOP = "aerolith-progress,%dx%d" % SCREEN
# The bar's colours under Wine's default theme: filled, still empty.
FILLED = "(48,150,250)"
EMPTY = "(255,255,255)"
SCREENSHOT = "progress-window.png"  # kept in the build tree, for a look
FILE_TIME = 133537860001234567


class OnADesktop(harness.Scenario):
    """Scenarios on one desktop per class, where windows stay: under Wine a
    virtual X display; natively zenity's stand-in (harness.Desktop)."""

    native_too = False

    @classmethod
    def setUpClass(cls):
        if not cls.platform.windows and not cls.native_too:
            raise unittest.SkipTest("natively covered by the sys unit tests")
        cls.desktop_folder = Path(tempfile.mkdtemp(prefix="aerolith-desktop-"))
        cls.desktop = harness.Desktop(cls.platform, cls.desktop_folder).__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.desktop.__exit__(None, None, None)
        shutil.rmtree(cls.desktop_folder, ignore_errors=True)

    def end(self, probe):
        """Ends a program that a failed check left running, under Wine with
        the whole prefix."""
        probe = getattr(probe, "process", probe)
        if probe.poll() is None:
            if self.platform.windows:
                subprocess.run(["wineserver", "-k"], env=dict(os.environ, **self.desktop.env))
            else:
                probe.kill()
            probe.wait(timeout=60)

    def windows(self, shown_only=True):
        """The X windows captioned "Aerolith Vantor"; with `shown_only` false,
        also those made but not (yet) shown."""
        command = ["xdotool", "search"] + (["--onlyvisible"] if shown_only else []) + [
            "--name", CAPTION]
        found = subprocess.run(command, env=self.desktop.x_env(), stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL).stdout.decode()
        return found.split()

    def geometry(self, window):
        """x, y, width, height on the screen, or None once the window is gone
        (xdotool doubles the position of a window inside Wine's desktop)."""
        info = subprocess.run(["xwininfo", "-id", window], env=self.desktop.x_env(),
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode()
        if "Width" not in info:
            return None  # gone meanwhile
        return tuple(int(re.search(r"%s:\s+(\d+)" % name, info).group(1)) for name in (
            "Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def screenshot(self, path, area):
        """Takes a screenshot into `path`; returns how much of the bar in `area`
        (a window's geometry) is filled, from 0 to 1."""
        subprocess.run(["import", "-window", "root", str(path)], env=self.desktop.x_env(),
                       check=True)
        x, y, width, height = area
        crop = "%dx%d+%d+%d" % (width, height, x, y)
        histogram = subprocess.run(
            ["convert", str(path), "-crop", crop, "+repage", "-format", "%c", "histogram:info:-"],
            stdout=subprocess.PIPE, check=True).stdout.decode()
        counts = {colour: int(count) for count, colour in
                  re.findall(r"(\d+): (\(\d+,\d+,\d+\))", histogram)}
        filled, empty = counts.get(FILLED, 0), counts.get(EMPTY, 0)
        return filled / (filled + empty) if filled + empty else 0.0


class ProgressWindow(OnADesktop):
    def start_probe(self, *args):
        """The probe; its standard output goes to self.output, and Wine's notes
        on the taskbar calls, which it only stubs, to self.notes."""
        self.output = self.scratch / "probe.out"
        self.notes = self.scratch / "probe.err"
        program = self.platform.host_path(self.platform.program("progress_probe"))
        env = dict(os.environ, WINEDEBUG="-all,fixme+explorerframe", **self.desktop.env)
        with open(self.output, "wb") as out, open(self.notes, "wb") as notes:
            return subprocess.Popen(["wine", "explorer", "/desktop=" + VIRTUAL_DESKTOP, program] +
                                    list(args), env=env, stdout=out, stderr=notes)

    def closed(self):
        return self.output.exists() and b"closed" in self.output.read_bytes()

    def test_window_checks_of_the_unit_tests_pass_on_a_display(self):
        """The sys unit tests of the window skip where Wine has no display."""
        tests = self.platform.build_dir / "tests" / "unit" / "sys_tests.exe"
        run = Path(__file__).resolve().parents[1] / "support" / "wine_unit_run.sh"
        result = subprocess.run([str(run), "wine", str(tests), "--gtest_filter=ProgressWindow*"],
                                env=dict(os.environ, WINEDEBUG="-all", **self.desktop.env),
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        output = result.stdout.decode(errors="replace")
        self.assertEqual(result.returncode, 0, output)
        self.assertIn("[  PASSED  ] 3 tests", output)
        self.assertNotIn("SKIPPED", output)

    def test_long_install_shows_the_window_until_the_run_closes_it(self):
        probe = self.start_probe("600", "6", "install")
        try:
            harness.wait_for(lambda: self.windows(), "the progress window")
            window = self.windows()[0]
            x, y, width, height = self.geometry(window)
            self.assertLess(abs(x + width // 2 - SCREEN[0] // 2), 3, "not centred")
            self.assertLess(abs(y + height // 2 - SCREEN[1] // 2), 3, "not centred")
            time.sleep(1)
            shot = self.platform.build_dir / SCREENSHOT
            first = self.screenshot(shot, (x, y, width, height))
            time.sleep(1)
            second = self.screenshot(self.scratch / "later.png", (x, y, width, height))
            self.assertGreater(first, 0.1, "bar not filled")
            self.assertLess(first, second, "bar does not advance")
            self.assertLess(second, 0.9, "bar full too early")
            harness.wait_for(self.closed, "the probe to close the window")
            self.assertEqual(self.windows(shown_only=False), [], "still there after the close")
            self.assertIsNone(probe.poll(), "the probe ended already: the close proves nothing")
            self.assertEqual(probe.wait(timeout=30), 0)
            # The taskbar button: progress out of 10000 steps (Wine prints it
            # in hexadecimal), then none once the window closes.
            notes = self.notes.read_text(errors="replace")
            self.assertRegex(notes, r"taskbar_list_SetProgressValue .* ullTotal 2710 ")
            self.assertRegex(notes, r"taskbar_list_SetProgressState .* flags 0 ")
        finally:
            self.end(probe)


class LongStarts(OnADesktop):
    """A launcher carrying 40 MiB in 40 files, whose every write waits 100 ms:
    a first install of about four seconds. Natively the window is zenity's."""

    native_too = True

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        rng = random.Random(15)
        cls.files = [("", "Aerolith.exe", cls.platform.program("demo-app").read_bytes(), FILE_TIME)]
        cls.files += [("Data\\Part%d" % (i % 4), "chunk%02d.bin" % i, rng.randbytes(1 << 20),
                       FILE_TIME + i) for i in range(40)]
        cls.launcher = harness.embed_bundle(cls.platform, *bundle_format.write_bundle(cls.files),
                                            cls.desktop_folder / "big")

    def setUp(self):
        super().setUp()
        self.env, local = self.platform.isolated_env(self.scratch)
        self.install = local / "Aerolith"
        self.record = self.scratch / "demo.jsonl"
        self.trace = self.scratch / "trace.log"
        self.env.update(AEROLITH_DEMO_RECORD=self.platform.host_path(self.record),
                        AEROLITH_DEMO_LIFETIME="0",
                        AEROLITH_LAUNCHER_TRACE=self.platform.host_path(self.trace))
        for window in self.desktop_folder.glob("*.progress"):
            window.unlink()

    def start(self, trace_dialogs=False, virtual_desktop=None, **slow):
        return self.platform.start(self.launcher, env=self.env, trace_dialogs=trace_dialogs,
                                   host_env=self.platform.slow_file_system(self.install, **slow),
                                   virtual_desktop=virtual_desktop)

    def progress_windows(self, made=False):
        """The progress windows on screen; with `made`, also those made but
        not shown (natively: every one made in this scenario)."""
        if self.platform.windows:
            return self.windows(shown_only=not made)
        return [w.stem for w in self.desktop_folder.glob("*.progress")
                if made or not w.read_text().endswith("closed\n")]

    def identity(self, window):
        """What tells `window` apart from windows before and after it. Under
        Wine that is its X id with its geometry: once a thread's windows are
        gone, the X server may hand their ids to the next thread that opens
        one, and Wine gives message boxes no window type of their own."""
        return (window, self.geometry(window)) if self.platform.windows else window

    def dialogs(self, progress):
        """The boxes on screen beside the progress window of identity `progress`."""
        if self.platform.windows:
            return [w for w in self.windows()
                    if self.identity(w) not in (progress, (w, None))]  # None: gone meanwhile
        return self.desktop.boxes()

    def assertNoWindowWhile(self, running):
        while running.process.poll() is None:
            self.assertEqual(self.progress_windows(made=True), [])
            time.sleep(0.05)
        self.assertExitCode(running.wait(), EXIT_STARTED)

    def test_a_long_first_install_shows_the_window_until_the_application_starts(self):
        running = self.start(delay_ms=100, virtual_desktop=VIRTUAL_DESKTOP)
        try:
            harness.wait_for(self.progress_windows, "the progress window", timeout=90)
            if self.platform.windows:
                area = self.geometry(self.windows()[0])
                time.sleep(1)
                filled = self.screenshot(self.platform.build_dir / "progress-launcher.png", area)
                self.assertGreater(filled, 0.05, "bar not filled")
                self.assertLess(filled, 0.95, "bar full while files are still written")
            harness.wait_for(self.record.exists, "the application to start", timeout=60)
            self.assertEqual(self.progress_windows(), [], "the window outlives the install")
            self.assertExitCode(running.wait(), EXIT_STARTED)
        finally:
            self.end(running)
        if not self.platform.windows:
            window = next(self.desktop_folder.glob("*.progress")).read_text().splitlines()
            self.assertIn("--title=Aerolith Vantor", window)
            self.assertIn("# Installing Aerolith Vantor ...", window)
            bar = [int(line) for line in window if line.isdigit()]
            self.assertEqual(bar, sorted(bar))
            self.assertTrue(0 < bar[0] and bar[-1] <= 99, bar)
        for directory, name, content, _ in self.files[1:]:
            self.assertEqual((self.install / directory.replace("\\", "/") / name).read_bytes(),
                             content)

    def test_an_intact_start_and_a_small_repair_never_make_the_window(self):
        self.assertExitCode(self.start().wait(), EXIT_STARTED)
        for window in self.desktop_folder.glob("*.progress"):
            window.unlink()
        self.assertNoWindowWhile(self.start(delay_ms=100))
        (self.install / "Data" / "Part1" / "chunk01.bin").write_bytes(b"damaged")
        self.assertNoWindowWhile(self.start(delay_ms=100))
        self.assertEqual((self.install / "Data" / "Part1" / "chunk01.bin").read_bytes(),
                         self.files[2][2])

    def test_a_full_disk_midway_closes_the_window_before_the_one_dialog(self):
        running = self.start(trace_dialogs=True, delay_ms=100, full_after=24 << 20)
        try:
            harness.wait_for(self.progress_windows, "the progress window", timeout=90)
            progress = self.identity(self.progress_windows()[0])
            # Traced calls make a loaded machine slow to come this far.
            harness.wait_for(lambda: self.dialogs(progress), "the fatal dialog", timeout=120)
            self.assertNotIn(progress, map(self.identity,
                                           self.progress_windows(made=self.platform.windows)),
                             "the window beside the dialog")
            self.desktop.close(self.dialogs(progress)[0])
            result = running.wait()
        finally:
            self.end(running)
        self.assertExitCode(result, EXIT_FATAL)
        failed = read_trace(self.trace)[-2:]
        self.assertRegex(failed[0].message, r"^ -  - write failed - break, ec = \d+$")
        path = re.search(r"File: \| '(.*)' \|", failed[1].message).group(1)
        self.assertTrue(path.startswith(self.platform.host_path(self.install) + self.separator), path)
        self.assertEqual(failed[1].message, fatal_record(WRITE_FAILED.format(path)))
        self.assertSingleDialog(result, WRITE_FAILED.format(path))
        self.assertFalse(self.record.exists(), "the application started after all")

    @property
    def separator(self):
        return "\\" if self.platform.windows else "/"

if __name__ == "__main__":
    harness.main()
