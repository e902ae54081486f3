"""Each misbehaviour switch, and unplug/replug, reach the behaviour they promise."""

import os
import re
import select
import socket
import subprocess
import unittest
import zlib

from simtest import (SERIAL, SimTestCase, read_frame, readable_within, recv_exactly, request)

DEVICE_INFO = bytes.fromhex("00000003030301")


class AdbStateTest(SimTestCase):
    def test_unauthorized_and_offline(self):
        cases = [
            ("unauthorized", b"error: device unauthorized.\n"),
            ("offline", b"error: device offline\n"),
        ]
        for state, error in cases:
            with self.subTest(state=state):
                self.ctl.misbehave(SERIAL, state)
                self.assertEqual(self.adb("devices").stdout,
                                 ("List of devices attached\n%s\t%s\n\n" % (SERIAL, state)).encode())
                result = self.adb("-s", SERIAL, "shell", "ls /sdcard")
                self.assertEqual((result.returncode, result.stdout), (1, b""))
                self.assertTrue(result.stderr.startswith(error), result.stderr)
                self.ctl.misbehave(SERIAL, state, on=False)
                self.assertEqual(self.adb("-s", SERIAL, "shell", "echo ok").stdout, b"ok\n")

    def test_state_list_steps_once_per_listing(self):
        self.ctl.set(SERIAL, "state", "unauthorized,device")
        states = [self.adb("devices").stdout.decode().splitlines()[1].split("\t")[1]
                  for _ in range(3)]
        self.assertEqual(states, ["unauthorized", "device", "device"])

    def test_refused_install_and_service_that_never_starts(self):
        apk = os.path.join(self.sim.info()["resource_dir"], "Tidewell.apk")
        self.ctl.misbehave(SERIAL, "install-unknown-sources")
        result = self.adb("install", "-r", apk, "/system/app")
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"[INSTALL_FAILED_UNKNOWN_SOURCES", result.stdout)
        self.assertEqual(self.shell("dumpsys package com.velmoros.tidewell | grep versionCode"), "")
        self.ctl.misbehave(SERIAL, "install-unknown-sources", on=False)
        self.ctl.misbehave(SERIAL, "service-never-starts")
        port = self.start_companion()
        self.assertIn("Starting service", self.shell(
            "am startservice com.velmoros.tidewell/.AdbForwardService"))
        self.assertEqual(self.shell("ps | grep com.velmoros.tidewell:fwd"), "")
        sock = self.connect(port)
        sock.sendall(DEVICE_INFO)
        self.assertEqual(recv_exactly(sock, 4), b"")

    def test_service_process_shows_after_some_ps_calls(self):
        self.ctl.set(SERIAL, "ps-misses", "1")
        self.start_companion()
        seen = [self.shell("ps | grep com.velmoros.tidewell:fwd") != "" for _ in range(2)]
        self.assertEqual(seen, [False, True])


class CompanionFaultsTest(SimTestCase):
    def setUp(self):
        super().setUp()
        self.port = self.start_companion()

    def exchange(self, data=DEVICE_INFO):
        """(announced length, body bytes received, the connection)."""
        sock = self.connect(self.port)
        sock.sendall(data)
        length, body = read_frame(sock)
        return length, body, sock

    def test_reply_faults(self):
        def ended(sock):
            return readable_within(sock, 5) and recv_exactly(sock, 1) == b""
        cases = [
            ("zero-length", lambda length, body, sock: length == 0),
            ("short-body", lambda length, body, sock: (length, body) == (2, b"\x03\x03")),
            ("truncated", lambda length, body, sock: length > len(body) > 0),
            ("oversized", lambda length, body, sock: length == 0x7FFFFFF0 and len(body) > 3),
        ]
        for name, promised in cases:
            with self.subTest(name=name):
                self.ctl.misbehave(SERIAL, name)
                length, body, sock = self.exchange()
                self.assertTrue(promised(length, body, sock), (length, body[:16]))
                if name in ("truncated", "oversized"):
                    self.assertTrue(ended(sock), "connection left open after a cut frame")
                self.ctl.misbehave(SERIAL, name, on=False)
                length, body, _ = self.exchange()
                self.assertEqual((length, body[:3]), (len(body), b"\x03\x03\x01"))

    def test_gzip_that_does_not_inflate(self):
        self.ctl.misbehave(SERIAL, "bad-gzip")
        length, body, _ = self.exchange(request(0x07, 0x01))
        self.assertEqual(length, len(body))
        inflater = zlib.decompressobj(47)
        try:
            inflater.decompress(body[3:])
            complete = inflater.eof
        except zlib.error:
            complete = False
        self.assertFalse(complete)

    def test_silent_service_keeps_the_connection_open(self):
        self.ctl.misbehave(SERIAL, "silent")
        sock = self.connect(self.port)
        sock.sendall(DEVICE_INFO)
        self.assertFalse(readable_within(sock, 0.3))

    def test_resets(self):
        def outcome():
            sock = self.connect(self.port)
            sock.sendall(DEVICE_INFO)
            try:
                return "reply" if read_frame(sock)[0] else "closed"
            except ConnectionResetError:
                return "reset"
        self.ctl.misbehave(SERIAL, "reset-once")
        self.assertEqual([outcome() for _ in range(3)], ["reset", "reply", "reply"])
        self.ctl.misbehave(SERIAL, "reset-always")
        self.assertEqual([outcome() for _ in range(2)], ["reset", "reset"])


class TransferFaultsTest(SimTestCase):
    SIZE = 400000

    def setUp(self):
        super().setUp()
        self.ctl.put(SERIAL, "/sdcard/blob.bin", os.urandom(self.SIZE))

    def start_pull(self, dest):
        proc = subprocess.Popen([self.adb_path, "pull", "-p", "/sdcard/blob.bin", dest],
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.addCleanup(proc.stderr.close)
        self.addCleanup(proc.wait)
        self.addCleanup(proc.kill)
        return proc

    def read_until(self, proc, pattern, timeout=10):
        text = ""
        while not re.search(pattern, text):
            ready = select.select([proc.stderr], [], [], timeout)[0]
            self.assertTrue(ready, "no %r within %s s; got %r" % (pattern, timeout, text))
            chunk = os.read(proc.stderr.fileno(), 4096).decode()
            self.assertTrue(chunk, "stream ended before %r; got %r" % (pattern, text))
            text += chunk
        return text

    def test_stalled_transfer_resumes_when_the_switch_clears(self):
        self.ctl.misbehave(SERIAL, "stall-transfer")
        dest = os.path.join(self.host, "blob.bin")
        proc = self.start_pull(dest)
        self.read_until(proc, r"\((5\d|6\d)%\)")
        self.assertFalse(readable_within(proc.stderr, 0.3), "progress went on while stalled")
        self.assertIsNone(proc.poll())
        self.ctl.misbehave(SERIAL, "stall-transfer", on=False)
        self.read_until(proc, r"\(100%\)")
        self.assertEqual(proc.wait(timeout=10), 0)
        self.assertEqual(os.path.getsize(dest), self.SIZE)

    def test_unplug_fails_what_runs_and_replug_comes_back_bare(self):
        port = self.start_companion()
        keep_alive = self.connect(port)
        keep_alive.sendall(bytes.fromhex("00000003050301"))
        self.assertEqual(read_frame(keep_alive)[1][:3], b"\x05\x03\x01")
        self.ctl.misbehave(SERIAL, "stall-transfer")
        dest = os.path.join(self.host, "blob.bin")
        proc = self.start_pull(dest)
        self.read_until(proc, r"Transferring")

        self.ctl.request("unplug", serial=SERIAL)
        self.read_until(proc, "device '%s' not found" % SERIAL)
        self.assertEqual(proc.wait(timeout=10), 1)
        self.assertFalse(os.path.exists(dest))
        try:
            self.assertEqual(recv_exactly(keep_alive, 1), b"")
        except ConnectionResetError:
            pass
        self.assertEqual(self.adb("devices").stdout, b"List of devices attached\n\n")
        self.assertEqual(self.adb("forward", "--list").stdout, b"")
        result = self.adb("-s", SERIAL, "shell", "ls")
        self.assertEqual((result.returncode, result.stderr),
                         (1, ("error: device '%s' not found\n" % SERIAL).encode()))
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", port), timeout=5).close()

        self.ctl.request("replug", serial=SERIAL)
        self.assertIn(b"%s\tdevice" % SERIAL.encode(), self.adb("devices").stdout)
        self.assertEqual(self.adb("forward", "--list").stdout, b"")
        self.assertEqual(self.adb("forward", "tcp:%d" % port, "tcp:10086").returncode, 0)
        sock = self.connect(port)
        sock.sendall(DEVICE_INFO)
        self.assertEqual(read_frame(sock)[1][:3], b"\x03\x03\x01")


if __name__ == "__main__":
    unittest.main()
