"""A second, deliberately plain reader of the bundle format, written from the
format's description and sharing no code with the producer. It checks every field
and every rule a producer keeps and returns what it read, so that scenarios can
compare it with the files that were packed."""

import struct
import subprocess
from dataclasses import dataclass

FIELD_LIMIT = 0x80000000
FRAME_MAGIC = 0xFD2FB528
FILETIME_UNIX_EPOCH = 116444736000000000  # 1970-01-01 in 100-ns ticks since 1601


def _crc32c_table():
    table = []
    for byte in range(256):
        crc = byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x82F63B78 if crc & 1 else crc >> 1
        table.append(crc)
    return table


_TABLE = _crc32c_table()


def crc32c(data):
    crc = 0xFFFFFFFF
    for byte in data:
        crc = _TABLE[(crc ^ byte) & 0xFF] ^ (crc >> 8)
    return crc ^ 0xFFFFFFFF


def filetime_of_ns(ns):
    """The FILETIME of a stat time in nanoseconds since 1970."""
    return ns // 100 + FILETIME_UNIX_EPOCH


@dataclass
class Entry:
    index: int
    directory: str
    name: str
    size: int
    crc: int
    compressed_size: int
    compressed_crc: int
    offset: int
    file_time: int
    content_size_field: int  # width of the frame's content-size field in bytes
    content: bytes

    @property
    def path(self):
        return self.directory + "\\" + self.name if self.directory else self.name


class BundleError(AssertionError):
    pass


def _check(condition, message):
    if not condition:
        raise BundleError(message)


def _u16_units(text):
    data = text.encode("utf-16-le", "surrogatepass")
    return list(struct.unpack("<%dH" % (len(data) // 2), data))


def _frame_content_size_field(frame, index):
    """Checks the frame header and walks the blocks to the end of the frame;
    returns the width of the content-size field and the size it holds."""
    _check(len(frame) >= 6, "entry %d: frame of %d bytes" % (index, len(frame)))
    _check(struct.unpack_from("<I", frame, 0)[0] == FRAME_MAGIC, "entry %d: no frame magic" % index)
    descriptor = frame[4]
    _check(descriptor & 0x20, "entry %d: single-segment flag not set" % index)
    _check(not descriptor & 0x04, "entry %d: content checksum present" % index)
    _check(descriptor & 0x03 == 0, "entry %d: dictionary id present" % index)
    _check(not descriptor & 0x08, "entry %d: reserved bit set" % index)
    width = {0: 1, 1: 2, 2: 4, 3: 8}[descriptor >> 6]
    position = 5  # single segment: no window descriptor, no dictionary id
    raw = int.from_bytes(frame[position:position + width], "little")
    content_size = raw + 256 if width == 2 else raw
    position += width
    while True:
        _check(position + 3 <= len(frame), "entry %d: block header runs past the frame" % index)
        header = int.from_bytes(frame[position:position + 3], "little")
        position += 3
        last, block_type, block_size = header & 1, (header >> 1) & 3, header >> 3
        _check(block_type != 3, "entry %d: reserved block type" % index)
        position += 1 if block_type == 1 else block_size
        if last:
            break
    _check(position == len(frame),
           "entry %d: frame ends at %d of %d compressed bytes" % (index, position, len(frame)))
    return width, content_size


def _decompress(frame):
    done = subprocess.run(["zstd", "-d", "-c", "-q"], input=frame, capture_output=True, check=True)
    return done.stdout


def read_bundle(manifest, payload):
    """Every entry of a bundle, after checking every field and producer rule."""
    for label, resource in (("manifest", manifest), ("payload", payload)):
        _check(4 <= len(resource) < FIELD_LIMIT, "%s size %d" % (label, len(resource)))
        stored = struct.unpack_from("<I", resource, 0)[0]
        _check(stored == crc32c(resource[4:]), "%s CRC" % label)

    count = struct.unpack_from("<I", manifest, 4)[0]
    _check(1 <= count < FIELD_LIMIT, "entry count %d" % count)
    position = 8
    frames = payload[4:]
    entries = []
    expected_offset = 0
    for index in range(count):
        def u32(at):
            _check(at + 4 <= len(manifest), "entry %d: field at %d runs past the manifest" % (index, at))
            return struct.unpack_from("<I", manifest, at)[0]

        def text(at, length, label):
            _check(length % 2 == 0, "entry %d: odd %s length" % (index, label))
            _check(at + length <= len(manifest), "entry %d: %s runs past the manifest" % (index, label))
            data = manifest[at:at + length]
            _check(b"\0\0" not in [data[i:i + 2] for i in range(0, len(data), 2)],
                   "entry %d: zero unit in %s" % (index, label))
            return data.decode("utf-16-le", "surrogatepass")

        directory_length = u32(position)
        directory = text(position + 4, directory_length, "directory")
        position += 4 + directory_length
        name_length = u32(position)
        _check(name_length > 0, "entry %d: name length 0" % index)
        name = text(position + 4, name_length, "name")
        position += 4 + name_length
        _check(position + 28 <= len(manifest), "entry %d: fixed fields run past the manifest" % index)
        size, crc, compressed_size, compressed_crc, offset = struct.unpack_from("<5I", manifest, position)
        file_time = struct.unpack_from("<Q", manifest, position + 20)[0]
        position += 28
        for field in (directory_length, name_length, size, compressed_size, offset):
            _check(field < FIELD_LIMIT, "entry %d: field %d not below 2^31" % (index, field))

        _check("\\" not in name and "/" not in name, "entry %d: separator in name %r" % (index, name))
        if directory:
            _check(all(directory.split("\\")) and "/" not in directory,
                   "entry %d: directory %r has an empty component or '/'" % (index, directory))
        _check(offset == expected_offset, "entry %d: offset %d, expected %d" % (index, offset, expected_offset))
        expected_offset += compressed_size
        _check(offset + compressed_size <= len(frames), "entry %d: frame past the payload" % index)
        frame = frames[offset:offset + compressed_size]
        _check(crc32c(frame) == compressed_crc, "entry %d: compressed CRC" % index)
        width, content_size = _frame_content_size_field(frame, index)
        _check(content_size == size, "entry %d: frame content size %d, size %d" % (index, content_size, size))
        content = _decompress(frame)
        _check(len(content) == size, "entry %d: %d bytes decompressed, size %d" % (index, len(content), size))
        _check(crc32c(content) == crc, "entry %d: content CRC" % index)
        entries.append(Entry(index, directory, name, size, crc, compressed_size, compressed_crc, offset,
                             file_time, width, content))

    _check(position == len(manifest), "%d bytes after the last entry" % (len(manifest) - position))
    _check(expected_offset == len(frames), "frames end at %d of %d" % (expected_offset, len(frames)))
    keys = [_u16_units(entry.path) for entry in entries]
    _check(keys == sorted(keys), "entries not in ordinal UTF-16 order")
    _check(len(set(map(tuple, keys))) == len(keys), "relative paths not unique")
    return entries


def read_appended_resources(image):
    """The resource table appended to a POSIX launcher image: {(type, id): (language, bytes)},
    and the size of the image before it."""
    _check(image[-8:] == b"AeroRsc1", "no resource table appended")
    image_size, table_offset, count = struct.unpack_from("<QQI", image, len(image) - 28)
    _check(table_offset + 28 * count == len(image) - 28, "table does not end at the trailer")
    resources = {}
    for i in range(count):
        type_, id_, language, offset, size = struct.unpack_from("<IIIQQ", image, table_offset + 28 * i)
        _check(image_size <= offset and offset + size <= table_offset, "resource outside the blocks")
        _check((type_, id_) not in resources, "resource %d stored twice" % id_)
        resources[(type_, id_)] = (language, image[offset:offset + size])
    return image_size, resources


def pe_resource_entries(image):
    """(type, id, language, data entry position, data position, size) in the file, for
    each resource of a PE image with a numeric type and id."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    _check(image[pe:pe + 4] == b"PE\0\0", "not a PE image")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    _check(struct.unpack_from("<H", image, optional)[0] == 0x20B, "not a PE32+ image")
    rsrc_rva, _ = struct.unpack_from("<II", image, optional + 112 + 2 * 8)
    section_table = optional + optional_size

    def file_offset(rva):
        for i in range(sections):
            size, address, raw_size, raw_pointer = struct.unpack_from("<IIII", image, section_table + 40 * i + 8)
            if address <= rva < address + max(size, raw_size):
                return raw_pointer + rva - address
        raise BundleError("address %#x in no section" % rva)

    base = file_offset(rsrc_rva)

    def directory(offset):
        named, numbered = struct.unpack_from("<HH", image, base + offset + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", image, base + offset + 16 + 8 * i)
            if not name & 0x80000000:
                yield name, target

    for type_, types in directory(0):
        for id_, ids in directory(types & 0x7FFFFFFF):
            for language, leaf in directory(ids & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", image, base + leaf)
                yield type_, id_, language, base + leaf, file_offset(data_rva), size


def read_pe_resources(image):
    """The resources of a PE image: {(type, id): [(language, bytes), ...]} for numeric types and ids."""
    resources = {}
    for type_, id_, language, _, start, size in pe_resource_entries(image):
        resources.setdefault((type_, id_), []).append((language, image[start:start + size]))
    return resources


def write_bundle(files):
    """(manifest, payload) for [(directory, name, content, file_time)], written as
    plainly as read_bundle reads them, for bundles the producer would never write."""
    entries = b""
    frames = b""
    for directory, name, content, file_time in files:
        frame = subprocess.run(["zstd", "-c", "-q", "--no-check"], input=content, capture_output=True,
                               check=True).stdout
        directory_bytes = directory.encode("utf-16-le")
        name_bytes = name.encode("utf-16-le")
        entries += struct.pack("<I", len(directory_bytes)) + directory_bytes
        entries += struct.pack("<I", len(name_bytes)) + name_bytes
        entries += struct.pack("<5IQ", len(content), crc32c(content), len(frame), crc32c(frame), len(frames),
                               file_time)
        frames += frame
    body = struct.pack("<I", len(files)) + entries
    return struct.pack("<I", crc32c(body)) + body, struct.pack("<I", crc32c(frames)) + frames
