#!/usr/bin/env python3
"""platterly-cli against makedisc images: exact rips, the disc ids against independent
computations, the refusals of bad input with their exit codes, and Ctrl+C mid-rip."""
import base64
import hashlib
import http.server
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

BIN = sys.argv.pop(1) if len(sys.argv) > 1 else "build/bin"
SECTOR = 2352


def read(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


def cue_starts(cue):
    """Track starts in sectors from the .bin's start, from INDEX 01 lines."""
    starts = []
    for m in re.finditer(r"INDEX 01 (\d+):(\d+):(\d+)", read(cue)):
        mm, ss, ff = map(int, m.groups())
        starts.append((mm * 60 + ss) * 75 + ff)
    return starts


class Cli(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="platterly-cli-")
        # A program folder of its own: its options.ini and cdinfo.dat are the test's.
        cls.prog = os.path.join(cls.tmp, "prog")
        os.mkdir(cls.prog)
        shutil.copy2(os.path.join(BIN, "platterly-cli"), cls.prog)
        # Nothing reaches the AccurateRip server; the rip still writes its log and cue sheet.
        write(os.path.join(cls.prog, "options.ini"),
              "[AccurateRip]\r\nEnabled=0\r\n[MusicBrainz]\r\nAutoLookup=0\r\n")
        cls.discs = os.path.join(cls.tmp, "discs")
        os.mkdir(cls.discs)
        # Three tracks of 2 s, 3 s and 1.5 s.
        cls.make("Three", "150", "225", "113")
        cls.cue = os.path.join(cls.discs, "Three.cue")
        cls.bin = os.path.join(cls.discs, "Three.bin")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp)

    @classmethod
    def make(cls, name, *lengths, folder=None):
        subprocess.run([os.path.join(BIN, "makedisc"), folder or cls.discs, name, *lengths],
                       check=True, stdout=subprocess.DEVNULL)

    def run_cli(self, *args):
        return subprocess.run([os.path.join(self.prog, "platterly-cli"), *args],
                              capture_output=True, text=True, timeout=120)

    def out_dir(self, name):
        path = os.path.join(self.tmp, name)
        shutil.rmtree(path, ignore_errors=True)
        return path

    def test_rip_is_bit_exact_under_the_pattern(self):
        # The sequential job, two encoders, and options.ini's default (one per core).
        for jobs in (["--jobs", "1"], ["--jobs", "2"], []):
            out = self.out_dir("exact" + "".join(jobs))
            r = self.run_cli("rip", "--device", self.cue, "--format", "wav", "--output", out,
                             "--pattern", "%n of %N/%t", "--tracks", "1,3", "--lookup", "none",
                             *jobs)
            self.assertEqual(r.returncode, 0, r.stderr)
            data = read(self.bin, "rb")
            starts = cue_starts(self.cue) + [len(data) // SECTOR]
            for track in (1, 3):
                wav = read(os.path.join(out, "%02d of 03" % track, "Track%02d.wav" % track),
                           "rb")
                self.assertEqual(wav[:4], b"RIFF")
                pcm = data[starts[track - 1] * SECTOR:starts[track] * SECTOR]
                self.assertEqual(wav[44:], pcm, "track %d, %s" % (track, jobs))
                self.assertIn("ok      %02d" % track, r.stdout)
            self.assertFalse(os.path.exists(os.path.join(out, "02 of 03")))

    def test_info_ids_match_independent_computations(self):
        size = os.path.getsize(self.bin) // SECTOR
        offsets = [s + 150 for s in cue_starts(self.cue)]
        lead_out = size + 150
        n = len(offsets)
        # CDDB: digit sums of the starts in seconds, the playing time, the track count.
        digits = sum(sum(int(c) for c in str(o // 75)) for o in offsets)
        cddb = ((digits % 255) << 24) | ((lead_out // 75 - offsets[0] // 75) << 8) | n
        # MusicBrainz: SHA-1 of the hex TOC, base64 with its three characters replaced.
        toc = "%02X%02X%08X" % (1, n, lead_out) + "".join(
            "%08X" % (offsets[i] if i < n else 0) for i in range(99))
        mb = base64.b64encode(hashlib.sha1(toc.encode()).digest()).decode()
        mb = mb.replace("+", ".").replace("/", "_").replace("=", "-")
        # AccurateRip: sums of the starts without the lead-in, plain and weighted.
        lbas = [o - 150 for o in offsets] + [size]
        id1 = sum(lbas) & 0xFFFFFFFF
        id2 = sum(max(l, 1) * (i + 1) for i, l in enumerate(lbas)) & 0xFFFFFFFF
        # The disc key: MSF fields of every start summed, as one number.
        key = sum(((o // 4500) << 16) + ((o // 75 % 60) << 8) + o % 75 for o in offsets)
        # Names the window stored under the key.
        cdinfo = os.path.join(self.prog, "cdinfo.dat")
        write(cdinfo, "[%d]\r\nArtist=Someone\r\nTrackNumber=3\r\n2=Second Song\r\n" % key)
        self.addCleanup(os.remove, cdinfo)
        r = self.run_cli("info", "--device", self.cue)
        self.assertEqual(r.returncode, 0, r.stderr)
        expected = {
            "CDDB id": "%08x" % cddb,
            "MusicBrainz id": mb,
            "AccurateRip ids": "%03d-%08x-%08x-%08x" % (n, id1, id2, cddb),
            "Disc key": str(key),
        }
        for label, value in expected.items():
            with self.subTest(label):
                self.assertIn("%s: %s\n" % (label, value), r.stdout)
        self.assertIn("  Artist: Someone\n", r.stdout)
        self.assertIn("  01  Track01\n  02  Second Song\n", r.stdout)

    def test_musicbrainz_names_the_files(self):
        class Service(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                disc = urllib.parse.urlparse(self.path).path.rsplit("/", 1)[-1]
                tracks = [{"position": i + 1, "title": t, "recording": {"id": "rec%d" % i}}
                          for i, t in enumerate(["One", "Two/Half", "Three"])]
                body = json.dumps({"id": disc, "releases": [{
                    "id": "rel", "title": "Album", "date": "2001",
                    "artist-credit": [{"name": "Band", "artist": {"id": "a", "name": "Band"}}],
                    "media": [{"position": 1, "track-count": 3, "discs": [{"id": disc}],
                               "tracks": tracks}]}]}).encode()
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        server = http.server.HTTPServer(("127.0.0.1", 0), Service)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        ini = os.path.join(self.prog, "options.ini")
        plain = read(ini)
        self.addCleanup(write, ini, plain)
        base = "http://127.0.0.1:%d" % server.server_port
        write(ini, plain + "Server=%s\r\nCoverArtServer=%s\r\n" % (base, base))
        out = self.out_dir("named")
        r = self.run_cli("rip", "--device", self.cue, "--format", "flac", "--output", out,
                         "--pattern", "%A/%d/%n %t", "--lookup", "musicbrainz")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(sorted(os.listdir(os.path.join(out, "Band", "Album"))),
                         ["01 One.flac", "02 Two-Half.flac", "03 Three.flac", "Band - Album.cue",
                          "Band - Album.log"])

    def test_bad_input_is_refused_with_one_line(self):
        fifo = os.path.join(self.tmp, "fifo.cue")
        if not os.path.exists(fifo):
            os.mkfifo(fifo)
        # A sheet whose FILE leads out of its folder, beside a .bin of its own.
        outside = os.path.join(self.tmp, "outside")
        os.makedirs(outside, exist_ok=True)
        self.make("Evil", "75", folder=outside)
        evil = os.path.join(outside, "Evil.cue")
        write(evil, read(evil).replace('FILE "Evil.bin"', 'FILE "../discs/Three.bin"'))
        a_file = os.path.join(self.tmp, "a-file")
        write(a_file, "")
        # A name whose bytes are no UTF-8: there, but no text names it.
        not_utf8 = os.fsdecode(os.path.join(os.fsencode(self.tmp), b"Track\xff.wav"))
        write(not_utf8, "")
        out = self.out_dir("bad")
        rip = ["rip", "--device", self.cue, "--format", "wav", "--output", out, "--lookup", "none"]
        # (arguments, what the one line says, whether the usage follows)
        cases = [
            (["rip", "--device", os.path.join(self.tmp, "nothing")], "no such drive or disc image", False),
            (["info", "--device", fifo], "is a FIFO", False),
            (["info", "--device", self.tmp], "is a folder", False),
            (["info", "--device", evil], "not a usable disc image", False),
            (["rip", "--device", self.cue, "--output", a_file], "the output folder is a file", False),
            (rip + ["--tracks", "0"], "--tracks: no track 0", True),
            (rip + ["--tracks", "5-2"], "--tracks: 5-2 ends before it starts", True),
            (rip + ["--tracks", "99"], "--tracks: no track 99", True),
            (rip + ["--jobs", "-1"], "--jobs: -1 is not a number", True),
            (rip + ["--pattern", "../%t"], "--pattern: ", True),
            (rip + ["--frobnicate"], "unknown option --frobnicate", True),
            (["rip", "--device"], "--device needs a value", True),
            (["info"], "--device is missing", True),
            (["convert", not_utf8, "--format", "flac"], "the name is not valid UTF-8", False),
        ]
        for args, message, usage in cases:
            with self.subTest(args=args[-2:]):
                r = self.run_cli(*args)
                self.assertEqual(r.returncode, 1, r.stderr)
                first = r.stderr.splitlines()[0]
                self.assertTrue(first.startswith("platterly-cli: ") and message in first, r.stderr)
                self.assertEqual("usage: platterly-cli" in r.stderr, usage, r.stderr)
        self.assertEqual(os.listdir(out) if os.path.exists(out) else [], [])

    def test_existing_files_are_kept_without_overwrite(self):
        out = self.out_dir("keep")
        os.makedirs(out)
        mine = os.path.join(out, "Track02.wav")
        write(mine, "mine")
        args = ["rip", "--device", self.cue, "--format", "wav", "--output", out, "--lookup", "none"]
        r = self.run_cli(*args)
        self.assertEqual(r.returncode, 1)
        self.assertIn("Track02.wav exists already", r.stderr)
        self.assertEqual(read(mine), "mine")
        self.assertEqual(sorted(os.listdir(out)), ["Track02.wav"])
        r = self.run_cli(*args, "--overwrite")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(os.path.getsize(mine), 44 + 225 * SECTOR)

    def test_ctrl_c_mid_rip_keeps_finished_tracks_only(self):
        # A second track of 30 minutes: the signal comes while it is being read.
        folder = os.path.join(self.tmp, "long")
        os.makedirs(folder, exist_ok=True)
        self.make("Long", "75", str(30 * 60 * 75), folder=folder)
        out = self.out_dir("stopped")
        p = subprocess.Popen([os.path.join(self.prog, "platterly-cli"), "rip", "--device",
                              os.path.join(folder, "Long.cue"), "--format", "wav", "--output",
                              out, "--lookup", "none"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        for line in p.stderr:
            if line.startswith("Extracting(02/02)"):
                break
        track2 = os.path.join(out, "Track02.wav")
        while not os.path.exists(track2) or os.path.getsize(track2) <= 44:
            self.assertIsNone(p.poll(), "the rip ended before track 2 was being written")
            time.sleep(0.001)  # a yield to the rip, not a wait for it
        # Held while it writes track 2: a second rip into the folder refuses that file, even
        # when told to overwrite.
        p.send_signal(signal.SIGSTOP)
        second = self.run_cli("rip", "--device", os.path.join(folder, "Long.cue"), "--format",
                              "wav", "--output", out, "--lookup", "none", "--tracks", "2",
                              "--overwrite")
        self.assertEqual(second.returncode, 2, second.stderr)
        self.assertIn("Track02.wavmaybe be used,operate fail!", second.stderr)
        p.send_signal(signal.SIGINT)
        p.send_signal(signal.SIGCONT)
        stdout, stderr = p.communicate(timeout=60)
        self.assertEqual(p.returncode, 130, stderr)
        self.assertEqual(sorted(f for f in os.listdir(out) if not f.endswith((".log", ".cue"))),
                         ["Track01.wav"])
        self.assertEqual(os.path.getsize(os.path.join(out, "Track01.wav")), 44 + 75 * SECTOR)
        self.assertIn("FAILED  02  Track02", stdout)


if __name__ == "__main__":
    unittest.main(verbosity=2)
