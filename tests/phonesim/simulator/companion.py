"""The companion service's wire side: frames, and one connection with its requests and replies.

A frame is a 4-byte big-endian body length, then the body: command, type, version 0x01,
payload. Each accepted connection has a reader (requests) and a writer (replies, heartbeats and
pushes, in order). Misbehaviour switches of the phone bend the replies on demand; the per-phone
state behind the answers is service.py's.
"""

import gzip
import json
import queue
import socket
import struct
import threading

from . import medialib

VERSION = 0x01
CMD_FILE_THUMBNAIL = 0x01
CMD_DEVICE_INFO = 0x03
CMD_CLOSE = 0x04
CMD_KEEP_ALIVE = 0x05
CMD_HEART_BEAT = 0x06
CMD_FETCH = 0x07
CMD_MEDIA_THUMBNAIL = 0x08
CMD_PUSH = 0x09
CMD_FILE_WATCH = 0x0A
CMD_DELETE_MEDIA = 0x0B
CMD_UPDATE_MEDIA = 0x0C

PUSH_DEVICE_INFO = 1
PUSH_FILE_CHANGE = 2
PUSH_MEDIA_CHANGE = 3

# Requests are a few kilobytes at most; a longer announced body is a broken peer.
MAX_REQUEST = 16 * 1024 * 1024
_FOLDER_EVENTS = ("CREATE", "DELETE", "MODIFY", "MOVED_FROM", "MOVED_TO")
_SELF_EVENTS = ("DELETE_SELF", "MOVE_SELF")


def frame(cmd, typ, payload=b""):
    body = bytes([cmd, typ, VERSION]) + payload
    return struct.pack(">I", len(body)) + body


def json_bytes(value):
    return json.dumps(value, ensure_ascii=False).encode("utf-8", "replace")


class _Reader:
    """Reads exact byte counts from a socket; None at end of stream or on error."""

    def __init__(self, sock):
        self.sock = sock

    def exactly(self, n):
        chunks = []
        while n:
            try:
                chunk = self.sock.recv(min(n, 65536))
            except OSError:
                return None
            if not chunk:
                return None
            chunks.append(chunk)
            n -= len(chunk)
        return b"".join(chunks)


class _Payload:
    """Cursor over a request payload (count, ids, strings); raises ValueError when short."""

    def __init__(self, data):
        self.data = data
        self.i = 0

    def take(self, n):
        if self.i + n > len(self.data):
            raise ValueError("short payload")
        out = self.data[self.i:self.i + n]
        self.i += n
        return out

    def u32(self):
        return struct.unpack(">I", self.take(4))[0]

    def u64(self):
        return struct.unpack(">Q", self.take(8))[0]

    def string(self):
        return self.take(self.u32()).decode("utf-8", "surrogateescape")


class Connection:
    """One accepted connection to the service; a keep-alive connection once it asked for one."""

    def __init__(self, service, sock, refuse=False):
        self.service = service
        self.refuse = refuse
        self.phone = service.phone
        self.sock = sock
        self.outbox = queue.Queue()
        self.keep_alive = False
        self.watches = []
        self.heartbeat_answers = 0
        self.closed = threading.Event()
        self.reset = False
        self.reader = threading.Thread(target=self._read_loop, daemon=True,
                                       name="companion-read-" + self.phone.serial)
        self.writer = threading.Thread(target=self._write_loop, daemon=True,
                                       name="companion-write-" + self.phone.serial)

    def start(self):
        self.writer.start()  # first: the reader joins the writer when it ends
        self.reader.start()

    # -- closing ------------------------------------------------------------------------------

    def close(self, reset=False):
        """End the connection: a clean close (FIN), or a reset (RST) when reset is set.

        The reader thread owns the socket and closes it once both threads are done; here we
        only wake it. A reset must not shut down the sending side, or the peer would see a
        clean end of stream before the reset.
        """
        if self.closed.is_set():
            return
        self.reset = self.reset or reset
        self.closed.set()
        try:
            self.sock.shutdown(socket.SHUT_RD if reset else socket.SHUT_RDWR)
        except OSError:
            pass
        self.outbox.put(None)

    # -- writing ------------------------------------------------------------------------------

    def send(self, data):
        if not self.closed.is_set():
            self.outbox.put(("data", data))

    def _write_loop(self):
        try:
            if self.refuse:
                # Nothing listens on the phone: end the stream at once but go on reading, so
                # the peer sees a clean close rather than a reset for its unread request.
                self.sock.shutdown(socket.SHUT_WR)
                return
            while not self.closed.is_set():
                interval = self.phone.setting("heartbeat") if self.keep_alive else None
                try:
                    item = self.outbox.get(timeout=interval if interval else None)
                except queue.Empty:
                    item = ("data", frame(CMD_HEART_BEAT, 0x01))
                if item is None:
                    break
                kind, data = item
                if kind == "close":
                    self.close()
                    break
                self.sock.sendall(data)
        except OSError:
            pass

    def _reply(self, data):
        """Queue one reply, bent by whatever misbehaviour the phone shows now."""
        phone = self.phone
        delay = phone.setting("reply-delay")
        if delay and self.closed.wait(delay):
            return
        if phone.misbehaving("zero-length"):
            self.send(b"\x00\x00\x00\x00")
        elif phone.misbehaving("short-body"):
            self.send(struct.pack(">I", 2) + data[4:6])
        elif phone.misbehaving("truncated"):
            self.send(data[:4 + max(1, (len(data) - 4) // 2)])
            self.outbox.put(("close", None))
        elif phone.misbehaving("oversized"):
            self.send(struct.pack(">I", phone.setting("oversized-length")) + data[4:])
            self.outbox.put(("close", None))
        else:
            self.send(data)

    # -- reading ------------------------------------------------------------------------------

    def _read_loop(self):
        reader = _Reader(self.sock)
        try:
            while not self.closed.is_set():
                header = reader.exactly(4)
                if header is None:
                    break
                (length,) = struct.unpack(">I", header)
                if length > MAX_REQUEST:
                    break
                body = reader.exactly(length) if length else b""
                if body is None:
                    break
                if len(body) < 3 or self.refuse:
                    continue
                if not self._handle(body[0], body[1], body[3:]):
                    break
        finally:
            self.close(reset=self.reset)
            self.writer.join(timeout=1.0)
            if self.writer.is_alive():
                # The peer stopped reading; unblock the writer's send.
                try:
                    self.sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                self.writer.join()
            if self.reset:
                self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.sock.close()
            self.service.forget(self)

    def _handle(self, cmd, typ, payload):
        phone = self.phone
        phone.log_event("companion", cmd=cmd, type=typ, size=len(payload))
        if cmd == CMD_HEART_BEAT:
            self.heartbeat_answers += 1
            return True
        if cmd == CMD_FILE_WATCH:
            self._watch(typ, payload)
            return True
        if cmd == CMD_CLOSE:
            return False
        if phone.take_misbehaviour("reset-once") or phone.misbehaving("reset-always"):
            self.close(reset=True)
            return False
        if phone.misbehaving("silent"):
            return True
        try:
            reply = self._answer(cmd, typ, payload)
        except ValueError:
            return False
        if reply is not None:
            self._reply(reply)
        if cmd == CMD_KEEP_ALIVE and not self.keep_alive:
            self.keep_alive = True
            self.service.became_keep_alive(self)
            self.outbox.put(("data", b""))  # wake the writer so the heartbeat clock starts
        return True

    def _answer(self, cmd, typ, payload):
        phone = self.phone
        if cmd == CMD_DEVICE_INFO:
            return frame(CMD_DEVICE_INFO, typ, json_bytes(phone.device_info()))
        if cmd == CMD_KEEP_ALIVE:
            return frame(CMD_KEEP_ALIVE, 0x03, json_bytes(phone.device_info()))
        if cmd == CMD_FETCH:
            records = self.service.scan()
            body = json_bytes(medialib.library_json(records, typ, phone.setting("list-as-string")))
            packed = gzip.compress(body)
            if phone.misbehaving("bad-gzip"):
                packed = packed[:max(11, len(packed) // 2)]
            return frame(CMD_FETCH, typ, packed)
        if cmd == CMD_FILE_THUMBNAIL:
            return frame(CMD_FILE_THUMBNAIL, typ, self._file_thumbnails(_Payload(payload)))
        if cmd == CMD_MEDIA_THUMBNAIL:
            return frame(CMD_MEDIA_THUMBNAIL, typ, self._media_thumbnails(typ, _Payload(payload)))
        if cmd == CMD_DELETE_MEDIA:
            p = _Payload(payload)
            ids = [p.u64() for _ in range(p.u32())]
            self.service.delete_media(ids)
            return frame(CMD_DELETE_MEDIA, 0x00)
        if cmd == CMD_UPDATE_MEDIA:
            p = _Payload(payload)
            paths = [p.string() for _ in range(p.u32())]
            phone.log_event("rescan", paths=paths)
            self.service.tree_changed([])
            return frame(CMD_UPDATE_MEDIA, 0x00)
        return None

    def _file_thumbnails(self, p):
        count = p.u32()
        items = []
        for _ in range(count):
            path = p.string()
            data = self.service.thumbnail_for_path(path)
            encoded = path.encode("utf-8", "surrogateescape")
            item = bytes([0 if data else 1]) + struct.pack(">I", len(encoded)) + encoded
            item += struct.pack(">i", len(data or b"")) + (data or b"")
            items.append(item)
        return struct.pack(">i", len(items)) + b"".join(items)

    def _media_thumbnails(self, typ, p):
        count = p.u32()
        items = []
        for _ in range(count):
            media_id = p.u64()
            data = self.service.thumbnail_for_id(typ, media_id)
            items.append(bytes([0 if data else 1]) + struct.pack(">Qi", media_id, len(data or b""))
                         + (data or b""))
        return struct.pack(">i", len(items)) + b"".join(items)

    def _watch(self, typ, payload):
        try:
            p = _Payload(payload)
            paths = [p.string() for _ in range(p.u32())]
        except ValueError:
            return
        with self.service.lock:
            for path in paths:
                key = path.rstrip("/")
                if typ == 1 and key not in self.watches:
                    self.watches.append(key)
                elif typ == 2 and key in self.watches:
                    self.watches.remove(key)
        self.phone.log_event("watch" if typ == 1 else "unwatch", paths=paths)

    # -- pushes -------------------------------------------------------------------------------

    def folder_event(self, event, rel):
        """Send a file-change push when this connection watches the folder the event is about."""
        watched = rel if event in _SELF_EVENTS else rel.rsplit("/", 1)[0]
        with self.service.lock:
            keys = list(self.watches)
        for key in keys:
            if key and key.casefold() == watched.casefold():
                # The service names the entry under the folder as the computer spelled it.
                value = key if event in _SELF_EVENTS else key + "/" + rel.rsplit("/", 1)[1]
                self.send(frame(CMD_PUSH, PUSH_FILE_CHANGE, json_bytes({event: value})))
