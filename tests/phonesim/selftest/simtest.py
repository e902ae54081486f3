"""Shared set-up of the simulator's self-tests: one simulator per test, nothing left behind."""

import os
import select
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from simulator.control import Control  # noqa: E402
from simulator.core import Simulator  # noqa: E402

SERIAL = "SIMPHONE01"
LEGACY = "/storage/emulated/legacy"
_OUR_THREADS = ("companion-", "forward-", "control-")


class SimTestCase(unittest.TestCase):
    phones = [(SERIAL, "realistic")]
    mode = "default"

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="phonesim-test-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.sim = Simulator(os.path.join(self.dir, "sim"), self.phones, mode=self.mode)
        os.makedirs(self.sim.dir)
        self.sim.start()
        self.addCleanup(self._stop)
        self.ctl = Control(self.sim.info()["socket"])
        self.adb_path = self.sim.info()["adb"]
        self.host = os.path.join(self.dir, "host")
        os.makedirs(self.host)

    def _stop(self):
        self.sim.stop()
        left = [t.name for t in threading.enumerate() if t.name.startswith(_OUR_THREADS)]
        self.assertEqual(left, [], "simulator threads outlived the simulator")

    def phone(self, serial=SERIAL):
        return self.sim.phone(serial)

    def root(self, serial=SERIAL):
        return self.sim.phone(serial).storage.root

    def adb(self, *args, timeout=30, **kwargs):
        """Run the stand-in adb as the product does; returns the completed process (bytes)."""
        return subprocess.run([self.adb_path, *args], capture_output=True, timeout=timeout,
                              cwd=self.host, **kwargs)

    def shell(self, command, serial=SERIAL):
        return self.adb("-s", serial, "shell", command).stdout.decode("utf-8", "surrogateescape")

    def start_companion(self, port=None, serial=SERIAL):
        """Install and start the companion and forward a free local port to it; returns the port."""
        self.assertEqual(self.adb("-s", serial, "install", "-r",
                                  os.path.join(self.sim.info()["resource_dir"], "Tidewell.apk"),
                                  "/system/app").returncode, 0)
        self.shell("am startservice com.velmoros.tidewell/.AdbForwardService", serial)
        port = port or free_port()
        self.assertEqual(self.adb("-s", serial, "forward", "tcp:%d" % port, "tcp:10086")
                         .returncode, 0)
        return port

    def connect(self, port):
        sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.addCleanup(sock.close)
        return sock


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def request(cmd, typ, payload=b""):
    body = bytes([cmd, typ, 1]) + payload
    return struct.pack(">I", len(body)) + body


def recv_exactly(sock, n, timeout=10):
    """n bytes, or fewer if the peer closed first; raises socket.timeout after timeout."""
    sock.settimeout(timeout)
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            break
        data += chunk
    return data


def read_frame(sock, timeout=10):
    """(announced length, body bytes received) of the next frame."""
    header = recv_exactly(sock, 4, timeout)
    if len(header) < 4:
        return None, header
    (length,) = struct.unpack(">I", header)
    return length, recv_exactly(sock, min(length, 1 << 20), timeout)


def readable_within(sock, seconds):
    return bool(select.select([sock], [], [], seconds)[0])


def wait_for(predicate, timeout=10, what="condition"):
    """Wait for a state the simulator reaches asynchronously, up to a deadline."""
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.01)
