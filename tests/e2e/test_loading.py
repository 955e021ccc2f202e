"""The launcher's bundle in real processes: every error code that a damaged
bundle can produce while loading, shown by the real launcher image with exit
code -100; an intact bundle, and a damaged payload, which loading never reads.
Extraction's codes and their order in a real process, through the extraction
probe, which extracts entries the way the synchronisation pass does."""

import struct

import harness
from harness import CORRUPT, EXIT_FATAL, EXIT_STARTED, fatal_record, read_trace
from bundle_format import crc32c, pe_resource_entries
from bundle_writer import Record, compress, sealed, write_bundle

RT_RCDATA, MANIFEST_ID, PAYLOAD_ID = 10, 48978, 19266


def files(application=b"MZ" + bytes(range(256)) * 20):
    """A small release; give it a real `application` where a run gets as far as
    starting it."""
    return [Record("", "Aerolith.exe", application),
            Record("plugins", "hidapi.dll", b"hid" * 3000),
            Record("plugins\\x64", "relay.exe", b"relay program " * 100)]


def with_spare_byte(payload):
    """The payload with one more byte that no entry covers, then that byte
    damaged: its CRC fails, every entry stays intact."""
    resealed = bytearray(sealed(payload[4:] + b"\0"))
    resealed[-1] ^= 1
    return bytes(resealed)


def crc_pair(resource):
    """Computed and stored CRC of a resource, as the dialog shows them."""
    return "%d.%d" % (crc32c(resource[4:]), struct.unpack_from("<I", resource)[0])


class BundleScenario(harness.Scenario):
    def stamped(self, program, manifest=None, payload=None):
        """A copy of `program` in the scratch folder carrying exactly the given
        resources, written without any check."""
        args, empty = [], []
        for option, id_, data in (("--manifest", MANIFEST_ID, manifest), ("--payload", PAYLOAD_ID, payload)):
            if data is None:
                continue
            if not data and self.platform.windows:
                empty.append(id_)  # written with one byte, then its size patched to 0
                data = b"\0"
            path = self.scratch / option.lstrip("-")
            path.write_bytes(data)
            args += [option, self.platform.host_path(path)]
        out = self.scratch / "app" / "bin" / program.name
        out.parent.mkdir(parents=True, exist_ok=True)
        result = self.platform.run(self.platform.program("resource_stamp"),
                                   [self.platform.host_path(program), self.platform.host_path(out)] + args,
                                   trace_dialogs=False)
        self.assertExitCode(result, 0)
        if empty:
            image = bytearray(out.read_bytes())
            for type_, id_, _, entry, _, _ in pe_resource_entries(bytes(image)):
                if type_ == RT_RCDATA and id_ in empty:
                    struct.pack_into("<I", image, entry + 4, 0)
            out.write_bytes(bytes(image))
        return out


class Loading(BundleScenario):
    def setUp(self):
        super().setUp()
        self.env, _ = self.platform.isolated_env(self.scratch)
        self.trace = self.scratch / "trace.log"
        self.env["AEROLITH_LAUNCHER_TRACE"] = self.platform.host_path(self.trace)

    def launch(self, launcher):
        return self.platform.run(launcher, env=self.env)

    def assertCorrupt(self, code, manifest=None, payload=None):
        launcher = self.stamped(self.platform.program("launcher"), manifest, payload)
        result = self.launch(launcher)
        self.assertExitCode(result, EXIT_FATAL)
        self.assertSingleDialog(result, CORRUPT.format(code))
        # Loading logs nothing of its own: the run ends after the install directory.
        self.assertNotIn("final", [r.message for r in read_trace(self.trace)])

    def test_a_launcher_without_its_resources(self):
        manifest, payload = write_bundle(files())
        result = self.launch(self.platform.program("launcher"))
        self.assertExitCode(result, EXIT_FATAL)
        self.assertSingleDialog(result, CORRUPT.format("1.1.0"))
        self.assertCorrupt("1.1.0", payload=payload)
        self.assertCorrupt("1.11.0", manifest=manifest)

    def test_empty_resources(self):
        manifest, payload = write_bundle(files())
        self.assertCorrupt("1.4.0", manifest=b"", payload=payload)
        self.assertCorrupt("1.4.0", manifest=b"")
        self.assertCorrupt("1.14.0", manifest=manifest, payload=b"")

    def test_manifest_crc_mismatch_prints_both_values_unsigned(self):
        manifest, payload = write_bundle(files())
        damaged = b"\xF0\xFF\xFF\xFF" + manifest[4:]
        self.assertCorrupt("2.%d.4294967280" % crc32c(manifest[4:]), damaged, payload)
        damaged = manifest[:-1] + bytes([manifest[-1] ^ 0x80])
        self.assertCorrupt("2." + crc_pair(damaged), damaged, payload)

    def test_a_manifest_shorter_than_its_header_is_a_crc_mismatch(self):
        _, payload = write_bundle(files())
        self.assertCorrupt("2.%d.67305985" % crc32c(b"\x05"), b"\x01\x02\x03\x04\x05", payload)
        self.assertCorrupt("2.0.0", b"\0\0\0\0", payload)
        self.assertCorrupt("2.0.255", b"\xFF", payload)

    def test_entry_count_below_one(self):
        _, payload = write_bundle(files())
        self.assertCorrupt("3.0.0", sealed(struct.pack("<I", 0)), payload)
        manifest, _ = write_bundle(files(), count=0x80000000)
        self.assertCorrupt("3.-2147483648.0", manifest, payload)

    def test_every_parse_code(self):
        def second(**fields):
            records = files()
            for name, value in fields.items():
                setattr(records[1], name, value)
            return write_bundle(records)

        def cut_second(at):
            """The second entry cut `at` bytes in (it starts with a 4-byte
            directory length, then 14 bytes of "plugins")."""
            records = files()
            manifest, payload = write_bundle(records[:2])
            first_end = len(write_bundle(records[:1])[0])
            return sealed(manifest[4:first_end + at]), payload

        unsafe = [("..", "evil.dll"), ("\\Windows", "evil.dll"), ("C:", "evil.dll"),
                  ("plugins\\..\\..", "evil.dll"), ("", "..\\evil.dll"), ("plugins", "NUL")]
        cases = [
            ("count past the entries", "5.3.1", write_bundle(files(), count=4)),
            ("directory text", "5.1.2", cut_second(4 + 13)),
            ("name length", "5.1.3", cut_second(4 + 14 + 3)),
            ("name text", "5.1.4", cut_second(4 + 14 + 4 + 19)),
            ("size", "5.1.5", cut_second(4 + 14 + 4 + 20 + 3)),
            ("content CRC", "5.1.6", cut_second(4 + 14 + 4 + 20 + 7)),
            ("compressed size", "5.1.7", cut_second(4 + 14 + 4 + 20 + 11)),
            ("compressed CRC", "5.1.8", cut_second(4 + 14 + 4 + 20 + 15)),
            ("offset", "5.1.9", cut_second(4 + 14 + 4 + 20 + 19)),
            ("file time", "5.1.20", cut_second(4 + 14 + 4 + 20 + 27)),
            ("name length 0", "5.1.10", second(name_length=0)),
            ("frame past the payload", "5.1.11", second(offset=1 << 20)),
            ("directory length of 2^31", "5.1.1", second(directory_length=0x80000000)),
            ("name length of 2^32 - 1", "5.1.3", second(name_length=0xFFFFFFFF)),
            ("size of 2^31", "5.1.5", second(size=0x80000000)),
            ("compressed size of 2^31", "5.1.7", second(compressed_size=0x80000000)),
            ("offset of 2^31", "5.1.9", second(offset=0x80000000)),
        ] + [("unsafe path %r %r" % path, "5.1.15", second(directory=path[0], name=path[1]))
             for path in unsafe]
        for label, code, (manifest, payload) in cases:
            with self.subTest(label):
                self.assertCorrupt(code, manifest, payload)

    def test_an_intact_bundle_loads(self):
        app = self.scratch / "app-files"
        (app / "plugins" / "x64").mkdir(parents=True)
        for record in files(harness.application_image(self.platform)):
            (app / record.directory.replace("\\", "/") / record.name).write_bytes(record.content)
        bundle = self.scratch / "bundle"
        launcher = self.scratch / "app" / "bin" / self.platform.program("launcher").name
        launcher.parent.mkdir(parents=True)
        pack = self.platform.program("aerolith-pack")
        host = self.platform.host_path
        for args in (["pack", host(app), host(bundle)],
                     ["embed", host(self.platform.program("launcher")), host(bundle / "manifest.bin"),
                      host(bundle / "payload.bin"), "-o", host(launcher)]):
            self.assertExitCode(self.platform.run(pack, args, trace_dialogs=False), 0)
        result = self.launch(launcher)
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual(result.dialogs, [])
        self.assertEqual(read_trace(self.trace)[-1].message, "final")

    def test_a_damaged_payload_is_not_read_while_loading(self):
        # Nor by the start on an intact installation that follows loading.
        manifest, payload = write_bundle(files(harness.application_image(self.platform)))
        intact = self.launch(self.stamped(self.platform.program("launcher"), manifest, payload))
        self.assertExitCode(intact, EXIT_STARTED)
        frames_damaged = payload[:4] + bytes(b ^ 0xFF for b in payload[4:])
        result = self.launch(self.stamped(self.platform.program("launcher"), manifest, frames_damaged))
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual(result.dialogs, [])

    def test_equal_keys_and_keys_differing_in_case_load(self):
        records = files(harness.application_image(self.platform)) + [
            Record("plugins/", "hidapi.dll", b"second"), Record("Plugins", "hidapi.dll")]
        result = self.launch(self.stamped(self.platform.program("launcher"), *write_bundle(records)))
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual(result.dialogs, [])


class Extraction(BundleScenario):
    """Stage 6 (a file being overwritten) and stage 7 (a file being added)."""

    def extract(self, manifest, payload, *steps):
        probe = self.stamped(self.platform.program("extraction_probe"), manifest, payload)
        trace = self.scratch / "trace.log"
        result = self.platform.run(probe, [str(s) for s in steps],
                                   env={"AEROLITH_LAUNCHER_TRACE": self.platform.host_path(trace)})
        return result, [r.message for r in read_trace(trace)] if trace.exists() else []

    def test_the_payload_is_checked_once_before_the_first_overwrite(self):
        result, messages = self.extract(*write_bundle(files()), "add", 2, "replace", 0, "replace", 1)
        self.assertExitCode(result, EXIT_STARTED)
        self.assertEqual(messages, [" - decompress", " -  - decompress ok",
                                    " - content crc32 not validated", " - - begin content crc32 validate",
                                    " - - end content crc32 validate",
                                    " - decompress", " -  - decompress ok",
                                    " - decompress", " -  - decompress ok"])

    def test_a_damaged_payload_stops_the_first_overwrite(self):
        manifest, payload = write_bundle(files())
        damaged = with_spare_byte(payload)
        result, messages = self.extract(manifest, damaged, "add", 0, "add", 1, "replace", 2)
        self.assertExitCode(result, EXIT_FATAL)
        self.assertSingleDialog(result, CORRUPT.format("4." + crc_pair(damaged)))
        self.assertEqual(messages, [" - decompress", " -  - decompress ok"] * 2 +
                         [" - content crc32 not validated", " - - begin content crc32 validate",
                          fatal_record(CORRUPT.format("4." + crc_pair(damaged)))])

    def test_a_damaged_frame_of_an_added_file_fails_without_the_payload_check(self):
        manifest, payload = write_bundle(files())
        first_frame = len(compress(files()[0].content))
        damaged = bytearray(payload)
        damaged[4 + first_frame + 10] ^= 0x20
        result, messages = self.extract(manifest, bytes(damaged), "add", 0, "add", 1)
        self.assertExitCode(result, EXIT_FATAL)
        self.assertSingleDialog(result, CORRUPT.format("7.1.12"))
        self.assertEqual(messages, [" - decompress", " -  - decompress ok",
                                    " - decompress", " -  - decompress error",
                                    fatal_record(CORRUPT.format("7.1.12"))])

    def test_a_frame_of_another_size_or_content_fails_in_its_stage(self):
        records = files()
        records[1].size = len(records[1].content) + 1
        records[2].crc = crc32c(records[2].content) ^ 1
        bundle = write_bundle(records)
        result, messages = self.extract(*bundle, "replace", 0, "replace", 1)
        self.assertExitCode(result, EXIT_FATAL)
        self.assertSingleDialog(result, CORRUPT.format("6.1.13"))
        self.assertEqual(messages[-3:], [" - decompress", " -  - decompress error",
                                         fatal_record(CORRUPT.format("6.1.13"))])
        result, _ = self.extract(*bundle, "add", 2)
        self.assertExitCode(result, EXIT_FATAL)
        self.assertSingleDialog(result, CORRUPT.format("7.2.14"))


if __name__ == "__main__":
    harness.main()
