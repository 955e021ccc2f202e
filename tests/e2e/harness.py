"""Runs the project's real programs for end-to-end scenarios, natively or, for the
Windows build, under Wine, and reads back what a user or caller would see: the
exit code, the message boxes shown and the trace log."""

import argparse
import datetime
import os
import pwd
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from dataclasses import dataclass, field
from pathlib import Path, PureWindowsPath

import bundle_format

# Exit codes of the launcher, as the signed values a Windows caller sees.
EXIT_STARTED = 0
EXIT_FATAL = -100
EXIT_LAUNCHER_RUNNING = -1000
EXIT_APPLICATION_RUNNING = -2000

MB_ICONERROR = 0x10
MB_ICONWARNING = 0x30

# The addresses configured for test builds (the defaults of CMakeLists.txt).
WEBSITE_URL = "https://www.aerolith.example/"
WEBSITE_DOMAIN = "www.aerolith.example"
SUPPORT_EMAIL = "support@aerolith.example"

# The texts of the fatal dialogs and the crash message, exactly as shown.
CORRUPT = ("Could not launch Aerolith Vantor:\r\n - Embedded resources corrupt.\r\nError code: {}\r\n"
           "\r\nTry re-download from our official website:\r\n" + WEBSITE_URL)
DIRECTORY = ("Could not launch Aerolith Vantor:\r\n - Program working directory inaccessible.\r\n\r\n"
             "Try restart Aerolith Vantor with administrator privileges or check your antivirus "
             "software settings.")
WRITE_FAILED = ("Could not launch Aerolith Vantor:\r\n - Write file failed.\r\nFile:\r\n'{}'\r\n\r\nTry "
                "restart Aerolith Vantor with administrator privileges or check your antivirus software "
                "settings.")
START_FAILED = ("Could not launch Aerolith Vantor:\r\n - Failed to start process, error code {}.{}\r\n"
                "\r\nYou can start 'Aerolith.exe' manually in the following folder:\r\n{}\r\nOr, try "
                "downlaoding the 'alternative zip package' from " + WEBSITE_DOMAIN)
TIMEOUT = ("Could not launch Aerolith Vantor:\r\n - Timed out\r\n\r\nTry restart Aerolith Vantor or "
           "try downlaoding the 'alternative zip package' from " + WEBSITE_DOMAIN)
CRASH = ("Aerolith Vantor launcher encountered an uncorrectable error.\r\n\r\nWe generated a crash "
         "dump file,\r\nnamed \"Aerolith.Launcher.dmp\" in the current folder.\r\n\r\nHope you can "
         "send this file to us. thank you.\r\n\r\nEmail: " + SUPPORT_EMAIL + "\r\n\r\n")
CRASH_CAPTION = "Aerolith Vantor launcher crashed"


def fatal_record(text):
    """The trace line a fatal dialog leaves just before its box: its text, with
    the line breaks shown as " | "."""
    return "fatal dialog: " + text.replace("\r\n", " | ")

RECORD = re.compile(
    r"\[(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{7})\] (\|[ A-Z]{5}\|) \((\d{2,})\) +(\S+) <(\d{4,})>: (.*)")


@dataclass
class Dialog:
    caption: str
    text: str
    style: int
    truncated: bool = False  # Wine's relay trace cuts texts after 300 units

    def matches(self, text):
        return text.startswith(self.text) if self.truncated else self.text == text


@dataclass
class Record:
    time: str
    level: str
    thread: int
    tag: str
    line: int
    message: str


@dataclass
class PostedMessage:
    window: int  # the full 64-bit handle as passed, unsigned
    message: int
    wparam: int
    lparam: int


@dataclass
class Result:
    exit_code: int  # signed, unless only the low byte is known (natively, Wine direct)
    stdout: str
    stderr: str
    dialogs: list = field(default_factory=list)
    posted: list = field(default_factory=list)  # PostMessageW calls, seen under Wine only
    low_byte_only: bool = False
    calls: list = field(default_factory=list)  # (thread, function, arguments) traced under Wine


def _decode_wine_string(escaped):
    units = []
    i = 0
    simple = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"'}
    while i < len(escaped):
        c = escaped[i]
        if c == "\\" and i + 1 < len(escaped):
            nxt = escaped[i + 1]
            if nxt in simple:
                units.append(ord(simple[nxt]))
                i += 2
                continue
            units.append(int(escaped[i + 1:i + 5], 16))
            i += 5
            continue
        units.append(ord(c))
        i += 1
    return b"".join(u.to_bytes(2, "little") for u in units).decode("utf-16-le", "replace")


_WINE_STRING = r'L"((?:[^"\\]|\\.)*)"(\.\.\.)?'
_WINE_MESSAGE_BOX = re.compile(
    r"Call user32\.MessageBoxW\([0-9a-f]+,[0-9a-f]+ " + _WINE_STRING + r",[0-9a-f]+ " +
    _WINE_STRING + r",([0-9a-f]+)\)")
_WINE_POST_MESSAGE = re.compile(
    r"Call user32\.PostMessageW\(([0-9a-f]+),([0-9a-f]+),([0-9a-f]+),([0-9a-f]+)\)")
_WINE_CALL = re.compile(r"^([0-9a-f]+):Call (\w+\.\w+)\(([^)]*)\)", re.MULTILINE)
_NATIVE_DIALOG = re.compile(r"\[([^\]\n]*)\] (warning|error)\n((?:[^\n]|(?<=\r)\n)*)\n")
# The first line the exit-code reporter prints (tests/support/exit_code_reporter_win.cpp).
_REPORTER_STARTING = re.compile(r"exit code reporter: starting\r?\n")


class WineNeverStarted(AssertionError):
    """Wine ended before the exit-code reporter started the program, or could not
    create its process: either way the program never ran."""


class Platform:
    """One target platform's programs and how to run them."""

    # Natively, the folder that stands for the logon session's named objects
    # (XDG_RUNTIME_DIR); each scenario gets its own, so that scenarios running at
    # the same time never meet. Under Wine the prefix is the session.
    session_dir = None
    # The Desktop that programs show their boxes on; none means boxes close at once.
    desktop = None

    def __init__(self, name, build_dir):
        self.name = name
        self.build_dir = Path(build_dir).resolve()
        self.windows = name == "windows"
        self.exe = ".exe" if self.windows else ""

    def program(self, name):
        """A program of the build by its base name: 'launcher' (no bundle),
        'demo-launcher' (carrying the demo bundle), 'demo-app', or a test helper."""
        launcher = "Aerolith.Launcher.exe" if self.windows else "aerolith-launcher"
        if name == "launcher":
            return self.build_dir / "bin" / launcher
        if name == "demo-launcher":
            return self.build_dir / "demo" / launcher
        if name == "demo-app":
            return self.build_dir / "demo-app" / ("Aerolith" + self.exe)
        for folder in ("bin", "test-bin"):
            candidate = self.build_dir / folder / (name + self.exe)
            if candidate.exists():
                return candidate
        raise FileNotFoundError(name)

    def host_path(self, path):
        """A path as the program under test sees it; a Windows path stays as it is.
        The test prefix maps drive A: to /tmp, so that scratch folders sort before
        the prefix's own C: drive wherever folders are ordered; everything else is
        on Wine's drive Z:."""
        if self.windows and re.match(r"[A-Za-z]:\\", str(path)):
            return str(path)  # a Windows path already
        path = str(Path(path).resolve())
        if not self.windows:
            return path
        if path.startswith("/tmp/"):
            return "A:" + path[len("/tmp"):].replace("/", "\\")
        return "Z:" + path.replace("/", "\\")

    def unix_path(self, path):
        """The file behind a path as the program under test sees it (host_path)."""
        path = str(path)
        if self.windows and re.match(r"[AZaz]:\\", path):
            return Path(("/tmp" if path[0] in "Aa" else "") + path[2:].replace("\\", "/"))
        return Path(path)

    def program_runs(self, path):
        """Whether a process runs the program file at `path`, which cannot be
        written while it does."""
        return bool(self.processes_running(path))

    def processes_running(self, path):
        """The Unix ids of the processes that run the program file at `path`.
        Under Wine a process's command line starts with the Windows path it was
        started by."""
        if self.windows:
            wanted = self.host_path(path).lower()
        else:
            wanted = str(Path(path).resolve())
        found = []
        for process in Path("/proc").iterdir():
            if not process.name.isdigit():
                continue
            try:
                if self.windows:
                    command = (process / "cmdline").read_bytes().decode(errors="replace")
                    if wanted in command.replace('"', "").lower():
                        found.append(int(process.name))
                elif os.readlink(process / "exe") == wanted:
                    found.append(int(process.name))
            except OSError:
                continue  # ended meanwhile, or not ours to read
        return found


    def wait_until_ended(self, path):
        """Waits until no process runs the program file at `path`: a started
        application ends at once, but a loaded machine may still be running it."""
        wait_for(lambda: not self.program_runs(path), "%s to end" % Path(path).name)
    def wine_prefix(self):
        return Path(os.environ.get("AEROLITH_WINEPREFIX", str(self.build_dir / "wineprefix")))

    def prefix_local_app_data(self):
        """Under Wine, the prefix's own local application-data folder, which the
        shell reports whatever LOCALAPPDATA says."""
        user = pwd.getpwuid(os.getuid()).pw_name
        return self.wine_prefix() / "drive_c" / "users" / user / "AppData" / "Local"

    def isolated_env(self, scratch):
        """Environment changes that keep a run away from the user's own folders, and
        the local application-data folder they name (created, empty). Natively every
        source (LOCALAPPDATA, XDG_DATA_HOME, HOME) names the same folder in
        `scratch`; under Wine LOCALAPPDATA does, and since scratch folders are on
        drive A: it sorts before the prefix's own folder on C: and is tried first."""
        scratch = Path(scratch)
        if self.windows:
            local = scratch / "LocalAppData"
            env = {"LOCALAPPDATA": self.host_path(local)}
        else:
            home = scratch / "home"
            local = home / ".local" / "share"
            env = {"LOCALAPPDATA": str(local), "XDG_DATA_HOME": str(local), "HOME": str(home)}
        local.mkdir(parents=True, exist_ok=True)
        return env, local

    @staticmethod
    def same_exit_code(result, expected):
        mask = 0xFF if result.low_byte_only else 0xFFFFFFFF
        return (result.exit_code & mask) == (expected & mask)

    def run(self, program, args=(), env=None, cwd=None, timeout=60, trace_dialogs=True,
            host_env=None, direct=False, allow_user_folders=False):
        """Runs a program to its end. `env` adds variables (a value of None removes
        one); under Wine they are set in the program's own environment block.
        `host_env` adds variables to the Unix processes that run it, which is
        where libraries preloaded under Wine look. `direct` starts a Windows
        program by its Unix path, without the exit-code reporter (which cannot
        start a program whose name has 260 characters or more): then only the exit
        code's low byte is known, `env` goes into the Unix environment and Wine
        sets LOCALAPPDATA from the prefix. A launcher runs only with LOCALAPPDATA
        given (see isolated_env), unless the scenario means to use the user's own
        folders (`allow_user_folders`)."""
        for attempt in range(3):
            running = self.start(program, args, env, cwd, trace_dialogs, host_env, direct,
                                 allow_user_folders)
            try:
                return running.wait(timeout)
            except WineNeverStarted:
                # Wine itself failed (seldom, on a loaded machine): the program never
                # ran, so a second try cannot repeat any of its effects.
                if attempt == 2:
                    raise

    def start(self, program, args=(), env=None, cwd=None, trace_dialogs=False, host_env=None,
              direct=False, allow_user_folders=False, virtual_desktop=None):
        """Starts a program beside the scenario; wait() on the result ends it.
        A demo application, started by a launcher or not, records to
        demo_record() and ends at once without holding the application mutex,
        unless `env` sets AEROLITH_DEMO_RECORD or AEROLITH_DEMO_LIFETIME. Under
        Wine, `virtual_desktop` ("NAME,WIDTHxHEIGHT") runs it in a desktop
        window where Wine draws every window's frame itself."""
        env = dict(env or {})
        if (PureWindowsPath(str(program)).name in ("Aerolith.Launcher.exe", "aerolith-launcher") and
                "LOCALAPPDATA" not in env and not allow_user_folders):
            raise AssertionError("a launcher run must not reach the user's own folders: "
                                 "pass platform.isolated_env(...)")
        env.setdefault("AEROLITH_DEMO_LIFETIME", "0")
        if self.session_dir is not None:
            env.setdefault("AEROLITH_DEMO_RECORD", self.host_path(self.demo_record()))
        command, full_env = self._command(program, args, env, trace_dialogs, direct)
        if virtual_desktop and self.windows:
            command[1:1] = ["explorer", "/desktop=" + virtual_desktop]
        full_env.update(host_env or {})
        # Files, not pipes: a program that the one started starts in turn (the
        # application, under Wine) may keep its streams open long after it.
        stdout, stderr = tempfile.TemporaryFile(), tempfile.TemporaryFile()
        process = subprocess.Popen(command, env=full_env, cwd=cwd, stdout=stdout, stderr=stderr)
        trace = env.get("AEROLITH_LAUNCHER_TRACE")
        return Running(self, process, program, stdout, stderr,
                       low_byte_only=not self.windows or direct,
                       trace=self.unix_path(trace) if trace else None)

    def slow_file_system(self, folder, delay_ms=0, stall=None, full_after=None):
        """`host_env` for a run on a file system that is slow below `folder`:
        every read and write of a file there first waits `delay_ms`, a read
        of a file named `stall` never returns, and once `full_after` bytes were
        written the disk is full (tests/support/slow_file_system.c,
        preloaded into the programs run, into Wine itself for a Windows one)."""
        env = {"LD_PRELOAD": str(self.build_dir / "test-bin" / "libslow_file_system.so"),
               "AEROLITH_SLOW_FS_UNDER": str(Path(folder).resolve()),
               "AEROLITH_SLOW_FS_DELAY_MS": str(delay_ms),
               # The sanitizers' runtime then does not come first; it need not.
               "ASAN_OPTIONS": "verify_asan_link_order=0"}
        if stall:
            env["AEROLITH_SLOW_FS_STALL"] = stall
        if full_after is not None:
            env["AEROLITH_SLOW_FS_FULL_AFTER"] = str(full_after)
        return env

    def demo_record(self):
        """The record file of the demo applications that launchers start in this
        scenario (a list of JSON objects, one a line)."""
        return self.session_dir / "demo.jsonl"

    def end_process(self, pid):
        """Ends a process of the platform by its id, as a user's task manager would."""
        if self.windows:
            subprocess.run(["wine", "taskkill", "/f", "/pid", str(pid)], env=self._wine_env(False),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        else:
            os.kill(pid, signal.SIGTERM)

    def _host_env(self):
        full_env = dict(os.environ)
        for key in ("DISPLAY", "WAYLAND_DISPLAY"):
            full_env.pop(key, None)
        if self.desktop is not None:
            full_env.update(self.desktop.env)
        return full_env

    def _wine_env(self, trace_dialogs):
        full_env = self._host_env()
        full_env.setdefault("WINEPREFIX", str(self.wine_prefix()))
        full_env["WINEDEBUG"] = "+relay" if trace_dialogs else "-all"
        return full_env

    def _command(self, program, args, env, trace_dialogs, direct):
        program = Path(program)
        if self.windows and not direct:
            full_env = self._wine_env(trace_dialogs)
            changes = []
            for name, value in env.items():
                changes += ["--unset", name] if value is None else ["--env", "%s=%s" % (name, value)]
            # Wine quotes each argument as it builds the Windows command line.
            command = ["wine", str(self.program("exit_code_reporter"))] + changes + [
                self.host_path(program)] + list(args)
            return command, full_env
        full_env = self._wine_env(trace_dialogs) if self.windows else self._host_env()
        if self.session_dir is not None and not self.windows:
            full_env["XDG_RUNTIME_DIR"] = str(self.session_dir)
        for name, value in env.items():
            if value is None:
                full_env.pop(name, None)
            else:
                full_env[name] = value
        return (["wine"] if self.windows else []) + [str(program)] + list(args), full_env

    def _result(self, returncode, stdout, stderr, low_byte_only):
        stdout = stdout.decode("utf-8", "replace")
        stderr = stderr.decode("utf-8", "replace")
        if not self.windows:
            dialogs = [Dialog(m.group(1), m.group(3),
                              MB_ICONWARNING if m.group(2) == "warning" else MB_ICONERROR)
                       for m in _NATIVE_DIALOG.finditer(stderr)]
            return Result(returncode, stdout, stderr, dialogs, low_byte_only=True)
        if low_byte_only:
            exit_code = returncode
        else:
            starting = _REPORTER_STARTING.match(stdout)
            if not starting:
                raise WineNeverStarted("Wine ended with %d before starting the program:\n%s%s"
                                       % (returncode, stdout, stderr[-4000:]))
            stdout = stdout[starting.end():]
            # CreateProcessW's ERROR_INTERNAL_ERROR: Wine failed to make the
            # process (seldom, on a loaded machine), so the program never ran.
            if stdout.startswith("cannot start: error 1359"):
                raise WineNeverStarted("Wine could not create the process:\n%s%s"
                                       % (stdout, stderr[-4000:]))
            match = re.search(r"exit code: 0x([0-9A-F]{8})", stdout)
            if not match:
                raise AssertionError("no exit code reported (Wine ended with %d):\n%s%s"
                                     % (returncode, stdout, stderr[-4000:]))
            code = int(match.group(1), 16)
            exit_code = code - (1 << 32) if code & 0x80000000 else code
        dialogs = [Dialog(_decode_wine_string(m.group(3)), _decode_wine_string(m.group(1)),
                          int(m.group(5), 16), truncated=bool(m.group(2)))
                   for m in _WINE_MESSAGE_BOX.finditer(stderr)]
        posted = [PostedMessage(*(int(m.group(i), 16) for i in range(1, 5)))
                  for m in _WINE_POST_MESSAGE.finditer(stderr)]
        calls = [(m.group(1), m.group(2), m.group(3)) for m in _WINE_CALL.finditer(stderr)]
        return Result(exit_code, stdout, stderr, dialogs, posted, low_byte_only, calls)


class Running:
    """A program started by Platform.start."""

    def __init__(self, platform, process, program, stdout, stderr, low_byte_only, trace=None):
        self.platform = platform
        self.process = process
        self.program = program
        self.trace = trace  # the program's trace log, if it keeps one
        self.streams = (stdout, stderr)
        self.low_byte_only = low_byte_only

    def wait(self, timeout=60):
        try:
            self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            stdout, stderr = (self._read(stream) for stream in self.streams)
            raise AssertionError("%s still ran after %d s\n%s%s"
                                 % (self.process.args, timeout, self._stuck(stdout, stderr),
                                    self._trace_tail()))
        stdout, stderr = (self._read(stream) for stream in self.streams)
        return self.platform._result(self.process.returncode, stdout, stderr, self.low_byte_only)

    def _trace_tail(self):
        """The last records of the program's trace: how far it got."""
        if self.trace is None or not self.trace.exists():
            return ""
        lines = self.trace.read_text("utf-8", "replace").splitlines()
        return "\nlast records of %s:\n%s" % (self.trace, "\n".join(lines[-30:]))

    def _stuck(self, stdout, stderr):
        """What a run that never ended left to see: under Wine the program itself
        outlives the Unix process killed, so it is ended too (a launcher left
        running would turn every later start away); and where Wine traced its
        calls, the last call of each thread tells where each one stopped."""
        if not self.platform.windows:
            return stderr.decode("utf-8", "replace")[-4000:]
        name = PureWindowsPath(str(self.program)).name
        subprocess.run(["wine", "taskkill", "/f", "/im", name], env=self.platform._wine_env(False),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        last = {}
        for line in stderr.decode("utf-8", "replace").splitlines():
            thread, colon, _ = line.partition(":")
            if colon and len(thread) == 4:
                last[thread] = line
        return "stdout: %s\nlast call of each thread:\n%s" % (
            stdout.decode("utf-8", "replace"), "\n".join(last.values()))

    @staticmethod
    def _read(stream):
        stream.seek(0)
        data = stream.read()
        stream.close()
        return data


class Desktop:
    """A desktop on which message boxes stay open until the scenario closes them,
    for the length of a `with` block. Under Wine: real boxes on a virtual X
    display, in a prefix of their own that is booted onto that display, closed
    by a click and Return. Natively: a stand-in for zenity (tests/e2e/stubs)
    that stays open until it is told to close."""

    BOX_TITLE = "^Aerolith Vantor"

    def __init__(self, platform, folder):
        self.platform = platform
        self.folder = Path(folder)
        self.env = {}

    def __enter__(self):
        if self.platform.windows:
            self._start_wine_desktop()
        else:
            self.folder.mkdir(parents=True, exist_ok=True)
            stubs = Path(__file__).resolve().parent / "stubs"
            self.env = {"DISPLAY": ":aerolith-stub", "AEROLITH_BOXES": str(self.folder),
                        "PATH": "%s:%s" % (stubs, os.environ.get("PATH", ""))}
        self.platform.desktop = self
        return self

    def __exit__(self, *_):
        self.platform.desktop = None
        if self.platform.windows:
            self._wineserver("-k")
            self.xvfb.terminate()
            self.xvfb.wait()
        else:
            for box in self.boxes():
                self.close(box)

    def boxes(self):
        """The boxes open now, oldest first."""
        if not self.platform.windows:
            opened = sorted(self.folder.glob("*.open"), key=lambda p: p.stat().st_mtime_ns)
            return [p.stem for p in opened]
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", self.BOX_TITLE],
                               env=self.x_env(), stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL).stdout.decode()
        return found.split()

    def wait_for_boxes(self, count, timeout=30):
        deadline = time.monotonic() + timeout
        while len(self.boxes()) < count:
            if time.monotonic() > deadline:
                raise AssertionError("%d boxes expected, %d open" % (count, len(self.boxes())))
            time.sleep(0.1)
        return self.boxes()

    def wait_for_no_boxes(self, timeout=10):
        """Whether every box is gone within `timeout` seconds: a box closes with
        its process, the stand-in natively a moment after it."""
        deadline = time.monotonic() + timeout
        while self.boxes():
            if time.monotonic() > deadline:
                return False
            time.sleep(0.05)
        return True

    def close(self, box):
        """Closes a box the way a user does: its OK button (the default one)."""
        if not self.platform.windows:
            (self.folder / (box + ".close")).touch()
            return
        env = self.x_env()
        subprocess.run(["xdotool", "mousemove", "--window", box, "5", "5", "click", "1"], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["xdotool", "key", "Return"], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def x_env(self):
        """The environment for X tools (xdotool, import) on this desktop."""
        return dict(os.environ, DISPLAY=self.env["DISPLAY"])

    def _wineserver(self, *args):
        subprocess.run(["wineserver"] + list(args), env=dict(os.environ, **self.env),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _start_wine_desktop(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                      "1024x768x24", "-nolisten", "tcp"], pass_fds=(write_end,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as display:
            number = display.readline().strip()
        prefix = self.platform.build_dir / "wineprefix-desktop"
        self.env = {"DISPLAY": ":" + number, "WINEPREFIX": str(prefix)}
        # The prefix's desktop takes the display of the server that boots it.
        self._wineserver("-k")
        script = Path(__file__).resolve().parents[2] / "scripts" / "wine-prefix"
        subprocess.run([str(script), "up", str(prefix)], env=dict(os.environ, **self.env),
                       stdout=subprocess.DEVNULL, check=True)


def embed_bundle(platform, manifest, payload, folder, checked=True):
    """A copy of the plain launcher in `folder` that carries the bundle given as
    manifest and payload bytes, embedded by the build's aerolith-pack; with
    `checked` false by resource_stamp, which checks nothing, for the bundles that
    aerolith-pack refuses to embed."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "manifest.bin").write_bytes(manifest)
    (folder / "payload.bin").write_bytes(payload)
    plain = platform.program("launcher")
    launcher = folder / plain.name
    host = platform.host_path
    resources = [host(folder / "manifest.bin"), host(folder / "payload.bin")]
    if checked:
        program, args = "aerolith-pack", ["embed", host(plain)] + resources + ["-o", host(launcher), "--force"]
    else:
        program, args = "resource_stamp", [host(plain), host(launcher), "--manifest", resources[0],
                                           "--payload", resources[1]]
    result = platform.run(platform.program(program), args, trace_dialogs=False)
    if not platform.same_exit_code(result, 0):
        raise AssertionError("embedding failed:\n" + result.stdout + result.stderr[-3000:])
    return launcher


def patch_image(launcher, old, new):
    """Replaces the one copy of `old` in the launcher's image with `new`, of the
    same length: a resource damaged after embedding, which refuses damage."""
    image = Path(launcher).read_bytes()
    if len(old) != len(new) or image.count(old) != 1:
        raise AssertionError("the bytes to patch are not in the image exactly once")
    Path(launcher).write_bytes(image.replace(old, new))


SYNC_PASS_FIRST = "Begin recursive directory iterate"
SYNC_PASS_LAST = "End files map iterate"


def without_sync_pass(messages):
    """The messages of a run without those of the synchronisation pass, for the
    scenarios of the phases before it."""
    if SYNC_PASS_FIRST not in messages:
        return messages
    first = messages.index(SYNC_PASS_FIRST)
    last = messages.index(SYNC_PASS_LAST) if SYNC_PASS_LAST in messages else len(messages) - 1
    return messages[:first] + messages[last + 1:]


def launch_trace(platform, install):
    """The lines of a start of `install`'s Aerolith.exe by the process loader."""
    install = install if isinstance(install, str) else platform.host_path(install)
    target = install + ("\\" if platform.windows else "/") + "Aerolith.exe"
    return ["path: '%s'" % target, "cmd: '\"%s\"'" % target, "CreateProcess success"]


_application_images = {}


def application_image(platform):
    """The bytes of a program that a launcher can start as Aerolith.exe and that
    ends at once, for scenario bundles whose runs end in a start."""
    program = platform.program("quiet_app")
    if program not in _application_images:
        _application_images[program] = program.read_bytes()
    return _application_images[program]


def read_trace(path):
    """The records of a trace log file; fails on any line that is not a record."""
    data = Path(path).read_bytes()
    text = data.decode("utf-8")
    if text and not text.endswith("\r\n"):
        raise AssertionError("trace log ends inside a record: %r" % text[-200:])
    records = []
    for line in text.split("\r\n")[:-1] if text else []:
        match = RECORD.fullmatch(line)
        if not match:
            raise AssertionError("not a trace record: %r" % line)
        records.append(Record(match.group(1), match.group(2), int(match.group(3)), match.group(4),
                              int(match.group(5)), match.group(6)))
    return records


def record_time(record):
    """A trace record's time (UTC)."""
    return datetime.datetime.strptime(record.time[:-1], "%Y-%m-%d %H:%M:%S.%f")


def launcher_folder_trace(platform, launcher):
    """The trace lines that name the launcher's folder and its parent."""
    launcher = Path(launcher)
    return ["current path: " + platform.host_path(launcher.parent),
            "current dir: " + platform.host_path(launcher.parent.parent)]


def candidate_trace(platform, directory, exists=False, create_ec=0, accessible=True,
                    remove_ec=None):
    """The trace lines of one tried install-directory candidate; `remove_ec` for a
    folder that was created, failed the probe and was removed again."""
    directory = directory if isinstance(directory, str) else platform.host_path(directory)
    lines = ["dir is exists: '%s', exists = %s, ec = 0" % (directory, str(exists).lower())]
    if not exists:
        lines.append("create dir: '%s', ec = %d" % (directory, create_ec))
    lines.append("dir: '%s', accessible = %s" % (directory, str(accessible).lower()))
    if remove_ec is not None:
        lines += ["dir: '%s', remove all, ec = %d" % (directory, remove_ec), ""]
    return lines


def tree_snapshot(root):
    """Every object below `root` as itself: a file's bytes, mode and time, a
    folder's mode and time (which change when anything inside it comes or goes),
    a link's target."""
    state = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            status = os.lstat(path)
            relative = os.path.relpath(path, root)
            if stat.S_ISLNK(status.st_mode):
                state[relative] = ("link", os.readlink(path))
            elif stat.S_ISDIR(status.st_mode):
                state[relative] = ("folder", status.st_mode, status.st_mtime_ns)
            else:
                with open(path, "rb") as content:
                    state[relative] = ("file", content.read(), status.st_mode, status.st_mtime_ns)
    return state


def installed_state(install):
    """Every file below `install` as (bytes, file time), by its relative path with '/'."""
    state = {}
    for folder, _, names in os.walk(install):
        for name in names:
            path = Path(folder) / name
            state[path.relative_to(install).as_posix()] = (
                path.read_bytes(), bundle_format.filetime_of_ns(path.stat().st_mtime_ns))
    return state


def bundled_state(files):
    """installed_state() once the bundle of `files` (folder, name, content, time) is installed."""
    return {(d.replace("\\", "/") + "/" if d else "") + n: (c, t) for d, n, c, t in files}


def wait_for(condition, what, timeout=30):
    """Waits until `condition()` holds; fails after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("gave up waiting for " + what)
        time.sleep(0.05)


class Throttled:
    """Lets the processes running a program run `share` seconds of every
    `period`, as on a machine loaded far beyond its cores, from when they
    appear until the block ends; counts the periods they were held for."""

    def __init__(self, platform, program, share=0.01, period=0.5):
        self.platform, self.program, self.share, self.period = platform, program, share, period
        self.periods = 0
        self.done = threading.Event()
        self.thread = threading.Thread(target=self.run)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *_):
        self.done.set()
        self.thread.join()

    @staticmethod
    def signal(pids, number):
        for pid in pids:
            try:
                os.kill(pid, number)
            except ProcessLookupError:
                pass

    def run(self):
        pids = set()
        while not pids and not self.done.wait(0.02):
            pids = set(self.platform.processes_running(self.program))
        while not self.done.is_set():
            # Under Wine the processes that start the program come first.
            pids.update(self.platform.processes_running(self.program))
            self.signal(pids, signal.SIGSTOP)
            self.done.wait(self.period - self.share)
            self.signal(pids, signal.SIGCONT)
            self.periods += 1
            time.sleep(self.share)


class Scenario(unittest.TestCase):
    """Base of the scenario classes: a scratch folder and the platform under test."""

    platform = None

    def setUp(self):
        self.scratch = Path(tempfile.mkdtemp(prefix="aerolith-e2e-"))
        self.platform.session_dir = Path(tempfile.mkdtemp(prefix="aerolith-session-"))

    def tearDown(self):
        shutil.rmtree(self.scratch, ignore_errors=True)
        shutil.rmtree(self.platform.session_dir, ignore_errors=True)
        self.platform.session_dir = None

    def hold(self, path, share_all=False):
        """Keeps the file `path` from being written or removed until the returned
        function is called: open without sharing in another process (Windows),
        immutable (Linux). With `share_all` (Windows only) it is held open
        sharing all access, as a virus scanner holds it; the function returns
        the content read through that handle at the end."""
        if self.platform.windows:
            holder = subprocess.Popen(
                ["wine", str(self.platform.program("hold_file"))] + ["--share-all"] * share_all +
                [self.platform.host_path(path)],
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                env=dict(os.environ, WINEPREFIX=str(self.platform.wine_prefix()), WINEDEBUG="-all"))
            self.assertEqual(holder.stdout.readline().strip(), b"held")
            read = []

            def release():
                if not holder.stdin.closed:
                    holder.stdin.close()
                    read.append(holder.stdout.read())
                    holder.stdout.close()
                holder.wait(timeout=60)
                return read[0]
            return release
        if subprocess.run(["chattr", "+i", str(path)], stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("the immutable attribute is not available")
        return lambda: subprocess.run(["chattr", "-i", str(path)], stderr=subprocess.DEVNULL)

    def assertExitCode(self, result, expected):
        self.assertTrue(self.platform.same_exit_code(result, expected),
                        "exit code %d, expected %d\nstderr: %s" % (
                            result.exit_code, expected, result.stderr[-3000:]))

    def assertSingleDialog(self, result, text, caption="Aerolith Vantor", style=MB_ICONWARNING):
        self.assertEqual(len(result.dialogs), 1, result.stderr[-3000:])
        dialog = result.dialogs[0]
        self.assertEqual(dialog.caption, caption)
        self.assertEqual(dialog.style, style)
        self.assertTrue(dialog.matches(text), "dialog text %r\nexpected %r" % (dialog.text, text))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--platform", choices=("native", "windows"), required=True)
    parser.add_argument("--build-dir", required=True)
    args, rest = parser.parse_known_args()
    Scenario.platform = Platform(args.platform, args.build_dir)
    unittest.main(module="__main__", argv=[sys.argv[0]] + rest, verbosity=2)
