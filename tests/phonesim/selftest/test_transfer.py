"""pull and push: content, progress in both dialects, pacing, and termination mid-copy."""

import os
import re
import select
import signal
import subprocess
import time
import unittest

from simtest import SERIAL, SimTestCase

PROGRESS = re.compile(r"(.*) (\d*)/(\d*) (.*)[(](\d+)%", re.I)
SIZE = 300000


class DefaultDialectTest(SimTestCase):
    def setUp(self):
        super().setUp()
        self.payload = os.urandom(SIZE)
        self.ctl.put(SERIAL, "/sdcard/Download/blob.bin", self.payload)
        os.utime(os.path.join(self.root(), "Download", "blob.bin"), (1425205200, 1425205200))

    def progress(self, stderr):
        """(done, total, percent) of every progress line, checking each is a whole line."""
        rows = []
        for line in stderr.decode().splitlines():
            m = PROGRESS.search(line)
            self.assertIsNotNone(m, line)
            rows.append((int(m.group(2)), int(m.group(3)), int(m.group(5))))
        return rows

    def assert_progress(self, rows, total):
        self.assertGreaterEqual(len(rows), 3)
        self.assertEqual(rows[-1], (total, total, 100))
        done = [r[0] for r in rows]
        self.assertEqual(done, sorted(done))
        self.assertTrue(all(r[1] == total for r in rows))

    def test_pull_makes_parents_keeps_the_date_and_reports_progress(self):
        dest = os.path.join(self.host, "new", "deeper", "blob.bin")
        result = self.adb("-s", SERIAL, "pull", "-p", "-a",
                          "/storage/emulated/legacy/Download/blob.bin", dest)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(dest, "rb") as f:
            self.assertEqual(f.read(), self.payload)
        self.assertEqual(int(os.path.getmtime(dest)), 1425205200)
        self.assert_progress(self.progress(result.stderr), SIZE)

    def test_push_into_a_folder_reports_progress(self):
        src = os.path.join(self.host, "up load.bin")
        with open(src, "wb") as f:
            f.write(self.payload[::-1])
        result = self.adb("-s", SERIAL, "push", "-p", src, "/storage/emulated/legacy/DCIM/New/")
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(os.path.join(self.root(), "DCIM", "New", "up load.bin"), "rb") as f:
            self.assertEqual(f.read(), self.payload[::-1])
        self.assert_progress(self.progress(result.stderr), SIZE)

    def test_failures_exit_non_zero_with_adb_texts(self):
        result = self.adb("-s", SERIAL, "pull", "-p", "/sdcard/missing.bin",
                          os.path.join(self.host, "x"))
        self.assertEqual((result.returncode, result.stdout), (1, b""))
        self.assertEqual(result.stderr, b"remote object '/sdcard/missing.bin' does not exist\n")
        self.assertEqual(os.listdir(self.host), [])
        result = self.adb("-s", SERIAL, "push", "-p", os.path.join(self.host, "none"), "/sdcard/")
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"cannot stat", result.stderr)
        result = self.adb("-s", SERIAL, "push", "-p", self.adb_path, "/system/app/adb")
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"Read-only file system", result.stderr)

    def start_slow(self, *args):
        """Start a paced transfer and return once it has reported its first progress line."""
        self.ctl.set(SERIAL, "transfer-rate", str(SIZE // 8))
        proc = subprocess.Popen([self.adb_path, "-s", SERIAL, *args], stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, cwd=self.host)
        self.addCleanup(proc.stderr.close)
        self.addCleanup(proc.wait)
        self.addCleanup(proc.kill)
        ready, _, _ = select.select([proc.stderr], [], [], 10)
        self.assertTrue(ready, "no progress within 10 s")
        self.assertRegex(os.read(proc.stderr.fileno(), 4096).decode(), PROGRESS)
        return proc

    def test_terminated_pull_leaves_no_file(self):
        dest = os.path.join(self.host, "blob.bin")
        proc = self.start_slow("pull", "-p", "-a", "/sdcard/Download/blob.bin", dest)
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=10)
        self.assertFalse(os.path.exists(dest))
        self.assertTrue(self.sim.wait_idle(10))
        self.assertEqual(os.listdir(self.host), [])

    def test_terminated_push_leaves_no_file(self):
        src = os.path.join(self.host, "blob.bin")
        with open(src, "wb") as f:
            f.write(self.payload)
        proc = self.start_slow("push", "-p", src, "/sdcard/DCIM/blob.bin")
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=10)
        self.assertTrue(self.sim.wait_idle(10))
        self.assertFalse(os.path.exists(os.path.join(self.root(), "DCIM", "blob.bin")))
        self.assertEqual(os.listdir(self.sim.tmp_dir(self.phone())), [])

    def test_pacing_sets_the_pace(self):
        self.ctl.set(SERIAL, "transfer-rate", str(SIZE * 2))
        started = time.monotonic()
        result = self.adb("-s", SERIAL, "pull", "-p", "/sdcard/Download/blob.bin", self.host)
        self.assertEqual(result.returncode, 0)
        self.assertGreaterEqual(time.monotonic() - started, 0.45)


class CurrentDialectTest(SimTestCase):
    mode = "current"

    def setUp(self):
        super().setUp()
        self.ctl.put(SERIAL, "/sdcard/Download/blob.bin", os.urandom(SIZE))

    def test_pull_without_terminal_prints_only_a_summary(self):
        result = self.adb("-s", SERIAL, "pull", "-p", "/sdcard/Download/blob.bin", self.host)
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        self.assertRegex(result.stdout.decode(),
                         r"\A/sdcard/Download/blob\.bin: 1 file pulled, 0 skipped\. "
                         r"\d+\.\d MB/s \(300000 bytes in \d+\.\d{3}s\)\n\Z")

    def test_push_summary_names_the_local_file(self):
        src = os.path.join(self.host, "a.bin")
        with open(src, "wb") as f:
            f.write(b"x" * 1000)
        result = self.adb("push", src, "/sdcard/")
        self.assertEqual(result.returncode, 0)
        self.assertTrue(result.stdout.decode().startswith(src + ": 1 file pushed, 0 skipped."))

    def test_pull_on_a_terminal_shows_progress(self):
        master, slave = os.openpty()
        proc = subprocess.Popen([self.adb_path, "pull", "/sdcard/Download/blob.bin", self.host],
                                stdout=slave, stderr=subprocess.DEVNULL)
        os.close(slave)
        self.addCleanup(os.close, master)
        output = b""
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if not select.select([master], [], [], deadline - time.monotonic())[0]:
                break
            try:
                chunk = os.read(master, 65536)
            except OSError:  # the terminal's other end closed
                break
            if not chunk:
                break
            output += chunk
        self.assertEqual(proc.wait(timeout=10), 0)
        text = output.decode()
        self.assertIn("\r[ 21%] /sdcard/Download/blob.bin\x1b[K", text)
        self.assertIn("\r[100%] /sdcard/Download/blob.bin\x1b[K", text)
        self.assertIn("1 file pulled, 0 skipped.", text)

    def test_failure_goes_to_standard_output(self):
        result = self.adb("pull", "-p", "/sdcard/x", self.host)
        self.assertEqual((result.returncode, result.stderr), (1, b""))
        self.assertEqual(result.stdout, b"adb: error: remote object '/sdcard/x' does not exist\n")

    def test_a_file_pull_into_a_missing_folder_fails(self):
        target = os.path.join(self.host, "missing", "blob.bin")
        result = self.adb("pull", "/sdcard/Download/blob.bin", target)
        self.assertEqual((result.returncode, result.stderr), (1, b""))
        self.assertEqual(result.stdout.decode(), "adb: error: cannot create file/directory '%s': "
                         "No such file or directory\n" % target)
        self.assertFalse(os.path.exists(os.path.dirname(target)))


if __name__ == "__main__":
    unittest.main()
