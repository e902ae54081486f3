"""The companion service over an adb forward: requests, replies and the keep-alive stream."""

import json
import os
import struct
import unittest
import zlib

from simtest import (SERIAL, SimTestCase, read_frame, readable_within, recv_exactly, request,
                     wait_for)


def strings(*texts):
    out = struct.pack(">I", len(texts))
    for t in texts:
        b = t.encode()
        out += struct.pack(">I", len(b)) + b
    return out


def inflate(data):
    """Inflate as the bridge does: zlib with automatic gzip/zlib header detection."""
    d = zlib.decompressobj(47)
    out = d.decompress(data)
    if not d.eof:
        raise zlib.error("stream cut short")
    return out


class RequestsTest(SimTestCase):
    def setUp(self):
        super().setUp()
        self.port = self.start_companion()

    def ask(self, cmd, typ, payload=b""):
        sock = self.connect(self.port)
        sock.sendall(request(cmd, typ, payload))
        length, body = read_frame(sock)
        self.assertEqual(length, len(body))
        return body

    def library(self, typ):
        body = self.ask(0x07, typ)
        self.assertEqual(body[:3], bytes([0x07, typ, 0x01]))
        return json.loads(inflate(body[3:]))

    def test_device_information_byte_for_byte(self):
        out = self.adb("forward", "--list").stdout.decode()
        self.assertEqual(out, "%s tcp:%d tcp:10086\n" % (SERIAL, self.port))
        sock = self.connect(self.port)
        sock.sendall(bytes.fromhex("00000003030301"))
        text = (b'{"battery_level": 85, "device_name": "Simulated Phone", "version": 1.0, '
                b'"screen_locked": 0}')
        expected = struct.pack(">I", 3 + len(text)) + b"\x03\x03\x01" + text
        self.assertEqual(recv_exactly(sock, len(expected)), expected)
        self.assertFalse(readable_within(sock, 0.2), "bytes after the reply")

    def test_photo_library(self):
        lib = self.library(0x01)
        self.assertEqual(set(lib), {"all_group", "all_item", "item_with_group"})
        photos = {p["_data"]: p for p in lib["all_item"]}
        camera = photos["/storage/emulated/0/DCIM/Camera/IMG_20150301_102011.jpg"]
        self.assertEqual((camera["width"], camera["height"], camera["mime_type"]),
                         (320, 240, "image/jpeg"))
        self.assertEqual(camera["_size"], os.path.getsize(
            os.path.join(self.root(), "DCIM/Camera/IMG_20150301_102011.jpg")))
        self.assertEqual(camera["datetaken"] // 1000, camera["date_modified"])
        albums = {a["bucket_display_name"]: a for a in lib["all_group"]}
        self.assertEqual(set(albums), {"Camera", "Screenshots", "Saved", "Download"})
        self.assertEqual(albums["Camera"]["bucket_id"], camera["bucket_id"])
        # Hidden folders and folders marked .nomedia stay out of the library.
        self.assertFalse([p for p in photos if "/." in p or "/Android/" in p])

    def test_music_and_video_libraries(self):
        lib = self.library(0x02)
        albums = {a["album"]: a for a in lib["all_group"]}
        self.assertEqual(albums["Harbour Lights"]["album_artist"], "Lumen Drift")
        lists = {g["id"]: g["list"] for g in lib["item_with_group"]}
        songs = lists[albums["Harbour Lights"]["album_id"]]
        self.assertEqual([(s["track"], s["title"], s["duration"]) for s in songs],
                         [(1, "Slow Tide", 167000), (2, "Beacon", 184000), (3, "Low Water", 201000)])
        self.ctl.set(SERIAL, "list-as-string", "1")
        lib = self.library(0x02)
        as_text = {g["id"]: g["list"] for g in lib["item_with_group"]}
        self.assertEqual(json.loads(as_text[albums["Harbour Lights"]["album_id"]]), songs)
        self.ctl.set(SERIAL, "list-as-string", "0")
        lib = self.library(0x03)
        folders = {g["bucket_display_name"]: g["bucket_id"] for g in lib["all_group"]}
        videos = {g["id"]: g["list"] for g in lib["item_with_group"]}
        camera = videos[folders["Camera"]]
        self.assertEqual([(v["_display_name"], v["duration"], v["width"]) for v in camera],
                         [("VID_20150614_181544.mp4", 12000, 1280),
                          ("VID_20160102_094210.mp4", 47000, 1280)])
        self.assertEqual(set(folders), {"Camera", "Movies", "Clips"})

    def test_thumbnails_by_id_and_by_path(self):
        photo = self.library(0x01)["all_item"][0]
        body = self.ask(0x08, 0x01, struct.pack(">IQQ", 2, photo["_id"], 987654))
        count, status, media_id, length = struct.unpack(">iBQi", body[3:20])
        self.assertEqual((count, status, media_id), (2, 0, photo["_id"]))
        jpeg = body[20:20 + length]
        self.assertEqual((jpeg[:2], jpeg[-2:]), (b"\xff\xd8", b"\xff\xd9"))
        self.assertEqual(body[20 + length:], b"\x01" + struct.pack(">Qi", 987654, 0))
        path = "/storage/emulated/legacy/DCIM/Camera/IMG_20150301_102011.jpg"
        body = self.ask(0x01, 0x01, strings(path, "/storage/emulated/legacy/nothing.jpg"))
        self.assertEqual(struct.unpack(">iB", body[3:8]), (2, 0))
        (n,) = struct.unpack(">I", body[8:12])
        self.assertEqual(body[12:12 + n].decode(), path)

    def test_delete_and_rescan_messages(self):
        photo = [p for p in self.library(0x01)["all_item"]
                 if p["_display_name"] == "wallpaper.jpg"][0]
        body = self.ask(0x0b, 0x00, struct.pack(">IQ", 1, photo["_id"]))
        self.assertEqual(body, b"\x0b\x00\x01")
        self.assertFalse(os.path.exists(os.path.join(self.root(), "Download", "wallpaper.jpg")))
        self.assertEqual(self.ask(0x0c, 0x00, strings("/DCIM/FromMac/a.jpg")), b"\x0c\x00\x01")
        self.assertEqual(self.ctl.log(kind="rescan")[-1]["paths"], ["/DCIM/FromMac/a.jpg"])

    def test_close_message_and_force_stop_end_connections(self):
        sock = self.connect(self.port)
        sock.sendall(bytes.fromhex("00000003040001"))
        self.assertEqual(recv_exactly(sock, 1), b"")
        sock = self.connect(self.port)
        self.shell("am force-stop com.velmoros.tidewell")
        self.assertEqual(recv_exactly(sock, 1), b"")
        self.assertNotIn("tidewell:fwd", self.shell("ps"))
        late = self.connect(self.port)
        late.sendall(bytes.fromhex("00000003030301"))
        self.assertEqual(recv_exactly(late, 1), b"")


class KeepAliveTest(SimTestCase):
    def setUp(self):
        super().setUp()
        self.sock = self.connect(self.start_companion())
        self.sock.sendall(bytes.fromhex("00000003050301"))
        self.assertEqual(self.next_frame()[:3], b"\x05\x03\x01")

    def next_frame(self, skip_heartbeats=True):
        while True:
            length, body = read_frame(self.sock)
            self.assertIsNotNone(length, "keep-alive connection ended")
            if body[0] != 0x06 or not skip_heartbeats:
                return body

    def watch(self, *paths):
        self.sock.sendall(request(0x0a, 0x01, strings(*paths)))
        wait_for(lambda: self.ctl.request("keepalive", serial=SERIAL)["connections"][0]["watches"]
                 == list(paths), what="watch registered")

    def test_file_change_in_a_watched_folder_is_pushed(self):
        self.watch("/DCIM/Camera", "/download")
        src = os.path.join(self.host, "new.jpg")
        with open(os.path.join(self.root(), "DCIM/Camera/IMG_20150301_102011.jpg"), "rb") as f:
            data = f.read()
        with open(src, "wb") as f:
            f.write(data)
        self.assertEqual(self.adb("push", src, "/storage/emulated/legacy/DCIM/Camera/").returncode, 0)
        body = self.next_frame()
        self.assertEqual(body[:3], b"\x09\x02\x01")
        self.assertEqual(json.loads(body[3:]), {"CREATE": "/DCIM/Camera/new.jpg"})
        body = self.next_frame()
        self.assertEqual(body[:3], b"\x09\x03\x01")
        change = json.loads(body[3:])
        self.assertEqual(list(change), ["IMAGE"])
        self.assertEqual([r["_data"] for r in change["IMAGE"]["added"]],
                         ["/storage/emulated/0/DCIM/Camera/new.jpg"])
        # The phone's storage ignores case; the push spells the folder as it was watched.
        self.shell('rm "/storage/emulated/legacy/Download/notes.txt"')
        body = self.next_frame()
        self.assertEqual(json.loads(body[3:]), {"DELETE": "/download/notes.txt"})

    def test_heartbeats_and_device_information_pushes(self):
        self.ctl.set(SERIAL, "heartbeat", "0.1")
        body = self.next_frame(skip_heartbeats=False)
        self.assertEqual(body[0], 0x06)
        self.sock.sendall(bytes.fromhex("00000003060201"))
        wait_for(lambda: self.ctl.request("keepalive", serial=SERIAL)["connections"][0]
                 ["heartbeat_answers"] >= 1, what="heartbeat answer counted")
        self.ctl.set(SERIAL, "battery", "30")
        body = self.next_frame()
        self.assertEqual(body[:3], b"\x09\x01\x01")
        self.assertEqual(json.loads(body[3:])["battery_level"], 30)

    def test_injected_frames_reach_the_connection(self):
        answer = self.ctl.request("inject", serial=SERIAL, type=2,
                                  json={"CREATE": "content://media/external/images/media/7"})
        self.assertEqual(answer["connections"], 1)
        body = self.next_frame()
        self.assertEqual(json.loads(body[3:]), {"CREATE": "content://media/external/images/media/7"})
        self.ctl.request("inject", serial=SERIAL, hex="00000000")
        self.assertEqual(read_frame(self.sock), (0, b""))


if __name__ == "__main__":
    unittest.main()
