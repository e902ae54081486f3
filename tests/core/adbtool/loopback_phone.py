#!/usr/bin/env python3
"""A phone that Debian's adb reaches over loopback TCP ("adb connect 127.0.0.1:PORT").

Speaks just enough of the device side of adb's transport for the resource program's tests:
the connection handshake (no authentication), the plain "shell:" service and the newer shell
protocol ("shell,v2,...:", streams apart and an exit status) for `ls` of paths, and the sync
service's STAT, RECV and SEND over files in ROOT (the phone's "/sdcard").
Transfers are paced to --rate bytes per second so adb has time to draw its progress.

Prints the port it listens on, then serves until it is terminated or its parent ends.
"""

import argparse
import ctypes
import os
import shlex
import signal
import socket
import stat
import struct
import sys
import threading
import time

A_CNXN, A_OPEN, A_OKAY, A_CLSE, A_WRTE = (0x4E584E43, 0x4E45504F, 0x59414B4F, 0x45534C43,
                                          0x45545257)
A_VERSION = 0x01000001  # needs no checksums
MAX_PAYLOAD = 256 * 1024
SYNC_CHUNK = 64 * 1024
BANNER = (b"device::ro.product.name=loopback;ro.product.model=loopback;ro.product.device=loopback;"
          b"features=shell_v2")


class Gone(Exception):
    pass


class Transport:
    def __init__(self, conn, root, rate):
        self.conn = conn
        self.root = root
        self.rate = rate
        self.streams = {}
        self.next_id = 1
        self.okays = set()  # streams whose last WRTE the host has acknowledged

    def read_exactly(self, n):
        data = b""
        while len(data) < n:
            chunk = self.conn.recv(n - len(data))
            if not chunk:
                raise Gone()
            data += chunk
        return data

    def read_message(self):
        command, arg0, arg1, length, _check, _magic = struct.unpack("<6I", self.read_exactly(24))
        return command, arg0, arg1, self.read_exactly(length) if length else b""

    def send(self, command, arg0, arg1, data=b""):
        header = struct.pack("<6I", command, arg0, arg1, len(data), sum(data) & 0xFFFFFFFF,
                             command ^ 0xFFFFFFFF)
        self.conn.sendall(header + data)

    def write(self, stream, data):
        """Send data on a stream, one acknowledged WRTE at a time, as the protocol wants."""
        for i in range(0, len(data), MAX_PAYLOAD):
            self.okays.discard(stream.local)
            self.send(A_WRTE, stream.local, stream.remote, data[i:i + MAX_PAYLOAD])
            while stream.local not in self.okays:
                self.dispatch(*self.read_message())

    def close(self, stream):
        self.send(A_CLSE, stream.local, stream.remote)
        self.streams.pop(stream.local, None)

    def serve(self):
        while True:
            self.dispatch(*self.read_message())

    def dispatch(self, command, arg0, arg1, data):
        if command == A_CNXN:
            self.send(A_CNXN, A_VERSION, MAX_PAYLOAD, BANNER)
        elif command == A_OPEN:
            local = self.next_id
            self.next_id += 1
            service = data.rstrip(b"\0").decode("utf-8", "surrogateescape")
            stream = Stream(self, local, arg0, service)
            self.streams[local] = stream
            self.send(A_OKAY, local, arg0)
            stream.opened()
        elif command == A_OKAY:
            self.okays.add(arg1)
        elif command == A_WRTE:
            self.send(A_OKAY, arg1, arg0)
            stream = self.streams.get(arg1)
            if stream is not None:
                stream.received(data)
        elif command == A_CLSE:
            self.streams.pop(arg1, None)

    def host_path(self, path):
        for prefix in ("/sdcard", "/storage/emulated/legacy", "/storage/emulated/0"):
            if path == prefix or path.startswith(prefix + "/"):
                return os.path.join(self.root, path[len(prefix):].lstrip("/"))
        return None

    def pace(self, started, done):
        if self.rate > 0:
            delay = started + done / self.rate - time.monotonic()
            if delay > 0:
                time.sleep(delay)


class Stream:
    def __init__(self, transport, local, remote, service):
        self.t = transport
        self.local = local
        self.remote = remote
        self.service = service
        self.buffer = b""
        self.receiving = None  # (file, host path) of a SEND in progress

    def opened(self):
        if self.service.startswith("shell:"):
            out, err, _ = self.shell(self.service[6:])
            self.t.write(self, (out + err).encode())
            self.t.close(self)
        elif self.service.startswith("shell,") and ":" in self.service:
            options, line = self.service.split(":", 1)
            if "v2" not in options.split(","):
                self.t.close(self)
                return
            out, err, status = self.shell(line)
            packets = b""
            for kind, text in ((1, out), (2, err)):
                if text:
                    data = text.encode()
                    packets += struct.pack("<BI", kind, len(data)) + data
            packets += struct.pack("<BIB", 3, 1, status)
            self.t.write(self, packets)
            self.t.close(self)
        elif self.service != "sync:":
            self.t.close(self)

    def shell(self, line):
        """`ls` as a phone's toolbox runs it: (standard output, standard error, status)."""
        try:
            words = shlex.split(line)
        except ValueError:
            return "", "/system/bin/sh: syntax error: unterminated quoted string\n", 2
        if not words or words[0] != "ls":
            return "", "/system/bin/sh: %s: not found\n" % (words[0] if words else ""), 127
        flags = "".join(w[1:] for w in words[1:] if w.startswith("-"))
        out = []
        err = []
        for path in [w for w in words[1:] if not w.startswith("-")]:
            host = self.t.host_path(path)
            if not host or not os.path.exists(host):
                err.append("ls: %s: No such file or directory\n" % path)
            elif "l" in flags and (os.path.isfile(host) or "d" in flags):
                st = os.stat(host)
                size = "" if os.path.isdir(host) else str(st.st_size)
                out.append("%s root     sdcard_r %8s %s %s\n" % (
                    "drwxrwx---" if os.path.isdir(host) else "-rw-rw----", size,
                    time.strftime("%Y-%m-%d %H:%M", time.localtime(st.st_mtime)), path))
            elif os.path.isdir(host) and "d" not in flags:
                out.extend(name + "\n" for name in sorted(os.listdir(host)))
            else:
                out.append(path + "\n")
        return "".join(out), "".join(err), 1 if err else 0

    def received(self, data):
        self.buffer += data
        while True:
            if self.receiving is not None:
                if not self.receive_chunk():
                    return
                continue
            if len(self.buffer) < 8:
                return
            request, length = struct.unpack("<4sI", self.buffer[:8])
            if request == b"QUIT":
                self.buffer = b""
                self.t.close(self)
                return
            if len(self.buffer) < 8 + length:
                return
            argument = self.buffer[8:8 + length].decode("utf-8", "surrogateescape")
            self.buffer = self.buffer[8 + length:]
            {b"STAT": self.stat, b"RECV": self.recv, b"SEND": self.send}.get(
                request, self.unknown)(argument)

    def unknown(self, _argument):
        self.fail("unknown sync request")

    def fail(self, message):
        self.t.write(self, b"FAIL" + struct.pack("<I", len(message)) + message.encode())

    def stat(self, path):
        host = self.t.host_path(path)
        try:
            st = os.stat(host) if host else None
        except OSError:
            st = None
        if st is None:
            reply = struct.pack("<4sIII", b"STAT", 0, 0, 0)
        else:
            reply = struct.pack("<4sIII", b"STAT", st.st_mode, st.st_size & 0xFFFFFFFF,
                                int(st.st_mtime))
        self.t.write(self, reply)

    def recv(self, path):
        host = self.t.host_path(path)
        if not host or not os.path.isfile(host):
            self.fail("open failed: No such file or directory")
            return
        started = time.monotonic()
        done = 0
        with open(host, "rb") as f:
            while True:
                chunk = f.read(SYNC_CHUNK)
                if not chunk:
                    break
                self.t.pace(started, done + len(chunk))
                self.t.write(self, b"DATA" + struct.pack("<I", len(chunk)) + chunk)
                done += len(chunk)
        self.t.write(self, struct.pack("<4sI", b"DONE", 0))

    def send(self, argument):
        path, _, _mode = argument.rpartition(",")
        host = self.t.host_path(path)
        if not host:
            self.fail("Read-only file system")
            return
        os.makedirs(os.path.dirname(host), exist_ok=True)
        self.receiving = (open(host + ".part", "wb"), host, time.monotonic(), 0)

    def receive_chunk(self):
        f, host, started, done = self.receiving
        if len(self.buffer) < 8:
            return False
        kind, length = struct.unpack("<4sI", self.buffer[:8])
        if kind == b"DONE":
            self.buffer = self.buffer[8:]
            f.close()
            os.replace(host + ".part", host)
            self.receiving = None
            self.t.write(self, struct.pack("<4sI", b"OKAY", 0))
            return True
        if len(self.buffer) < 8 + length:
            return False
        f.write(self.buffer[8:8 + length])
        self.buffer = self.buffer[8 + length:]
        done += length
        self.receiving = (f, host, started, done)
        self.t.pace(started, done)
        return True


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("root")
    parser.add_argument("--rate", type=int, default=0, help="bytes per second; 0: unlimited")
    args = parser.parse_args()
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.bind(("127.0.0.1", 0))
    server.listen(4)
    sys.stdout.write("%d\n" % server.getsockname()[1])
    sys.stdout.flush()

    def accept():
        while True:
            try:
                conn, _ = server.accept()
            except OSError:
                return
            threading.Thread(target=serve, args=(conn,), daemon=True).start()

    def serve(conn):
        with conn:
            try:
                Transport(conn, args.root, args.rate).serve()
            except (Gone, OSError):
                pass

    threading.Thread(target=accept, daemon=True).start()
    threading.Event().wait()


def end_with_parent():
    PR_SET_PDEATHSIG = 1
    try:
        ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    except (OSError, AttributeError):
        pass


if __name__ == "__main__":
    end_with_parent()
    main()
