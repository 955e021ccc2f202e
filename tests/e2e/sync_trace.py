"""What the synchronisation pass and the file entry writer log for each file, and
a reader that checks a run's trace against it. The walk order within a folder and
the files map's order are the system's, so the trace is checked block by block:
each existing entry's block in walk order (folders before their contents), each
remaining entry's block in whatever order it came, every line of every block in
order and with its tag."""

from dataclasses import dataclass

MAIN = "Main"
WRITER = "FileEntry"

STAMP = [(WRITER, " - update file time begin"), (WRITER, " - update file time - create file"),
         (WRITER, " - update file time - set time"), (WRITER, " - update file time - close file"),
         (WRITER, " - update file time end")]
PAYLOAD_CHECK = [(MAIN, " - content crc32 not validated"), (MAIN, " - - begin content crc32 validate"),
                 (MAIN, " - - end content crc32 validate")]
DECOMPRESS = [(MAIN, " - decompress"), (MAIN, " -  - decompress ok")]


@dataclass(frozen=True)
class AppFile:
    directory: str  # '\'-separated, empty at the top
    name: str
    content: bytes
    file_time: int

    @property
    def key(self):
        return self.directory + "\\" + self.name if self.directory else self.name

    @property
    def relative(self):
        """The path below the install directory, with '/'."""
        return self.key.replace("\\", "/")


class SyncTrace:
    """Expected lines for one install directory on one platform."""

    def __init__(self, platform, install):
        self.platform = platform
        self.install = install
        self.separator = "\\" if platform.windows else "/"

    def host(self, relative=""):
        """An install-directory path as the launcher spells it."""
        base = self.platform.host_path(self.install)
        return base + self.separator + relative.replace("/", self.separator) if relative else base

    def existing(self, relative):
        return [(MAIN, "Existing file: '%s'" % self.host(relative))]

    @staticmethod
    def attributes_reset():
        return [(MAIN, " - set attribute: ok")]

    @staticmethod
    def attributes_kept():
        """Attributes already normal where the listing or the file's status says so."""
        return [(MAIN, " - attributes already normal")]

    @staticmethod
    def time_and_size(existing_time, existing_size, entry):
        return [(MAIN, " - begin check file time and size"),
                (MAIN, " - time existing: %d" % existing_time), (MAIN, " - time entry:    %d" % entry.file_time),
                (MAIN, " - size existing: %d" % existing_size), (MAIN, " - size entry:    %d" % len(entry.content))]

    def folder_lines(self, entry, state):
        """The writer's first lines; `state` of the entry's folder: 'exists',
        'missing' or 'blocked' (something other than a folder in the way)."""
        dir_path = self.host(entry.directory.replace("\\", "/")) if entry.directory else self.host() + self.separator
        lines = [(WRITER, " - create directory '%s' (%s)" % (entry.directory, dir_path))]
        if state == "exists":
            return lines + [(WRITER, " - exists and is directory, skip create")]
        first = " - not exists, create" if state == "missing" else " - exists but is not directory, remove and create"
        return lines + [(WRITER, first), (WRITER, " -  - create result: ok")]

    def write(self, entry, folder="exists", occupied=False):
        """Every line of one successful write; `occupied` when something stood at
        the file's path."""
        return (self.folder_lines(entry, folder) +
                [(WRITER, " - write file content"),
                 (WRITER, " -  - file removed" if occupied else " -  - file remove failed"),
                 (WRITER, " - write to '%s' '%s' (%s)" % (entry.directory, entry.name, self.host(entry.relative)))] +
                STAMP + [(WRITER, " - file write ok")])

    # Blocks of the walk pass, each after "Existing file" and the attribute line.

    @staticmethod
    def directory():
        return [(MAIN, " - is directory - continue")]

    @staticmethod
    def config_file():
        return [(MAIN, " - is config file - continue")]

    @staticmethod
    def unlisted():
        return [(MAIN, " - not in file list"), (MAIN, " -  - file removed")]

    def fast_path(self, entry):
        return self.time_and_size(entry.file_time, len(entry.content), entry) + [
            (MAIN, " - time and size are equal - continue")]

    def restamp(self, entry, existing_time):
        return self.time_and_size(existing_time, len(entry.content), entry) + [
            (MAIN, " - end check file time and size"), (MAIN, " - begin check crc32"),
            (MAIN, " - crc32 equal - update file time and continue")] + STAMP

    def rewrite_check(self, entry, existing_time, existing_size):
        return self.time_and_size(existing_time, existing_size, entry) + [
            (MAIN, " - end check file time and size"), (MAIN, " - begin check crc32"),
            (MAIN, " - crc32 different - overwrite file")]

    def rewrite(self, entry, existing_time, existing_size, first):
        """A listed file rewritten in the walk; `first` for the run's first rewrite,
        which checks the payload."""
        return (self.rewrite_check(entry, existing_time, existing_size) + (PAYLOAD_CHECK if first else []) +
                DECOMPRESS + [(MAIN, " - write file")] + self.write(entry, occupied=True) +
                [(MAIN, " - delete in files map")])

    def added(self, entry, folder, occupied=False):
        """A block of the remaining-entries pass."""
        return DECOMPRESS + [(MAIN, " - write file")] + self.write(entry, folder, occupied)


def split_pass(records):
    """(walk blocks, remaining count, remaining blocks) of the one pass in
    `records`: each walk block is (path as logged, lines after "Existing file"),
    each remaining block the lines from its " - decompress" on."""
    lines = [(r.tag, r.message) for r in records]
    begin = lines.index((MAIN, "Begin recursive directory iterate"))
    end_walk = lines.index((MAIN, "End recursive directory iterate"))
    walk = []
    for tag, message in lines[begin + 1:end_walk]:
        if not walk and message.startswith(" - listing ended early"):
            continue
        if tag == MAIN and message.startswith("Existing file: '"):
            walk.append((message[len("Existing file: '"):-1], []))
        else:
            walk[-1][1].append((tag, message))
    remain_tag, remain = lines[end_walk + 1]
    assert remain_tag == MAIN and remain.startswith("files map remain: "), remain
    assert lines[end_walk + 2] == (MAIN, "Begin files map iterate"), lines[end_walk + 2]
    end = lines.index((MAIN, "End files map iterate"))
    blocks = []
    for line in lines[end_walk + 3:end]:
        if line == DECOMPRESS[0]:
            blocks.append([])
        blocks[-1].append(line)
    return walk, int(remain[len("files map remain: "):]), blocks
