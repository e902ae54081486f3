"""The simulator: its phones, the adb forward table, the event log and the control socket.

Everything lives in one private folder:
  ctl                 Unix-domain control socket (JSON lines; see control.py)
  res/adb             stand-in adb bound to this simulator (no environment needed)
  res/Tidewell.apk    placeholder installer
  phones/SERIAL/storage   the phone's shared storage
  phones/SERIAL/tmp       pushes in flight
"""

import contextlib
import json
import os
import shlex
import socket
import sys
import threading
import time

from . import adbcmd, fixtures
from .forwards import Forward
from .phone import Phone

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
STANDIN = os.path.join(HERE, "adb_standin.py")
SOCKET_NAME = "ctl"
_SUN_PATH_MAX = 107


class Simulator:
    def __init__(self, folder, phones, mode="default", python=None):
        """phones: list of (serial, fixture parts joined by "+"); mode: "default" or "current"."""
        self.dir = os.path.abspath(folder)
        self.mode = mode
        self.python = python or sys.executable
        self.lock = threading.RLock()
        self.idle = threading.Condition(self.lock)
        self._phones = {}
        self._forwards = {}
        self._log = []
        self._transfers = 0
        self._server_started = False
        self._server = None
        self._threads = []
        self._conns = set()
        self._stopping = False
        self._phone_fixtures = phones
        self.shutdown_requested = threading.Event()

    # -- life cycle ---------------------------------------------------------------------------

    def start(self):
        socket_path = os.path.join(self.dir, SOCKET_NAME)
        if len(socket_path.encode()) > _SUN_PATH_MAX:
            raise RuntimeError("simulator folder path too long for a Unix socket: %s" % self.dir)
        for serial, fixture in self._phone_fixtures:
            if serial in self._phones:
                raise ValueError("serial %r given twice" % serial)
            root = os.path.join(self.dir, "phones", serial, "storage")
            os.makedirs(root)
            os.makedirs(os.path.join(self.dir, "phones", serial, "tmp"))
            fixtures.build(root, fixture)
            self._phones[serial] = Phone(self, serial, root)
        self._write_resources(socket_path)
        self._server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self._server.bind(socket_path)
        self._server.listen(64)
        thread = threading.Thread(target=self._accept_loop, daemon=True, name="control-accept")
        thread.start()
        self._accept_thread = thread
        return self

    def _write_resources(self, socket_path):
        res = os.path.join(self.dir, "res")
        os.makedirs(res, exist_ok=True)
        adb = os.path.join(res, "adb")
        with open(adb, "w") as f:
            f.write("#!/bin/sh\n# Stand-in adb of one simulated-phone instance.\n"
                    "PHONESIM_SOCKET=%s exec %s -I -S %s \"$@\"\n"
                    % (shlex.quote(socket_path), shlex.quote(self.python), shlex.quote(STANDIN)))
        os.chmod(adb, 0o755)
        with open(os.path.join(res, "Tidewell.apk"), "wb") as f:
            f.write(b"PK\x05\x06" + bytes(18))  # an empty zip archive

    def info(self):
        return {
            "dir": self.dir,
            "socket": os.path.join(self.dir, SOCKET_NAME),
            "resource_dir": os.path.join(self.dir, "res"),
            "adb": os.path.join(self.dir, "res", "adb"),
            "mode": self.mode,
            "phones": [{"serial": p.serial, "root": p.storage.root} for p in self.phones()],
        }

    def stop(self):
        """Close every forward, connection and control client; join every thread."""
        with self.lock:
            if self._stopping:
                return
            self._stopping = True
            forwards = list(self._forwards.values())
            self._forwards.clear()
            self.idle.notify_all()
        for f in forwards:
            f.close()
        for phone in self.phones():
            phone.unplug()
        if self._server is not None:
            try:
                self._server.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self._accept_thread.join()
            self._server.close()
        with self.lock:
            threads = list(self._threads)
            for conn in self._conns:
                try:
                    conn.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
        for t in threads:
            t.join()

    # -- phones and forwards ------------------------------------------------------------------

    def phones(self):
        with self.lock:
            return list(self._phones.values())

    def phone(self, serial):
        with self.lock:
            return self._phones.get(serial)

    def require_phone(self, serial):
        phone = self.phone(serial) if serial else (self.phones()[0] if self.phones() else None)
        if phone is None:
            raise ValueError("no phone %r" % serial)
        return phone

    def tmp_dir(self, phone):
        return os.path.join(self.dir, "phones", phone.serial, "tmp")

    def note_server_started(self):
        """True the first time the adb server is asked for, as adb reports starting its daemon."""
        with self.lock:
            first = not self._server_started
            self._server_started = True
            return first

    def forward_list(self):
        with self.lock:
            return sorted(self._forwards.values(), key=lambda f: f.port)

    def add_forward(self, port, serial, remote, no_rebind=False):
        with self.lock:
            existing = self._forwards.get(port)
            if existing is not None:
                if no_rebind:
                    raise OSError(98, "Address already in use")
                existing.serial, existing.remote = serial, remote
                return port
            self._forwards[port] = Forward(self, port, serial, remote)
            return port

    def remove_forward(self, port):
        with self.lock:
            forward = self._forwards.pop(port, None)
        if forward is None:
            return False
        forward.close()
        return True

    def unplug(self, serial):
        phone = self.require_phone(serial)
        with self.lock:
            dropped = [f for f in self._forwards.values() if f.serial == phone.serial]
            for f in dropped:
                del self._forwards[f.port]
        for f in dropped:
            f.close()
        phone.unplug()

    # -- log ----------------------------------------------------------------------------------

    def log(self, kind, **fields):
        with self.lock:
            self._log.append(dict(fields, kind=kind, time=time.time()))

    def log_entries(self, serial=None, kind=None, clear=False):
        with self.lock:
            entries = [e for e in self._log
                       if (serial is None or e.get("serial") in (serial, None))
                       and (kind is None or e["kind"] == kind)]
            if clear:
                self._log = []
            return entries

    # -- transfers ----------------------------------------------------------------------------

    @contextlib.contextmanager
    def transfer_running(self):
        with self.lock:
            self._transfers += 1
        try:
            yield
        finally:
            with self.lock:
                self._transfers -= 1
                self.idle.notify_all()

    def wait_idle(self, timeout):
        """Wait until no pull or push is running (temporary files are gone by then)."""
        deadline = time.monotonic() + timeout
        with self.lock:
            while self._transfers:
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self.idle.wait(left)
            return True

    # -- control socket -----------------------------------------------------------------------

    def _accept_loop(self):
        while True:
            try:
                conn, _ = self._server.accept()
            except OSError:
                return
            with self.lock:
                if self._stopping:
                    conn.close()
                    return
                self._threads = [t for t in self._threads if t.is_alive()]
                t = threading.Thread(target=self._serve_client, args=(conn,), daemon=True,
                                     name="control-client")
                self._threads.append(t)
                self._conns.add(conn)
            t.start()

    def _serve_client(self, conn):
        from .control import handle_request
        client = _Client(conn)
        try:
            for line in client.lines():
                try:
                    request = json.loads(line)
                except ValueError:
                    client.send({"error": "not JSON"})
                    continue
                if request.get("op") == "adb":
                    client.cwd = request.get("cwd") or "/"
                    client.tty = bool(request.get("tty"))
                    try:
                        status = adbcmd.run(self, request.get("argv") or [], client)
                    except Exception as e:  # a fault of the simulator, reported, not hidden
                        client.write(2, "phonesim: internal error: %r\n" % (e,))
                        status = 1
                    client.send({"exit": status})
                    continue
                client.send(handle_request(self, request))
                if request.get("op") == "shutdown":
                    break
        except OSError:
            pass
        finally:
            with self.lock:
                self._conns.discard(conn)
            conn.close()


class _Client:
    """One control connection; also the output channel of an adb command line."""

    def __init__(self, conn):
        self.conn = conn
        self.cwd = "/"
        self.tty = False
        self.mode = "default"
        self.dead = False

    def lines(self):
        buf = b""
        while True:
            data = self.conn.recv(65536)
            if not data:
                return
            buf += data
            while b"\n" in buf:
                line, buf = buf.split(b"\n", 1)
                if line.strip():
                    yield line.decode("utf-8", "surrogateescape")

    def send(self, message):
        try:
            self.conn.sendall(json.dumps(message).encode("utf-8", "surrogateescape") + b"\n")
        except OSError:
            self.dead = True

    def write(self, fd, text):
        if text:
            self.send({"fd": fd, "data": text})

    def alive(self):
        """False once the stand-in has gone (terminated, killed) or can no longer be written to."""
        if self.dead:
            return False
        try:
            self.conn.setblocking(False)
            try:
                data = self.conn.recv(1, socket.MSG_PEEK)
                if data == b"":
                    self.dead = True
            except BlockingIOError:
                pass
            finally:
                self.conn.setblocking(True)
        except OSError:
            self.dead = True
        return not self.dead

