"""The instance guards: one launcher at a time, and the hand-off to an
application that already runs, against the session's real named objects (held
by the demo application or by a helper that holds them with any contents)."""

import contextlib
import json
import time

import harness
from harness import (EXIT_APPLICATION_RUNNING, EXIT_LAUNCHER_RUNNING, EXIT_STARTED, read_trace,
                     wait_for)

SIGN_EXTENDED = 0xFFFFFFFF80001234


class GuardScenario(harness.Scenario):
    def setUp(self):
        super().setUp()
        self.trace = self.scratch / "trace.log"
        # Every place a later phase would write to, so that a test sees it untouched.
        self.work = self.scratch / "work"
        self.work.mkdir()
        self.env, self.local = self.platform.isolated_env(self.scratch)

    def launch(self):
        return self.platform.run(self.platform.program("demo-launcher"), cwd=self.work, env=dict(
            self.env, AEROLITH_LAUNCHER_TRACE=self.platform.host_path(self.trace)))

    def assertTouchedNothing(self):
        self.assertEqual(list(self.work.iterdir()) + list(self.local.iterdir()), [])

    @contextlib.contextmanager
    def holding(self, *objects):
        """Runs guard_holder with the given objects for the length of the block."""
        ready, stop = self.scratch / "holder.ready", self.scratch / "holder.stop"
        for marker in (ready, stop):
            marker.unlink(missing_ok=True)
        holder = self.platform.start(self.platform.program("guard_holder"),
                                     [self.platform.host_path(ready), self.platform.host_path(stop)] +
                                     list(objects))
        try:
            wait_for(lambda: ready.exists() or holder.process.poll() is not None, "guard_holder")
            self.assertTrue(ready.exists(), "guard_holder could not hold %s" % (objects,))
            yield
        finally:
            stop.touch()
            result = holder.wait()
        self.assertExitCode(result, 0)

    @contextlib.contextmanager
    def demo_application(self):
        """Runs the demo application for the length of the block; yields its record."""
        record = self.scratch / "demo.jsonl"
        demo = self.platform.start(self.platform.program("demo-app"), env={
            "AEROLITH_DEMO_RECORD": self.platform.host_path(record),
            "AEROLITH_DEMO_LIFETIME": "120"})
        events = lambda: [json.loads(line) for line in record.read_text("utf-8").splitlines()] \
            if record.exists() else []
        try:
            wait_for(lambda: any(e["event"] in ("published", "failed", "already-running")
                                 for e in events()) or demo.process.poll() is not None,
                     "the demo application")
            published = [e for e in events() if e["event"] == "published"]
            self.assertEqual(len(published), 1, events())
            yield events, published[0]
        finally:
            started = [e for e in events() if e["event"] == "started"]
            if started and demo.process.poll() is None:
                self.platform.end_process(started[0]["processId"])
            demo.wait()

    def hand_offs(self, events):
        return [e for e in events() if e["event"] == "hand-off"]


class LauncherGuard(GuardScenario):
    def test_second_launcher_exits_at_once_touching_nothing(self):
        with self.holding("launcher"):
            started = time.monotonic()
            result = self.launch()
            elapsed = time.monotonic() - started
        self.assertExitCode(result, EXIT_LAUNCHER_RUNNING)
        self.assertEqual(result.dialogs, [])
        self.assertEqual([r.message for r in read_trace(self.trace)], ["launcher already exists"])
        self.assertTouchedNothing()
        self.assertLess(elapsed, 8)  # no watchdog, nothing waited for

    def test_of_ten_started_at_the_same_moment_exactly_one_gets_the_launcher_mutex(self):
        # The launcher's own race (ten launchers at once) needs a run long enough
        # to overlap; this races the same creation of the launcher mutex.
        stop = self.scratch / "stop"
        ready = [self.scratch / ("ready%d" % i) for i in range(10)]
        holders = [self.platform.start(self.platform.program("guard_holder"),
                                       [self.platform.host_path(r), self.platform.host_path(stop),
                                        "launcher"]) for r in ready]
        try:
            wait_for(lambda: all(r.exists() or h.process.poll() is not None
                                 for r, h in zip(ready, holders)), "ten guard_holders", timeout=60)
            self.assertEqual(sum(r.exists() for r in ready), 1)
        finally:
            stop.touch()
            results = [h.wait() for h in holders]
        self.assertEqual(sorted(r.exit_code & 0xFF for r in results), [0] + [3] * 9)

    def test_launcher_proceeds_once_the_first_has_ended(self):
        with self.holding("launcher"):
            pass
        self.assertExitCode(self.launch(), EXIT_STARTED)
        messages = [r.message for r in read_trace(self.trace)]
        self.assertNotIn("launcher already exists", messages)
        self.assertEqual(messages[-1], "final")

    def test_launcher_test_comes_first_when_the_application_runs_too(self):
        with self.demo_application() as (events, _):
            with self.holding("launcher"):
                result = self.launch()
            time.sleep(0.5)
            self.assertEqual(self.hand_offs(events), [])
        self.assertExitCode(result, EXIT_LAUNCHER_RUNNING)
        self.assertEqual(result.posted, [])
        self.assertEqual([r.message for r in read_trace(self.trace)], ["launcher already exists"])


class HandOff(GuardScenario):
    def test_the_running_application_gets_exactly_one_message(self):
        with self.demo_application() as (events, published):
            result = self.launch()
            wait_for(lambda: self.hand_offs(events), "the hand-off", timeout=10)
            time.sleep(0.5)  # a second message would arrive by now
            hand_offs = self.hand_offs(events)
        self.assertExitCode(result, EXIT_APPLICATION_RUNNING)
        self.assertEqual(result.dialogs, [])
        self.assertEqual([r.message for r in read_trace(self.trace)], ["gui already exists"])
        self.assertTouchedNothing()
        self.assertEqual(len(hand_offs), 1, hand_offs)
        self.assertEqual(hand_offs[0]["message"], published["message"])
        if self.platform.windows:
            self.assertEqual((hand_offs[0]["wParam"], hand_offs[0]["lParam"]), (0, 0))
            self.assertEqual(result.posted, [harness.PostedMessage(
                published["window"], published["message"], 0, 0)])
        else:
            self.assertGreater(hand_offs[0]["sender"], 0)

    def test_nothing_is_posted_without_a_usable_record(self):
        cases = [("no record", ()),
                 ("zero window", ("record", "0", "0xC123")),
                 ("zero message", ("record", "0x1234", "0"))]
        for name, record in cases:
            with self.subTest(name):
                self.trace.unlink(missing_ok=True)
                with self.holding("application", *record):
                    result = self.launch()
                self.assertExitCode(result, EXIT_APPLICATION_RUNNING)
                self.assertEqual(result.posted, [])
                self.assertEqual([r.message for r in read_trace(self.trace)], ["gui already exists"])
                self.assertTouchedNothing()

    def test_window_handle_with_bit_31_set_is_sign_extended(self):
        with self.holding("application", "record", "0x80001234", "0xC123"):
            result = self.launch()
        self.assertExitCode(result, EXIT_APPLICATION_RUNNING)
        self.assertEqual([r.message for r in read_trace(self.trace)], ["gui already exists"])
        if self.platform.windows:
            self.assertEqual(result.posted, [harness.PostedMessage(SIGN_EXTENDED, 0xC123, 0, 0)])


if __name__ == "__main__":
    harness.main()
