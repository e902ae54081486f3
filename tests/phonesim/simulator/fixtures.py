"""Phone contents made on the fly. A fixture joins parts with "+":

  realistic  camera photos and videos, screenshots, pictures, movies, music by artist and album,
             downloads, app data (with .nomedia), the usual empty folders, a hidden thumbnail cache
  hostile    names with spaces, both quotes, $, backquote, backslash, shell operators, ".."-like
             names, non-ASCII and emoji, 255-byte names; empty and deep folders
  many       a folder of 10,000 small files
  huge       a sparse file larger than 4 GiB
  empty      nothing (an empty storage)
"""

import os
import time

from . import mediafiles

PARTS = ("realistic", "hostile", "many", "huge", "empty")
MANY_FILES = 10000
HUGE_SIZE = (1 << 32) + 12345


def build(root, fixture):
    parts = [p for p in (fixture or "realistic").split("+") if p]
    for part in parts:
        if part not in PARTS:
            raise ValueError("unknown fixture part %r (known: %s)" % (part, ", ".join(PARTS)))
    for part in parts:
        if part != "empty":
            globals()["_" + part](root)


def _stamp(text):
    return time.mktime(time.strptime(text, "%Y-%m-%d %H:%M:%S"))


def _write(root, rel, data, when=None):
    path = os.path.join(root, *rel.split("/"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    if when is not None:
        os.utime(path, (when, when))
    return path


def _folder(root, rel, when=None):
    path = os.path.join(root, *rel.split("/"))
    os.makedirs(path, exist_ok=True)
    if when is not None:
        os.utime(path, (when, when))


def _photo(root, rel, width, height, when):
    data = mediafiles.make_jpeg(width, height, mediafiles.seeded_colours(rel))
    _write(root, rel, data, _stamp(when))


def _realistic(root):
    camera = [("20150301_102011", 320, 240), ("20150301_102514", 240, 320),
              ("20150614_181002", 320, 240), ("20151224_200045", 320, 180),
              ("20160102_093000", 320, 240), ("20160415_120102", 180, 320)]
    for stamp, w, h in camera:
        when = "%s-%s-%s %s:%s:%s" % (stamp[:4], stamp[4:6], stamp[6:8], stamp[9:11],
                                      stamp[11:13], stamp[13:15])
        _photo(root, "DCIM/Camera/IMG_%s.jpg" % stamp, w, h, when)
    for stamp, seconds in (("20150614_181544", 12), ("20160102_094210", 47)):
        when = "%s-%s-%s %s:%s:%s" % (stamp[:4], stamp[4:6], stamp[6:8], stamp[9:11],
                                      stamp[11:13], stamp[13:15])
        _write(root, "DCIM/Camera/VID_%s.mp4" % stamp,
               mediafiles.make_mp4(1280, 720, seconds * 1000), _stamp(when))
    for n, when in enumerate(("2015-05-02 08:15:00", "2015-11-20 22:41:09",
                              "2016-03-03 13:00:59")):
        rel = "DCIM/Screenshots/Screenshot_%s.png" % when.replace(" ", "-").replace(":", "-")
        _write(root, rel, mediafiles.make_png(72, 128, mediafiles.seeded_colours(rel)),
               _stamp(when))
    _write(root, "DCIM/.thumbnails/1425205211000.jpg",
           mediafiles.make_jpeg(32, 24, mediafiles.seeded_colours("thumb")))
    _photo(root, "Pictures/Saved/harbour.jpg", 320, 213, "2015-08-09 16:20:00")
    _photo(root, "Pictures/Saved/mountains.jpg", 320, 200, "2015-08-10 07:05:00")
    _write(root, "Movies/Holiday.mp4", mediafiles.make_mp4(640, 360, 95000),
           _stamp("2015-08-11 19:00:00"))
    _write(root, "Movies/Clips/Concert.mp4", mediafiles.make_mp4(854, 480, 241000),
           _stamp("2015-09-30 23:10:00"))
    songs = [
        ("Lumen Drift", "Harbour Lights", 2014, ["Slow Tide", "Beacon", "Low Water"]),
        ("Lumen Drift", "Night Ferry", 2016, ["Crossing", "Deck Lamps"]),
        ("Orla Fenn", "Paper Kites", 2013, ["Updraft", "String Theory"]),
    ]
    for artist, album, year, titles in songs:
        for track, title in enumerate(titles, 1):
            rel = "Music/%s/%s/%02d %s.mp3" % (artist, album, track, title)
            _write(root, rel, mediafiles.make_mp3(title, artist, album, artist, track, year,
                                                  150000 + 17000 * track),
                   _stamp("%d-06-01 12:00:00" % year))
    _write(root, "Music/voice memo.mp3", mediafiles.make_mp3("voice memo", "", "", "", 0, 0, 8000),
           _stamp("2016-01-20 10:00:00"))
    downloads = {"report.pdf": b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj<<>>endobj\ntrailer<<>>\n%%EOF\n",
                 "archive.zip": b"PK\x05\x06" + bytes(18),
                 "notes.txt": b"shopping: bread, milk\n",
                 "setup.apk": b"PK\x05\x06" + bytes(18)}
    for name, data in downloads.items():
        _write(root, "Download/" + name, data, _stamp("2016-02-14 09:30:00"))
    _photo(root, "Download/wallpaper.jpg", 320, 180, "2016-02-14 09:31:00")
    _write(root, "Android/data/.nomedia", b"")
    _write(root, "Android/data/com.example.notes/files/notes.db", b"SQLite format 3\x00" + bytes(84))
    _write(root, "Android/data/com.example.notes/cache/thumb.jpg",
           mediafiles.make_jpeg(16, 16, mediafiles.seeded_colours("cache")))
    _folder(root, "Android/obb")
    for name in ("Alarms", "Notifications", "Podcasts", "Ringtones"):
        _folder(root, name)


HOSTILE_NAMES = [
    "with space.txt",
    "  leading and trailing  ",
    'double"quote.txt',
    "single'quote.txt",
    "both 'single' and \"double\".txt",
    "dollar $HOME.txt",
    "price $5.txt",
    "$(echo injected).txt",
    "${PATH}.txt",
    "`echo tick`.txt",
    "back\\slash.txt",
    "trailing backslash\\",
    "semi;colon.txt",
    "pipe|name.txt",
    "amp&name&&.txt",
    "redirect >out.txt",
    "-dash-first.txt",
    "..hidden-looking",
    ".. ",
    "Café crème.txt",
    "日本語のファイル.txt",
    "📷 photo 🎉.txt",
    "L" * 251 + ".txt",
    "é" * 125 + ".txtx",
]


def _hostile(root):
    for name in HOSTILE_NAMES:
        _write(root, "Hostile/" + name, ("content of %s\n" % name).encode("utf-8"))
    _write(root, 'Hostile/Folder "quoted"/inner file.txt', b"inner\n")
    _write(root, "Hostile/Folder $x/inner.txt", b"inner\n")
    _write(root, "Hostile/.../inside dots.txt", b"inside\n")
    _photo(root, "Hostile/Photos 'n' \"Pics\"/IMG $1 `x`.jpg", 64, 48, "2016-05-05 05:05:05")
    _photo(root, "Hostile/Photos 'n' \"Pics\"/😀 smile.jpg", 48, 64, "2016-05-05 05:06:06")
    _folder(root, "Hostile/Empty folder")
    _folder(root, "Hostile/Empty/Deeper/Deepest")
    deep = "Hostile/Deep/" + "/".join("level%02d" % n for n in range(1, 13))
    _write(root, deep + "/deep.txt", b"bottom\n")


def _many(root):
    folder = os.path.join(root, "Many")
    os.makedirs(folder, exist_ok=True)
    for n in range(MANY_FILES):
        with open(os.path.join(folder, "file_%05d.txt" % n), "wb") as f:
            f.write(b"%d\n" % n)


def _huge(root):
    path = os.path.join(root, "Download", "huge.bin")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.truncate(HUGE_SIZE)  # sparse: no blocks are written
