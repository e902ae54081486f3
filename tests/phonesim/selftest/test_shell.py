"""The phone shell: quoting as a phone's sh does it, and output in the formats the bridge parses."""

import os
import re
import unittest

from simtest import LEGACY, SERIAL, SimTestCase

# The patterns the bridge applies to these outputs (case-insensitive, per line).
LISTING = re.compile(r"(-|d)(.*)(\s{1})(\d*)(\s{1})([0-9]{4}-[0-9]+-[0-9\s]+:[0-9]+)(\s{1})(.*)",
                     re.I)
LEVEL = re.compile(r"(.*): (\d*)", re.I)
VERSION_CODE = re.compile(r"(.*)versionCode=(\d+) targetSdk=", re.I)


def quoted(path):
    """A phone path as one literal double-quoted shell word."""
    return '"%s"' % re.sub(r'([\\$`"])', r"\\\1", path)


def quoted_leaky(path):
    """Escaping only backquote and double quote: $ and \\ stay live in the phone's shell."""
    return '"%s"' % path.replace("`", "\\`").replace('"', '\\"')


class QuotingTest(SimTestCase):
    phones = [(SERIAL, "hostile")]

    def hostile_paths(self):
        folder = os.path.join(self.root(), "Hostile")
        return [LEGACY + "/Hostile/" + name for name in sorted(os.listdir(folder))]

    def test_a_correctly_quoted_path_is_one_literal_word(self):
        self.ctl.log(clear=True)
        for path in self.hostile_paths():
            with self.subTest(path=path):
                out = self.shell("ls -a %s" % quoted(path))
                self.assertNotIn("No such", out)
                self.assertTrue(out.startswith(path + "\n") or out.startswith(".\n"), out)
        self.assertEqual(self.ctl.log(kind="expansion"), [])

    def test_live_dollar_and_backquote_are_expanded_and_logged(self):
        cases = [  # name, what a leaky quoting makes the phone's shell expand
            ("dollar $HOME.txt", "$HOME"),
            ("price $5.txt", "$5"),
            ("$(echo injected).txt", "$(echo injected)"),
            ("${PATH}.txt", "${PATH}"),
        ]
        for name, expansion in cases:
            with self.subTest(name=name):
                self.ctl.log(clear=True)
                out = self.shell("ls -a %s" % quoted_leaky(LEGACY + "/Hostile/" + name))
                self.assertIn("No such file or directory", out)
                texts = [e["text"] for e in self.ctl.log(kind="expansion")]
                self.assertEqual(texts, [expansion])

    def test_word_splitting_and_escapes(self):
        cases = [
            ("echo a   b", "a b\n"),
            ("echo 'a   b' \"c  d\"", "a   b c  d\n"),
            ('echo "a\\"b" "\\$x" "\\\\" "\\q"', 'a"b $x \\ \\q\n'),
            ("echo a\\ b \\'c\\'", "a b 'c'\n"),
            ("echo \"$(echo 'inner   words')\" $(echo 'split   here')", "inner   words split here\n"),
            ("echo \"`echo tick`\"", "tick\n"),
            ("echo ''x'' \"\"", "x \n"),
            ("echo $nothing | wc -l", "1\n"),
            ("false && echo no || echo yes; echo $?", "yes\n0\n"),
            ("test -d /sdcard/Hostile && echo dir", "dir\n"),
            ("echo one; echo two > /dev/null; echo three", "one\nthree\n"),
            ("echo a#b # comment", "a#b\n"),
        ]
        for line, expected in cases:
            with self.subTest(line=line):
                self.assertEqual(self.shell(line), expected)

    def test_single_quoted_find_pattern_and_unquoted_paths(self):
        out = self.shell("find /storage/emulated/legacy/Hostile -maxdepth 1 -name 'dollar $HOME.txt'")
        self.assertEqual(out, LEGACY + "/Hostile/dollar $HOME.txt\n")
        # An unquoted path is split at its space, as the phone's shell does.
        out = self.shell("ls -a /storage/emulated/legacy/Hostile/with space.txt")
        self.assertIn("/storage/emulated/legacy/Hostile/with: No such file or directory", out)
        self.assertIn("space.txt: No such file or directory", out)

    def test_changes_through_quoted_paths(self):
        names = ['double"quote.txt', "back\\slash.txt", "`echo tick`.txt", "dollar $HOME.txt",
                 "semi;colon.txt"]
        paths = [LEGACY + "/Hostile/" + n for n in names]
        self.shell("rm -rf " + " ".join(quoted(p) for p in paths))
        left = os.listdir(os.path.join(self.root(), "Hostile"))
        for name in names:
            self.assertNotIn(name, left)
        self.assertIn("single'quote.txt", left)
        self.shell("mv %s %s" % (quoted(LEGACY + "/Hostile/single'quote.txt"),
                                 quoted(LEGACY + "/Hostile/renamed $x \"q\".txt")))
        self.assertTrue(os.path.isfile(os.path.join(self.root(), "Hostile", 'renamed $x "q".txt')))
        self.shell("mkdir -p %s" % quoted(LEGACY + "/Hostile/new `dir`/a b/c"))
        self.assertTrue(os.path.isdir(os.path.join(self.root(), "Hostile", "new `dir`", "a b", "c")))

    def test_paths_never_leave_the_storage(self):
        out = self.shell("ls -a /sdcard/../../../../etc/passwd; mkdir -p /sdcard/../../evil; "
                         "rm -rf /storage/emulated/0/../../..")
        self.assertIn("/etc/passwd: No such file or directory", out)
        self.assertIn("Read-only file system", out)
        self.assertEqual(os.listdir(self.sim.dir).count("evil"), 0)
        self.assertTrue(os.path.isdir(os.path.join(self.root(), "Hostile")))


class FormatsTest(SimTestCase):
    def test_listing_lines_match_the_listing_pattern(self):
        out = self.shell('ls -al "%s/DCIM/" ' % LEGACY)
        rows = {}
        for line in out.splitlines():
            m = LISTING.search(line)
            self.assertIsNotNone(m, line)
            rows[m.group(8)] = (m.group(1), m.group(4), m.group(6))
        self.assertEqual(set(rows), {".thumbnails", "Camera", "Screenshots"})
        self.assertEqual(rows["Camera"][:2], ("d", ""))
        out = self.shell('ls -al "%s/DCIM/Camera/" ' % LEGACY)
        m = LISTING.search([l for l in out.splitlines() if "IMG_20150301_102011" in l][0])
        size = os.path.getsize(os.path.join(self.root(), "DCIM/Camera/IMG_20150301_102011.jpg"))
        self.assertEqual((m.group(1), m.group(4), m.group(6), m.group(8)),
                         ("-", str(size), "2015-03-01 10:20", "IMG_20150301_102011.jpg"))

    def test_toolbox_ls_refuses_b_and_toybox_ls_escapes_every_byte(self):
        folder = os.path.join(self.root(), "Odd")
        os.makedirs(folder)
        for name in (b"two\nlines", b"bad\xff", b"a b\\c", b"cr\r"):
            with open(os.path.join(os.fsencode(folder), name), "wb") as f:
                f.write(b"12345")
        out = self.shell('ls -alb "%s/Odd"' % LEGACY)
        self.assertEqual(out, "ls: Unknown option 'b'\n")
        self.ctl.set(SERIAL, "ls", "toybox")
        out = self.shell('ls -alb "%s/Odd"' % LEGACY)
        lines = out.splitlines()
        self.assertEqual(lines[0], "total 16")
        names = [LISTING.search(l).group(8) for l in lines[1:]]
        self.assertEqual(names, [".", "..", "a\\ b\\\\c", "bad\\377", "cr\\r", "two\\nlines"])
        self.assertTrue(all(l.split()[1].isdigit() for l in lines[1:]))  # the link count
        # Without -b a name goes out raw, line break and all.
        self.assertIn(" two\nlines\n", self.shell('ls -al "%s/Odd"' % LEGACY))

    def test_grep_filter_keeps_folders_and_chosen_kinds(self):
        out = self.shell('ls -al "%s/"  | grep  -e dr -e jpg -e png -e jpeg -e gif -e bmp' % (
            LEGACY + "/Download"))
        names = [LISTING.search(l).group(8) for l in out.splitlines()]
        self.assertEqual(names, ["wallpaper.jpg"])
        # A filter with no term: grep only complains, so no listing line survives.
        out = self.shell('ls -al "%s/"  | grep ' % LEGACY)
        self.assertTrue(out.startswith("usage: grep"), out)
        self.assertEqual([l for l in out.splitlines() if LISTING.search(l)], [])

    def test_missing_paths_and_folders_answer_as_a_phone_does(self):
        self.assertEqual(self.shell('ls -a "/sdcard/nope"'),
                         "ls: /sdcard/nope: No such file or directory\n")
        self.assertEqual(self.shell('ls -a "/sdcard/Download/notes.txt"'),
                         "/sdcard/Download/notes.txt\n")
        self.assertIn(".\n..\n", self.shell('ls -a "/sdcard/Alarms"'))
        self.assertEqual(self.shell('ls -al "/sdcard/Alarms"'), "")
        p = LEGACY + "/DCIM/Camera/"
        self.assertEqual(self.shell('test -d %s && grep "poet" %s' % (p, p)),
                         "grep: %s: Is a directory\n" % p)
        p = LEGACY + "/Download/notes.txt/"
        self.assertEqual(self.shell('test -d %s && grep "poet" %s' % (p, p)), "")
        self.assertEqual(self.shell("frobnicate --now"), "/system/bin/sh: frobnicate: not found\n")

    def test_system_facts(self):
        self.ctl.set(SERIAL, "battery", "42")
        lines = self.shell("dumpsys battery | grep -e level").splitlines()
        self.assertEqual(lines, ["  level: 42"])
        self.assertEqual(LEVEL.search(lines[0]).group(2), "42")
        out = self.shell("df /storage/emulated/legacy/")
        fields = out[out.index(LEGACY + "/") + len(LEGACY) + 1:].split()
        self.assertEqual(fields[:3], ["29.8G", "10.2G", "19.6G"])
        self.assertEqual(self.shell("getprop ro.housing.color"), "black\n")
        self.assertEqual(self.shell("getprop ro.product.name"), "tovamere\n")
        self.assertEqual(self.shell("dumpsys package com.velmoros.tidewell | grep versionCode"), "")
        self.ctl.set(SERIAL, "apk-version", "14")
        out = self.shell("dumpsys package com.velmoros.tidewell | grep versionCode")
        self.assertEqual(VERSION_CODE.search(out).group(2), "14")

    def test_count_excludes_hidden_paths_and_depth(self):
        out = self.shell("find %s/ -maxdepth 5 -not -path '*/\\.*' -type f | wc -l" % LEGACY)
        expected = 0
        root = self.root()
        for folder, dirs, files in os.walk(root):
            rel = os.path.relpath(folder, root)
            depth = 0 if rel == "." else rel.count(os.sep) + 1
            if any(part.startswith(".") for part in rel.split(os.sep) if part != "."):
                continue
            if depth < 5:
                expected += sum(1 for f in files if not f.startswith("."))
        self.assertGreater(expected, 20)
        self.assertEqual(out.strip(), str(expected))

    def test_screencap_and_broadcast(self):
        self.assertEqual(self.shell("screencap -p /sdcard/ovscreenshot.png"), "")
        with open(os.path.join(self.root(), "ovscreenshot.png"), "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        out = self.shell("am broadcast -a android.intent.action.MEDIA_MOUNTED "
                         "-d file:///storage/emulated/legacy/DCIM")
        self.assertIn("Broadcast completed: result=0", out)
        self.assertEqual(self.ctl.log(kind="broadcast")[-1]["data"],
                         "file:///storage/emulated/legacy/DCIM")


class LargeFixturesTest(SimTestCase):
    phones = [(SERIAL, "empty+many+huge")]

    def test_sizes_past_four_gibibytes_and_ten_thousand_entries(self):
        line = self.shell('ls -al "%s/Download/" ' % LEGACY)
        self.assertEqual(LISTING.search(line).group(4), str((1 << 32) + 12345))
        self.assertEqual(self.shell("find %s/Many -type f | wc -l" % LEGACY), "10000\n")
        self.assertEqual(self.shell('ls -al "%s/Many/" | wc -l' % LEGACY), "10000\n")


if __name__ == "__main__":
    unittest.main()
