"""aerolith-pack as a release engineer uses it: packing a folder into a bundle that a
second, independent reader accepts field by field, listing, verifying, extracting
and embedding it, and every refusal with its message and exit code."""

import datetime
import hashlib
import json
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import textwrap
from pathlib import Path

import bundle_format
import bundle_writer
import harness
import sync_trace
from bundle_format import filetime_of_ns, read_bundle
from bundle_writer import Record

try:
    import pefile
except ImportError:  # an interpreter of its own (pyenv) does not see Debian's python3-pefile
    sys.path.append("/usr/lib/python3/dist-packages")
    import pefile

MANIFEST_ID = 48978
PAYLOAD_ID = 19266
RT_ICON = 3
RT_RCDATA = 10
RT_GROUP_ICON = 14
RT_VERSION = 16
LANGUAGE = 1033
SIGNED_REFUSAL = ("aerolith-pack: the image is signed; embedding would invalidate the signature: "
                  "embed into the unsigned image and sign the result\n")

# 2021-06-01 12:00:00 UTC plus 1234567 ticks: 100-ns precision survives.
BASE_NS = 1622548800 * 10**9 + 123456700


def program_bytes(platform, size, seed):
    """Bytes whose headers make them a program of the platform, which is all the tool
    reads of Aerolith.exe: an x64 PE32+ image for Windows, an ELF file for Linux."""
    if platform.windows:
        header = (b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40) + b"PE\0\0" + struct.pack("<H", 0x8664) + bytes(18)
                  + struct.pack("<H", 0x20B))
    else:
        header = b"\x7fELF"
    return header + random.Random(seed).randbytes(size - len(header))


class PackScenario(harness.Scenario):
    def pack_tool(self, *args, env=None):
        result = self.platform.run(self.platform.program("aerolith-pack"),
                                   [self.host(a) for a in args], env=env, trace_dialogs=False)
        result.stdout = "".join(line for line in result.stdout.splitlines(keepends=True)
                                if not line.startswith("exit code: 0x"))
        return result

    def host(self, arg):
        return self.platform.host_path(arg) if isinstance(arg, Path) else arg

    def assertSucceeds(self, result):
        self.assertExitCode(result, 0)
        return result

    def assertRefused(self, result, *fragments, code=1):
        self.assertExitCode(result, code)
        for fragment in fragments:
            self.assertIn(fragment, result.stderr)
        return result

    def make_file(self, path, content, ns=BASE_NS):
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
        os.utime(path, ns=(ns, ns))
        return path

    def make_app(self):
        """A folder with every case a producer must get right."""
        app = self.scratch / "app"
        rng = random.Random(7)
        files = {
            "Aerolith.exe": program_bytes(self.platform, 5000, 7),
            "empty.dat": b"",
            "two-byte size field.bin": bytes(rng.getrandbits(8) for _ in range(300)),
            "Modules/four-byte size field.bin": b"abc" * 30000,
            "Modules/Sim/copy.dll": b"same content in two folders\n" * 20,
            "Relay/copy.dll": b"same content in two folders\n" * 20,
            "Relay/J\u00e9r\u00f4me \u65e5\u672c.txt": "non-ASCII name\n".encode(),
            "Relay/\U0001F600 astral.txt": "astral-plane name\n".encode(),
            "Relay/\uff21 full-width.txt": b"sorts after the astral name in UTF-16 order\n",
            "Zeta/B.txt": b"upper case sorts first\n",
            "Zeta/a.txt": b"lower case sorts after\n",
        }
        for i, (relative, content) in enumerate(sorted(files.items())):
            self.make_file(app / relative, content, BASE_NS + i * 1000 * 100)
        return app, files

    def pack(self, app, name):
        bundle = self.scratch / name
        self.assertSucceeds(self.pack_tool("pack", app, bundle))
        return bundle

    def embed(self, launcher, bundle, out, *options):
        return self.pack_tool("embed", launcher, bundle / "manifest.bin", bundle / "payload.bin", "-o", out,
                              *options)

    def read(self, bundle_dir):
        return read_bundle((bundle_dir / "manifest.bin").read_bytes(), (bundle_dir / "payload.bin").read_bytes())

    def listing(self, bundle):
        """The rows of `list`, which a pipe gets without a header."""
        result = self.assertSucceeds(self.pack_tool("list", bundle))
        return [line.split("\t") for line in result.stdout.splitlines()]

    def json_of(self, *args, code=0):
        result = self.pack_tool(*args, "--json")
        self.assertExitCode(result, code)
        return json.loads(result.stdout)


class Pack(PackScenario):
    def test_bundle_passes_an_independent_check_of_every_field(self):
        app, files = self.make_app()
        out = self.scratch / "out"
        result = self.assertSucceeds(self.pack_tool("pack", app, out))
        self.assertIn("packed %d files" % len(files), result.stdout)
        entries = read_bundle((out / "manifest.bin").read_bytes(), (out / "payload.bin").read_bytes())

        self.assertEqual([e.path.replace("\\", "/") for e in entries], [
            "Aerolith.exe", "Modules/Sim/copy.dll", "Modules/four-byte size field.bin",
            "Relay/J\u00e9r\u00f4me \u65e5\u672c.txt", "Relay/copy.dll", "Relay/\U0001F600 astral.txt",
            "Relay/\uff21 full-width.txt", "Zeta/B.txt", "Zeta/a.txt", "empty.dat",
            "two-byte size field.bin"])
        by_path = {e.path.replace("\\", "/"): e for e in entries}
        for relative, content in files.items():
            entry = by_path[relative]
            self.assertEqual(entry.content, content, relative)
            stat = (app / relative).stat()
            self.assertEqual(entry.file_time, filetime_of_ns(stat.st_mtime_ns), relative)

        top = by_path["Aerolith.exe"]
        self.assertEqual(top.directory, "")
        manifest = (out / "manifest.bin").read_bytes()
        self.assertEqual(manifest[8:12], b"\0\0\0\0")  # directory length 0, name length next
        self.assertEqual(manifest[12:16], (len("Aerolith.exe") * 2).to_bytes(4, "little"))

        empty = by_path["empty.dat"]
        self.assertEqual((empty.size, empty.crc), (0, 0))
        self.assertEqual(by_path["two-byte size field.bin"].content_size_field, 2)
        self.assertEqual(by_path["Modules/four-byte size field.bin"].content_size_field, 4)
        one, two = by_path["Modules/Sim/copy.dll"], by_path["Relay/copy.dll"]
        self.assertEqual((one.size, one.crc), (two.size, two.crc))
        self.assertNotEqual(one.offset, two.offset)
        self.assertEqual(one.directory, "Modules\\Sim")

    def test_same_folder_gives_byte_identical_bundles_with_any_number_of_jobs(self):
        app, files = self.make_app()
        first = self.scratch / "first"
        summary = self.json_of("pack", app, first, "--level", "3", "--jobs", "1")
        self.assertEqual((summary["files"], summary["bytes"]), (len(files), sum(map(len, files.values()))))
        for name in ("manifest", "payload"):
            written = (first / (name + ".bin")).read_bytes()
            self.assertEqual((summary[name]["bytes"], summary[name]["sha256"]),
                             (len(written), hashlib.sha256(written).hexdigest()))
        for jobs in ("--jobs=2", "--jobs=7", None):
            with self.subTest(jobs=jobs):
                again = self.scratch / ("again%s" % jobs)
                self.assertSucceeds(self.pack_tool("pack", app, again, "--level=3", *filter(None, [jobs])))
                for name in ("manifest.bin", "payload.bin"):
                    self.assertEqual((first / name).read_bytes(), (again / name).read_bytes(), name)

    def test_time_below_100_ns_is_dropped_not_rounded(self):
        app = self.scratch / "app"
        self.make_file(app / "Aerolith.exe", b"x", BASE_NS + 99)
        self.assertSucceeds(self.pack_tool("pack", app, self.scratch / "out"))
        entry, = self.read(self.scratch / "out")
        self.assertEqual(entry.file_time, filetime_of_ns(BASE_NS))

    def test_files_larger_than_the_level_window_still_get_single_segment_frames(self):
        app = self.scratch / "app"
        rng = random.Random(3)
        block = bytes(rng.getrandbits(8) for _ in range(1 << 16))
        self.make_file(app / "Aerolith.exe", block * 40)  # 2.5 MiB, above level 1's 512 KiB window
        self.assertSucceeds(self.pack_tool("pack", app, self.scratch / "out", "--level", "1"))
        entry, = self.read(self.scratch / "out")
        self.assertEqual(entry.content_size_field, 4)

    def test_symbolic_links_inside_the_folder_are_packed_as_their_files(self):
        app = self.scratch / "app"
        self.make_file(app / "Aerolith.exe", b"main")
        self.make_file(app / "lib" / "real.dll", b"real")
        (app / "linked.dll").symlink_to("lib/real.dll")
        (app / "alias").symlink_to("lib", target_is_directory=True)
        self.assertSucceeds(self.pack_tool("pack", app, self.scratch / "out"))
        self.assertEqual({e.path: e.content for e in self.read(self.scratch / "out")}, {
            "Aerolith.exe": b"main", "alias\\real.dll": b"real", "lib\\real.dll": b"real",
            "linked.dll": b"real"})


class Progress(PackScenario):
    def run_on_terminal(self, *args):
        """Runs the native tool with standard error on a pseudo-terminal."""
        master, slave = os.openpty()
        try:
            done = subprocess.run([str(self.platform.program("aerolith-pack"))] + [str(a) for a in args],
                                  stdout=subprocess.PIPE, stderr=slave, timeout=120)
        finally:
            os.close(slave)
        shown = b""
        while True:
            try:
                chunk = os.read(master, 65536)
            except OSError:  # the terminal's other end is closed
                break
            if not chunk:
                break
            shown += chunk
        os.close(master)
        self.assertEqual(done.returncode, 0, shown)
        return shown.decode()

    def test_progress_line_only_on_a_terminal_and_for_megabytes(self):
        if self.platform.windows:
            self.skipTest("needs a Unix terminal")
        app = self.scratch / "app"
        self.make_file(app / "Aerolith.exe", program_bytes(self.platform, 6 << 20, 5))
        shown = self.run_on_terminal("pack", app, self.scratch / "out", "--level", "1")
        self.assertIn("packing 100% (6.0 of 6.0 MiB)", shown)
        self.assertTrue(shown.endswith("\r"), repr(shown[-80:]))  # the line is cleared again
        shown = self.run_on_terminal("extract", self.scratch / "out", self.scratch / "x")
        self.assertIn("extracting 100%", shown)

        piped = self.assertSucceeds(self.pack_tool("pack", app, self.scratch / "again", "--level", "1"))
        self.assertNotIn("%", piped.stderr)
        logged = self.assertSucceeds(self.pack_tool("pack", app, "-o", self.scratch / "logged", "--level", "1",
                                                    "--progress"))
        self.assertTrue(logged.stderr.startswith("packing   0% (0.0 of 6.0 MiB)\n"), logged.stderr)
        self.assertTrue(logged.stderr.endswith("packing 100% (6.0 of 6.0 MiB)\n"), logged.stderr)
        small = self.scratch / "small"
        self.make_file(small / "Aerolith.exe", b"small")
        self.assertNotIn("%", self.run_on_terminal("pack", small, self.scratch / "small-out"))


class Refusals(PackScenario):
    def app_with(self, relative, content=b"x"):
        app = self.scratch / "app"
        self.make_file(app / "Aerolith.exe", b"main")
        return app, self.make_file(app / relative, content)

    def test_file_of_2_gib_is_refused_before_anything_is_written(self):
        app, huge = self.app_with("Modules/huge.bin", b"")
        big = self.make_file(app / "big.bin", b"")
        with open(huge, "r+b") as f:
            f.truncate(2**31)  # sparse
        with open(big, "r+b") as f:
            f.truncate(2**31 - 1)  # the largest a bundle holds
        out = self.scratch / "out"
        result = self.assertRefused(self.pack_tool("pack", app, out), "huge.bin", "2147483648 bytes long")
        self.assertNotIn("big.bin", result.stderr)
        self.assertFalse((out / "payload.bin").exists())

    def test_names_a_windows_file_system_cannot_hold_are_refused(self):
        if self.platform.windows:
            self.skipTest("Wine maps these characters to others in Unix names")
        for name in ("a<b", "a>b", "a:b", 'a"b', "a|b", "a?b", "a*b", "a\\b", "tab\there",
                     "trailing.", "trailing ", "CON", "nul.txt", "COM1.log", "COM0.txt", "CONIN$",
                     "CONOUT$.txt", "LPT0.log", "nul .txt", "COM1 .log", "COM\u00b9"):
            with self.subTest(name=name):
                shutil.rmtree(self.scratch / "app", ignore_errors=True)
                app, _ = self.app_with(Path("dir") / name)
                self.assertRefused(self.pack_tool("pack", app, self.scratch / "out"), "cannot pack", name)

    def test_what_a_launcher_install_would_harm_is_refused_naming_each_path(self):
        sep = "\\" if self.platform.windows else "/"
        cases = {
            "Config.ini": "'Config.ini': 'Config.ini' is where the user's settings live",
            "Modules/Relay/config.INI": "'Modules%sRelay%sconfig.INI': 'Config.ini' is where" % (sep, sep),
            "Docs/VANTORCONFIG.json": "'Docs%sVANTORCONFIG.json': 'VantorConfig.json' is where" % sep,
            "Config.ini/readme.txt": "'Config.ini': 'Config.ini' is where",
            "HIDAPI.x86.dll": "'HIDAPI.x86.dll': a launcher removes 'hidapi.x86.dll' after every install",
            "aerolith.vantor.X64.exe": "a launcher removes 'Aerolith.Vantor.x64.exe'",
            "\u00c9.txt": "'\u00c9.txt', '\u00e9.txt' differ only in letter case",
            "\u03a9mega/one.txt": "'\u03a9mega', '\u03c9mega' differ only in letter case",
        }
        partners = {"\u00c9.txt": "\u00e9.txt", "\u03a9mega/one.txt": "\u03c9mega/two.txt"}
        for relative, message in cases.items():
            with self.subTest(path=relative):
                shutil.rmtree(self.scratch / "app", ignore_errors=True)
                app, _ = self.app_with(relative)
                if relative in partners:
                    self.make_file(app / partners[relative], b"y")
                out = self.scratch / "out"
                result = self.assertRefused(self.pack_tool("pack", app, out), "cannot pack", message)
                self.assertEqual(result.stderr.count("\n  "), 1, result.stderr)
                self.assertFalse((out / "manifest.bin").exists())
        # Legacy names are files of the top level only.
        shutil.rmtree(self.scratch / "app")
        app, _ = self.app_with("Modules/hidapi.x86.dll")
        self.make_file(app / "Modules" / "Config.ini.bak", b"")
        self.assertSucceeds(self.pack_tool("pack", app, self.scratch / "fine"))

    def test_name_that_is_not_valid_unicode_is_refused(self):
        if self.platform.windows:
            self.skipTest("Wine maps undecodable Unix names")
        app, _ = self.app_with("ok.txt")
        with open(os.path.join(bytes(app), b"bad\xff.txt"), "wb"):
            pass
        self.assertRefused(self.pack_tool("pack", app, self.scratch / "out"),
                           "'bad\\xFF.txt': the name is not valid Unicode")

    def test_symbolic_links_leaving_the_folder_or_looping_are_refused(self):
        outside = self.make_file(self.scratch / "outside.txt", b"secret")
        cases = {
            "to-file": (outside, False, "leads outside the folder"),
            "to-parent": ("..", True, "leads outside the folder"),
            "loop": (".", True, "leads back to a folder that holds it"),
            "dangling": ("missing", False, "leads nowhere"),
        }
        if self.platform.windows:
            del cases["dangling"]  # Wine lists no broken Unix links
        for name, (target, is_dir, message) in cases.items():
            with self.subTest(name=name):
                shutil.rmtree(self.scratch / "app", ignore_errors=True)
                app, _ = self.app_with("ok.txt")
                (app / name).symlink_to(target, target_is_directory=is_dir)
                self.assertRefused(self.pack_tool("pack", app, self.scratch / "out"), name, message)

    def test_empty_folder_and_bad_arguments(self):
        empty = self.scratch / "empty"
        (empty / "sub").mkdir(parents=True)
        self.assertRefused(self.pack_tool("pack", empty, self.scratch / "out"), "holds no files")
        app, _ = self.app_with("ok.txt")
        self.assertRefused(self.pack_tool("pack", app / "ok.txt", self.scratch / "out"), "is not a folder")
        self.assertRefused(self.pack_tool("pack", app, app / "out"), "inside APP_DIR")
        self.assertRefused(self.pack_tool("pack", app, self.scratch / "out", "--level", "23"),
                           "--level takes a whole number from 1 to 22", code=2)
        self.assertRefused(self.pack_tool("pack", app, self.scratch / "out", "--jobs", "0"),
                           "--jobs takes a whole number from 1 to 256", code=2)
        self.assertRefused(self.pack_tool(), "no command given", code=2)

    def test_help_on_every_command(self):
        commands = ("pack", "list", "verify", "extract", "embed", "diff", "plan", "explain")
        for command in commands:
            with self.subTest(command=command):
                result = self.assertSucceeds(self.pack_tool(command, "--help"))
                self.assertTrue(result.stdout.startswith("usage: aerolith-pack " + command), result.stdout)
                self.assertEqual(self.assertSucceeds(self.pack_tool("help", command)).stdout, result.stdout)
        overview = self.assertSucceeds(self.pack_tool("--help")).stdout
        for command in commands:
            self.assertIn("aerolith-pack " + command, overview)
        project = (Path(__file__).resolve().parents[2] / "CMakeLists.txt").read_text()
        version = re.search(r"project\(\w+ VERSION ([\d.]+)", project).group(1)
        self.assertEqual(self.assertSucceeds(self.pack_tool("--version")).stdout.strip(), "aerolith-pack " + version)


class Messages(PackScenario):
    def test_each_mistake_gets_a_message_in_plain_words(self):
        """Command line in, exit code and a fragment of what it prints out (standard
        output when it succeeds, standard error when not)."""
        app, _ = self.make_app()
        bundle = self.pack(app, "bundle")
        launcher = self.platform.program("launcher")
        earlier = self.scratch / "earlier.exe"
        self.assertSucceeds(self.embed(launcher, bundle, earlier))
        one_file = self.scratch / "one-file"
        self.make_file(one_file / "Aerolith.exe", b"main")
        no_program = self.scratch / "no-program.exe"
        self.assertSucceeds(self.embed(launcher, self.pack(one_file, "one-bundle"), no_program))
        notes = self.make_file(self.scratch / "notes.txt", b"plain text, no executable")
        truncated = self.scratch / "truncated"
        truncated.mkdir()
        (truncated / "manifest.bin").write_bytes((bundle / "manifest.bin").read_bytes())
        (truncated / "payload.bin").write_bytes((bundle / "payload.bin").read_bytes()[:-100])
        cluttered = self.scratch / "cluttered"
        shutil.copytree(bundle, cluttered)
        shutil.copy(notes, cluttered)
        edited = self.scratch / "edited"
        self.make_file(edited / "Aerolith.exe", b"edited by hand")
        out = self.scratch / "out"
        # Two packs of one layout whose contents differ: the frames of one are no
        # frames of the other's manifest.
        mixed = self.scratch / "mixed"
        for seed, folder in enumerate(("pack-a", "pack-b")):
            rng = random.Random(seed)
            for name in ("Aerolith.exe", "data.bin"):
                self.make_file(self.scratch / folder / name, bytes(rng.getrandbits(8) for _ in range(999)))
            self.assertSucceeds(self.pack_tool("pack", self.scratch / folder, self.scratch / (folder + "-bundle")))
        mixed.mkdir()
        shutil.copy(self.scratch / "pack-a-bundle" / "manifest.bin", mixed)
        shutil.copy(self.scratch / "pack-b-bundle" / "payload.bin", mixed)
        nameless = self.make_file(self.scratch / "nameless" / "aerolith.exe", b"lower case")
        surrogates = self.scratch / "surrogates"
        surrogates.mkdir()
        for name, resource in zip(("manifest.bin", "payload.bin"), bundle_writer.write_bundle(
                [Record("", "a\ud800.txt", b"lone"), Record("", "a\ufffd.txt", b"replacement")])):
            (surrogates / name).write_bytes(resource)
        listed = self.scratch / "listed.txt"
        listed.write_text("# what ships\nAerolith.exe\r\n./Relay\\copy.dll\n")
        unlisted = self.scratch / "unlisted.txt"
        unlisted.write_text("Aerolith.exe\ngone.txt\n")
        cases = [
            (["embed", launcher, bundle / "payload.bin", bundle / "manifest.bin", "-o", out], 1,
             "the manifest and the payload are swapped: what is given as the manifest holds Zstandard frames"),
            (["verify", truncated], 1, "the payload is truncated, or was not packed with this manifest: it holds"),
            (["embed", notes, bundle, "-o", out], 1,
             "notes.txt' is not a launcher image: neither a Windows (PE) nor a Linux (ELF) executable"),
            (["list", bundle / "manifest.bin"], 1, "manifest.bin' is one file of a bundle; name the folder"),
            (["embed", bundle, launcher, "-o", out], 2, "bundle' is a folder; embed takes the launcher image first"),
            (["embed", launcher, bundle, "-o", notes / "out.exe"], 1, "out.exe': "),
            (["pack", one_file, "-o", out / "one"], 0, "packed 1 file (4 bytes)"),
            (["list"], 2, "'list' takes 1 argument, not 0\nusage: aerolith-pack list BUNDLE [--json] "
             "[--no-header]\nsee 'aerolith-pack help list'\n"),
            (["pack", app], 2, "'pack' takes 2 arguments, not 1\nusage: aerolith-pack pack"),
            (["pack", app, out, "-o", out], 2, "the output is given twice"),
            (["embed", launcher, bundle], 2, "'embed' needs -o OUT (or --output OUT)"),
            (["list", bundle, "--colour"], 2, "unknown option '--colour'\nusage: aerolith-pack list BUNDLE"),
            (["bundle"], 2, "unknown command 'bundle'\nsee 'aerolith-pack --help'\n"),
            (["pack", app, cluttered], 1, "holds 'notes.txt', which is no part of a bundle"),
            (["pack", app, bundle], 1, "bundle' holds a bundle already; pack into a new or empty folder, or "
             "replace it with -f/--force"),
            (["pack", app, bundle, "-f"], 0, "packed 11 files"),
            (["pack", nameless.parent, out / "nameless"], 1, "there is no 'Aerolith.exe' at the top, the program "
             "a launcher starts: every start would fail (--allow-no-main packs such a folder, for tests); "
             "'aerolith.exe' differs in letter case"),
            (["pack", nameless.parent, out / "nameless", "--allow-no-main"], 0, "packed 1 file"),
            (["pack", app, out / "excluded", "--exclude", "*.dll", "--exclude=Zeta"], 0, "packed 7 files"),
            (["pack", app, out / "listed", "--files-from", listed], 0, "packed 2 files"),
            (["pack", app, out / "unlisted", "--files-from", unlisted], 1,
             "'gone.txt': listed by --files-from, but no such file is packed"),
            (["verify", mixed], 1, "manifest.bin and payload.bin come from different packs: the payload is whole"),
            (["verify", app], 1, "app' is an application folder, not a bundle: it holds 'Aerolith.exe' but no "
             "manifest.bin; pack it first"),
            (["plan", edited, bundle], 2, "the arguments are swapped: "),
            (["embed", self.platform.program("aerolith-pack"), bundle, "-o", self.scratch / "tool.exe"], 1,
             "is not an Aerolith Vantor launcher: "),
            (["verify", self.platform.program("aerolith-pack")], 1, "is not an Aerolith Vantor launcher: "),
            (["verify", no_program], 1, "'Aerolith.exe' is no program (neither a Windows nor a Linux executable)"),
            (["extract", bundle, edited], 1, "is not empty; extract writes into an empty or new folder"),
            (["embed", launcher, bundle, "-o", notes], 1, "notes.txt' exists; -f/--force replaces it"),
            (["embed", launcher, bundle, "-o", earlier], 1, "earlier.exe' exists; -f/--force replaces it"),
            (["embed", launcher, bundle, "-o", earlier, "-f"], 0, "embedded a bundle of 11 entries"),
            (["list", surrogates], 0, "a\\uD800.txt\t"),
            (["list", surrogates, "--json"], 0, '"path":"a\\\\uD800.txt"'),
            (["list", surrogates], 0, "a\ufffd.txt\t"),
            (["explain", "Error code: 4.1.3735928559"], 0, "computed 0x00000001, stored 0xDEADBEEF"),
            (["explain", "5.12.15."], 0, "Error code 5.12.15 of the message"),
            (["explain", "5.12.15", "--json"], 0, '{"ok":true,"code":"5.12.15","whatFailed":'),
            (["explain", "5.12.16"], 1, "5.12.16: no launcher shows this code"),
            (["explain", "1.0.0"], 1, "(a version number such as 1.0.0 is no error code)"),
            (["explain", "5.12"], 2, "'5.12' is no error code"),
        ]
        for args, code, fragment in cases:
            with self.subTest(args=" ".join(str(a) for a in args)):
                result = self.pack_tool(*args)
                self.assertExitCode(result, code)
                self.assertIn(fragment, result.stdout if code == 0 else result.stderr)
                self.assertNotIn(".partial", result.stderr)
                if code != 0:  # with --json, the same failure as the one document on standard output
                    result = self.pack_tool(*args, "--json")
                    self.assertExitCode(result, code)
                    document = json.loads(result.stdout)
                    self.assertEqual(document["ok"], False)
                    self.assertIn(fragment.split("\n")[0], document["error"]["message"])
        self.assertEqual((edited / "Aerolith.exe").read_bytes(), b"edited by hand")
        self.assertEqual(notes.read_bytes(), b"plain text, no executable")

    def test_extract_writes_nothing_through_a_link_in_its_destination(self):
        bundle = self.pack(self.make_app()[0], "bundle")
        outside = self.scratch / "outside"
        outside.mkdir()
        target = self.scratch / "target"
        target.mkdir()
        (target / "Relay").symlink_to(outside, target_is_directory=True)
        result = self.assertRefused(self.pack_tool("extract", bundle, "-o", target, "--force"))
        if not self.platform.windows:  # Wine shows the link as the folder it leads to
            self.assertIn("Relay' is a link; extract writes nothing through a link", result.stderr)
        self.assertEqual(list(outside.iterdir()), [])


class Installed(PackScenario):
    def test_another_project_finds_the_installed_tool_and_packs_and_embeds_with_it(self):
        if self.platform.windows:
            self.skipTest("configures a CMake project on the build machine")
        prefix = self.scratch / "prefix"
        subprocess.run(["cmake", "--install", self.platform.build_dir, "--prefix", prefix], check=True,
                       capture_output=True)
        project = self.scratch / "project"
        self.make_file(project / "app" / "Aerolith.exe", program_bytes(self.platform, 100, 3))
        (project / "CMakeLists.txt").write_text(
            "cmake_minimum_required(VERSION 3.25)\nproject(Consumer NONE)\n"
            "find_package(AerolithPack 1.0 REQUIRED)\n"
            "add_custom_command(OUTPUT launcher\n"
            "  COMMAND AerolithPack::aerolith-pack pack ${CMAKE_SOURCE_DIR}/app -o bundle --force\n"
            "  COMMAND AerolithPack::aerolith-pack embed ${AEROLITH_LAUNCHER} bundle -o launcher --force\n"
            "  VERBATIM)\nadd_custom_target(release ALL DEPENDS launcher)\n")
        build = self.scratch / "build"
        for command in (["cmake", "-S", project, "-B", build, "-DCMAKE_PREFIX_PATH=%s" % prefix],
                        ["cmake", "--build", build]):
            done = subprocess.run(command, capture_output=True, text=True)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        verified = subprocess.run([prefix / "bin" / "aerolith-pack", "verify", build / "launcher", "--json"],
                                  capture_output=True, text=True)
        self.assertEqual((verified.returncode, json.loads(verified.stdout)["entries"]), (0, 1))


class Releases(PackScenario):
    """A release and its update, as a release engineer checks them before shipping:
    what diff says the update's first start changes on an up-to-date install, what
    plan says a start does to a user's folder, and what a start then does."""

    def release(self, name, files):
        app = self.scratch / name
        for relative, (content, second) in files.items():
            self.make_file(app / relative, content, BASE_NS + second * 10**9)
        bundle = self.pack(app, name + "-bundle")
        launcher = self.scratch / (name + "-launcher") / self.platform.program("launcher").name
        launcher.parent.mkdir()
        self.assertSucceeds(self.pack_tool("embed", self.platform.program("launcher"), bundle, "-o", launcher))
        return bundle, launcher

    def start_trace(self, launcher, env, install):
        """{path below the install folder: action} of the walk, in walk order, and
        the paths written after it, from a start's trace."""
        trace = self.scratch / "trace.log"
        env = dict(env, AEROLITH_LAUNCHER_TRACE=self.platform.host_path(trace))
        self.assertExitCode(self.platform.run(launcher, env=env), harness.EXIT_STARTED)
        walk, _, remaining = sync_trace.split_pass(harness.read_trace(trace))
        prefix = self.platform.host_path(install) + ("\\" if self.platform.windows else "/")
        verdicts = [(" - is directory - continue", "folder"), (" - is config file - continue", "protected"),
                    (" - not in file list", "remove"), (" - time and size are equal - continue", "keep"),
                    (" - crc32 equal - update file time and continue", "restamp"),
                    (" - crc32 different - overwrite file", "rewrite"), (" - is link - overwrite file", "rewrite")]
        walked = [(path[len(prefix):].replace("\\", "/"),
                   next(action for line, action in verdicts if (sync_trace.MAIN, line) in lines))
                  for path, lines in walk]
        written = {re.search(r"\((.*)\)$", message).group(1)[len(prefix):].replace("\\", "/")
                   for block in remaining for tag, message in block if message.startswith(" - write to '")}
        return walked, written

    def test_diff_and_plan_predict_what_a_start_does(self):
        main = harness.application_image(self.platform)
        old_bundle, old_launcher = self.release("old", {
            "Aerolith.exe": (main, 0), "Modules/kept.dll": (b"kept", 1), "Modules/restamped.dll": (b"same", 2),
            "Modules/rewritten.dll": (b"old content", 3), "Modules/stale.dll": (b"old!", 4),
            "removed.txt": (b"gone", 5)})
        new_bundle, new_launcher = self.release("new", {
            "Aerolith.exe": (main, 0), "Modules/kept.dll": (b"kept", 1), "Modules/restamped.dll": (b"same", 9),
            "Modules/rewritten.dll": (b"new, longer content", 3), "Modules/stale.dll": (b"new!", 4),
            "Data/added.txt": (b"added", 6)})

        diff = self.json_of("diff", old_bundle, new_launcher)
        self.assertEqual({e["path"]: (e["change"], e["start"]) for e in diff["entries"]}, {
            "Aerolith.exe": ("unchanged", "keep"), "Modules\\kept.dll": ("unchanged", "keep"),
            "Modules\\restamped.dll": ("changed", "restamp"), "Modules\\rewritten.dll": ("changed", "rewrite"),
            "Modules\\stale.dll": ("changed", "keep"), "Data\\added.txt": ("added", "write"),
            "removed.txt": ("removed", "remove")})
        self.assertEqual(diff["start"], {
            "kept": 3, "restamped": 1, "rewritten": 1, "written": 1, "removed": 1, "protected": 0, "folders": 0,
            "decodedBytes": len(b"new, longer content") + len(b"added"),
            "compressedBytes": sum(e["new"]["compressedSize"] for e in diff["entries"]
                                   if e["start"] in ("rewrite", "write")),
            "payloadChecked": True, "payloadBytes": (new_bundle / "payload.bin").stat().st_size})
        self.assertEqual([w["code"] for w in diff["warnings"]], ["kept-stale"])
        self.assertEqual((diff["old"]["version"], diff["new"]["version"]),
                         (None, "1.0.0.0" if self.platform.windows else None))
        self.assertIn("warning: 'Modules\\stale.dll' has new content but its old time and size: a start keeps "
                      "the old file unread", self.assertSucceeds(self.pack_tool("diff", old_bundle, new_bundle)).stderr)
        self.assertExitCode(self.pack_tool("diff", old_bundle, new_bundle, "--strict"), 1)

        env, local = self.platform.isolated_env(self.scratch)
        install = local / "Aerolith"
        self.assertExitCode(self.platform.run(old_launcher, env=env), harness.EXIT_STARTED)
        pristine = self.json_of("plan", new_bundle, install)
        self.assertEqual(dict(pristine["start"], folders=0), diff["start"])

        # The user's own files beside the release's, and one file damaged.
        self.make_file(install / "Config.ini", b"[user]\n")
        self.make_file(install / "Modules" / "notes.txt", b"mine")
        self.make_file(install / "Screenshots" / "shot.png", b"png")
        (install / "Modules" / "kept.dll").write_bytes(b"KEPT")
        plan = self.json_of("plan", new_launcher, install)
        planned = [(step["path"].replace("\\", "/"), step["action"]) for step in plan["steps"]]
        self.assertEqual(sorted(planned), sorted([
            ("Aerolith.exe", "keep"), ("Config.ini", "protected"), ("Modules", "folder"),
            ("Modules/kept.dll", "rewrite"), ("Modules/notes.txt", "remove"), ("Modules/restamped.dll", "restamp"),
            ("Modules/rewritten.dll", "rewrite"), ("Modules/stale.dll", "keep"), ("Screenshots", "folder"),
            ("Screenshots/shot.png", "remove"), ("removed.txt", "remove"), ("Data/added.txt", "write")]))

        changes = self.json_of("plan", new_launcher, install, "--changes-only")
        self.assertEqual([(step["path"].replace("\\", "/"), step["action"]) for step in changes["steps"]],
                         [step for step in planned if step[1] not in ("keep", "folder", "protected")])
        walked, written = self.start_trace(new_launcher, env, install)
        self.assertEqual(walked, [step for step in planned if step[1] != "write"])
        self.assertEqual(written, {path for path, action in planned if action == "write"})
        self.assertEqual((install / "Modules" / "stale.dll").read_bytes(), b"old!")  # as diff warned
        self.assertEqual((install / "Config.ini").read_bytes(), b"[user]\n")


class Inspect(PackScenario):
    def setUp(self):
        super().setUp()
        self.app, self.files = self.make_app()
        self.bundle = self.scratch / "bundle"
        self.assertSucceeds(self.pack_tool("pack", self.app, self.bundle))

    def test_list_shows_every_field(self):
        entries = self.read(self.bundle)
        rows = self.listing(self.bundle)
        self.assertEqual(len(rows), len(entries))
        for row, entry in zip(rows, entries):
            seconds, ticks = divmod(entry.file_time - bundle_format.FILETIME_UNIX_EPOCH, 10**7)
            time = datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc)
            self.assertEqual(row, [str(entry.index), entry.path, str(entry.size), str(entry.compressed_size),
                                   "0x%08X" % entry.crc, "0x%08X" % entry.compressed_crc,
                                   time.strftime("%Y-%m-%dT%H:%M:%S") + ".%07dZ" % ticks])
        listed = self.json_of("list", self.bundle)
        self.assertIsNone(listed["version"])
        self.assertEqual([(e["index"], e["path"], e["size"], e["compressedSize"], e["crc32c"], e["compressedCrc32c"],
                           e["fileTime"], e["lastWrite"]) for e in listed["entries"]],
                         [(e.index, e.path, e.size, e.compressed_size, row[4], row[5], e.file_time, row[6])
                          for e, row in zip(entries, rows)])

    def test_extract_gives_back_every_file_with_its_time(self):
        target = self.scratch / "extracted"
        self.assertSucceeds(self.pack_tool("extract", self.bundle, target))
        found = {p.relative_to(target).as_posix(): p for p in target.rglob("*") if p.is_file()}
        self.assertEqual(sorted(found), sorted(self.files))
        for relative, path in found.items():
            self.assertEqual(path.read_bytes(), self.files[relative], relative)
            packed_ns = (self.app / relative).stat().st_mtime_ns
            self.assertEqual(path.stat().st_mtime_ns, packed_ns - packed_ns % 100, relative)
        # Over edited files only when told; the others stay.
        (target / "Aerolith.exe").write_bytes(b"edited")
        (target / "notes.txt").write_bytes(b"mine")
        self.assertRefused(self.pack_tool("extract", self.bundle, "-o", target), "is not empty")
        self.assertSucceeds(self.pack_tool("extract", self.bundle, "--output", target, "-f"))
        self.assertEqual(((target / "Aerolith.exe").read_bytes(), (target / "notes.txt").read_bytes()),
                         (self.files["Aerolith.exe"], b"mine"))

    def test_verify_accepts_the_bundle_and_names_a_damaged_entry(self):
        self.assertIn("ok: 11 entries", self.assertSucceeds(self.pack_tool("verify", self.bundle)).stdout)
        entries = self.read(self.bundle)
        victim = next(e for e in entries if e.path == "Relay\\copy.dll")
        payload = bytearray((self.bundle / "payload.bin").read_bytes())
        payload[4 + victim.offset + victim.compressed_size - 1] ^= 0x55
        (self.bundle / "payload.bin").write_bytes(payload)
        result = self.assertRefused(
            self.pack_tool("verify", self.bundle), "would refuse this bundle: 4.",
            "would refuse this bundle: 7.%d.12: entry %d 'Relay\\copy.dll': adding the file, its compressed "
            "bytes do not match their CRC-32C\n" % (victim.index, victim.index),
            "aerolith-pack: the bundle is refused: 2 problems in 11 entries\n")
        self.assertEqual(result.stderr.count("entry "), 1, result.stderr)
        verdict = self.json_of("verify", self.bundle, code=1)
        self.assertEqual((verdict["ok"], verdict["entries"], len(verdict["problems"])), (False, 11, 2))
        self.assertIn("7.%d.12: entry %d 'Relay\\copy.dll'" % (victim.index, victim.index), verdict["problems"][1])
        self.assertRefused(self.pack_tool("extract", self.bundle, self.scratch / "x"), "would refuse this bundle: 4.")
        self.assertFalse((self.scratch / "x").exists())

    def test_damaged_manifest_is_refused_by_every_reader(self):
        manifest = bytearray((self.bundle / "manifest.bin").read_bytes())
        manifest[20] ^= 1
        (self.bundle / "manifest.bin").write_bytes(manifest)
        for command in (("list", self.bundle), ("verify", self.bundle), ("extract", self.bundle, self.scratch / "x")):
            with self.subTest(command=command[0]):
                self.assertRefused(self.pack_tool(*command), "the launcher would refuse this bundle: 2.",
                                   ": the manifest's bytes do not match its CRC-32C")

    def test_missing_bundle_is_named(self):
        self.assertRefused(self.pack_tool("list", self.scratch / "nowhere"), "does not exist")
        (self.bundle / "payload.bin").unlink()
        self.assertRefused(self.pack_tool("verify", self.bundle), "payload.bin")


class ForeignBundles(PackScenario):
    """Bundles from elsewhere, read by list, verify and extract."""

    def write(self, files):
        return self.write_resources(*bundle_format.write_bundle(files))

    def write_records(self, records):
        return self.write_resources(*bundle_writer.write_bundle(records))

    def write_resources(self, manifest, payload):
        bundle = self.scratch / "foreign"
        shutil.rmtree(bundle, ignore_errors=True)
        bundle.mkdir()
        (bundle / "manifest.bin").write_bytes(manifest)
        (bundle / "payload.bin").write_bytes(payload)
        return bundle

    def test_verify_and_embed_refuse_what_a_launcher_or_the_producer_refuses(self):
        main = Record("", "Aerolith.exe", b"main")
        cases = [
            ([Record("", "..\\evil.txt", b"x")], "the launcher would refuse this bundle: 5.1.15: "
             "entry 1 '..\\evil.txt': its path would leave the install folder\n"),
            ([Record("Logs", "nul .txt", b"x")], "the launcher would refuse this bundle: 5.1.15: "
             "entry 1 'Logs\\nul .txt': its path would leave the install folder\n"),
            ([Record("", "Aerolith.exe", b"again")], "entry 1 'Aerolith.exe': entry 0 'Aerolith.exe' "
             "has the same path; a launcher installs only the first\n"),
            ([Record("Modules", "config.ini", b"x")], "entry 1 'Modules\\config.ini': 'Config.ini' is "
             "where the user's settings live, which a launcher keeps"),
            ([Record("", "Hidapi.x64.dll", b"x")], "entry 1 'Hidapi.x64.dll': a launcher removes "
             "'hidapi.x64.dll' after every install"),
            ([Record("", "\u00c9.txt", b"x"), Record("", "\u00e9.txt", b"y")],
             "'\u00c9.txt', '\u00e9.txt' differ only in letter case; a Windows file system holds only one"),
        ]
        out = self.scratch / "out.exe"
        for records, message in cases:
            with self.subTest(message=message):
                bundle = self.write_records([main] + records)
                self.assertRefused(self.pack_tool("verify", bundle), "aerolith-pack: " + message)
                self.assertRefused(self.pack_tool("embed", self.platform.program("launcher"),
                                                  bundle / "manifest.bin", bundle / "payload.bin", "-o", out),
                                   message)
                self.assertFalse(out.exists())

    def test_extract_keeps_the_first_of_entries_with_one_path(self):
        bundle = self.write_records([Record("", "a.txt", b"first"), Record("d", "b.txt", b"first b"),
                                     Record("", "a.txt", b"second"), Record("d/", "b.txt", b"second b")])
        self.assertEqual([row[1] for row in self.listing(bundle)], ["a.txt", "d\\b.txt", "a.txt", "d/b.txt"])
        target = self.scratch / "x"
        result = self.assertSucceeds(self.pack_tool("extract", bundle, target))
        self.assertIn("note: entry 2 'a.txt' is left out: entry 0 'a.txt' has the same path\n", result.stderr)
        self.assertIn("note: entry 3 'd/b.txt' is left out: entry 1 'd\\b.txt' has the same path\n",
                      result.stderr)
        self.assertIn("extracted 2 files", result.stdout)
        self.assertEqual((target / "a.txt").read_bytes(), b"first")
        self.assertEqual((target / "d" / "b.txt").read_bytes(), b"first b")

    def test_frames_without_content_size_are_read(self):
        time = filetime_of_ns(BASE_NS)
        bundle = self.write([("", "a.txt", b"streamed frame", time), ("d", "b.txt", b"", time),
                             ("", "Aerolith.exe", program_bytes(self.platform, 100, 1), time)])
        self.assertIn("ok: 3 entries", self.assertSucceeds(self.pack_tool("verify", bundle)).stdout)
        target = self.scratch / "x"
        self.assertSucceeds(self.pack_tool("extract", bundle, target))
        self.assertEqual((target / "a.txt").read_bytes(), b"streamed frame")
        self.assertEqual((target / "a.txt").stat().st_mtime_ns, BASE_NS)

    def test_extract_refuses_paths_that_leave_the_folder(self):
        for directory, name in (("..", "evil.txt"), ("a\\..\\..", "evil.txt"), ("", "..\\evil.txt"),
                                ("a\\\\b", "x.txt"), ("C:", "evil.txt"), ("", "a/../../evil.txt")):
            with self.subTest(directory=directory, name=name):
                bundle = self.write([(directory, name, b"evil", 0)])
                target = self.scratch / "inside" / "x"
                path = directory + "\\" + name if directory else name
                self.assertRefused(self.pack_tool("extract", bundle, target),
                                   "aerolith-pack: the launcher would refuse this bundle: 5.0.15: "
                                   "entry 0 '%s': its path would leave the install folder\n" % path)
                self.assertFalse((self.scratch / "evil.txt").exists())
                self.assertFalse((self.scratch / "inside").exists())


class Embed(PackScenario):
    def embedded_resources(self, image):
        """{resource id: bytes} for the bundle's two resources, read independently."""
        data = image.read_bytes()
        if self.platform.windows:
            resources = bundle_format.read_pe_resources(data)
            found = {}
            for id_ in (MANIFEST_ID, PAYLOAD_ID):
                stored = resources[(RT_RCDATA, id_)]
                self.assertEqual([language for language, _ in stored], [LANGUAGE])
                found[id_] = stored[0][1]
            return found
        image_size, resources = bundle_format.read_appended_resources(data)
        self.assertEqual(data[:4], b"\x7fELF")
        self.assertEqual(sorted(resources), [(RT_RCDATA, PAYLOAD_ID), (RT_RCDATA, MANIFEST_ID)])
        for language, _ in resources.values():
            self.assertEqual(language, LANGUAGE)
        return {id_: resources[(RT_RCDATA, id_)][1] for id_ in (MANIFEST_ID, PAYLOAD_ID)}

    def test_embed_then_list_round_trips_and_re_embedding_replaces(self):
        app, _ = self.make_app()
        first = self.pack(app, "first")
        launcher = self.scratch / ("Aerolith.Launcher.exe" if self.platform.windows else "aerolith-launcher")
        shutil.copy(self.platform.program("launcher"), launcher)
        self.assertRefused(self.pack_tool("list", launcher), "holds no bundle")

        self.assertRefused(self.embed(launcher, first, launcher), "exists; -f/--force replaces it")
        embedded = self.assertSucceeds(self.embed(launcher, first, launcher, "--force"))
        self.assertIn("sha256: %s\n" % hashlib.sha256(launcher.read_bytes()).hexdigest(), embedded.stdout)
        self.assertEqual(self.listing(launcher), self.listing(first))
        self.assertIn("ok: 11 entries", self.assertSucceeds(self.pack_tool("verify", launcher)).stdout)
        self.assertEqual(self.embedded_resources(launcher), {
            MANIFEST_ID: (first / "manifest.bin").read_bytes(), PAYLOAD_ID: (first / "payload.bin").read_bytes()})

        small = self.scratch / "small"
        self.make_file(small / "Aerolith.exe", b"another release")
        second = self.pack(small, "second")
        size_before = launcher.stat().st_size
        again = self.scratch / "again"
        again.mkdir()
        self.assertSucceeds(self.embed(launcher, second, again / launcher.name))
        self.assertEqual(self.listing(again / launcher.name), self.listing(second))
        self.assertEqual(self.embedded_resources(again / launcher.name)[PAYLOAD_ID],
                         (second / "payload.bin").read_bytes())
        self.assertLess((again / launcher.name).stat().st_size, size_before)

        extracted = self.scratch / "extracted"
        self.assertSucceeds(self.pack_tool("extract", again / launcher.name, extracted))
        self.assertEqual((extracted / "Aerolith.exe").read_bytes(), b"another release")

        # The image still works as a launcher: it installs the release it now
        # carries and gets as far as starting it, which "another release" is not.
        env, local = self.platform.isolated_env(self.scratch)
        if not self.platform.windows:
            env["PATH"] = str(self.scratch / "no-opener")  # no desktop opener to turn to
        result = self.platform.run(again / launcher.name, env=env)
        self.assertExitCode(result, harness.EXIT_FATAL)
        self.assertIn(" - Failed to start process, error code ", result.dialogs[0].text)
        self.assertEqual((local / "Aerolith" / "Aerolith.exe").read_bytes(), b"another release")

    def test_damaged_bundle_or_foreign_image_is_not_embedded(self):
        app, _ = self.make_app()
        bundle = self.pack(app, "bundle")
        payload = bytearray((bundle / "payload.bin").read_bytes())
        payload[-1] ^= 0xFF
        (bundle / "payload.bin").write_bytes(payload)
        out = self.scratch / "out.exe"
        self.assertRefused(self.embed(self.platform.program("launcher"), bundle, out),
                           "the bundle is not embedded:\n  the launcher would refuse this bundle: 4.")
        self.assertFalse(out.exists())

        good = self.pack(app, "good")
        not_an_image = self.make_file(self.scratch / "notes.txt", b"plain text, no executable")
        self.assertRefused(self.embed(not_an_image, good, out), "notes.txt")
        self.assertFalse(out.exists())
        self.assertRefused(self.pack_tool("embed", self.platform.program("launcher"), good / "manifest.bin",
                                          good / "payload.bin"), "-o OUT", code=2)

    def test_the_users_configuration_survives_every_start(self):
        app = self.scratch / "app"
        self.make_file(app / "Aerolith.exe", harness.application_image(self.platform))
        self.make_file(app / "Modules" / "module.json", b"{}")
        self.make_file(app / "Modules" / "config.ini", b"[defaults]\n")
        sep = "\\" if self.platform.windows else "/"
        self.assertRefused(self.pack_tool("pack", app, self.scratch / "refused"),
                           "'Modules%sconfig.ini': 'Config.ini' is where the user's settings live" % sep)
        (app / "Modules" / "config.ini").unlink()
        launcher = self.scratch / "launcher" / self.platform.program("launcher").name
        launcher.parent.mkdir()
        self.assertSucceeds(self.embed(self.platform.program("launcher"), self.pack(app, "bundle"), launcher))

        env, local = self.platform.isolated_env(self.scratch)
        install = local / "Aerolith"
        user = {install / "Config.ini": b"[user]\nvolume=3\n",
                install / "Modules" / "VantorConfig.json": b'{"user": true}'}
        for path, content in user.items():
            self.make_file(path, content)
        for _ in range(2):
            self.assertExitCode(self.platform.run(launcher, env=env), harness.EXIT_STARTED)
            self.assertEqual((install / "Modules" / "module.json").read_bytes(), b"{}")
            for path, content in user.items():
                self.assertEqual((path.read_bytes(), path.stat().st_mtime_ns), (content, BASE_NS), path)

    def test_demo_launcher_carries_the_demo_bundle(self):
        build = self.platform.build_dir
        demo_bundle = build / "demo-bundle"
        entries = self.read(demo_bundle)
        paths = [e.path for e in entries]
        self.assertIn("Aerolith.exe", paths)
        self.assertIn("Assets\\\u00dcbersicht.txt", paths)
        self.assertGreaterEqual(len({e.directory for e in entries if e.directory}), 2)
        main = next(e for e in entries if e.path == "Aerolith.exe")
        built = build / "demo-app" / ("Aerolith.exe" if self.platform.windows else "Aerolith")
        self.assertEqual(main.content, built.read_bytes())

        demo_launcher = build / "demo" / ("Aerolith.Launcher.exe" if self.platform.windows else "aerolith-launcher")
        self.assertEqual(self.embedded_resources(demo_launcher), {
            MANIFEST_ID: (demo_bundle / "manifest.bin").read_bytes(),
            PAYLOAD_ID: (demo_bundle / "payload.bin").read_bytes()})
        self.assertEqual(self.listing(demo_launcher), self.listing(demo_bundle))
        if not self.platform.windows:
            self.assertRefused(self.pack_tool("list", self.platform.program("launcher")), "holds no bundle")


def pe_resources(pe):
    """{(type, id, language): bytes} of a Windows image, as pefile reads them."""
    found = {}
    for type_ in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in type_.directory.entries:
            for language in name.directory.entries:
                key = (type_.id, name.id, language.id)
                if key in found:
                    raise AssertionError("resource %r stored twice" % (key,))
                data = language.data.struct
                found[key] = pe.get_data(data.OffsetToData, data.Size)
    return found


def pe_sections(pe):
    """{name: bytes} of every section but the resources, as the loader maps them."""
    return {s.Name.rstrip(b"\0"): s.get_data()[:min(s.Misc_VirtualSize, s.SizeOfRawData)]
            for s in pe.sections if s.Name.rstrip(b"\0") != b".rsrc"}


class WindowsImages(PackScenario):
    """Windows launcher images as a Linux release machine handles them: embedded by the
    native tool, read by pefile and objdump, signed, started under Wine; and images the
    tool cannot rewrite safely."""

    def build(self, name):
        """The platform of the build of preset `name`: this one, or the one beside it."""
        if self.platform.name == name:
            return self.platform
        folder = self.platform.build_dir.parent / name
        if not (folder / "bin").is_dir():
            self.skipTest("needs the %s build beside this one" % name)
        return harness.Platform(name, folder)

    def native_tool(self, *args):
        native = self.build("native")
        return native.run(native.program("aerolith-pack"), [str(a) for a in args], trace_dialogs=False)

    def needs_wine(self):
        if not self.platform.windows:
            self.skipTest("starts a Windows image: a scenario of the windows build")

    def checked_image(self, path):
        """pefile and objdump read the image without complaint, and its header checksum is
        the one pefile computes."""
        pe = pefile.PE(str(path))
        self.assertEqual(pe.get_warnings(), [])
        self.assertEqual(pe.OPTIONAL_HEADER.CheckSum, pe.generate_checksum())
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(path)], capture_output=True)
        self.assertEqual((dump.returncode, dump.stderr), (0, b""))
        return pe

    def embed_with(self, tool, launcher, bundle, out, *options):
        return self.assertSucceeds(tool("embed", launcher, bundle / "manifest.bin", bundle / "payload.bin",
                                        "-o", out, *options))

    def assertInstalls(self, launcher, bundle):
        """The launcher, started under Wine, installs exactly the bundle's files with their times
        and starts the demo application."""
        env, local = self.platform.isolated_env(self.scratch / launcher.parent.name)
        self.assertExitCode(self.platform.run(launcher, env=env), harness.EXIT_STARTED)
        install = local / "Aerolith"
        installed = {p.relative_to(install).as_posix(): (p.read_bytes(), filetime_of_ns(p.stat().st_mtime_ns))
                     for p in install.rglob("*") if p.is_file()}
        self.assertEqual(installed, {e.path.replace("\\", "/"): (e.content, e.file_time) for e in self.read(bundle)})

    def test_native_tool_embeds_a_windows_launcher_that_runs(self):
        self.needs_wine()
        plain = self.platform.program("launcher")
        demo = self.platform.build_dir / "demo-bundle"
        out = self.scratch / "embedded" / "Aerolith.Launcher.exe"
        out.parent.mkdir()
        self.embed_with(self.native_tool, plain, demo, out, "--version", "2.5.7.9")

        before, pe = pefile.PE(str(plain)), self.checked_image(out)
        unchanged = lambda resources: {k: v for k, v in resources.items() if k[0] != RT_VERSION}
        self.assertEqual(unchanged(pe_resources(pe)), unchanged(pe_resources(before)) | {
            (RT_RCDATA, MANIFEST_ID, LANGUAGE): (demo / "manifest.bin").read_bytes(),
            (RT_RCDATA, PAYLOAD_ID, LANGUAGE): (demo / "payload.bin").read_bytes()})
        self.assertTrue({RT_ICON, RT_GROUP_ICON} <= {key[0] for key in pe_resources(pe)})
        self.assertEqual(pe_sections(pe), pe_sections(before))
        fixed = pe.VS_FIXEDFILEINFO[0]
        self.assertEqual([fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS],
                         [2 << 16 | 5, 7 << 16 | 9] * 2)
        strings = next(info for info in pe.FileInfo[0] if info.Key == b"StringFileInfo").StringTable[0].entries
        self.assertEqual((strings[b"FileVersion"], strings[b"ProductVersion"]), (b"2.5.7.9", b"2.5.7.9"))
        self.assertEqual(strings[b"FileDescription"], b"Aerolith Vantor launcher")
        self.assertEqual(self.json_of("list", out)["version"], "2.5.7.9")

        # Embedding again replaces the bundle: a small one, then the demo bundle once
        # more gives the first image byte for byte.
        small_app = self.scratch / "small"
        self.make_file(small_app / "Aerolith.exe", b"another release")
        small = self.scratch / "small-bundle"
        self.assertSucceeds(self.pack_tool("pack", small_app, small))
        again = self.scratch / "again.exe"
        self.embed_with(self.native_tool, out, small, again)
        self.assertEqual({k: v for k, v in pe_resources(self.checked_image(again)).items() if k[0] == RT_RCDATA}, {
            (RT_RCDATA, MANIFEST_ID, LANGUAGE): (small / "manifest.bin").read_bytes(),
            (RT_RCDATA, PAYLOAD_ID, LANGUAGE): (small / "payload.bin").read_bytes()})
        self.assertLess(again.stat().st_size, out.stat().st_size)
        back = self.scratch / "back.exe"
        self.embed_with(self.native_tool, again, demo, back)
        self.assertEqual(back.read_bytes(), out.read_bytes())

        self.assertInstalls(out, demo)

    def sign(self, unsigned, signed):
        """Signs with a test certificate, as osslsigncode signs a release; returns the
        certificate."""
        keys = self.scratch / "keys"
        if not keys.exists():
            keys.mkdir()
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                            "-subj", "/CN=Aerolith Test Signing", "-addext", "extendedKeyUsage=codeSigning",
                            "-keyout", keys / "key.pem", "-out", keys / "cert.pem"], check=True, capture_output=True)
        signed.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["osslsigncode", "sign", "-certs", keys / "cert.pem", "-key", keys / "key.pem",
                        "-n", "Aerolith Vantor", "-in", unsigned, "-out", signed], check=True, capture_output=True)
        return keys / "cert.pem"

    def test_signed_launcher_verifies_runs_and_is_embedded_into_only_when_told(self):
        self.needs_wine()
        demo = self.platform.build_dir / "demo-bundle"
        unsigned = self.scratch / "unsigned.exe"
        self.embed_with(self.native_tool, self.platform.program("launcher"), demo, unsigned)
        signed = self.scratch / "signed" / "Aerolith.Launcher.exe"
        certificate = self.sign(unsigned, signed)
        verify_signature = lambda image: subprocess.run(
            ["osslsigncode", "verify", "-in", image, "-CAfile", certificate], capture_output=True)
        self.assertEqual(verify_signature(signed).returncode, 0, verify_signature(signed).stdout)
        self.assertTrue(self.assertSucceeds(self.pack_tool("verify", signed)).stdout.startswith(
            "version: 1.0.0.0\nsigned: yes (the chain is checked by osslsigncode or signtool)\nok: %d entries"
            % len(self.read(demo))))
        self.assertInstalls(signed, demo)

        out = self.scratch / "resigned" / "Aerolith.Launcher.exe"
        out.parent.mkdir()
        for tool in (self.pack_tool, self.native_tool):
            refused = self.assertRefused(tool("embed", signed, demo / "manifest.bin", demo / "payload.bin", "-o", out))
            self.assertEqual(refused.stderr, SIGNED_REFUSAL)
            self.assertFalse(out.exists())
        removed = self.embed_with(self.pack_tool, signed, demo, out, "--remove-signature")
        self.assertIn("note: removed the signature of", removed.stderr)
        pe = self.checked_image(out)
        security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
        self.assertEqual((security.VirtualAddress, security.Size), (0, 0))
        self.assertEqual(out.read_bytes(), unsigned.read_bytes())
        self.assertNotEqual(verify_signature(out).returncode, 0)
        self.assertInstalls(out, demo)

    def test_verify_is_the_release_gate(self):
        """verify --json --expect-version --require-signed, alone and in the README's CI gate
        script, over each release that must not ship and the one that may."""
        windows = self.build("windows")
        main = harness.application_image(windows)

        def release(name, files, signed=True, version="2.4.0", *pack_options):
            app = self.scratch / name
            for relative, content in files.items():
                self.make_file(app / relative, content)
            bundle = self.scratch / (name + "-bundle")
            self.assertSucceeds(self.pack_tool("pack", app, bundle, *pack_options))
            unsigned = self.scratch / (name + "-unsigned") / "Aerolith.Launcher.exe"
            unsigned.parent.mkdir()
            self.embed_with(self.pack_tool, windows.program("launcher"), bundle, unsigned, "--version", version)
            if not signed:
                return unsigned
            signed_image = self.scratch / (name + "-release") / "Aerolith.Launcher.exe"
            self.sign(unsigned, signed_image)
            return signed_image

        good = release("good", {"Aerolith.exe": main, "Data/a.txt": b"a"})
        cases = {
            "good": (good, "2.4.0", None),
            "missing file": (self.scratch / "nowhere.exe", "2.4.0", "not-found"),
            "the tool": (windows.program("aerolith-pack"), "2.4.0", "not-a-launcher"),
            "no Aerolith.exe": (release("no-main", {"Data/a.txt": b"a"}, True, "2.4.0", "--allow-no-main"),
                                "2.4.0", "no-main-program"),
            "Linux Aerolith.exe": (release("linux-main", {"Aerolith.exe": b"\x7fELF\x02\x01\x01" + bytes(64)}),
                                   "2.4.0", "main-program-kind"),
            "unsigned": (release("unsigned", {"Aerolith.exe": main}, False), "2.4.0", "unsigned"),
            "wrong version": (good, "2.5.0", "wrong-version"),
        }
        readme = (Path(__file__).resolve().parents[2] / "README.md").read_text()
        gate = self.scratch / "release-gate"
        gate.write_text(textwrap.dedent(re.search(r"```sh\n( *#!/bin/sh\n *# release-gate.*?)```", readme,
                                                  re.S).group(1)))
        native = self.build("native")
        for name, (image, version, error) in cases.items():
            with self.subTest(release=name):
                result = self.pack_tool("verify", image, "--json", "--expect-version", version, "--require-signed")
                self.assertExitCode(result, 0 if error is None else 1)
                verdict = json.loads(result.stdout)
                self.assertEqual((verdict["ok"], verdict.get("error", {}).get("code")), (error is None, error))
                ran = subprocess.run(["sh", gate, image, version], capture_output=True, env=dict(
                    os.environ, AEROLITH_PACK=str(native.program("aerolith-pack"))))
                self.assertEqual(ran.returncode, 0 if error is None else 1, ran.stderr)
        self.assertEqual(verdict["signed"], True)

    def test_images_it_cannot_rewrite_safely_are_refused(self):
        source = self.build("windows").program("launcher").read_bytes()
        pe = pefile.PE(data=source)
        optional = pe.OPTIONAL_HEADER.get_file_offset()
        resources = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2].get_file_offset()
        reloc = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".reloc")
        rsrc = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".rsrc")

        def patched(offset, data):
            image = bytearray(source)
            image[offset:offset + len(data)] = data
            return bytes(image)

        cases = {
            "32-bit": (patched(optional, struct.pack("<H", 0x10B)), "only 64-bit (PE32+) images are supported"),
            "no PE header": (patched(0x3C, struct.pack("<I", len(source))), "cannot be read as a Windows image"),
            "data after the sections": (source + b"installer data", "holds data after its sections"),
            "code after the resources": (patched(reloc.get_file_offset() + 36, struct.pack(
                "<I", reloc.Characteristics & ~0x02000000)), "followed by section '.reloc', which its code may address"),
            "resource loop": (patched(rsrc.PointerToRawData + 20, struct.pack("<I", 0x80000000)),
                              "not three levels deep"),
            "damaged version": (source.replace("VS_VERSION_INFO".encode("utf-16-le"), bytes(30), 1),
                                "its version resource is damaged: it does not start with VS_VERSION_INFO"),
            "no resources": (patched(resources, bytes(8)), "is not an Aerolith Vantor launcher: it has no version "
                             "resource naming it 'Aerolith.Launcher.exe'"),
        }
        bundle = self.pack(self.make_app()[0], "bundle")
        out = self.scratch / "out.exe"
        for name, (image, message) in cases.items():
            with self.subTest(name=name):
                launcher = self.make_file(self.scratch / (name + ".exe"), image)
                self.assertRefused(self.embed(launcher, bundle, out), message)
                self.assertFalse(out.exists())
        self.assertRefused(self.embed(launcher, bundle, out, "--version", "2.0"), "--version takes X.Y.Z or X.Y.Z.W",
                           code=2)
        self.assertRefused(self.embed(self.build("native").program("launcher"), bundle, out, "--version", "2.0.0"),
                           "a Linux image has no version resource")

    def test_the_other_platforms_demo_launcher_is_read(self):
        other = self.build("native" if self.platform.windows else "windows")
        launcher = other.program("demo-launcher")
        self.assertEqual(self.listing(launcher), self.listing(other.build_dir / "demo-bundle"))
        self.assertEqual(self.assertSucceeds(self.pack_tool("verify", launcher)).stdout.splitlines()[0],
                         "version: none" if self.platform.windows else "version: 1.0.0.0")


if __name__ == "__main__":
    harness.main()
