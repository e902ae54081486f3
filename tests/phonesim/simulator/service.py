"""Per-phone companion-service state: open connections, keep-alive listeners, the media snapshot
that change pushes are computed against, and thumbnails.
"""

import threading

from . import mediafiles, medialib
from .companion import CMD_PUSH, PUSH_MEDIA_CHANGE, Connection, frame, json_bytes
from .storage import FsError, LEGACY_ROOT, MEDIA_ROOT


class CompanionService:
    """Per-phone service state: open connections, keep-alive listeners and the media snapshot."""

    def __init__(self, phone):
        self.phone = phone
        self.lock = threading.RLock()
        self.connections = []
        self.readers = []
        self.library = medialib.MediaLibrary()
        self.snapshot = None
        self.thumbnails = {}

    def accept(self, sock, refuse=False):
        conn = Connection(self, sock, refuse)
        with self.lock:
            self.connections.append(conn)
            self.readers = [t for t in self.readers if t.is_alive()] + [conn.reader]
        conn.start()

    def forget(self, conn):
        with self.lock:
            if conn in self.connections:
                self.connections.remove(conn)

    def close_all(self, reset=False, wait=True):
        """End every connection. wait=False when the caller may hold the phone's lock, which
        a connection thread could be waiting for; stop() joins those threads later."""
        with self.lock:
            conns = list(self.connections)
            readers = list(self.readers)
        for conn in conns:
            conn.close(reset=reset)
        if wait:
            for reader in readers:
                if reader is not threading.current_thread():
                    reader.join()

    def keep_alives(self):
        with self.lock:
            return [c for c in self.connections if c.keep_alive and not c.closed.is_set()]

    def became_keep_alive(self, conn):
        records = self.scan()
        with self.lock:
            if self.snapshot is None:
                self.snapshot = records

    def scan(self):
        with self.phone.lock, self.lock:
            return self.library.scan(self.phone.storage.root)

    # -- pushes -------------------------------------------------------------------------------

    def push_all(self, data):
        for conn in self.keep_alives():
            conn.send(data)

    def tree_changed(self, events):
        listeners = self.keep_alives()
        if not listeners:
            with self.lock:
                self.snapshot = None
            return
        for event, rel, _is_dir in events:
            for conn in listeners:
                conn.folder_event(event, rel)
        with self.phone.lock, self.lock:
            records = self.library.scan(self.phone.storage.root)
            old, self.snapshot = self.snapshot or {}, records
        change = medialib.diff(old, records)
        if change:
            self.push_all(frame(CMD_PUSH, PUSH_MEDIA_CHANGE, json_bytes(change)))

    # -- media --------------------------------------------------------------------------------

    def delete_media(self, ids):
        wanted = set(ids)
        events = []
        with self.phone.lock:
            for rel, record in self.scan().items():
                if record["_id"] in wanted:
                    try:
                        self.phone.storage.remove(self.phone.storage.node_for_rel(rel), False, events)
                    except FsError:
                        pass
        self.phone.log_event("delete-media", ids=ids)
        self.phone.apply_events(events)
        if not events:
            self.tree_changed([])

    def _thumbnail(self, key):
        with self.lock:
            data = self.thumbnails.get(key)
            if data is None:
                data = self.thumbnails[key] = mediafiles.make_jpeg(
                    48, 48, mediafiles.seeded_colours(key))
            return data

    def thumbnail_for_path(self, path):
        if path.startswith(MEDIA_ROOT):
            path = LEGACY_ROOT + path[len(MEDIA_ROOT):]
        node = self.phone.storage.locate(path)
        if not node.is_file() or medialib.category_of(node.host)[0] not in ("IMAGE", "VIDEO"):
            return None
        return self._thumbnail(node.rel)

    def thumbnail_for_id(self, typ, media_id):
        records = self.scan().values()
        if typ == 3:
            if any(r.get("album_id") == media_id for r in records):
                return self._thumbnail("album:%d" % media_id)
            return None
        category = {1: "image/", 2: "video/"}.get(typ)
        for record in records:
            if record["_id"] == media_id and category and record["mime_type"].startswith(category):
                return self._thumbnail(record["_data"])
        return None
