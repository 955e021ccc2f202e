"""A deliberately simple writer of bundles of any shape, for the scenarios that
need bundles the producer refuses to make. Every field can be set to any 32-bit
value; what is not set is computed as a producer would."""

import struct
import subprocess
from dataclasses import dataclass
from typing import Optional

from bundle_format import crc32c


def compress(content):
    """One Zstandard frame of `content`, with its content size."""
    return subprocess.run(["zstd", "-q", "-c", "--no-check", "--stream-size=%d" % len(content)],
                          input=content, capture_output=True, check=True).stdout


@dataclass
class Record:
    """One entry. Fields left None are filled in from the content and the
    frames before it; `frame` replaces the compressed content."""
    directory: str
    name: str
    content: bytes = b""
    frame: Optional[bytes] = None
    directory_length: Optional[int] = None
    name_length: Optional[int] = None
    size: Optional[int] = None
    crc: Optional[int] = None
    compressed_size: Optional[int] = None
    compressed_crc: Optional[int] = None
    offset: Optional[int] = None
    file_time: int = 0x01DB5309A3E23267


def _text(text):
    return text.encode("utf-16-le", "surrogatepass")


def entry_bytes(record, frame, offset):
    directory, name = _text(record.directory), _text(record.name)

    def pick(value, default):
        return default if value is None else value

    return b"".join([
        struct.pack("<I", pick(record.directory_length, len(directory))), directory,
        struct.pack("<I", pick(record.name_length, len(name))), name,
        struct.pack("<5IQ", pick(record.size, len(record.content)), pick(record.crc, crc32c(record.content)),
                    pick(record.compressed_size, len(frame)), pick(record.compressed_crc, crc32c(frame)),
                    pick(record.offset, offset), record.file_time)])


def sealed(body):
    """A resource: the CRC-32C of `body`, then `body`."""
    return struct.pack("<I", crc32c(body)) + body


def write_bundle(records, count=None):
    """The manifest and payload of `records`, frames back to back in entry order;
    `count` overrides the entry count."""
    entries, frames = [], b""
    for record in records:
        frame = compress(record.content) if record.frame is None else record.frame
        entries.append(entry_bytes(record, frame, len(frames)))
        frames += frame
    manifest = sealed(struct.pack("<I", len(records) if count is None else count) + b"".join(entries))
    return manifest, sealed(frames)
