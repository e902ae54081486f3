"""The phone's file system: shared storage kept in a host folder, plus a few read-only system folders.

Shared storage answers to "/storage/emulated/legacy", "/storage/emulated/0" and "/sdcard" and,
like a phone's emulated storage, matches names without regard to case. Every path is resolved
lexically and no host symbolic link is ever followed, so nothing a shell command names can reach
outside the storage folder. Mutations report inotify-style events so the companion service can
push folder and media changes.
"""

import os
import shutil
import stat
import time

STORAGE_ALIASES = (("sdcard",), ("storage", "emulated", "legacy"), ("storage", "emulated", "0"))
LEGACY_ROOT = "/storage/emulated/legacy"
MEDIA_ROOT = "/storage/emulated/0"

ENOENT = "No such file or directory"
ENOTDIR = "Not a directory"
EROFS = "Read-only file system"
EACCES = "Permission denied"
EISDIR = "Is a directory"
EEXIST = "File exists"
EBUSY = "Device or resource busy"

# Read-only system folders around the storage: name -> ("dir", children) | ("link", target)
# | ("denied",). Storage aliases are folders when a path goes through them and links when listed.
_VIRTUAL = {
    (): ("dir", ["data", "sdcard", "storage", "system"]),
    ("data",): ("denied",),
    ("sdcard",): ("link", LEGACY_ROOT),
    ("storage",): ("dir", ["emulated"]),
    ("storage", "emulated"): ("dir", ["0", "legacy"]),
    ("storage", "emulated", "legacy"): ("link", MEDIA_ROOT),
    ("system",): ("dir", ["app", "bin"]),
    ("system", "app"): ("dir", []),
    ("system", "bin"): ("dir", []),
}


class FsError(Exception):
    """A failure the phone's tools print as "tool: path: message"."""

    def __init__(self, path, message):
        super().__init__(message)
        self.path = path
        self.message = message


def _missing(node):
    """The error for a path that names nothing: "name/" over a file is not a folder."""
    if node.kind == "storage" and os.path.lexists(node.host):
        return FsError(node.shown, ENOTDIR)
    return FsError(node.shown, ENOENT)


def split_components(path, cwd="/"):
    """Lexically normalised components of a phone path ("." and ".." folded, never above "/")."""
    if not path.startswith("/"):
        path = cwd.rstrip("/") + "/" + path
    parts = []
    for comp in path.split("/"):
        if comp in ("", "."):
            continue
        if comp == "..":
            if parts:
                parts.pop()
            continue
        parts.append(comp)
    return parts


class Node:
    """Where a phone path leads. kind is "storage", "virtual" or "none" (nothing there, read-only)."""

    __slots__ = ("kind", "shown", "host", "rel", "is_root", "key")

    def __init__(self, kind, shown, host=None, rel="", is_root=False, key=None):
        self.kind = kind
        self.shown = shown
        self.host = host
        self.rel = rel
        self.is_root = is_root
        self.key = key

    def lstat(self):
        """The entry's status, or None when there is none (a "name/" that is no folder neither)."""
        if self.kind != "storage":
            return None
        try:
            st = os.lstat(self.host)
        except OSError:
            return None
        if self.shown.endswith("/") and not stat.S_ISDIR(st.st_mode):
            return None
        return st

    def exists(self):
        if self.kind == "virtual":
            return True
        return self.lstat() is not None

    def is_dir(self):
        if self.kind == "virtual":
            entry = _VIRTUAL[self.key]
            return entry[0] in ("dir", "denied") or self.key in STORAGE_ALIASES
        st = self.lstat()
        return st is not None and stat.S_ISDIR(st.st_mode)

    def is_file(self):
        st = self.lstat()
        return st is not None and stat.S_ISREG(st.st_mode)


class Storage:
    """One phone's file system over the host folder `root` (which must exist)."""

    def __init__(self, root, boot_time=None):
        self.root = os.path.abspath(root)
        self.boot_time = boot_time if boot_time is not None else time.time()

    # -- resolution ---------------------------------------------------------------------------

    def locate(self, path, cwd="/"):
        parts = split_components(path, cwd)
        for alias in STORAGE_ALIASES:
            if tuple(parts[:len(alias)]) == alias:
                return self._locate_storage(path, parts[len(alias):])
        key = tuple(parts)
        if key in _VIRTUAL:
            return Node("virtual", path, key=key)
        return Node("none", path, key=key)

    def _locate_storage(self, shown, rest):
        host = self.root
        actual = []
        walkable = True
        for comp in rest:
            candidate = os.path.join(host, comp)
            if walkable and not os.path.lexists(candidate):
                candidate = os.path.join(host, self._match_case(host, comp) or comp)
            name = os.path.basename(candidate)
            host = candidate
            actual.append(name)
            # A missing or non-folder component ends matching; a link is never walked through.
            try:
                walkable = stat.S_ISDIR(os.lstat(candidate).st_mode)
            except OSError:
                walkable = False
        rel = "/" + "/".join(actual) if actual else ""
        return Node("storage", shown, host=host, rel=rel, is_root=not rest)

    @staticmethod
    def _match_case(folder, name):
        folded = name.casefold()
        try:
            with os.scandir(folder) as it:
                for entry in it:
                    if entry.name.casefold() == folded:
                        return entry.name
        except OSError:
            pass
        return None

    def node_for_rel(self, rel):
        """The storage node of a path relative to the storage root ("" or "/A/b")."""
        return self.locate(LEGACY_ROOT + rel)

    def host_to_rel(self, host):
        rel = os.path.relpath(host, self.root)
        return "" if rel == "." else "/" + rel.replace(os.sep, "/")

    # -- reading ------------------------------------------------------------------------------

    def list_dir(self, node):
        """Entries of a folder as (name, kind, size, mtime, link target) sorted by name."""
        if node.kind == "virtual":
            entry = _VIRTUAL[node.key]
            if entry[0] == "denied":
                raise FsError(node.shown, EACCES)
            if entry[0] == "link" and node.key not in STORAGE_ALIASES:
                raise FsError(node.shown, ENOTDIR)
            if node.key in STORAGE_ALIASES:
                return self.list_dir(self.node_for_rel(""))
            return sorted(self.virtual_entry(node.key + (name,)) for name in entry[1])
        if node.kind == "none":
            raise FsError(node.shown, ENOENT)
        st = node.lstat()
        if st is None:
            raise FsError(node.shown, ENOENT)
        if not stat.S_ISDIR(st.st_mode):
            raise FsError(node.shown, ENOTDIR)
        out = []
        with os.scandir(node.host) as it:
            for entry in it:
                out.append(self.host_entry(entry.path, entry.name))
        out.sort(key=lambda e: e[0].encode("utf-8", "surrogateescape"))
        return out

    def virtual_entry(self, key):
        entry = _VIRTUAL.get(key, ("dir", []))
        kind = "link" if entry[0] == "link" else "dir"
        return (key[-1] if key else "/", kind, 0, self.boot_time, entry[1] if kind == "link" else None)

    @staticmethod
    def host_entry(host, name):
        st = os.lstat(host)
        if stat.S_ISDIR(st.st_mode):
            return (name, "dir", 0, st.st_mtime, None)
        if stat.S_ISLNK(st.st_mode):
            return (name, "link", 0, st.st_mtime, os.readlink(host))
        return (name, "file", st.st_size, st.st_mtime, None)

    def entry_of(self, node):
        if node.kind == "virtual":
            return self.virtual_entry(node.key)
        if not node.exists():
            raise _missing(node)
        return self.host_entry(node.host, os.path.basename(node.host))

    # -- writing ------------------------------------------------------------------------------

    def _writable(self, node):
        if node.kind != "storage":
            raise FsError(node.shown, EROFS)
        parent = os.path.dirname(node.host)
        try:
            if not node.is_root and not stat.S_ISDIR(os.lstat(parent).st_mode):
                raise FsError(node.shown, ENOTDIR)
        except FileNotFoundError:
            raise FsError(node.shown, ENOENT) from None

    def mkdir(self, node, parents, events):
        if node.kind == "virtual":
            if parents:
                return
            raise FsError(node.shown, EEXIST)
        if node.kind != "storage":
            raise FsError(node.shown, EROFS)
        if node.exists():
            if parents and node.is_dir():
                return
            raise FsError(node.shown, EEXIST)
        if parents:
            missing = []
            host = node.host
            while not os.path.lexists(host):
                missing.append(host)
                host = os.path.dirname(host)
            if not stat.S_ISDIR(os.lstat(host).st_mode):
                raise FsError(node.shown, ENOTDIR)
            for folder in reversed(missing):
                os.mkdir(folder)
                events.append(("CREATE", self.host_to_rel(folder), True))
            return
        self._writable(node)
        os.mkdir(node.host)
        events.append(("CREATE", node.rel, True))

    def remove(self, node, recursive, events):
        if node.kind != "storage":
            raise FsError(node.shown, EROFS if node.kind == "virtual" else ENOENT)
        st = node.lstat()
        if st is None:
            raise _missing(node)
        if stat.S_ISDIR(st.st_mode):
            if not recursive:
                raise FsError(node.shown, EISDIR)
            self._remove_tree(node.host, events, keep_top=node.is_root)
            if node.is_root:
                raise FsError(node.shown, EBUSY)
            return
        os.unlink(node.host)
        events.append(("DELETE", node.rel, False))

    def _remove_tree(self, host, events, keep_top=False):
        with os.scandir(host) as it:
            children = list(it)
        for entry in children:
            if entry.is_dir(follow_symlinks=False):
                self._remove_tree(entry.path, events)
            else:
                os.unlink(entry.path)
                events.append(("DELETE", self.host_to_rel(entry.path), False))
        if not keep_top:
            os.rmdir(host)
            rel = self.host_to_rel(host)
            events.append(("DELETE_SELF", rel, True))
            events.append(("DELETE", rel, True))

    def move(self, src, dst, events):
        if src.kind != "storage" or not src.exists():
            raise FsError(src.shown, ENOENT if src.kind != "virtual" else EROFS)
        if src.is_root:
            raise FsError(src.shown, EBUSY)
        if dst.kind == "virtual" and dst.key in STORAGE_ALIASES:
            dst = self.node_for_rel("")
        if dst.kind != "storage":
            raise FsError(dst.shown, EROFS)
        target = dst
        if dst.is_dir():
            target = self.locate(dst.shown.rstrip("/") + "/" + os.path.basename(src.host))
        self._writable(target)
        src_is_dir = src.is_dir()
        if src_is_dir and (target.host + os.sep).startswith(src.host + os.sep):
            raise FsError(dst.shown, "Invalid argument")
        if os.path.lexists(target.host) and os.path.isdir(target.host) != src_is_dir:
            raise FsError(dst.shown, EISDIR if not src_is_dir else ENOTDIR)
        os.replace(src.host, target.host)
        new_rel = self.host_to_rel(target.host)
        events.append(("MOVED_FROM", src.rel, src_is_dir))
        if src_is_dir:
            events.append(("MOVE_SELF", src.rel, True))
        events.append(("MOVED_TO", new_rel, src_is_dir))

    def write(self, node, data, append, events):
        if node.kind == "virtual" and node.is_dir():
            raise FsError(node.shown, EISDIR)
        self._writable(node)
        existed = node.exists()
        if existed and node.is_dir():
            raise FsError(node.shown, EISDIR)
        with open(node.host, "ab" if append else "wb") as f:
            f.write(data)
        events.append(("MODIFY" if existed else "CREATE", self.host_to_rel(node.host), False))

    def read(self, node):
        if node.kind == "virtual" and node.is_dir():
            raise FsError(node.shown, EISDIR)
        if node.kind != "storage" or not node.exists():
            raise _missing(node)
        if node.is_dir():
            raise FsError(node.shown, EISDIR)
        with open(node.host, "rb") as f:
            return f.read()

    def place(self, temp_host, node, events, mtime=None):
        """Move a finished transfer's temporary file into place under node (parents made)."""
        if node.kind != "storage":
            raise FsError(node.shown, EROFS)
        if node.is_root or node.is_dir():
            raise FsError(node.shown, EISDIR)
        parent = self.locate(LEGACY_ROOT + self.host_to_rel(os.path.dirname(node.host)))
        self.mkdir(parent, True, events)
        existed = node.exists()
        os.replace(temp_host, node.host)
        if mtime is not None:
            os.utime(node.host, (mtime, mtime))
        events.append(("MODIFY" if existed else "CREATE", node.rel, False))

    def clear(self):
        """Empty the storage folder (used by fixtures)."""
        for name in os.listdir(self.root):
            path = os.path.join(self.root, name)
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            else:
                os.unlink(path)
