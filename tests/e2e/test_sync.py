"""The synchronisation pass as the real launcher runs it: what an install directory
holds after a start (files, bytes, last-write times, attributes) and what the trace
log says about every entry, for first and later starts, damaged and tampered
installations, protected configuration files, links, damaged bundles and files
that cannot be written."""

import os
import random
import resource
import shutil
import struct
import subprocess
import threading
import time

import bundle_format
import harness
from harness import CORRUPT, EXIT_FATAL, EXIT_STARTED, WRITE_FAILED, fatal_record, read_trace, record_time
from sync_trace import DECOMPRESS, MAIN, PAYLOAD_CHECK, WRITER, AppFile, SyncTrace, split_pass


# 2024-03-01 10:00:00 UTC plus digits below the second, down to 100 ns.
BASE_TIME = 133537860001234567
WINE_ATTRIBUTES = "user.DOSATTRIB"  # where Wine keeps the hidden and system attributes


def app_files(application):
    """A release in five folders: `application` as its Aerolith.exe, sizes
    around the 64 KiB read buffer, an empty file, a name outside ASCII."""
    rng = random.Random(6)
    files = [("", "Aerolith.exe", application),
             ("", "empty.dat", b""),
             ("Modules\\Sim", "module.dll", rng.randbytes(80000)),
             ("Modules\\Sim", "chunk.bin", rng.randbytes(65536)),
             ("Relay", "relay.exe", rng.randbytes(3000)),
             ("Docs", "\u00dcbersicht.txt", "Kurz\u00fcberblick\n".encode())]
    return [AppFile(d, n, c, BASE_TIME + i * 10_000_019) for i, (d, n, c) in enumerate(files)]


def filetime_of(path):
    return bundle_format.filetime_of_ns(os.lstat(path).st_mtime_ns)


def set_filetime(path, file_time):
    ns = (file_time - bundle_format.FILETIME_UNIX_EPOCH) * 100
    os.utime(path, ns=(ns, ns), follow_symlinks=False)


def entry_fields_offset(manifest, index):
    """Where the fixed fields (size, CRCs, offset, time) of entry `index` start."""
    position = 8
    for i in range(index + 1):
        position += 4 + struct.unpack_from("<I", manifest, position)[0]
        position += 4 + struct.unpack_from("<I", manifest, position)[0]
        if i < index:
            position += 28
    return position


class SyncScenario(harness.Scenario):
    """Every scenario installs `app_files()` first, then changes the install
    directory the way it means to, and starts the launcher again."""

    def setUp(self):
        super().setUp()
        self.env, local = self.platform.isolated_env(self.scratch)
        self.install = local / "Aerolith"
        self.trace_file = self.scratch / "trace.log"
        self.expect = SyncTrace(self.platform, self.install)
        self.files = app_files(harness.application_image(self.platform))
        self.launcher = self.launcher_for(self.files)

    def tearDown(self):
        subprocess.run(["chattr", "-R", "-i", str(self.scratch)], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        for folder, dirs, _ in os.walk(self.scratch):
            for name in dirs:
                if not os.path.islink(os.path.join(folder, name)):
                    os.chmod(os.path.join(folder, name), 0o755)
        super().tearDown()

    # Bundles and runs.

    def bundle(self, files):
        return bundle_format.write_bundle([(f.directory, f.name, f.content, f.file_time) for f in files])

    def launcher_for(self, files, name="launcher", checked=True):
        manifest, payload = self.bundle(files)
        return harness.embed_bundle(self.platform, manifest, payload, self.scratch / name, checked)

    def damaged_launcher(self, name, payload=None, manifest=None):
        """A launcher whose embedded payload or manifest is changed by the given
        function after embedding."""
        good_manifest, good_payload = self.bundle(self.files)
        launcher = harness.embed_bundle(self.platform, good_manifest, good_payload, self.scratch / name)
        if payload:
            harness.patch_image(launcher, good_payload, payload(bytearray(good_payload)))
        if manifest:
            harness.patch_image(launcher, good_manifest, manifest(bytearray(good_manifest)))
        return launcher

    def start(self, launcher=None, exit_code=EXIT_STARTED, host_env=None):
        """Runs the launcher with its trace switched on; returns the result and the
        trace records."""
        if self.trace_file.exists():
            self.trace_file.unlink()
        result = self.platform.run(launcher or self.launcher, env=dict(
            self.env, AEROLITH_LAUNCHER_TRACE=self.platform.host_path(self.trace_file)),
            host_env=host_env)
        self.assertExitCode(result, exit_code)
        if exit_code == EXIT_STARTED:
            self.assertEqual(result.dialogs, [])
        return result, read_trace(self.trace_file)

    def install_all(self):
        self.start()
        self.assertInstalled(self.files)
        self.platform.wait_until_ended(self.path("Aerolith.exe"))  # the next start may write it

    def entry(self, relative):
        return next(f for f in self.files if f.relative == relative)

    def path(self, relative):
        return self.install / relative

    # What the install directory holds.

    def assertInstalled(self, files, extra=()):
        """Exactly `files`, byte for byte and time for time, and the files named in
        `extra` (relative, with '/'), which are not compared."""
        found = set()
        for folder, _, names in os.walk(self.install):
            for name in names:
                found.add(os.path.relpath(os.path.join(folder, name), self.install).replace(os.sep, "/"))
        self.assertEqual(found, {f.relative for f in files} | set(extra))
        for f in files:
            path = self.path(f.relative)
            self.assertFalse(path.is_symlink(), f.relative)
            self.assertEqual(path.read_bytes(), f.content, f.relative)
            self.assertEqual(filetime_of(path), f.file_time, f.relative)

    def assertNormalAttributes(self, path):
        """Writable by its owner; under Wine also neither hidden nor system."""
        self.assertTrue(os.lstat(path).st_mode & 0o200, path)
        if self.platform.windows:
            self.assertNotIn(WINE_ATTRIBUTES, os.listxattr(path))

    def make_read_only_and_hidden(self, path):
        os.chmod(path, 0o555 if path.is_dir() else 0o444)
        if self.platform.windows:
            os.setxattr(path, WINE_ATTRIBUTES, b"0x6")  # hidden and system

    # The trace.

    def assertPass(self, records, walk, remaining, folders_before=None):
        """Checks one whole pass: `walk` maps each entry found before the run
        (relative, '/') to the lines after its attribute line, or to a function of
        whether it is the run's first rewrite; `remaining` maps each entry of the
        remaining-entries pass to the keyword arguments of SyncTrace.added, the
        folder's state left to be worked out from the folders there."""
        walked, remain_count, blocks = split_pass(records)
        self.assertEqual(sorted(p for p, _ in walked), sorted(self.expect.host(r) for r in walk))
        by_host = {self.expect.host(r): lines for r, lines in walk.items()}
        seen = set()
        rewritten = False
        for host, lines in walked:
            parent = host.rsplit(self.expect.separator, 1)[0]
            self.assertTrue(parent == self.expect.host() or parent in seen, "%s before its folder" % host)
            seen.add(host)
            expected = by_host[host]
            if callable(expected):
                expected = expected(not rewritten)
                rewritten = True
            self.assertEqual(lines, expected, host)

        self.assertEqual(remain_count, len(remaining))
        self.assertEqual(len(blocks), len(remaining))
        folders = set(folders_before if folders_before is not None else self.folders_after_walk(walk))
        written = set()
        for block in blocks:
            entry = next(e for e in remaining if (WRITER, " - write to '%s' '%s' (%s)" % (
                e.directory, e.name, self.expect.host(e.relative))) in block)
            written.add(entry.key)
            options = dict(remaining[entry])
            folder = entry.relative.rsplit("/", 1)[0] if entry.directory else ""
            options.setdefault("folder", "exists" if folder == "" or folder in folders else "missing")
            self.assertEqual(block, self.expect.added(entry, **options), entry.key)
            parts = folder.split("/") if folder else []
            folders.update("/".join(parts[:i + 1]) for i in range(len(parts)))
        self.assertEqual(written, {e.key for e in remaining})

    def folders_after_walk(self, walk):
        """The real folders present when the remaining-entries pass begins: every
        folder met by the walk (folders are never removed there)."""
        return {r for r in walk if self.path(r).is_dir() and not self.path(r).is_symlink()}

    def walk_of_intact_install(self):
        """The walk blocks of an install directory that holds exactly the files."""
        walk = {}
        for f in self.files:
            if os.path.lexists(self.path(f.relative)):
                walk[f.relative] = self.attributes(f.relative) + self.expect.fast_path(f)
            parts = f.relative.split("/")[:-1]
            for i in range(len(parts)):
                folder = "/".join(parts[:i + 1])
                if self.path(folder).is_dir():
                    walk[folder] = self.attributes(folder) + self.expect.directory()
        return walk

    def attributes(self, relative):
        """The attribute line of an object as it is now, before a start: a call
        only where the listing shows it needed."""
        path = self.path(relative)
        normal = os.lstat(path).st_mode & 0o200
        if self.platform.windows:
            normal = normal and WINE_ATTRIBUTES not in os.listxattr(path) and not path.name.startswith(".")
        return self.expect.attributes_kept() if normal else self.expect.attributes_reset()


class StartsOnAnInstallDirectory(SyncScenario):
    def test_first_start_writes_every_entry_without_checking_the_payload(self):
        _, records = self.start()
        self.assertPass(records, walk={}, remaining={f: {} for f in self.files}, folders_before=set())
        self.assertInstalled(self.files)
        self.assertEqual([r.tag for r in records if r.message == " - write file"], [MAIN] * len(self.files))

    def test_second_start_takes_the_fast_path_for_every_file_and_writes_nothing(self):
        self.install_all()
        before = {f.relative: os.stat(self.path(f.relative)).st_ino for f in self.files}
        _, records = self.start()
        self.assertPass(records, walk=self.walk_of_intact_install(), remaining={})
        self.assertNotIn(DECOMPRESS[0], [(r.tag, r.message) for r in records])
        self.assertInstalled(self.files)
        self.assertEqual({f.relative: os.stat(self.path(f.relative)).st_ino for f in self.files}, before)

    def test_right_content_with_a_wrong_time_is_restamped_then_trusted(self):
        self.install_all()
        changed = {"Aerolith.exe": BASE_TIME - 1, "Modules/Sim/module.dll": BASE_TIME + 10**9}
        for relative, time in changed.items():
            set_filetime(self.path(relative), time)
        walk = self.walk_of_intact_install()
        for relative, time in changed.items():
            walk[relative] = self.attributes(relative) + self.expect.restamp(self.entry(relative), time)
        _, records = self.start()
        self.assertPass(records, walk=walk, remaining={})
        self.assertInstalled(self.files)

        _, records = self.start()
        self.assertPass(records, walk=self.walk_of_intact_install(), remaining={})

    def test_tampered_content_with_the_same_time_and_size_is_trusted_and_kept(self):
        self.install_all()
        relay = self.path("Relay/relay.exe")
        tampered = bytes(b ^ 0xFF for b in relay.read_bytes())
        relay.write_bytes(tampered)
        set_filetime(relay, self.entry("Relay/relay.exe").file_time)
        _, records = self.start()
        self.assertPass(records, walk=self.walk_of_intact_install(), remaining={})
        self.assertEqual(relay.read_bytes(), tampered)

    def test_files_that_differ_are_rewritten_and_the_payload_checked_once(self):
        self.install_all()
        module = self.path("Modules/Sim/module.dll")  # right time, wrong size
        with open(module, "ab") as out:
            out.write(b"appended")
        set_filetime(module, self.entry("Modules/Sim/module.dll").file_time)
        empty = self.path("empty.dat")  # wrong time and size
        empty.write_bytes(b"no longer empty")
        walk = self.walk_of_intact_install()
        for relative, path in (("Modules/Sim/module.dll", module), ("empty.dat", empty)):
            entry, time, size = self.entry(relative), filetime_of(path), path.stat().st_size
            walk[relative] = lambda first, e=entry, t=time, s=size, a=self.attributes(relative): (
                a + self.expect.rewrite(e, t, s, first))
        _, records = self.start()
        self.assertPass(records, walk=walk, remaining={})
        self.assertEqual([r.message for r in records].count(PAYLOAD_CHECK[0][1]), 1)
        self.assertInstalled(self.files)

    def test_unlisted_files_are_removed_and_folders_stay(self):
        self.install_all()
        unlisted = ["notes.txt", "Modules/Sim/old.dll", "Legacy/sub/leftover.bin"]
        for relative in unlisted:
            self.path(relative).parent.mkdir(parents=True, exist_ok=True)
            self.path(relative).write_bytes(b"from an older release")
        self.path("Empty").mkdir()
        walk = self.walk_of_intact_install()
        walk.update({r: self.attributes(r) + self.expect.unlisted() for r in unlisted})
        walk.update({r: self.attributes(r) + self.expect.directory()
                     for r in ("Legacy", "Legacy/sub", "Empty")})
        _, records = self.start()
        self.assertPass(records, walk=walk, remaining={})
        self.assertInstalled(self.files)
        for folder in ("Legacy/sub", "Empty"):
            self.assertEqual(list(self.path(folder).iterdir()), [])

    def test_a_path_that_differs_in_letter_case_is_removed_and_the_entry_written(self):
        self.install_all()
        self.path("Relay/relay.exe").rename(self.path("Relay/Relay.exe"))
        walk = self.walk_of_intact_install()
        walk["Relay/Relay.exe"] = self.attributes("Relay/Relay.exe") + self.expect.unlisted()
        _, records = self.start()
        self.assertPass(records, walk=walk, remaining={self.entry("Relay/relay.exe"): {}})
        self.assertInstalled(self.files)


class ProtectedConfiguration(SyncScenario):
    def test_protected_names_stay_at_any_depth_and_other_spellings_go(self):
        self.install_all()
        protected = ["Config.ini", "Modules/Sim/VantorConfig.json", "Docs/Old/Config.ini"]
        others = ["Relay/config.ini", "Relay/VANTORCONFIG.JSON", "Relay/MyConfig.ini", "Relay/Config.ini.bak"]
        for relative in protected + others:
            self.path(relative).parent.mkdir(parents=True, exist_ok=True)
            self.path(relative).write_bytes(b"[user]\nsetting=" + relative.encode())
        for relative in protected:
            self.make_read_only_and_hidden(self.path(relative))
        walk = self.walk_of_intact_install()
        walk.update({r: self.attributes(r) + self.expect.config_file() for r in protected})
        walk.update({r: self.attributes(r) + self.expect.unlisted() for r in others})
        walk["Docs/Old"] = self.attributes("Docs/Old") + self.expect.directory()
        _, records = self.start()
        self.assertPass(records, walk=walk, remaining={})
        self.assertInstalled(self.files, extra=protected)
        for relative in protected:
            self.assertEqual(self.path(relative).read_bytes(), b"[user]\nsetting=" + relative.encode())
            self.assertNormalAttributes(self.path(relative))

    def test_a_protected_name_that_the_manifest_lists_is_overwritten_every_start(self):
        # aerolith-pack refuses such a bundle; another producer might not.
        self.files.append(AppFile("", "Config.ini", b"[defaults]\n", BASE_TIME + 7))
        launcher = self.launcher_for(self.files, "with-config", checked=False)
        self.start(launcher)
        self.assertInstalled(self.files)
        self.path("Config.ini").write_bytes(b"[user]\nedited\n")
        walk = self.walk_of_intact_install()
        walk["Config.ini"] = self.attributes("Config.ini") + self.expect.config_file()
        _, records = self.start(launcher)
        self.assertPass(records, walk=walk, remaining={self.entry("Config.ini"): {"occupied": True}})
        self.assertInstalled(self.files)


class InTheWay(SyncScenario):
    def test_read_only_and_hidden_entries_are_rewritten_removed_or_kept_normally(self):
        self.install_all()
        main = self.path("Aerolith.exe")
        main.write_bytes(b"an older main executable")
        self.path("stale.dll").write_bytes(b"unlisted")
        for path in (main, self.path("stale.dll"), self.path("Relay/relay.exe"), self.path("Docs"),
                     self.path("Docs/\u00dcbersicht.txt")):
            self.make_read_only_and_hidden(path)
        walk = self.walk_of_intact_install()
        main_entry, main_time = self.entry("Aerolith.exe"), filetime_of(main)
        walk["Aerolith.exe"] = lambda first: (self.expect.attributes_reset() +
                                              self.expect.rewrite(main_entry, main_time, 24, first))
        walk["stale.dll"] = self.attributes("stale.dll") + self.expect.unlisted()
        _, records = self.start()
        self.assertPass(records, walk=walk, remaining={})
        self.assertInstalled(self.files)
        for relative in ("Aerolith.exe", "Relay/relay.exe", "Docs", "Docs/\u00dcbersicht.txt"):
            self.assertNormalAttributes(self.path(relative))

    def test_a_folder_where_a_file_must_go_is_removed_with_its_contents(self):
        self.install_all()
        relay = self.path("Relay/relay.exe")
        relay.unlink()
        (relay / "deeper").mkdir(parents=True)
        (relay / "inner.txt").write_bytes(b"x")
        (relay / "deeper" / "x").write_bytes(b"y")
        walk = self.walk_of_intact_install()
        walk["Relay/relay.exe"] = self.attributes("Relay/relay.exe") + self.expect.directory()
        walk["Relay/relay.exe/deeper"] = self.attributes("Relay/relay.exe/deeper") + self.expect.directory()
        for relative in ("Relay/relay.exe/inner.txt", "Relay/relay.exe/deeper/x"):
            walk[relative] = self.attributes(relative) + self.expect.unlisted()
        _, records = self.start()
        self.assertPass(records, walk=walk, remaining={self.entry("Relay/relay.exe"): {"occupied": True}})
        self.assertInstalled(self.files)

    def test_a_file_where_a_folder_must_go_is_removed_and_the_folders_made(self):
        self.install_all()
        shutil.rmtree(self.path("Modules"))
        self.path("Modules").write_bytes(b"not a folder")
        walk = {r: lines for r, lines in self.walk_of_intact_install().items() if not r.startswith("Modules")}
        walk["Modules"] = self.attributes("Modules") + self.expect.unlisted()
        _, records = self.start()
        self.assertPass(records, walk=walk,
                        remaining={f: {} for f in self.files if f.relative.startswith("Modules/")})
        self.assertInstalled(self.files)


class Links(SyncScenario):
    """Links that lead outside the install folder, wherever they stand. A start
    never writes, removes or stamps anything outside; every link that is not
    where the bundle has a file is removed as a link, and one where it has a
    file or folder is replaced. Wine 8 shows a Unix link to a file as that file
    (the launcher still tells it by where it leads) and cannot remove a Unix
    link to a folder without acting on its target: there such a link stays, and
    what needs its place fails safely."""

    REMOVED, STAYS, FALLBACK, WRITE_FAILS = "removed", "stays", "fallback", "write fails"

    def setUp(self):
        super().setUp()
        self.outside = self.scratch / "outside"
        for relative, content in [("file.txt", b"outside"), ("read-only.txt", b"read only"),
                                  ("folder/Config.ini", b"[theirs]"), ("folder/keep.txt", b"kept"),
                                  ("docs/\u00dcbersicht.txt", b"someone else's file")]:
            path = self.outside / relative
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(content)
            set_filetime(path, BASE_TIME)
        (self.outside / "empty").mkdir()
        os.chmod(self.outside / "read-only.txt", 0o444)
        os.chmod(self.outside / "folder", 0o555)
        self.before = harness.tree_snapshot(self.outside)

    def link(self, relative, target):
        path = self.path(relative)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.symlink_to(self.outside / target, target_is_directory=(self.outside / target).is_dir())
        return path

    def assertOutsideUntouched(self):
        self.assertEqual(harness.tree_snapshot(self.outside), self.before)

    def assertLinks(self, expected=()):
        found = [os.path.relpath(os.path.join(folder, name), self.install)
                 for folder, dirs, files in os.walk(self.install) for name in dirs + files
                 if os.path.islink(os.path.join(folder, name))]
        self.assertEqual(sorted(found), sorted(expected))

    def check(self, relative, target, under_wine=REMOVED, installed_first=True):
        """One link at `relative` to `target` (in the outside tree), then a start."""
        if installed_first:
            self.install_all()
        self.link(relative, target)
        outcome = under_wine if self.platform.windows else self.REMOVED
        result, _ = self.start(exit_code=EXIT_FATAL if outcome == self.WRITE_FAILS else EXIT_STARTED)
        self.assertOutsideUntouched()
        if outcome == self.WRITE_FAILS:
            self.assertEqual(len(result.dialogs), 1)
            self.assertTrue(result.dialogs[0].text.startswith(WRITE_FAILED.split("'")[0]))
        elif outcome == self.FALLBACK:
            # The link stays; the next candidate folder holds the installation.
            self.assertTrue(self.path(relative).is_symlink())
        else:
            self.assertInstalled(self.files)
            self.assertLinks([relative] if outcome == self.STAYS else [])
        return result

    def test_named_like_probe_leftovers(self):
        self.check("test-access-7.file", "file.txt")
        self.check("test-access-8.folder", "folder", under_wine=self.FALLBACK)

    def test_at_a_listed_file(self):
        self.install_all()
        self.path("Relay/relay.exe").unlink()
        self.check("Relay/relay.exe", "file.txt", installed_first=False)

    def test_unlisted_to_a_file_and_read_only(self):
        self.check("stray.lnk", "file.txt")
        self.check("Modules/read-only.lnk", "read-only.txt")

    def test_unlisted_to_a_folder_holding_a_protected_name(self):
        self.check("Linked", "folder", under_wine=self.STAYS)

    def test_at_a_listed_folder(self):
        self.install_all()
        shutil.rmtree(self.path("Docs"))
        self.check("Docs", "docs", under_wine=self.WRITE_FAILS, installed_first=False)

    def test_at_a_legacy_file_name(self):
        self.check("hidapi.x86.dll", "empty", under_wine=self.STAYS)

    def test_the_install_folder_itself(self):
        self.check("", "file.txt", installed_first=False)
        self.assertFalse(self.install.is_symlink())

    def test_the_install_folder_itself_to_a_folder(self):
        self.check("", "folder", under_wine=self.FALLBACK, installed_first=False)

    def test_an_entry_folder_that_is_a_link_is_replaced_never_written_through(self):
        if self.platform.windows:
            self.skipTest("Wine cannot remove a Unix link to a folder: see test_at_a_listed_folder")
        self.install_all()
        entry = self.entry("Docs/\u00dcbersicht.txt")
        shutil.rmtree(self.path("Docs"))
        self.link("Docs", "docs")
        walk = {r: lines for r, lines in self.walk_of_intact_install().items() if not r.startswith("Docs")}
        walk["Docs"] = [(MAIN, " - is link - attributes kept")] + self.expect.unlisted()
        _, records = self.start()
        self.assertPass(records, walk=walk, remaining={entry: {"folder": "missing"}})
        self.assertInstalled(self.files)
        self.assertOutsideUntouched()

    def test_file_links_are_removed_or_replaced_as_links(self):
        if self.platform.windows:
            self.skipTest("Wine shows a Unix link to a file as the file: the trace differs")
        self.install_all()
        relay = self.entry("Relay/relay.exe")
        # Its content and time are the entry's: only the link itself differs.
        theirs = self.outside / "relay.exe"
        theirs.write_bytes(relay.content)
        set_filetime(theirs, relay.file_time)
        self.before = harness.tree_snapshot(self.outside)
        self.path("Relay/relay.exe").unlink()
        self.link("Relay/relay.exe", "relay.exe")
        self.link("stray.lnk", "file.txt")
        walk = self.walk_of_intact_install()
        link = [(MAIN, " - is link - attributes kept")]
        walk["stray.lnk"] = link + self.expect.unlisted()
        walk["Relay/relay.exe"] = lambda first: link + [(MAIN, " - is link - overwrite file")] + (
            PAYLOAD_CHECK if first else []) + DECOMPRESS + [(MAIN, " - write file")] + self.expect.write(
            relay, occupied=True) + [(MAIN, " - delete in files map")]
        _, records = self.start()
        self.assertPass(records, walk=walk, remaining={})
        self.assertInstalled(self.files)
        self.assertOutsideUntouched()


class DamagedBundle(SyncScenario):
    """Which check stops a run on a damaged bundle, depending on what the pass
    has to do before it meets the damage."""

    def frame_byte(self, relative):
        """The payload position of a byte inside the entry's frame."""
        files = self.files
        index = files.index(self.entry(relative))
        manifest, _ = self.bundle(files)
        offset = struct.unpack_from("<I", manifest, entry_fields_offset(manifest, index) + 16)[0]
        return 4 + offset + 5

    def test_corrupt_payload_stops_before_a_differing_file_is_decompressed(self):
        self.install_all()
        main = self.path("Aerolith.exe")
        main.write_bytes(b"a main executable of another size")
        damaged_at = self.frame_byte("Docs/\u00dcbersicht.txt")  # another entry's frame

        def damage(payload):
            payload[damaged_at] ^= 0x10
            return bytes(payload)

        launcher = self.damaged_launcher("damaged", payload=damage)
        _, good_payload = self.bundle(self.files)
        damaged = damage(bytearray(good_payload))
        code = "4.%d.%d" % (bundle_format.crc32c(damaged[4:]), struct.unpack_from("<I", damaged)[0])
        result, records = self.start(launcher, exit_code=EXIT_FATAL)
        self.assertSingleDialog(result, CORRUPT.format(code))
        lines = [(r.tag, r.message) for r in records]
        entry = self.entry("Aerolith.exe")
        start = lines.index((MAIN, "Existing file: '%s'" % self.expect.host("Aerolith.exe")))
        self.assertEqual(lines[start + 1:], self.expect.attributes_kept() + self.expect.rewrite_check(
            entry, filetime_of(main), main.stat().st_size) + PAYLOAD_CHECK[:2] + [
            (MAIN, fatal_record(CORRUPT.format(code)))])
        self.assertEqual(main.read_bytes(), b"a main executable of another size")

    def test_damaged_added_file_ends_with_stage_7_without_a_payload_check(self):
        self.install_all()
        relative = "Docs/\u00dcbersicht.txt"
        self.path(relative).unlink()
        damaged_at = self.frame_byte(relative)

        def damage(payload):
            payload[damaged_at] ^= 0x10
            return bytes(payload)

        launcher = self.damaged_launcher("damaged", payload=damage)
        index = self.files.index(self.entry(relative))
        result, records = self.start(launcher, exit_code=EXIT_FATAL)
        self.assertSingleDialog(result, CORRUPT.format("7.%d.12" % index))
        lines = [(r.tag, r.message) for r in records]
        walk_end = lines.index((MAIN, "End recursive directory iterate"))
        self.assertEqual(lines[walk_end:], [(MAIN, "End recursive directory iterate"),
                                            (MAIN, "files map remain: 1"), (MAIN, "Begin files map iterate"),
                                            DECOMPRESS[0], (MAIN, " -  - decompress error"),
                                            (MAIN, fatal_record(CORRUPT.format("7.%d.12" % index)))])
        self.assertFalse(any(line in lines for line in PAYLOAD_CHECK))

    def test_damaged_file_being_replaced_after_the_payload_check_passed_ends_with_stage_6(self):
        self.install_all()
        relay = self.path("Relay/relay.exe")
        relay.write_bytes(b"an older relay")
        index = self.files.index(self.entry("Relay/relay.exe"))

        def wrong_content_crc(manifest):
            at = entry_fields_offset(manifest, index) + 4
            struct.pack_into("<I", manifest, at, struct.unpack_from("<I", manifest, at)[0] ^ 1)
            struct.pack_into("<I", manifest, 0, bundle_format.crc32c(bytes(manifest[4:])))
            return bytes(manifest)

        launcher = self.damaged_launcher("damaged", manifest=wrong_content_crc)
        result, records = self.start(launcher, exit_code=EXIT_FATAL)
        self.assertSingleDialog(result, CORRUPT.format("6.%d.14" % index))
        lines = [(r.tag, r.message) for r in records]
        start = lines.index((MAIN, "Existing file: '%s'" % self.expect.host("Relay/relay.exe")))
        entry = self.entry("Relay/relay.exe")
        self.assertEqual(lines[start + 1:], self.expect.attributes_kept() + self.expect.rewrite_check(
            entry, filetime_of(relay), len(b"an older relay")) + PAYLOAD_CHECK + [
            DECOMPRESS[0], (MAIN, " -  - decompress error"),
            (MAIN, fatal_record(CORRUPT.format("6.%d.14" % index)))])
        self.assertEqual(relay.read_bytes(), b"an older relay")


class WriteFailure(SyncScenario):
    """A listed file that must be rewritten but cannot be: held open without
    sharing by another process (Windows), or immutable (Linux); and, under
    Wine, one that is held only for a moment or with all access shared, as
    virus scanners hold new files, and is rewritten."""

    def held_relay(self, share_all=False):
        self.install_all()
        relay = self.path("Relay/relay.exe")
        relay.write_bytes(b"an older relay")
        if not self.platform.windows:
            self.skipTest("only Windows locks files against removal")
        release = self.hold(relay, share_all)
        self.addCleanup(release)
        return release

    def test_a_file_held_with_all_access_shared_is_replaced_under_the_holder(self):
        release = self.held_relay(share_all=True)
        self.start()
        # The old file keeps a name of its own until the holder lets go.
        leftover = [p.name for p in self.path("Relay").iterdir() if p.name != "relay.exe"]
        self.assertEqual(len(leftover), 1)
        self.assertInstalled(self.files, extra=["Relay/" + leftover[0]])
        self.assertEqual(release(), b"an older relay")
        self.start()
        self.assertInstalled(self.files)

    def test_a_file_held_for_a_moment_is_waited_for(self):
        release = self.held_relay()
        self.trace_file.unlink()

        def release_once_met():
            harness.wait_for(lambda: b"write file content" in (
                self.trace_file.read_bytes() if self.trace_file.exists() else b""), "the rewrite")
            time.sleep(0.3)
            release()
        threading.Thread(target=release_once_met).start()
        self.start()
        self.assertInstalled(self.files)

    def test_file_that_cannot_be_written_ends_in_the_write_dialog_and_nothing_else_is_lost(self):
        self.install_all()
        self.path("Config.ini").write_bytes(b"[user]\n")
        relay = self.path("Relay/relay.exe")
        relay.write_bytes(b"an older relay")
        release = self.hold(relay)
        self.addCleanup(release)
        entry = self.entry("Relay/relay.exe")
        result, records = self.start(exit_code=EXIT_FATAL)
        self.assertSingleDialog(result, WRITE_FAILED.format(self.expect.host(entry.relative)))
        lines = [(r.tag, r.message) for r in records]
        start = lines.index((MAIN, "Existing file: '%s'" % self.expect.host(entry.relative)))
        # Attributes are no share of a file's content: setting them works.
        self.assertEqual(lines[start + 1:], self.expect.attributes_kept() + self.expect.rewrite_check(
            entry, filetime_of(relay), len(b"an older relay")) + PAYLOAD_CHECK + DECOMPRESS + [
            (MAIN, " - write file")] + self.expect.folder_lines(entry, "exists") + [
            (WRITER, " - write file content"), (WRITER, " -  - remove exception"),
            (WRITER, " - write to 'Relay' 'relay.exe' (%s)" % self.expect.host(entry.relative)),
            (WRITER, " -  - open failed - break"),
            (MAIN, fatal_record(WRITE_FAILED.format(self.expect.host(entry.relative))))])
        self.assertEqual(relay.read_bytes(), b"an older relay")
        if self.platform.windows:  # a hold is waited out for one second, not longer
            waited = record_time(records[-4]) - record_time(records[-5])
            # The wait is a second of the steady clock, the records carry the
            # wall clock's times, which a time daemon may slew by 0.05 %.
            self.assertTrue(0.999 <= waited.total_seconds() < 1.5, waited)
        others = [f for f in self.files if f is not entry]
        self.assertInstalled(others, extra=["Config.ini", "Relay/relay.exe"])

        release()
        self.start()
        self.assertInstalled(self.files, extra=["Config.ini"])
        self.assertEqual(self.path("Config.ini").read_bytes(), b"[user]\n")



class AtItsTurn(SyncScenario):
    """A start acts on each object as it is when its turn comes, and only on
    what is the install directory's own."""

    def test_files_hard_linked_from_outside_are_never_changed_and_no_longer_shared(self):
        self.install_all()
        outside = self.scratch / "outside"
        outside.mkdir()
        listed, unlisted = outside / "relay.exe", outside / "notes.txt"
        listed.write_bytes(self.entry("Relay/relay.exe").content)  # right content, old time
        set_filetime(listed, BASE_TIME - 10**9)
        listed.chmod(0o444)
        unlisted.write_bytes(b"the user's own notes")
        self.path("Relay/relay.exe").unlink()
        os.link(listed, self.path("Relay/relay.exe"))
        os.link(unlisted, self.path("Relay/notes.txt"))
        before = {twin: os.stat(twin) for twin in (listed, unlisted)}
        self.start()
        for twin, was in before.items():
            now = os.stat(twin)
            self.assertEqual((now.st_mode, now.st_mtime_ns), (was.st_mode, was.st_mtime_ns), twin)
        # Wine keeps the read-only attribute in the file's mode, shared by its
        # names: there the name is freed and the file kept under another.
        kept = [p.name for p in self.path("Relay").iterdir() if p.name != "relay.exe"]
        self.assertEqual(os.stat(listed).st_nlink, 1 + len(kept))
        self.assertEqual(len(kept), 1 if self.platform.windows else 0)
        self.assertEqual(os.stat(unlisted).st_nlink, 1)
        self.assertInstalled(self.files, extra=["Relay/" + name for name in kept])

    def test_a_listed_file_gone_after_the_listing_is_written_before_the_application_starts(self):
        self.install_all()
        _, records = self.start()  # shows the order in which a walk meets the files
        listed = {self.expect.host(f.relative): f.relative for f in self.files}
        order = [listed[r.message[len("Existing file: '"):-1]] for r in records
                 if r.message.startswith("Existing file: '") and r.message[len("Existing file: '"):-1] in listed]
        # The first in a sub-folder, which alone is slowed: the application's
        # own file is read at full speed when it starts.
        first, last = next(r for r in order if "/" in r), order[-1]
        self.assertLess(order.index(first), order.index(last))
        self.path(first).write_bytes(b"changed, so read slowly")
        met = "Existing file: '%s'" % self.expect.host(first)

        def remove_once_first_met():
            harness.wait_for(lambda: met.encode() in (
                self.trace_file.read_bytes() if self.trace_file.exists() else b""), "the first file")
            self.path(last).unlink()
        self.trace_file.unlink(missing_ok=True)
        remover = threading.Thread(target=remove_once_first_met)
        remover.start()
        _, records = self.start(host_env=self.platform.slow_file_system(
            self.path(first).parent, delay_ms=1000))
        remover.join()
        self.assertInstalled(self.files)
        lines = [(r.tag, r.message) for r in records]
        end = lines.index((MAIN, "End recursive directory iterate"))
        self.assertEqual(lines[end - 1:end + 2], [
            (MAIN, "Kept file gone since: '%s'" % self.expect.host(last)),
            (MAIN, "End recursive directory iterate"), (MAIN, "files map remain: 1")])

    def test_a_huge_sparse_file_at_a_listed_path_is_rewritten_without_being_read(self):
        self.install_all()
        with open(self.path("Modules/Sim/module.dll"), "r+b") as huge:
            huge.truncate(100 * 2**30)
        self.start()  # a whole read would take minutes here, far beyond the run's time-out
        self.assertInstalled(self.files)


class ManyFolders(SyncScenario):
    """A walk holds no more than the chain of folders it is in: desktops allow a
    process about a thousand open files."""

    def setUp(self):
        super().setUp()
        if self.platform.windows:
            self.skipTest("a limit of open descriptors is a POSIX one")
        self.files = [AppFile("Folder%04d" % i, "file.txt", b"%d" % i, BASE_TIME) for i in range(1500)]
        self.files.append(app_files(harness.application_image(self.platform))[0])
        self.launcher = self.launcher_for(self.files)

    def test_a_walk_of_more_folders_than_open_files_allowed_is_complete(self):
        self.install_all()
        for f in self.files:
            self.path(f.directory).joinpath("unlisted.txt").write_bytes(b"x")
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        resource.setrlimit(resource.RLIMIT_NOFILE, (256, hard))
        try:
            _, records = self.start()
            self.assertInstalled(self.files)
            _, again = self.start()
        finally:
            resource.setrlimit(resource.RLIMIT_NOFILE, (soft, hard))
        self.assertInstalled(self.files)
        messages = [r.message for r in again]
        self.assertIn("files map remain: 0", messages)
        self.assertNotIn(" - write file", messages)
        self.assertNotIn(" - not in file list", messages)


class LargeEntries(SyncScenario):
    """An entry too large to hold in memory is decoded straight into its file,
    under a temporary name beside it that takes the entry's name only once the
    content passed its check."""

    SIZE = 40 << 20  # above the size from which entries are streamed

    def large_launcher(self, name, damage_content_crc=False):
        """A launcher carrying the release and Data\\large.bin, packed by the
        build's aerolith-pack; optionally with that entry's content CRC wrong in
        an otherwise sound manifest. Returns it, the large file's content and
        its entry's index."""
        app = self.scratch / (name + "-app")
        for f in self.files:
            path = app / f.relative
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(f.content)
            set_filetime(path, f.file_time)
        content = random.Random(5).randbytes(4096) * (self.SIZE // 4096)
        (app / "Data").mkdir()
        (app / "Data" / "large.bin").write_bytes(content)
        set_filetime(app / "Data" / "large.bin", BASE_TIME)
        host = self.platform.host_path
        bundle = self.scratch / (name + "-bundle")
        packed = self.platform.run(self.platform.program("aerolith-pack"),
                                   ["pack", host(app), host(bundle), "--level", "1"], trace_dialogs=False)
        self.assertExitCode(packed, 0)
        manifest = bytearray((bundle / "manifest.bin").read_bytes())
        index = self.entry_names(manifest).index("large.bin")
        if damage_content_crc:
            at = entry_fields_offset(manifest, index) + 4
            struct.pack_into("<I", manifest, at, struct.unpack_from("<I", manifest, at)[0] ^ 1)
            struct.pack_into("<I", manifest, 0, bundle_format.crc32c(bytes(manifest[4:])))
        launcher = harness.embed_bundle(self.platform, bytes(manifest), (bundle / "payload.bin").read_bytes(),
                                        self.scratch / name, checked=not damage_content_crc)
        return launcher, content, index

    @staticmethod
    def entry_names(manifest):
        position, names = 8, []
        for _ in range(struct.unpack_from("<I", manifest, 4)[0]):
            position += 4 + struct.unpack_from("<I", manifest, position)[0]  # the directory
            length = struct.unpack_from("<I", manifest, position)[0]
            names.append(bytes(manifest[position + 4:position + 4 + length]).decode("utf-16-le"))
            position += 4 + length + 28
        return names

    def test_a_large_entry_is_added_and_rewritten_byte_for_byte_through_a_temporary_name(self):
        launcher, content, _ = self.large_launcher("large")
        large = AppFile("Data", "large.bin", content, BASE_TIME)
        for start in ("added", "rewritten"):
            _, records = self.start(launcher)
            self.assertInstalled(self.files + [large])  # nothing else: no temporary file left
            messages = [r.message for r in records]
            decoding = next(m for m in messages if m.startswith(" -  - decode into '.aerolith-"))
            self.assertTrue(decoding.endswith(".tmp'"), decoding)
            self.assertLess(messages.index(decoding), messages.index(" -  - stamped and moved over the name"))
            self.platform.wait_until_ended(self.path("Aerolith.exe"))
            self.path("Data/large.bin").write_bytes(b"an older release's file")

    def test_a_damaged_large_entry_ends_as_today_and_leaves_nothing_of_its_content(self):
        launcher, _, index = self.large_launcher("damaged", damage_content_crc=True)
        code = "7.%d.14" % index
        result, records = self.start(launcher, exit_code=EXIT_FATAL)
        self.assertSingleDialog(result, CORRUPT.format(code))
        lines = [(r.tag, r.message) for r in records]
        self.assertEqual(lines[-2:], [(MAIN, " -  - decompress error"), (MAIN, fatal_record(CORRUPT.format(code)))])
        self.assertFalse(os.path.lexists(self.path("Data/large.bin")))
        self.assertEqual([n for _, _, names in os.walk(self.install) for n in names if n.startswith(".aerolith-")], [])

    def test_a_disk_that_fills_while_a_large_entry_is_written_ends_in_the_write_dialog(self):
        launcher, _, _ = self.large_launcher("full")
        full = self.platform.slow_file_system(self.install, full_after=16 << 20)
        result, records = self.start(launcher, exit_code=EXIT_FATAL, host_env=full)
        path = self.expect.host("Data/large.bin")
        self.assertSingleDialog(result, WRITE_FAILED.format(path))
        self.assertRegex(records[-2].message, r"^ -  - write failed - break, ec = \d+$")
        self.assertFalse(os.path.lexists(self.path("Data/large.bin")))
        self.assertEqual([n for _, _, names in os.walk(self.install) for n in names if n.startswith(".aerolith-")], [])


if __name__ == "__main__":
    harness.main()
