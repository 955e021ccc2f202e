"""The tree of many empty files that bench/floor_tree makes, as an application
folder for aerolith-pack, and launchers of both platforms that carry it; the
places a launcher and floor_tree write to, natively and in a Wine prefix.
Shared by floor_bench.py and calls_per_file.py."""

import os
import pwd
import shutil
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
FILETIME_UNIX_EPOCH = 116444736000000000
FILE_TIME = 133537860001234567  # floor_tree's own


def run(*args, **kwargs):
    return subprocess.run([str(a) for a in args], check=True, capture_output=True, **kwargs)


def build_app(app, files, folders, application):
    """`files` empty files in `folders` folders, named and stamped as
    floor_tree names and stamps them, and `application` as Aerolith.exe."""
    ns = (FILE_TIME - FILETIME_UNIX_EPOCH) * 100
    for folder in range(folders):
        inside = app / ("Set%02d" % (folder % 20)) / ("Folder%03d" % folder)
        inside.mkdir(parents=True)
        for file in range(folder, files, folders):
            path = inside / ("file%06d.dat" % file)
            path.touch()
            os.utime(path, ns=(ns, ns))
    shutil.copyfile(application, app / "Aerolith.exe")


def launcher_carrying(native, plain, app, work, level=3):
    """A copy of the plain launcher `plain` (either platform's) carrying `app`,
    packed and embedded by the native aerolith-pack."""
    work.mkdir(parents=True)
    pack = native / "bin" / "aerolith-pack"
    run(pack, "pack", app, work / "bundle", "--level", level)
    launcher = work / plain.name
    run(pack, "embed", plain, work / "bundle", "-o", launcher)
    return launcher


def native_env(work):
    """Environment of a native launcher run whose install folder is in `work`,
    and that folder's parent."""
    local = work / "home" / ".local" / "share"
    local.mkdir(parents=True, exist_ok=True)
    env = dict(os.environ, LOCALAPPDATA=str(local), XDG_DATA_HOME=str(local),
               HOME=str(work / "home"), XDG_RUNTIME_DIR=str(work))
    env.pop("AEROLITH_LAUNCHER_TRACE", None)
    return env, local


class WinePrefix:
    """A prefix of the benchmarks' own with a persistent server, so that no run
    pays for starting one. A program started by its Unix path gets the prefix's
    own local application-data folder, where the launcher installs."""

    def __init__(self, windows_build):
        self.path = Path(windows_build).resolve() / "wineprefix-bench"
        self.env = dict(os.environ, WINEPREFIX=str(self.path), WINEDEBUG="-all")
        for key in ("DISPLAY", "WAYLAND_DISPLAY", "AEROLITH_LAUNCHER_TRACE"):
            self.env.pop(key, None)
        user = pwd.getpwuid(os.getuid()).pw_name
        self.local = self.path / "drive_c" / "users" / user / "AppData" / "Local"
        self.windows_local = "C:\\users\\%s\\AppData\\Local" % user

    def __enter__(self):
        run(ROOT / "scripts" / "wine-prefix", "up", self.path)
        return self

    def __exit__(self, *_):
        subprocess.run([str(ROOT / "scripts" / "wine-prefix"), "down", str(self.path)],
                       stdout=subprocess.DEVNULL)
