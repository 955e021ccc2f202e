"""The crash handler as a real crashing process shows it: the dump (a minidump on
Windows, a text report natively) in the current directory, the crash message,
and then the end that the system gives a crashed process."""

import shutil
import signal
import struct

import harness
from harness import CRASH, CRASH_CAPTION, MB_ICONERROR

DUMP = "Aerolith.Launcher.dmp"

EXCEPTION_ACCESS_VIOLATION = 0xC0000005
UNCAUGHT_CPP_EXCEPTION = 0xE0414543
MINIDUMP_EXCEPTION_STREAM = 6


def minidump_exception(data):
    """(thread id, exception code) from a minidump's exception stream."""
    signature, _, streams, directory = struct.unpack_from("<4sIII", data)
    assert signature == b"MDMP", signature
    for i in range(streams):
        kind, _, rva = struct.unpack_from("<III", data, directory + 12 * i)
        if kind == MINIDUMP_EXCEPTION_STREAM:
            thread, _, code = struct.unpack_from("<III", data, rva)
            return thread, code
    raise AssertionError("no exception stream")


class CrashHandler(harness.Scenario):
    def crash(self, kind, thread, host_env=None):
        self.work = self.scratch / "work"
        self.work.mkdir(exist_ok=True)
        return self.platform.run(self.platform.program("crash_probe"), [kind, thread],
                                 cwd=self.work, host_env=host_env)

    def crashing_thread(self, result):
        return int(result.stdout.split("crashing thread ")[1].split()[0])

    def test_crash_on_either_thread_leaves_the_dump_and_shows_the_message(self):
        native_signal = {"fault": signal.SIGSEGV, "throw": signal.SIGABRT}
        windows_code = {"fault": EXCEPTION_ACCESS_VIOLATION, "throw": UNCAUGHT_CPP_EXCEPTION}
        for kind in ("fault", "throw"):
            for thread in ("main", "second"):
                with self.subTest(kind=kind, thread=thread):
                    (self.scratch / "work").mkdir(exist_ok=True)
                    (self.scratch / "work" / DUMP).write_bytes(b"an older dump")
                    result = self.crash(kind, thread)
                    self.assertSingleDialog(result, CRASH, caption=CRASH_CAPTION, style=MB_ICONERROR)
                    dump = (self.work / DUMP).read_bytes()
                    crashed = self.crashing_thread(result)
                    if self.platform.windows:
                        # The system's handling ends the process with the exception's code.
                        self.assertEqual(result.exit_code & 0xFFFFFFFF, windows_code[kind])
                        self.assertEqual(minidump_exception(dump), (crashed, windows_code[kind]))
                    else:
                        self.assertEqual(result.exit_code, -native_signal[kind])
                        self.assertNativeReport(dump.decode(), kind, thread, crashed,
                                                native_signal[kind])

    def assertNativeReport(self, report, kind, thread, crashed, number):
        lines = report.splitlines()
        self.assertEqual(lines[0], "Crash report")
        self.assertTrue(lines[1].startswith("signal: %d (%s), code " % (number, number.name)), lines)
        self.assertIn("thread: %d%s" % (crashed, " (main)" if thread == "main" else ""), lines)
        if kind == "fault":
            self.assertIn("address: 0x10", lines)
        else:
            self.assertIn("reason: uncaught exception std::runtime_error: probe failure", lines)
        frames = lines[lines.index("backtrace:") + 1:]
        self.assertGreater(len(frames), 3)
        self.assertTrue(any("crash_probe" in frame for frame in frames), frames)

    def test_message_is_shown_even_when_no_dump_can_be_written(self):
        (self.scratch / "work" / DUMP).mkdir(parents=True)  # a folder takes the file's name
        result = self.crash("fault", "main")
        self.assertSingleDialog(result, CRASH, caption=CRASH_CAPTION, style=MB_ICONERROR)
        self.assertTrue((self.work / DUMP).is_dir())
        if self.platform.windows:
            self.assertEqual(result.exit_code & 0xFFFFFFFF, EXCEPTION_ACCESS_VIOLATION)
        else:
            self.assertEqual(result.exit_code, -signal.SIGSEGV)

    def test_message_is_shown_even_without_dbghelp(self):
        if not self.platform.windows:
            self.skipTest("dbghelp.dll exists on Windows only")
        result = self.crash("throw", "main", host_env={"WINEDLLOVERRIDES": "dbghelp=d"})
        self.assertSingleDialog(result, CRASH, caption=CRASH_CAPTION, style=MB_ICONERROR)
        self.assertFalse((self.work / DUMP).exists())
        self.assertEqual(result.exit_code & 0xFFFFFFFF, UNCAUGHT_CPP_EXCEPTION)


class PlantedLibraries(harness.Scenario):
    """A library planted beside a downloaded launcher (in the Downloads folder,
    say) is never loaded: not by a start, not by a crash. Wine prefers its own
    libraries, so the scenario asks it to prefer the planted ones, as Windows
    would when it searches the program's folder."""

    PLANTED = ("dbghelp.dll", "version.dll", "shlwapi.dll")
    PREFER_PLANTED = {"WINEDLLOVERRIDES": "dbghelp,version,shlwapi=n,b"}

    def setUp(self):
        super().setUp()
        if not self.platform.windows:
            self.skipTest("libraries beside a program are a Windows concern")
        self.downloads = self.scratch / "Downloads"
        self.downloads.mkdir()
        for program in ("demo-launcher", "crash_probe", "library_loader"):
            shutil.copy(self.platform.program(program), self.downloads)
        for name in self.PLANTED:
            shutil.copy(self.platform.build_dir / "test-bin" / "planted_library.dll",
                        self.downloads / name)

    def loaded(self):
        return sorted(p.name for p in self.downloads.glob("*.loaded"))

    def test_neither_a_start_nor_a_crash_loads_them(self):
        # A careless program does load them: the planting works.
        result = self.platform.run(self.downloads / "library_loader.exe", ["version.dll"],
                                   host_env=self.PREFER_PLANTED, trace_dialogs=False)
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(self.loaded(), ["version.dll.loaded"])
        (self.downloads / "version.dll.loaded").unlink()

        env, _ = self.platform.isolated_env(self.scratch)
        result = self.platform.run(self.downloads / "Aerolith.Launcher.exe", env=env,
                                   host_env=self.PREFER_PLANTED, trace_dialogs=False)
        self.assertEqual(result.exit_code, 0)
        result = self.platform.run(self.downloads / "crash_probe.exe", ["throw", "main"],
                                   cwd=self.downloads, host_env=self.PREFER_PLANTED)
        self.assertSingleDialog(result, CRASH, caption=CRASH_CAPTION, style=MB_ICONERROR)
        self.assertTrue((self.downloads / DUMP).read_bytes().startswith(b"MDMP"))
        self.assertEqual(self.loaded(), [])


if __name__ == "__main__":
    harness.main()
