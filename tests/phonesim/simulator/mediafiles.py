"""Small but valid media files, made on the fly, and the few facts a media scanner reads back.

Pictures are real baseline JPEGs and PNGs (blocky colour fields, so every file decodes and
looks different); songs are ID3-tagged MP3s of a few silent frames; videos are MP4 shells whose
header boxes carry duration and size. Nothing here is meant to be played, only to be parsed.
"""

import struct
import zlib

# ---------------------------------------------------------------------------------------------
# JPEG

_ZIGZAG_LEN = 64
# Standard luminance DC table: code lengths and symbols (categories 0-11).
_DC_BITS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
_DC_VALS = list(range(12))
# Every block carries only its DC term, so the AC table needs the end-of-block symbol alone.
_AC_BITS = [1] + [0] * 15
_AC_VALS = [0x00]
_DC_QUANT = 8


def _canonical_codes(bits, vals):
    codes = {}
    code = 0
    k = 0
    for length in range(1, 17):
        for _ in range(bits[length - 1]):
            codes[vals[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


_DC_CODES = _canonical_codes(_DC_BITS, _DC_VALS)
_AC_CODES = _canonical_codes(_AC_BITS, _AC_VALS)


class _BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, value, length):
        for i in range(length - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self._emit(self.acc)
                self.acc = 0
                self.n = 0

    def _emit(self, byte):
        self.out.append(byte)
        if byte == 0xFF:
            self.out.append(0x00)  # byte stuffing

    def flush(self):
        if self.n:
            self._emit(((self.acc << (8 - self.n)) | ((1 << (8 - self.n)) - 1)) & 0xFF)
            self.acc = 0
            self.n = 0


def _segment(marker, payload):
    return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload


def _ycbcr(rgb):
    r, g, b = rgb
    y = 0.299 * r + 0.587 * g + 0.114 * b
    cb = -0.1687 * r - 0.3313 * g + 0.5 * b + 128
    cr = 0.5 * r - 0.4187 * g - 0.0813 * b + 128
    return y, cb, cr


def make_jpeg(width, height, colour_at):
    """A baseline JPEG of width x height whose 8x8 blocks take colour_at(bx, by) -> (r, g, b)."""
    out = bytearray(b"\xFF\xD8")
    out += _segment(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    out += _segment(0xDB, bytes([0x00, _DC_QUANT]) + bytes([16] * (_ZIGZAG_LEN - 1)))
    sof = struct.pack(">BHHB", 8, height, width, 3)
    for comp in (1, 2, 3):
        sof += bytes([comp, 0x11, 0x00])
    out += _segment(0xC0, sof)
    out += _segment(0xC4, bytes([0x00] + _DC_BITS + _DC_VALS))
    out += _segment(0xC4, bytes([0x10] + _AC_BITS + _AC_VALS))
    out += _segment(0xDA, bytes([3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0]))
    bits = _BitWriter()
    previous = [0, 0, 0]
    eob_code, eob_len = _AC_CODES[0x00]
    for by in range((height + 7) // 8):
        for bx in range((width + 7) // 8):
            for comp, level in enumerate(_ycbcr(colour_at(bx, by))):
                # A flat block's DCT DC term is 8 * (level - 128); quantised by _DC_QUANT.
                dc = int(round(8 * (level - 128) / _DC_QUANT))
                diff = dc - previous[comp]
                previous[comp] = dc
                category = abs(diff).bit_length()
                code, length = _DC_CODES[category]
                bits.put(code, length)
                if category:
                    bits.put(diff if diff > 0 else diff + (1 << category) - 1, category)
                bits.put(eob_code, eob_len)
    bits.flush()
    out += bits.out
    out += b"\xFF\xD9"
    return bytes(out)


def seeded_colours(seed):
    """A colour function for make_jpeg/make_png: a diagonal gradient tinted by seed."""
    h = zlib.crc32(seed.encode("utf-8", "surrogateescape"))
    base = ((h >> 16) & 0xFF, (h >> 8) & 0xFF, h & 0xFF)

    def colour(x, y):
        return tuple((c + 9 * x + 5 * y) % 256 for c in base)

    return colour


def jpeg_size(data):
    """(width, height) from a JPEG's frame header, or None."""
    i = 2
    if data[:2] != b"\xFF\xD8":
        return None
    while i + 4 <= len(data):
        if data[i] != 0xFF:
            return None
        marker = data[i + 1]
        if marker in (0xD8, 0x01) or 0xD0 <= marker <= 0xD7:
            i += 2
            continue
        (length,) = struct.unpack(">H", data[i + 2:i + 4])
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            if i + 9 > len(data):
                return None
            height, width = struct.unpack(">HH", data[i + 5:i + 9])
            return width, height
        i += 2 + length
    return None


# ---------------------------------------------------------------------------------------------
# PNG

def _png_chunk(kind, payload):
    return struct.pack(">I", len(payload)) + kind + payload + struct.pack(
        ">I", zlib.crc32(kind + payload) & 0xFFFFFFFF)


def make_png(width, height, colour_at, block=8):
    """An RGB PNG of width x height painted in block x block squares of colour_at(bx, by)."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows += bytes(colour_at(x // block, y // block))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", header)
            + _png_chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + _png_chunk(b"IEND", b""))


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or len(data) < 24:
        return None
    return struct.unpack(">II", data[16:24])


# ---------------------------------------------------------------------------------------------
# MP3 with ID3v2.4 tags

def _syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def _unsyncsafe(b):
    return (b[0] << 21) | (b[1] << 14) | (b[2] << 7) | b[3]


# MPEG-1 layer III, 128 kbit/s, 44.1 kHz: 417-byte frames; zero side info decodes as silence.
_MP3_FRAME = b"\xFF\xFB\x90\x00" + bytes(413)


def make_mp3(title, artist, album, album_artist, track, year, duration_ms, frames=8):
    frames_data = b""
    for frame_id, text in (("TIT2", title), ("TPE1", artist), ("TALB", album),
                           ("TPE2", album_artist), ("TRCK", str(track)), ("TDRC", str(year)),
                           ("TLEN", str(duration_ms))):
        payload = b"\x03" + text.encode("utf-8")
        frames_data += frame_id.encode() + _syncsafe(len(payload)) + b"\x00\x00" + payload
    tag = b"ID3\x04\x00\x00" + _syncsafe(len(frames_data)) + frames_data
    return tag + _MP3_FRAME * frames


def _decode_id3_text(payload):
    if not payload:
        return ""
    enc, body = payload[0], payload[1:]
    try:
        if enc == 0:
            text = body.decode("latin-1")
        elif enc == 1:
            text = body.decode("utf-16")
        elif enc == 2:
            text = body.decode("utf-16-be")
        else:
            text = body.decode("utf-8")
    except UnicodeDecodeError:
        return ""
    return text.split("\x00")[0]


def read_id3(data):
    """Text frames of an ID3v2.3/2.4 tag as {frame id: text}; {} when there is no tag."""
    if len(data) < 10 or data[:3] != b"ID3" or data[3] not in (3, 4):
        return {}
    version = data[3]
    end = 10 + _unsyncsafe(data[6:10])
    i = 10
    frames = {}
    while i + 10 <= min(end, len(data)):
        frame_id = data[i:i + 4]
        if frame_id == b"\x00\x00\x00\x00":
            break
        size = _unsyncsafe(data[i + 4:i + 8]) if version == 4 else struct.unpack(
            ">I", data[i + 4:i + 8])[0]
        payload = data[i + 10:i + 10 + size]
        if frame_id[:1] == b"T":
            frames[frame_id.decode("latin-1")] = _decode_id3_text(payload)
        i += 10 + size
    return frames


# ---------------------------------------------------------------------------------------------
# MP4 header boxes

def _box(kind, payload):
    return struct.pack(">I", 8 + len(payload)) + kind + payload


_UNITY_MATRIX = struct.pack(">9I", 0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000)


def make_mp4(width, height, duration_ms, payload_bytes=2048):
    timescale = 1000
    ftyp = _box(b"ftyp", b"isom" + struct.pack(">I", 0x200) + b"isomiso2mp41")
    mvhd = _box(b"mvhd", struct.pack(">IIIII", 0, 0, 0, timescale, duration_ms)
                + struct.pack(">IH", 0x10000, 0x100) + bytes(10) + _UNITY_MATRIX + bytes(24)
                + struct.pack(">I", 2))
    tkhd = _box(b"tkhd", struct.pack(">IIIIII", 7, 0, 0, 1, 0, duration_ms) + bytes(8)
                + struct.pack(">hhhh", 0, 0, 0, 0) + _UNITY_MATRIX
                + struct.pack(">II", width << 16, height << 16))
    moov = _box(b"moov", mvhd + _box(b"trak", tkhd))
    return ftyp + moov + _box(b"mdat", bytes(payload_bytes))


def _boxes(data, start, end):
    i = start
    while i + 8 <= end:
        size, kind = struct.unpack(">I4s", data[i:i + 8])
        header = 8
        if size == 1 and i + 16 <= end:
            (size,) = struct.unpack(">Q", data[i + 8:i + 16])
            header = 16
        if size < header or i + size > end:
            size = end - i
            if size < header:
                return
        yield kind, i + header, i + size
        i += size


def read_mp4(data):
    """{"duration": ms, "width": px, "height": px} from an MP4's moov box (missing facts omitted)."""
    facts = {}
    for kind, start, end in _boxes(data, 0, len(data)):
        if kind != b"moov":
            continue
        for sub, s, e in _boxes(data, start, end):
            if sub == b"mvhd" and e - s >= 20:
                version = data[s]
                if version == 1 and e - s >= 32:
                    timescale, duration = struct.unpack(">IQ", data[s + 20:s + 32])
                else:
                    timescale, duration = struct.unpack(">II", data[s + 12:s + 20])
                if timescale:
                    facts["duration"] = duration * 1000 // timescale
            elif sub == b"trak":
                for leaf, ls, le in _boxes(data, s, e):
                    if leaf == b"tkhd" and le - ls >= 8:
                        w, h = struct.unpack(">II", data[le - 8:le])
                        if w and h and "width" not in facts:
                            facts["width"], facts["height"] = w >> 16, h >> 16
    return facts
