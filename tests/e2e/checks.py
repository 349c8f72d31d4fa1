"""What the tests know independently of the program: disc images, profile files, audio files."""

import json
import os
import re
import subprocess

SECTOR_BYTES = 2352
LEAD_IN = 150  # frames before track 1 on every audio CD


class Disc:
    """A BIN/CUE image read back from its files: track starts and the lead-out, in frames."""

    def __init__(self, cue_path):
        self.cue = cue_path
        starts = []
        with open(cue_path, encoding="utf-8") as f:
            for line in f:
                m = re.match(r"\s*INDEX 01 (\d+):(\d+):(\d+)", line)
                if m:
                    mm, ss, ff = map(int, m.groups())
                    starts.append(LEAD_IN + (mm * 60 + ss) * 75 + ff)
        bin_path = os.path.splitext(cue_path)[0] + ".bin"
        self.starts = starts
        self.lead_out = LEAD_IN + os.path.getsize(bin_path) // SECTOR_BYTES

    @staticmethod
    def msf(frames):
        return frames // 4500, frames // 75 % 60, frames % 75

    def track_seconds(self, number):
        ends = self.starts[1:] + [self.lead_out]
        return (ends[number - 1] - self.starts[number - 1]) / 75.0

    def length_texts(self):
        """Lengths as the track list shows them: minutes and seconds apart, frames ignored."""
        texts = []
        bounds = self.starts + [self.lead_out]
        for a, b in zip(bounds, bounds[1:]):
            am, asec, _ = self.msf(a)
            bm, bsec, _ = self.msf(b)
            minutes, seconds = bm - am, bsec - asec
            if seconds < 0:
                seconds += 60
                minutes -= 1
            texts.append((minutes, seconds))
        return texts

    def key(self):
        """The disc identifier Windows gives an audio CD, as cdinfo.dat names its section."""
        total = 0
        for start in self.starts:
            m, s, f = self.msf(start)
            total += (m << 16) + (s << 8) + f
        if len(self.starts) < 3:
            total += self.msf(self.starts[0])[2] + (self.lead_out - self.starts[0])
        total &= 0xFFFFFFFF
        return str(total - (1 << 32) if total >= 1 << 31 else total)


def two_digits(n):
    return f"0{n}" if n <= 9 else str(n)


def size_text(minutes, seconds):
    megabytes = ((minutes * 60 + seconds) * 44100 * 4) / 1048576.0
    c = round(megabytes * 100)  # Python rounds halves to even, as the list does
    return two_digits(c // 100) + "." + two_digits(c % 100)


def read_profile(path):
    """A profile file as {section: {key: value}}, names lower-cased, first key wins.
    Also returns the raw bytes so callers can check the line ends."""
    with open(path, "rb") as f:
        raw = f.read()
    sections = {}
    current = None
    for line in raw.decode("utf-8").splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1].lower(), {})
        elif current is not None and "=" in line and not line.startswith(";"):
            k, _, v = line.partition("=")
            current.setdefault(k.strip().lower(), v.strip())
    return sections, raw


def probe(path):
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-show_entries",
         "stream=codec_name,sample_rate,channels,bit_rate:format=duration", "-of", "json", path],
        check=True, capture_output=True, text=True, timeout=60).stdout
    data = json.loads(out)
    stream = data["streams"][0]
    return {
        "codec": stream.get("codec_name"),
        "rate": int(stream.get("sample_rate", 0)),
        "channels": int(stream.get("channels", 0)),
        "bit_rate": int(stream["bit_rate"]) if stream.get("bit_rate", "N/A") != "N/A" else None,
        "duration": float(data["format"]["duration"]),
    }


def id3v1(path):
    """The ID3v1 tag in the last 128 bytes, or None."""
    with open(path, "rb") as f:
        f.seek(-128, os.SEEK_END)
        block = f.read(128)
    if block[:3] != b"TAG":
        return None

    def text(b):
        return b.rstrip(b"\0 \xff").decode("latin-1")

    has_track = block[125] == 0 and block[126] != 0
    return {
        "title": text(block[3:33]),
        "artist": text(block[33:63]),
        "album": text(block[63:93]),
        "year": text(block[93:97]),
        "comment": text(block[97:125] if has_track else block[97:127]),
        "track": block[126] if has_track else 0,
        "genre": block[127],
    }


def sox_wav(path, seconds, rate, channels, *synth):
    subprocess.run(["sox", "-n", "-r", str(rate), "-c", str(channels), "-b", "16", path,
                    "synth", str(seconds), *synth], check=True, capture_output=True, timeout=60)


def _channel(c):
    c /= 255.0
    return c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4


def luminance(rgb):
    r, g, b = rgb[:3]
    return 0.2126 * _channel(r) + 0.7152 * _channel(g) + 0.0722 * _channel(b)


def contrast(a, b):
    """The contrast ratio of two colours as the web's accessibility guidelines define it:
    1 (none) to 21 (black on white); text needs 4.5."""
    la, lb = luminance(a), luminance(b)
    return (max(la, lb) + 0.05) / (min(la, lb) + 0.05)


def text_contrast(image, box):
    """The most common colour of an area of a PIL image (its background) and the contrast to
    the pixel that stands out most from it (the core of the text's strokes)."""
    colours = image.crop(box).convert("RGB").getcolors(maxcolors=1 << 20)
    background = max(colours)[1]
    return background, max(contrast(background, rgb) for _, rgb in colours)
