"""The adb client layer: devices, choosing a phone, forwards, install, and both shell dialects."""

import os
import socket
import unittest

from simtest import SimTestCase, free_port

APK_ARGS = ("install", "-r")


class TwoPhonesTest(SimTestCase):
    # One serial is a prefix of the other: nothing may confuse them.
    phones = [("SIMPHONE0", "empty"), ("SIMPHONE01", "realistic")]

    def test_devices_and_choosing_a_phone(self):
        self.assertEqual(self.adb("devices").stdout,
                         b"List of devices attached\nSIMPHONE0\tdevice\nSIMPHONE01\tdevice\n\n")
        result = self.adb("shell", "ls /sdcard")
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (1, b"", b"error: more than one device/emulator\n"))
        result = self.adb("-s", "SIMPHONE", "shell", "ls /sdcard")
        self.assertEqual(result.stderr, b"error: device 'SIMPHONE' not found\n")
        self.assertEqual(self.shell("ls /sdcard", "SIMPHONE0"), "")
        self.assertIn("DCIM", self.shell("ls /sdcard", "SIMPHONE01"))
        self.assertEqual(self.ctl.log(kind="adb")[-1]["argv"],
                         ["-s", "SIMPHONE01", "shell", "ls /sdcard"])

    def test_forwards_are_listed_per_phone_and_rebound(self):
        a, b = free_port(), free_port()
        self.assertEqual(self.adb("-s", "SIMPHONE0", "forward", "tcp:%d" % a, "tcp:10086")
                         .returncode, 0)
        self.assertEqual(self.adb("-s", "SIMPHONE01", "forward", "tcp:%d" % b, "tcp:10086")
                         .returncode, 0)
        expected = sorted(["SIMPHONE0 tcp:%d tcp:10086" % a, "SIMPHONE01 tcp:%d tcp:10086" % b])
        self.assertEqual(sorted(self.adb("forward", "--list").stdout.decode().splitlines()),
                         expected)
        self.adb("-s", "SIMPHONE01", "forward", "tcp:%d" % a, "tcp:10086")
        self.assertIn("SIMPHONE01 tcp:%d tcp:10086" % a,
                      self.adb("forward", "--list").stdout.decode())
        self.assertEqual(self.adb("forward", "--remove", "tcp:%d" % a).returncode, 0)
        result = self.adb("forward", "--remove", "tcp:%d" % a)
        self.assertEqual((result.returncode, result.stderr),
                         (1, b"error: listener 'tcp:%d' not found\n" % a))
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen(1)
            port = taken.getsockname()[1]
            result = self.adb("-s", "SIMPHONE0", "forward", "tcp:%d" % port, "tcp:10086")
            self.assertEqual(result.returncode, 1)
            self.assertIn(b"cannot bind listener", result.stderr)


class CurrentDialectTest(SimTestCase):
    mode = "current"

    def test_shell_keeps_streams_apart_unless_asked_not_to(self):
        line = "ls /sdcard/nothing /sdcard/Download/notes.txt"
        result = self.adb("shell", line)
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (1, b"/sdcard/Download/notes.txt\n",
                          b"ls: /sdcard/nothing: No such file or directory\n"))
        result = self.adb("shell", "-x", line)
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        self.assertEqual(sorted(result.stdout.decode().splitlines()),
                         ["/sdcard/Download/notes.txt",
                          "ls: /sdcard/nothing: No such file or directory"])

    def test_install_takes_one_package_file(self):
        apk = os.path.join(self.sim.info()["resource_dir"], "Tidewell.apk")
        result = self.adb(*APK_ARGS, apk, "/system/app")
        self.assertEqual((result.returncode, result.stdout), (1, b""))
        self.assertEqual(result.stderr,
                         b"adb: filename doesn't end .apk or .apex: /system/app\n")
        result = self.adb(*APK_ARGS, apk)
        self.assertEqual((result.returncode, result.stdout),
                         (0, b"Performing Streamed Install\nSuccess\n"))

    def test_forward_prints_its_port(self):
        port = free_port()
        result = self.adb("forward", "tcp:%d" % port, "tcp:10086")
        self.assertEqual((result.returncode, result.stdout), (0, b"%d\n" % port))


class DefaultDialectTest(SimTestCase):
    def test_shell_merges_streams_and_exits_zero(self):
        result = self.adb("shell", "ls /sdcard/nothing; echo done")
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (0, b"ls: /sdcard/nothing: No such file or directory\ndone\n", b""))

    def test_install_reports_in_its_output(self):
        apk = os.path.join(self.sim.info()["resource_dir"], "Tidewell.apk")
        result = self.adb(*APK_ARGS, apk, "/system/app")
        self.assertEqual(result.returncode, 0)
        self.assertIn(b"Success", result.stdout)
        self.assertIn(b"versionCode=15 targetSdk=", self.adb(
            "shell", "dumpsys package com.velmoros.tidewell | grep versionCode").stdout)

    def test_unknown_command(self):
        result = self.adb("reboot-bootloader")
        self.assertEqual((result.returncode, result.stderr),
                         (1, b"adb: unknown command reboot-bootloader\n"))


if __name__ == "__main__":
    unittest.main()
