"""The launcher's frame: a normal run, the trace log, and every fatal dialog with
its exit code, as a real process shows them."""

import harness
from harness import (CORRUPT, DIRECTORY, EXIT_FATAL, EXIT_STARTED, START_FAILED, TIMEOUT,
                     WRITE_FAILED, candidate_trace, launch_trace, launcher_folder_trace, read_trace,
                     without_sync_pass)


class NormalRun(harness.Scenario):
    def setUp(self):
        super().setUp()
        self.launcher = self.platform.program("demo-launcher")
        self.env, local = self.platform.isolated_env(self.scratch)
        self.install = local / "Aerolith"

    def expected_trace(self, installed_before):
        return (launcher_folder_trace(self.platform, self.launcher) +
                candidate_trace(self.platform, self.install, exists=installed_before) +
                launch_trace(self.platform, self.install) + ["final"])

    def test_logs_final_and_exits_with_zero(self):
        log_dir = self.scratch / "J\u00e9r\u00f4me"
        log_dir.mkdir()
        trace = log_dir / "trace.log"
        result = self.platform.run(self.launcher, env=dict(
            self.env, AEROLITH_LAUNCHER_TRACE=self.platform.host_path(trace)))
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual(result.dialogs, [])
        records = read_trace(trace)
        self.assertEqual(without_sync_pass([r.message for r in records]),
                         self.expected_trace(installed_before=False))
        self.assertEqual({(r.level, r.thread) for r in records}, {("|TRACE|", 1)})
        self.assertEqual({r.tag for r in records}, {"Main", "FileEntry"})
        self.assertTrue((self.install / "Aerolith.exe").is_file())

    def test_trace_log_is_appended_to(self):
        trace = self.scratch / "trace.log"
        env = dict(self.env, AEROLITH_LAUNCHER_TRACE=self.platform.host_path(trace))
        for _ in range(2):
            self.assertExitCode(self.platform.run(self.launcher, env=env), EXIT_STARTED)
        messages = [r.message for r in read_trace(trace)]
        second = messages.index("final") + 1
        self.assertEqual(without_sync_pass(messages[:second]), self.expected_trace(installed_before=False))
        self.assertEqual(without_sync_pass(messages[second:]), self.expected_trace(installed_before=True))

    def test_without_the_variable_no_log_is_written(self):
        cwd = self.scratch / "cwd"
        cwd.mkdir()
        result = self.platform.run(self.launcher, cwd=cwd,
                                   env=dict(self.env, AEROLITH_LAUNCHER_TRACE=""))
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual(list(cwd.iterdir()), [])
        self.assertTrue((self.install / "Aerolith.exe").is_file())


class FatalDialogs(harness.Scenario):
    def fatal(self, *args, env=None):
        return self.platform.run(self.platform.program("fatal_probe"), args, env=env)

    def test_every_message_is_shown_exactly_then_the_process_exits_with_minus_100(self):
        cases = [
            (("corrupt", "5", "7", "3"), CORRUPT.format("5.7.3")),
            (("corrupt", "1", "-2147483648", "0"), CORRUPT.format("1.-2147483648.0")),
            (("corrupt-crc", "2", "4294967295", "2147483648"), CORRUPT.format("2.4294967295.2147483648")),
            (("directory",), DIRECTORY),
            (("write", "C:\\Aerolith\\sub dir\\a.dll"), WRITE_FAILED.format("C:\\Aerolith\\sub dir\\a.dll")),
            (("start", "2", "4294967295", "C:\\Aerolith"), START_FAILED.format(2, 4294967295, "C:\\Aerolith")),
            (("timeout",), TIMEOUT),
        ]
        for args, text in cases:
            with self.subTest(args=args):
                result = self.fatal(*args)
                self.assertExitCode(result, EXIT_FATAL)
                self.assertSingleDialog(result, text)

    def test_dialog_on_a_second_thread_ends_the_process_while_the_main_thread_logs(self):
        for attempt in range(3):
            trace = self.scratch / ("race%d.log" % attempt)
            result = self.fatal("race", env={"AEROLITH_LAUNCHER_TRACE": self.platform.host_path(trace)})
            self.assertExitCode(result, EXIT_FATAL)
            self.assertSingleDialog(result, TIMEOUT)
            records = read_trace(trace)  # every line a whole record, none cut
            self.assertGreater(len(records), 0)
            # The main thread's records, and the dialog's own, which comes from the other.
            self.assertEqual({r.thread for r in records if not r.message.startswith("fatal")}, {1})

    def test_log_keeps_every_record_after_characters_outside_any_code_page(self):
        trace = self.scratch / "trace.log"
        result = self.fatal("log", env={"AEROLITH_LAUNCHER_TRACE": self.platform.host_path(trace)})
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual([r.message for r in read_trace(trace)],
                         ["user 'J\u00e9r\u00f4me \u65e5\u672c \U0001F600'", "after"])


if __name__ == "__main__":
    harness.main()
