"""The phone's media library: photo, video and song records built by scanning shared storage.

Records carry the media-store column names the companion service sends. Ids are stable for a
path for as long as the file stays where it is; bucket ids follow the phone's rule (the hash of
the lower-cased folder path), so they are negative as often as not.
"""

import json
import os

from . import mediafiles
from .storage import MEDIA_ROOT

IMAGE_TYPES = {"jpg": "image/jpeg", "jpeg": "image/jpeg", "png": "image/png", "gif": "image/gif",
               "bmp": "image/x-ms-bmp", "webp": "image/webp"}
VIDEO_TYPES = {"mp4": "video/mp4", "3gp": "video/3gpp", "mkv": "video/x-matroska",
               "webm": "video/webm"}
AUDIO_TYPES = {"mp3": "audio/mpeg", "m4a": "audio/mp4", "ogg": "audio/ogg", "wav": "audio/x-wav",
               "flac": "audio/flac"}
CATEGORIES = (("IMAGE", IMAGE_TYPES), ("VIDEO", VIDEO_TYPES), ("AUDIO", AUDIO_TYPES))
_HEAD_BYTES = 64 * 1024


def java_string_hash(text):
    """String.hashCode of the phone's runtime: 31-based over UTF-16 code units, signed 32-bit."""
    units = text.encode("utf-16-be", "surrogatepass")
    h = 0
    for i in range(0, len(units), 2):
        h = (31 * h + ((units[i] << 8) | units[i + 1])) & 0xFFFFFFFF
    return h - (1 << 32) if h & 0x80000000 else h


def category_of(name):
    ext = os.path.splitext(name)[1][1:].lower()
    for category, table in CATEGORIES:
        if ext in table:
            return category, table[ext]
    return None, None


class MediaLibrary:
    def __init__(self):
        self._ids = {}
        self._next_id = 1
        self._album_ids = {}
        self._facts = {}

    def scan(self, storage_root):
        """{relative path: record} of every media file, skipping hidden and .nomedia folders."""
        found = {}
        for folder, dirs, files in os.walk(storage_root):
            dirs[:] = sorted(d for d in dirs if not d.startswith("."))
            if ".nomedia" in files:
                dirs[:] = []
                continue
            for name in sorted(files):
                if name.startswith("."):
                    continue
                category, mime = category_of(name)
                if category is None:
                    continue
                host = os.path.join(folder, name)
                rel = "/" + os.path.relpath(host, storage_root).replace(os.sep, "/")
                try:
                    st = os.lstat(host)
                except OSError:
                    continue
                found[rel] = self._record(category, mime, rel, host, st)
        # Forget ids of files that went away, so a file put back later counts as new.
        for rel in list(self._ids):
            if rel not in found:
                del self._ids[rel]
        return found

    def _record(self, category, mime, rel, host, st):
        media_id = self._ids.get(rel)
        if media_id is None:
            media_id = self._ids[rel] = self._next_id
            self._next_id += 1
        folder_rel, name = rel.rsplit("/", 1)
        folder_path = MEDIA_ROOT + folder_rel
        record = {
            "_id": media_id,
            "_data": MEDIA_ROOT + rel,
            "_display_name": name,
            "_size": st.st_size,
            "date_added": int(st.st_mtime),
            "date_modified": int(st.st_mtime),
            "mime_type": mime,
            "title": os.path.splitext(name)[0],
        }
        facts = self._read_facts(category, host, st)
        if category in ("IMAGE", "VIDEO"):
            record.update({
                "datetaken": int(st.st_mtime * 1000),
                "bucket_id": java_string_hash(folder_path.lower()),
                "bucket_display_name": folder_path.rsplit("/", 1)[1],
                "width": facts.get("width", 0),
                "height": facts.get("height", 0),
            })
            if category == "IMAGE":
                record["orientation"] = 0
            else:
                record["duration"] = facts.get("duration", 0)
                record["resolution"] = "%dx%d" % (record["width"], record["height"])
        else:
            album = facts.get("TALB") or folder_path.rsplit("/", 1)[1]
            album_artist = facts.get("TPE2") or facts.get("TPE1") or "<unknown>"
            key = (album, album_artist)
            if key not in self._album_ids:
                self._album_ids[key] = len(self._album_ids) + 1
            record.update({
                "title": facts.get("TIT2") or record["title"],
                "artist": facts.get("TPE1") or "<unknown>",
                "album": album,
                "album_id": self._album_ids[key],
                "album_artist": album_artist,
                "duration": _int(facts.get("TLEN")),
                "year": _int(facts.get("TDRC") or facts.get("TYER")),
                "track": _int((facts.get("TRCK") or "0").split("/")[0]),
                "is_music": 1,
            })
        return record

    def _read_facts(self, category, host, st):
        key = (host, st.st_size, st.st_mtime_ns)
        facts = self._facts.get(key)
        if facts is not None:
            return facts
        try:
            with open(host, "rb") as f:
                head = f.read(_HEAD_BYTES)
        except OSError:
            head = b""
        if category == "IMAGE":
            size = mediafiles.jpeg_size(head) or mediafiles.png_size(head)
            facts = {"width": size[0], "height": size[1]} if size else {}
        elif category == "VIDEO":
            facts = mediafiles.read_mp4(head)
        else:
            facts = mediafiles.read_id3(head)
        self._facts[key] = facts
        return facts


def _int(text):
    try:
        return int(str(text).strip())
    except (TypeError, ValueError):
        return 0


def _groups_by(records, key, make_group):
    groups = {}
    for record in records:
        if record[key] not in groups:
            groups[record[key]] = make_group(record)
    return groups


def library_json(records, request_type, list_as_string=False):
    """The library-fetch answer for request type 1 (photos), 2 (music) or 3 (videos)."""
    ordered = sorted(records.values(), key=lambda r: r["_id"])
    if request_type == 1:
        items = [r for r in ordered if r["mime_type"].startswith("image/")]
        groups = _groups_by(items, "bucket_id", lambda r: {
            "bucket_id": r["bucket_id"], "bucket_display_name": r["bucket_display_name"],
            "_data": r["_data"]})
        return {"all_group": list(groups.values()), "all_item": items, "item_with_group": []}
    if request_type == 2:
        items = [r for r in ordered if r["mime_type"].startswith("audio/")]
        groups = _groups_by(items, "album_id", lambda r: {
            "album_id": r["album_id"], "album": r["album"], "album_artist": r["album_artist"],
            "year": r["year"], "_data": r["_data"]})
        key = "album_id"
    elif request_type == 3:
        items = [r for r in ordered if r["mime_type"].startswith("video/")]
        groups = _groups_by(items, "bucket_id", lambda r: {
            "bucket_id": r["bucket_id"], "bucket_display_name": r["bucket_display_name"],
            "_data": r["_data"]})
        key = "bucket_id"
    else:
        return {}
    with_group = []
    for group_id in groups:
        members = [r for r in items if r[key] == group_id]
        if key == "album_id":
            groups[group_id]["numsongs"] = len(members)
        with_group.append({"id": group_id,
                           "list": json.dumps(members, ensure_ascii=False) if list_as_string
                           else members})
    return {"all_group": list(groups.values()), "all_item": items, "item_with_group": with_group}


def diff(old, new):
    """{"IMAGE"|"VIDEO"|"AUDIO": {"added": [...], "deleted": [...]}} between two scans."""
    change = {}
    for rel in set(old) | set(new):
        before, after = old.get(rel), new.get(rel)
        if before and after and before["_id"] == after["_id"]:
            continue
        for kind, record in (("deleted", before), ("added", after)):
            if record:
                category = category_of(record["_display_name"])[0]
                change.setdefault(category, {}).setdefault(kind, []).append(record)
    for entry in change.values():
        for records in entry.values():
            records.sort(key=lambda r: r["_id"])
    return change
