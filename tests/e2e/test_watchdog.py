"""The watchdog beside a main thread that does not finish: the "Timed out"
dialog just after ten seconds, none while a fatal dialog is on screen, and no
effect of the system time being changed meanwhile; a launcher slowed hard that
installs one large entry in silence but never stuck."""

import random
import threading
import time
import unittest
from pathlib import Path

import harness
from harness import DIRECTORY, EXIT_FATAL, EXIT_STARTED, TIMEOUT, fatal_record, read_trace, record_time

# One entry that takes the launcher, slowed as below, well past the watchdog's
# limit to decode and check, yet packs to little. Decoded straight into its
# file, 96 MiB took 8.5 s natively on an idle machine, short of the limit.
LARGE_ENTRY = 256 << 20

FAKETIME = Path("/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1")


class WatchdogScenario(harness.Scenario):
    def start_probe(self, *args, host_env=None):
        self.trace = self.scratch / "trace.log"
        self.trace.unlink(missing_ok=True)
        env = {"AEROLITH_LAUNCHER_TRACE": self.platform.host_path(self.trace)}
        return self.platform.start(self.platform.program("watchdog_probe"), args, env=env,
                                   host_env=host_env, trace_dialogs=True)

    def probe(self, *args, host_env=None):
        started = time.monotonic()
        result = self.start_probe(*args, host_env=host_env).wait(timeout=40)
        return result, time.monotonic() - started


class Watchdog(WatchdogScenario):
    def test_run_still_working_after_ten_seconds_times_out(self):
        result, _ = self.probe("busy")
        self.assertExitCode(result, EXIT_FATAL)
        self.assertSingleDialog(result, TIMEOUT)
        records = read_trace(self.trace)
        working = [r for r in records if r.message == "working"]
        timeouts = [r for r in records if r.message == "timeout"]
        self.assertEqual(len(timeouts), 1)
        self.assertEqual({r.thread for r in working}, {1})
        self.assertNotEqual(timeouts[0].thread, 1)  # raised on the watchdog's own thread
        # The first record is written right after the watchdog starts; the margins
        # leave room for a loaded machine (the exact limit is a unit test's).
        limit = (record_time(timeouts[0]) - record_time(working[0])).total_seconds()
        self.assertGreaterEqual(limit, 9.9)
        self.assertLess(limit, 11)

    def test_fatal_dialog_on_screen_keeps_the_timeout_away(self):
        result, elapsed = self.probe("dialog", "11")
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual(result.dialogs, [])
        messages = [r.message for r in read_trace(self.trace)]
        self.assertNotIn("timeout", messages)
        self.assertEqual(messages[-1], "done")
        self.assertGreaterEqual(elapsed, 11)


class WatchdogBesideAClockChange(WatchdogScenario):
    @unittest.skipUnless(FAKETIME.exists(), "needs libfaketime (scripts/bootstrap installs it)")
    def test_system_time_change_neither_ends_the_run_early_nor_delays_the_timeout(self):
        for jump in ("+1d", "-1d"):
            with self.subTest(jump=jump):
                # libfaketime reads the offset from the file on every call; the
                # monotonic clock runs on untouched.
                offset = self.scratch / "offset"
                offset.write_text("+0")
                changer = threading.Timer(2, offset.write_text, [jump])
                changer.start()
                try:
                    result, elapsed = self.probe("busy", host_env={
                        "LD_PRELOAD": str(FAKETIME),
                        "FAKETIME_TIMESTAMP_FILE": str(offset),
                        "FAKETIME_NO_CACHE": "1",
                        "DONT_FAKE_MONOTONIC": "1",
                        "ASAN_OPTIONS": "verify_asan_link_order=0",
                    })
                finally:
                    changer.cancel()
                self.assertExitCode(result, EXIT_FATAL)
                self.assertSingleDialog(result, TIMEOUT)
                self.assertGreaterEqual(elapsed, 10)
                self.assertLess(elapsed, 13)
                days = {record_time(r).date() for r in read_trace(self.trace)}
                self.assertEqual(len(days), 2, "the system time did not change")


class WatchdogBesideOpenBoxes(WatchdogScenario):
    """With boxes that stay open until they are closed, as a user sees them."""

    def test_fatal_dialog_on_screen_at_the_limit_gets_no_second_box_and_ends_when_closed(self):
        with harness.Desktop(self.platform, self.scratch / "desktop") as desktop:
            probe = self.start_probe("fatal")
            box = desktop.wait_for_boxes(1)[0]
            time.sleep(11)  # past the limit
            self.assertEqual(desktop.boxes(), [box])
            self.assertIsNone(probe.process.poll(), "ended before its box was closed")
            desktop.close(box)
            result = probe.wait()
        self.assertExitCode(result, EXIT_FATAL)
        self.assertSingleDialog(result, DIRECTORY)
        self.assertNotIn("timeout", [r.message for r in read_trace(self.trace)])

    def test_run_that_ends_while_the_timeout_box_is_open_exits_with_zero(self):
        with harness.Desktop(self.platform, self.scratch / "desktop") as desktop:
            result, elapsed = self.probe("finish", "13")
            self.assertTrue(desktop.wait_for_no_boxes(), "a box outlived its process")
        self.assertExitCode(result, EXIT_STARTED)
        self.assertSingleDialog(result, TIMEOUT)
        messages = [r.message for r in read_trace(self.trace)]
        self.assertEqual([m for m in messages if m != "working"],
                         ["timeout", fatal_record(TIMEOUT), "final"])
        self.assertGreaterEqual(elapsed, 13)


class LargeEntry(harness.Scenario):
    """A first install by a launcher that runs 10 ms of every 500 ms: decoding
    one large entry is work that the watchdog sees."""

    def test_one_large_entry_installs_while_the_launcher_barely_runs(self):
        app = self.scratch / "app"
        (app / "Data").mkdir(parents=True)
        (app / "Aerolith.exe").write_bytes(harness.application_image(self.platform))
        content = random.Random(3).randbytes(4096) * (LARGE_ENTRY // 4096)
        (app / "Data" / "large.bin").write_bytes(content)
        host = self.platform.host_path
        packed = self.platform.run(self.platform.program("aerolith-pack"),
                                   ["pack", host(app), host(self.scratch / "bundle"), "--level", "1"],
                                   trace_dialogs=False)
        self.assertExitCode(packed, 0)
        launcher = harness.embed_bundle(self.platform,
                                        (self.scratch / "bundle" / "manifest.bin").read_bytes(),
                                        (self.scratch / "bundle" / "payload.bin").read_bytes(),
                                        self.scratch / "launcher")
        env, local = self.platform.isolated_env(self.scratch)
        trace = self.scratch / "trace.log"
        env["AEROLITH_LAUNCHER_TRACE"] = host(trace)
        running = self.platform.start(launcher, env=env)
        with harness.Throttled(self.platform, launcher) as throttled:
            result = running.wait(timeout=600)
        self.assertNotIn("timeout", [r.message for r in read_trace(trace)])
        self.assertExitCode(result, EXIT_STARTED)
        self.assertGreater(throttled.periods * throttled.period, 10, "not slowed past the limit")
        self.assertEqual((local / "Aerolith" / "Data" / "large.bin").read_bytes(), content)


if __name__ == "__main__":
    harness.main()
