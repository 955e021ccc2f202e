"""Choosing the install directory, as the real launcher does it and logs it: which
folders it tries, in which order, what it creates and what it leaves behind."""

import os
import shutil
import subprocess
from pathlib import Path

import harness
from harness import (DIRECTORY, EXIT_FATAL, EXIT_STARTED, candidate_trace, fatal_record,
                     launch_trace, launcher_folder_trace, read_trace, without_sync_pass)

ENOENT = 2  # what a failed single-level creation reports below a missing root
EACCES = 13
ERROR_INSUFFICIENT_BUFFER = 122
ERROR_REPARSE_POINT = 4395  # the removal of a link that Wine cannot remove
NOBODY = 65534  # the unprivileged user some scenarios run as


def set_attribute(path, flag, on):
    """Sets or clears a Linux file attribute: "a" (append-only: entries can be
    created but not deleted) or "i" (immutable), which bind root too."""
    return subprocess.run(["chattr", ("+" if on else "-") + flag, str(path)],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def remove_tree(path):
    """Removes a folder with everything in it, attributes set by a scenario too."""
    if path.exists():
        subprocess.run(["chattr", "-R", "-a", "-i", str(path)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(path, ignore_errors=True)


def files_below(folder):
    """Every file below `folder`, by its relative path, with its bytes."""
    return {p.relative_to(folder).as_posix(): p.read_bytes()
            for p in folder.rglob("*") if p.is_file()}


def probe_leftovers(folder):
    """What access probes left in a folder that the run then installed into."""
    return [p.name for p in folder.iterdir() if p.name.startswith("test-access-")]


class InstallDirectory(harness.Scenario):
    """Each scenario runs a copy of the launcher in scratch/app/bin, so that the
    launcher-relative fallback is scratch/app/Aerolith. Under Wine the prefix's
    own local application-data folder (which the shell reports) is one of the
    candidates; its "Aerolith" is removed before and after every scenario."""

    def setUp(self):
        super().setUp()
        self.trace = self.scratch / "trace.log"
        self.launcher = self.copy_launcher(self.scratch / "app" / "bin")
        self.fallback = self.scratch / "app" / "Aerolith"
        if self.platform.windows:
            self.prefix_local = self.platform.prefix_local_app_data()
            self.prefix_install = self.prefix_local / "Aerolith"
            remove_tree(self.prefix_install)
            self.addCleanup(remove_tree, self.prefix_install)

    def tearDown(self):
        remove_tree(self.scratch)  # clears the attributes that would stop the removal
        super().tearDown()

    def copy_launcher(self, folder):
        folder.mkdir(parents=True, exist_ok=True)
        launcher = self.platform.program("demo-launcher")
        return Path(shutil.copy2(launcher, folder / launcher.name))

    def prefix_install_host(self):
        return "C:\\users\\%s\\AppData\\Local\\Aerolith" % self.prefix_local.parent.parent.name

    def launch(self, env, launcher=None, **kwargs):
        env = dict(env, AEROLITH_LAUNCHER_TRACE=self.platform.host_path(self.trace))
        return self.platform.run(launcher or self.launcher, env=env, **kwargs)

    def started(self, install):
        """The end of a run that installed into `install` and started the
        application from there."""
        return launch_trace(self.platform, install) + ["final"]

    def trace_messages(self):
        """The messages of the last run up to the synchronisation pass, and after it."""
        messages = [r.message for r in read_trace(self.trace)]
        self.trace.unlink()
        return without_sync_pass(messages)

    def test_missing_root_is_skipped_for_the_next_candidate(self):
        # Under Wine: LOCALAPPDATA names a folder that does not exist, and the
        # shell's folder of the prefix is used instead.
        missing = self.scratch / "a-missing"
        if self.platform.windows:
            env = {"LOCALAPPDATA": self.platform.host_path(missing)}
            next_install = self.prefix_install_host()
        else:
            env, local = self.platform.isolated_env(self.scratch)
            env["LOCALAPPDATA"] = str(missing)
            next_install = local / "Aerolith"
        result = self.launch(env)
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual(self.trace_messages(),
                         launcher_folder_trace(self.platform, self.launcher) +
                         candidate_trace(self.platform, missing / "Aerolith", create_ec=ENOENT,
                                         accessible=False) +
                         candidate_trace(self.platform, next_install) + self.started(next_install))
        self.assertFalse(missing.exists())

    def test_plain_file_named_aerolith_is_deleted_and_the_next_start_creates_the_folder(self):
        env, local = self.platform.isolated_env(self.scratch)
        (local / "Aerolith").write_bytes(b"in the way")
        next_install = self.prefix_install_host() if self.platform.windows else self.fallback

        self.assertExitCode(self.launch(env), EXIT_STARTED)
        self.assertEqual(self.trace_messages(),
                         launcher_folder_trace(self.platform, self.launcher) +
                         candidate_trace(self.platform, local / "Aerolith", exists=True,
                                         accessible=False) +
                         candidate_trace(self.platform, next_install) + self.started(next_install))
        self.assertFalse((local / "Aerolith").exists())

        self.assertExitCode(self.launch(env), EXIT_STARTED)
        self.assertEqual(self.trace_messages(),
                         launcher_folder_trace(self.platform, self.launcher) +
                         candidate_trace(self.platform, local / "Aerolith") +
                         self.started(local / "Aerolith"))
        self.assertTrue((local / "Aerolith").is_dir())

    def test_sources_naming_one_folder_give_one_candidate(self):
        # Every source names the same folder, spelled apart; a file in the way
        # makes its candidate fail, so that a second try of it would show.
        if self.platform.windows:
            local = self.prefix_local
            spelled = self.prefix_install_host()[:-len("\\Aerolith")].replace("\\", "/")
            spelled = spelled.replace("/Local", "//Local")
            env = {"LOCALAPPDATA": spelled}
            tried = spelled + "\\Aerolith"
        else:
            env, local = self.platform.isolated_env(self.scratch)
            spelled = str(self.scratch) + "//home/.local//share"
            env["LOCALAPPDATA"] = spelled
            tried = spelled + "/Aerolith"
        (local / "Aerolith").write_bytes(b"in the way")

        self.assertExitCode(self.launch(env), EXIT_STARTED)
        self.assertEqual(self.trace_messages(),
                         launcher_folder_trace(self.platform, self.launcher) +
                         candidate_trace(self.platform, tried, exists=True, accessible=False) +
                         candidate_trace(self.platform, self.fallback) +
                         self.started(self.fallback))

    def test_without_any_source_only_the_launcher_relative_folder_is_tried(self):
        if self.platform.windows:
            self.skipTest("the prefix's shell folders always answer")
        env = {"LOCALAPPDATA": None, "XDG_DATA_HOME": None, "HOME": None}
        self.assertExitCode(self.launch(env), EXIT_STARTED)
        self.assertEqual(self.trace_messages(),
                         launcher_folder_trace(self.platform, self.launcher) +
                         candidate_trace(self.platform, self.fallback) +
                         self.started(self.fallback))
        self.assertEqual(probe_leftovers(self.fallback), [])

    def test_same_folder_listed_twice_is_tried_twice_then_the_run_ends(self):
        # The launcher sits in a folder below the local application-data folder,
        # which is then also the launcher-relative candidate. Its "Aerolith"
        # cannot be changed at all, so both tries fail the same way.
        if self.platform.windows:
            local = self.prefix_local
            launcher_dir = local / "bin"
            self.addCleanup(remove_tree, launcher_dir)
            self.copy_launcher(launcher_dir)
            launcher = self.prefix_install_host()[:-len("Aerolith")] + "bin\\Aerolith.Launcher.exe"
            folders = ["current path: " + launcher.rsplit("\\", 1)[0],
                       "current dir: " + launcher.rsplit("\\", 2)[0]]
            env = {"LOCALAPPDATA": None}
            install = self.prefix_install_host()
        else:
            env, local = self.platform.isolated_env(self.scratch)
            launcher = self.copy_launcher(local / "bin")
            folders = launcher_folder_trace(self.platform, launcher)
            install = local / "Aerolith"
        (local / "Aerolith").mkdir()
        if not set_attribute(local / "Aerolith", "i", True):
            self.skipTest("the immutable attribute is not available")

        result = self.launch(env, launcher=launcher)
        self.assertExitCode(result, EXIT_FATAL)
        self.assertSingleDialog(result, DIRECTORY)
        failed = candidate_trace(self.platform, install, exists=True, accessible=False)
        self.assertEqual(self.trace_messages(), folders + failed + failed + [fatal_record(DIRECTORY)])

    def test_folder_whose_entries_cannot_be_deleted_fails_until_they_can_be(self):
        if self.platform.windows:
            self.skipTest("Wine reports a deletion as done even when the file system refuses it")
        env, local = self.platform.isolated_env(self.scratch)
        install = local / "Aerolith"
        install.mkdir()
        if not set_attribute(install, "a", True):
            self.skipTest("the append-only attribute is not available")

        for start in range(2):
            self.assertExitCode(self.launch(env), EXIT_STARTED)
            self.assertEqual(self.trace_messages(),
                             launcher_folder_trace(self.platform, self.launcher) +
                             candidate_trace(self.platform, install, exists=True,
                                             accessible=False) +
                             candidate_trace(self.platform, self.fallback, exists=start > 0) +
                             self.started(self.fallback))
            # The first probe's test folder stays; later probes fail clearing it.
            leftovers = [p.name for p in install.iterdir()]
            self.assertEqual(len(leftovers), 1, leftovers)
            self.assertRegex(leftovers[0], r"^test-access-(0|[1-9][0-9]*)\.folder$")

        set_attribute(install, "a", False)
        self.assertExitCode(self.launch(env), EXIT_STARTED)
        self.assertEqual(self.trace_messages(),
                         launcher_folder_trace(self.platform, self.launcher) +
                         candidate_trace(self.platform, install, exists=True) +
                         self.started(install))
        self.assertEqual(probe_leftovers(install), [])

    def test_launcher_in_a_drives_root_falls_back_to_that_root(self):
        if not self.platform.windows:
            self.skipTest("a drive's root is a Windows notion; the unit tests cover '/'")
        drive_dir = self.scratch / "drive"
        self.copy_launcher(drive_dir)
        letter = self.map_drive(drive_dir)
        # Both local application-data candidates fail: one is missing, the
        # other has a file in the way.
        missing = self.scratch / "missing"
        self.prefix_install.write_bytes(b"in the way")

        result = self.launch({"LOCALAPPDATA": self.platform.host_path(missing)},
                             launcher=letter + ":\\Aerolith.Launcher.exe")
        self.assertExitCode(result, EXIT_STARTED)
        root = letter + ":\\"
        self.assertEqual(self.trace_messages(),
                         ["current path: " + root, "current dir: " + root] +
                         candidate_trace(self.platform, missing / "Aerolith", create_ec=ENOENT,
                                         accessible=False) +
                         candidate_trace(self.platform, self.prefix_install_host(), exists=True,
                                         accessible=False) +
                         candidate_trace(self.platform, root + "Aerolith") +
                         self.started(root + "Aerolith"))
        self.assertTrue((drive_dir / "Aerolith").is_dir())

    def map_drive(self, folder):
        """Maps a free drive letter of the prefix to `folder` for this scenario."""
        devices = self.platform.wine_prefix() / "dosdevices"
        for letter in "qrstuvwxy":
            link = devices / (letter + ":")
            if not os.path.lexists(link):
                link.symlink_to(folder)
                self.addCleanup(link.unlink)
                return letter.upper()
        self.skipTest("no free drive letter")

    def test_launcher_name_longer_than_the_system_buffer_gives_no_fallback(self):
        # 300 characters: more than Windows' 260-character buffer holds, and more
        # than the first buffer the Linux stand-in tries.
        folder = self.scratch
        while len(self.platform.host_path(folder)) < 300:
            folder = folder / ("f" * 40)
        launcher = self.copy_launcher(folder)
        if self.platform.windows:
            # The exit-code reporter cannot start a program with such a name;
            # Wine can, and then sets LOCALAPPDATA from the prefix itself.
            result = self.launch({}, launcher=launcher, direct=True, allow_user_folders=True)
            install = self.prefix_install_host()
            expected = (["launcher file name unreadable, ec = %d" % ERROR_INSUFFICIENT_BUFFER] +
                        candidate_trace(self.platform, install))
        else:
            env, local = self.platform.isolated_env(self.scratch)
            result = self.launch(env, launcher=launcher)
            install = local / "Aerolith"
            expected = (launcher_folder_trace(self.platform, launcher) +
                        candidate_trace(self.platform, install))
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual(self.trace_messages(), expected + self.started(install))

    def nobody_env(self, *owned):
        """An isolated environment for a run as the unprivileged user 65534 (the
        scenarios run as root), and its local application-data folder; these
        folders, the scratch folder (for the trace log) and `owned` are that user's."""
        if os.getuid() != 0 or not shutil.which("setpriv"):
            self.skipTest("needs root and setpriv to run as another user")
        env, local = self.platform.isolated_env(self.scratch)
        runtime = self.scratch / "runtime"
        runtime.mkdir()
        env["XDG_RUNTIME_DIR"] = str(runtime)
        os.chmod(self.scratch, 0o755)
        for path in (local, runtime, self.scratch / "home", self.scratch) + owned:
            os.chown(path, NOBODY, NOBODY)
        return env, local

    def launch_as_nobody(self, env, umask="0022"):
        wrapper = self.scratch / "as-nobody.sh"
        wrapper.write_text('#!/bin/sh\numask %s\nexec setpriv --reuid=%d --regid=%d '
                           '--clear-groups "$@"\n' % (umask, NOBODY, NOBODY))
        wrapper.chmod(0o755)
        return self.platform.run(wrapper, args=[str(self.launcher)], env=dict(
            env, AEROLITH_LAUNCHER_TRACE=str(self.trace)))

    def test_folder_created_for_a_candidate_that_fails_is_removed_again(self):
        # Run as an unprivileged user whose umask leaves new folders without
        # write permission: a folder it creates fails the probe.
        if self.platform.windows:
            self.skipTest("Wine does not enforce permissions for the user it runs as")
        env, local = self.nobody_env()
        result = self.launch_as_nobody(env, umask="0277")
        self.assertExitCode(result, EXIT_FATAL)
        self.assertSingleDialog(result, DIRECTORY)
        self.assertEqual(self.trace_messages(),
                         launcher_folder_trace(self.platform, self.launcher) +
                         candidate_trace(self.platform, local / "Aerolith", accessible=False,
                                         remove_ec=0) +
                         candidate_trace(self.platform, self.fallback, create_ec=EACCES,
                                         accessible=False) + [fatal_record(DIRECTORY)])
        self.assertEqual(list(local.iterdir()), [])

    def test_install_folder_moved_elsewhere_through_a_link(self):
        # A user's run installs where the link leads, beside the user's settings.
        # Wine reports every run as elevated: the link is removed, which Wine
        # cannot do for a Unix link to a folder, so the next candidate is used.
        windows = self.platform.windows
        moved = self.scratch / "moved"
        moved.mkdir()
        (moved / "Config.ini").write_bytes(b"[user]")
        env, local = (self.platform.isolated_env(self.scratch) if windows
                      else self.nobody_env(moved, moved / "Config.ini"))
        (local / "Aerolith").symlink_to(moved, target_is_directory=True)
        # As the launcher names it: host_path() would resolve the link.
        install = self.platform.host_path(local) + ("\\" if windows else "/") + "Aerolith"
        installed = {"Config.ini": b"[user]"}
        if windows:
            result, fallback = self.launch(env), self.prefix_install_host()
            expected = (["dir: '%s' is a link, removed, ec = %d" % (install, ERROR_REPARSE_POINT)] +
                        candidate_trace(self.platform, install, exists=True, accessible=False) +
                        candidate_trace(self.platform, fallback) + self.started(fallback))
        else:
            result = self.launch_as_nobody(env)
            expected = (["dir: '%s' is a link to '%s', followed, ec = 0" % (install, moved)] +
                        candidate_trace(self.platform, install, exists=True) +
                        self.started(install))
            installed.update(files_below(self.platform.build_dir / "demo-stage"))
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual(self.trace_messages(),
                         launcher_folder_trace(self.platform, self.launcher) + expected)
        self.assertTrue((local / "Aerolith").is_symlink())
        self.assertEqual(files_below(moved), installed)


if __name__ == "__main__":
    harness.main()
