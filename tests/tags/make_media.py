#!/usr/bin/python3
"""Writes tagged media files with ffmpeg and mutagen, then reads each back
with an independent reader (mutagen, or ffprobe where mutagen has no reader
for the format) and writes manifest.tsv: what a tag reader must find.

Usage: make_media.py OUT_DIR

manifest.tsv columns: file, format, then artist, title and album as the
oracle read them, each as UTF-8 in hexadecimal; an empty title means the
file's tags give none; then the media facts as the oracle reads them: how
long the file plays in seconds ("-": unknown), the tolerance in seconds a
reader's whole seconds may miss it by, and "audio" or "video". Where no Debian program writes a format, a minimal
file is made here, with a comment saying what it stands for.
"""
import json
import math
import os
import re
import struct
import subprocess
import sys

from mutagen import id3
from mutagen.aiff import AIFF
from mutagen.apev2 import APEv2
from mutagen.asf import ASF
from mutagen.dsf import DSF
from mutagen.flac import FLAC
from mutagen.mp3 import MP3
from mutagen.mp4 import MP4
from mutagen.oggflac import OggFLAC
from mutagen.oggopus import OggOpus
from mutagen.oggvorbis import OggVorbis
from mutagen.wave import WAVE

OUT = sys.argv[1]
AUDIO = ["-f", "lavfi", "-i", "sine=frequency=440:duration=0.3:sample_rate=22050"]
VIDEO = ["-f", "lavfi", "-i", "color=c=blue:s=32x32:d=0.3:r=10"]
# Media data larger than the reader's budget: what lies after it must be
# reached by seeking.
LARGE_VIDEO = ["-f", "lavfi", "-i", "testsrc=size=640x480:rate=25:duration=8"]
LARGE_CODEC = ["-c:v", "mpeg4", "-q:v", "2"]
# A picture larger than the reader's whole budget, so only a seek passes it.
PICTURE = bytes((i * 7919) & 0xFF for i in range(600 * 1024))

manifest = []


def path(name):
    return os.path.join(OUT, name)


def ffmpeg(name, inputs, codec, metadata=(), extra=()):
    command = ["ffmpeg", "-v", "error", "-y", *inputs, *codec, "-map_metadata", "-1"]
    for key, value in metadata:
        command += ["-metadata", f"{key}={value}"]
    subprocess.run([*command, *extra, path(name)], check=True)


def ffprobe_tags(name):
    """The container's own tags as ffprobe reads them, keys in lower case."""
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-show_entries", "format_tags", "-of", "json", path(name)],
        check=True, capture_output=True, text=True).stdout
    tags = json.loads(out).get("format", {}).get("tags", {})
    return {key.lower(): value for key, value in tags.items()}


def first(values):
    return str(values[0]) if values else ""


def record(name, format_name, artist, title, wanted, album="", wanted_album=""):
    """Adds a file; `wanted` is what was written, which the oracle must agree with."""
    if (artist, title, album) != (*wanted, wanted_album):
        sys.exit(f"{name}: the oracle read {(artist, title, album)!r}, "
                 f"written {(*wanted, wanted_album)!r}")
    manifest.append((name, format_name, artist, title, album))


def id3_file(name, version, encoding, artist, title, picture_first=False, album_artist=None,
             album=None):
    ffmpeg(name, AUDIO, ["-c:a", "libmp3lame", "-b:a", "32k"], extra=["-id3v2_version", "0"])
    tags = InsertionOrderID3()
    if picture_first:
        tags.add(id3.APIC(encoding=3, mime="image/png", type=3, desc="cover", data=PICTURE))
    if album_artist is not None:
        tags.add(id3.TPE2(encoding=encoding, text=[album_artist]))
    if artist is not None:
        tags.add(id3.TPE1(encoding=encoding, text=[artist]))
    if title is not None:
        tags.add(id3.TIT2(encoding=encoding, text=[title]))
    if album is not None:
        tags.add(id3.TALB(encoding=encoding, text=[album]))
    tags.save(path(name), v2_version=version)
    read = id3.ID3(path(name))
    oracle_artist = first(read.getall("TPE1") and read.getall("TPE1")[0].text) or first(
        read.getall("TPE2") and read.getall("TPE2")[0].text)
    oracle_title = first(read.getall("TIT2") and read.getall("TIT2")[0].text)
    oracle_album = first(read.getall("TALB") and read.getall("TALB")[0].text)
    record(name, f"MP3 ID3v2.{version}", oracle_artist, oracle_title,
           (artist or album_artist or "", title or ""), oracle_album, album or "")


class InsertionOrderID3(id3.ID3):
    """mutagen's own frames, written in the order they were added (mutagen
    puts the title first otherwise, and no picture could come before it)."""

    def _write(self, config):
        from mutagen.id3._tags import save_frame
        return bytearray().join(save_frame(frame, config=config) for frame in self.values())


def main():
    os.makedirs(OUT, exist_ok=True)
    # MP3: every ID3v2 text encoding, title only, a picture before the
    # title, album artist only, ID3v1, untagged.
    id3_file("v24-utf8.mp3", 4, id3.Encoding.UTF8, "Café Tacvba", "Déjà vu – en vivo",
             album="Un Segundo MTV Unplugged")
    id3_file("v24-utf16be.mp3", 4, id3.Encoding.UTF16BE, "Sigur Rós", "Svefn-g-englar")
    id3_file("v23-utf16.mp3", 3, id3.Encoding.UTF16, "Björk", "Jóga")
    id3_file("v23-latin1.mp3", 3, id3.Encoding.LATIN1, "Motörhead", "Ace of Spades")
    id3_file("v24-title-only.mp3", 4, id3.Encoding.UTF8, None, "Only a Title")
    id3_file("v23-picture-first.mp3", 3, id3.Encoding.UTF16, "Big Picture", "After the Cover",
             picture_first=True)
    id3_file("v24-album-artist.mp3", 4, id3.Encoding.UTF8, None, "Compilation Track",
             album_artist="Various Artists")
    id3_file("v23-japanese.mp3", 3, id3.Encoding.UTF16, "坂本龍一", "戦場のメリークリスマス")
    id3_file("v24-control.mp3", 4, id3.Encoding.UTF8, "Back\\slash",
             "Line\r\nBreak\tTab\u2028Para\u0085Next")
    # Scripts beyond any one code page, and a character beyond the BMP (a
    # surrogate pair in UTF-16), also where the artist's cut falls on it.
    id3_file("v24-cyrillic.mp3", 4, id3.Encoding.UTF8, "Кино", "Группа крови")
    id3_file("v23-korean.mp3", 3, id3.Encoding.UTF16, "아이유", "좋은 날")
    id3_file("v24-emoji.mp3", 4, id3.Encoding.UTF16, "Smile \U0001F600", "Party \U0001F389")
    id3_file("v24-long-artist.mp3", 4, id3.Encoding.UTF8, "A" * 126 + "\U0001F600", "Cut")
    # An artist whose 127th unit is a space: the cut must not end in it.
    id3_file("v24-artist-space.mp3", 4, id3.Encoding.UTF8, "A" * 126 + "  B", "Cut")
    # A byte-order mark inside a value (UTF-8), and a second one (UTF-16).
    id3_file("v24-mark-inside.mp3", 4, id3.Encoding.UTF8, "\ufeffMarked Artist", "Marked Title")
    id3_file("v23-second-mark.mp3", 3, id3.Encoding.UTF16, "Second Mark", "\ufeffTwice Marked")
    # A blank ID3v2 title and artist: the ID3v1 title, and the album artist, show.
    id3_file("v23-blank.mp3", 3, id3.Encoding.UTF16, " \t ", " \t ", album_artist="Fallback Band")
    with open(path("v23-blank.mp3"), "ab") as out:
        out.write(id3v1("V1 Title", "", ""))

    # ffmpeg writes ID3v1 only beside ID3v2; mutagen removes the latter.
    ffmpeg("v1.mp3", AUDIO, ["-c:a", "libmp3lame", "-b:a", "32k"],
           [("artist", "Old Timer"), ("title", "Version One")], ["-write_id3v1", "1"])
    id3.delete(path("v1.mp3"), delete_v1=False, delete_v2=True)
    v1 = MP3(path("v1.mp3")).tags  # mutagen reads ID3v1 as ID3v2.4 frames
    record("v1.mp3", "MP3 ID3v1", first(v1["TPE1"].text), first(v1["TIT2"].text),
           ("Old Timer", "Version One"))

    ffmpeg("untagged.mp3", AUDIO, ["-c:a", "libmp3lame", "-b:a", "32k"],
           extra=["-id3v2_version", "0"])
    try:
        id3.ID3(path("untagged.mp3"))
        sys.exit("untagged.mp3: mutagen found tags")
    except id3.ID3NoHeaderError:
        record("untagged.mp3", "", "", "", ("", ""))

    # WAV: a LIST/INFO chunk (ffmpeg) and an id3 chunk (mutagen).
    ffmpeg("info.wav", AUDIO, ["-c:a", "pcm_s16le"],
           [("artist", "Wave Maker"), ("title", "Sine Song"), ("album", "Waveforms")])
    tags = ffprobe_tags("info.wav")
    record("info.wav", "WAV LIST/INFO", tags.get("artist", ""), tags.get("title", ""),
           ("Wave Maker", "Sine Song"), tags.get("album", ""), "Waveforms")
    # ffmpeg writes INFO values as UTF-8.
    ffmpeg("info-utf8.wav", AUDIO, ["-c:a", "pcm_s16le"],
           [("artist", "Ärtist X"), ("title", "Tïtle – Ünïcode")])
    tags = ffprobe_tags("info-utf8.wav")
    record("info-utf8.wav", "WAV LIST/INFO", tags.get("artist", ""), tags.get("title", ""),
           ("Ärtist X", "Tïtle – Ünïcode"))
    ffmpeg("id3.wav", AUDIO, ["-c:a", "pcm_s16le"])
    wave = WAVE(path("id3.wav"))
    wave.add_tags()
    wave.tags.add(id3.TPE1(encoding=id3.Encoding.UTF16, text=["Zoë Keating"]))
    wave.tags.add(id3.TIT2(encoding=id3.Encoding.UTF16, text=["Optimist"]))
    wave.save()
    wave = WAVE(path("id3.wav"))
    record("id3.wav", "WAV ID3v2.4", first(wave.tags["TPE1"].text), first(wave.tags["TIT2"].text),
           ("Zoë Keating", "Optimist"))

    # MP4 family: ilst written by mutagen, moov before and after the media.
    for name, container, codec, faststart in [
            ("faststart.m4a", AUDIO, ["-c:a", "aac", "-b:a", "32k"], True),
            ("moov-at-end.m4a", AUDIO, ["-c:a", "aac", "-b:a", "32k"], False),
            ("large-moov-at-end.mp4", LARGE_VIDEO, LARGE_CODEC, False),
            ("video.mp4", VIDEO, ["-c:v", "mpeg4"], False),
            ("video.m4v", VIDEO, ["-c:v", "mpeg4", "-f", "mp4"], True),
            ("video.mov", VIDEO, ["-c:v", "mpeg4"], False)]:
        ffmpeg(name, container, codec, extra=["-movflags", "+faststart"] if faststart else [])
        mp4 = MP4(path(name))
        mp4["\xa9ART"] = ["Ensemble Ünïcode"]
        mp4["\xa9nam"] = [f"Moving {name.split('.')[0]}"]
        mp4.save()
        mp4 = MP4(path(name))
        record(name, "MP4 ilst", first(mp4["\xa9ART"]), first(mp4["\xa9nam"]),
               ("Ensemble Ünïcode", f"Moving {name.split('.')[0]}"))
    ffmpeg("untagged.mp4", VIDEO, ["-c:v", "mpeg4"])
    record("untagged.mp4", "", "", "", ("", ""))

    # Matroska and WebM: the title in Info, the artist in Tags; with
    # -reserve_index_space ffmpeg puts the cues first and the tags at the end.
    for name, inputs, codec in [
            ("audio.mka", AUDIO, ["-c:a", "flac"]),
            ("video.mkv", VIDEO, ["-c:v", "mpeg4"]),
            ("video.webm", VIDEO, ["-c:v", "libvpx", "-b:v", "50k"])]:
        ffmpeg(name, inputs, codec, [("artist", "Matrjoschka"), ("title", f"Nested {name}")])
        tags = ffprobe_tags(name)
        record(name, "Matroska", tags.get("artist", ""), tags.get("title", ""),
               ("Matrjoschka", f"Nested {name}"))

    # Tags after the media: mkvpropedit moves tags that no longer fit to the
    # end of the file and points the seek head at them.
    ffmpeg("tags-at-end.mkv", LARGE_VIDEO, [*LARGE_CODEC, "-cluster_time_limit", "500"],
           [("title", "Replaced")])
    with open(path("tags.xml"), "w", encoding="utf-8") as xml:
        xml.write("<?xml version='1.0'?><Tags><Tag><Targets><TargetTypeValue>50</TargetTypeValue>"
                  "</Targets><Simple><Name>ARTIST</Name><String>Appended Artist, whose name "
                  "does not fit where the old tags were</String></Simple><Simple><Name>TITLE"
                  "</Name><String>Appended Title</String></Simple></Tag></Tags>")
    subprocess.run(["mkvpropedit", "-q", path("tags-at-end.mkv"), "--tags",
                    "global:" + path("tags.xml"), "--edit", "info", "--delete", "title"], check=True)
    os.remove(path("tags.xml"))
    tags = ffprobe_tags("tags-at-end.mkv")
    record("tags-at-end.mkv", "Matroska", tags.get("artist", ""), tags.get("title", ""),
           ("Appended Artist, whose name does not fit where the old tags were", "Appended Title"))

    # FLAC and Ogg: Vorbis comments written by mutagen, also after a picture.
    ffmpeg("song.flac", AUDIO, ["-c:a", "flac"])
    flac = FLAC(path("song.flac"))
    from mutagen.flac import Picture
    picture = Picture()
    picture.data = PICTURE[:200 * 1024]
    picture.mime = "image/png"
    flac.add_picture(picture)
    flac["ARTIST"] = ["Lossless Ltd", "Second Artist"]
    flac["TITLE"] = ["Flac Ünïcode"]
    flac.save()
    flac = FLAC(path("song.flac"))
    record("song.flac", "FLAC Vorbis comment", first(flac["ARTIST"]), first(flac["TITLE"]),
           ("Lossless Ltd", "Flac Ünïcode"))
    for name, reader, codec, format_name, picture in [
            ("song.ogg", OggVorbis, ["-c:a", "libvorbis"], "Ogg Vorbis comment", False),
            ("song.opus", OggOpus, ["-c:a", "libopus", "-ar", "48000"], "Ogg Opus comment", False),
            ("picture-first.ogg", OggVorbis, ["-c:a", "libvorbis"], "Ogg Vorbis comment", True)]:
        ffmpeg(name, AUDIO, codec)
        ogg = reader(path(name))
        if picture:
            # A picture first: the comment packet runs over many pages.
            ogg["METADATA_BLOCK_PICTURE"] = ["A" * (150 * 1024)]
        ogg["ARTIST"] = ["Ogg Ørkester"]
        ogg["TITLE"] = [f"Streaming {name}"]
        ogg.save()
        ogg = reader(path(name))
        record(name, format_name, first(ogg["ARTIST"]), first(ogg["TITLE"]),
               ("Ogg Ørkester", f"Streaming {name}"))

    # ASF: the content description object (title, author).
    for name, inputs, codec in [("song.wma", AUDIO, ["-c:a", "wmav2", "-b:a", "32k"]),
                                ("video.wmv", VIDEO, ["-c:v", "wmv2"])]:
        ffmpeg(name, inputs, codec)
        asf = ASF(path(name))
        asf["Author"] = ["Windows Medien"]
        asf["Title"] = [f"Advanced {name}"]
        asf.save()
        asf = ASF(path(name))
        record(name, "ASF content description", first(asf["Author"]), first(asf["Title"]),
               ("Windows Medien", f"Advanced {name}"))

    # AVI: a LIST/INFO chunk (ffmpeg).
    ffmpeg("video.avi", VIDEO, ["-c:v", "mpeg4"], [("artist", "Avi Author"), ("title", "Interleaved")])
    tags = ffprobe_tags("video.avi")
    record("video.avi", "AVI LIST/INFO", tags.get("artist", ""), tags.get("title", ""),
           ("Avi Author", "Interleaved"))

    more_formats()
    length_files()
    presence_files()
    release_files()

    def encoded(text):
        return text.encode("utf-8").hex() or "-"

    with open(path("manifest.tsv"), "w", encoding="ascii") as out:
        for name, format_name, artist, title, album in manifest:
            seconds, tolerance, kind = facts_oracle(name)
            columns = [name, format_name or "-", encoded(artist), encoded(title), encoded(album),
                       "-" if seconds is None else f"{seconds:.3f}", f"{tolerance:.3f}", kind]
            out.write("\t".join(columns) + "\n")


# Files whose length the reader can only estimate: constant bit rate MP3
# without a Xing header, within 2 %; each whole second is also half a second off.
ESTIMATED = set()
# Stand-ins whose headers are made up: mutagen's reading of them is the oracle.
MUTAGEN_ONLY = {}
# Formats that do not say how long they play cheaply: the reader gives none.
UNTIMED = (".mod", ".xm", ".s3m", ".it", ".tak", ".ofr")
# Ogg streams cut from a longer one with their timestamps kept: they start
# at a granule position far from 0.
LATE_START = set()
# Files whose headers do not state their length, though ffprobe finds it by
# reading them through: the reader gives none.
NOT_STATED = set()
# Files with a track of pictures that is not played: audio to a user.
PICTURES_NOT_PLAYED = set()


def facts_oracle(name):
    """How long `name` plays and whether it has pictures, as ffprobe reads
    it (mutagen for made-up stand-ins): a stream of pictures that is an
    attached cover is no video."""
    if name in MUTAGEN_ONLY:
        return MUTAGEN_ONLY[name], 1.0, "video" if name.endswith(".ogv") else "audio"
    if name.endswith(UNTIMED) or name.startswith("stand-in") or name in NOT_STATED:
        return None, 0.0, "audio"
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-show_entries",
         "format=duration:stream=codec_type:stream_disposition=attached_pic", "-of", "json",
         path(name)], capture_output=True, text=True)
    probed = json.loads(out.stdout or "{}")
    video = any(stream.get("codec_type") == "video" and
                not stream.get("disposition", {}).get("attached_pic")
                for stream in probed.get("streams", []))
    duration = probed.get("format", {}).get("duration")
    seconds = float(duration) if duration not in (None, "N/A") else None
    tolerance = 1.0
    if name in ESTIMATED or name in LATE_START:
        # ffprobe too estimates these from a bit rate, or times a late start
        # from 0: their packets, all read, are the truth.
        packets = subprocess.run(
            ["ffprobe", "-v", "error", "-show_entries", "packet=duration_time", "-of", "csv=p=0",
             path(name)], check=True, capture_output=True, text=True).stdout.split()
        seconds = math.fsum(float(packet.strip(",")) for packet in packets
                            if packet.strip(",") not in ("", "N/A"))
        if name in ESTIMATED:
            tolerance = max(0.02 * seconds, 0.5) + 0.5
    return seconds, tolerance, "video" if video and name not in PICTURES_NOT_PLAYED else "audio"


def length_files():
    """One file of each family with a known length, over a minute where the
    file stays small, for the durations; see facts_oracle for the oracle."""
    tone = ["-f", "lavfi", "-i", "sine=frequency=330:duration=65.4:sample_rate=22050"]
    low = ["-f", "lavfi", "-i", "sine=frequency=330:duration=31.6:sample_rate=8000"]
    still = ["-f", "lavfi", "-i", "color=c=red:s=32x32:d=65.4:r=2"]
    files = [
        # MP3: Xing with its frame count (VBR), Info (CBR), VBRI-less and
        # Xing-less VBR and CBR, which only the bit rate gives.
        ("length-vbr.mp3", tone, ["-c:a", "libmp3lame", "-q:a", "6"], []),
        ("length-cbr.mp3", tone, ["-c:a", "libmp3lame", "-b:a", "32k"], []),
        ("length-cbr-no-xing.mp3", tone, ["-c:a", "libmp3lame", "-b:a", "48k"],
         ["-write_xing", "0"]),
        ("length-vbr-no-xing.mp3", tone, ["-c:a", "libmp3lame", "-q:a", "6"], ["-write_xing", "0"]),
        ("length.wav", low, ["-c:a", "pcm_u8"], []),
        ("length-rf64.wav", low, ["-c:a", "pcm_u8"], ["-rf64", "always"]),
        ("length.aiff", low, ["-c:a", "pcm_s16be"], []),
        ("length.flac", tone, ["-c:a", "flac"], []),
        ("length.oga", tone, ["-c:a", "flac", "-f", "ogg"], []),
        ("length.ogg", tone, ["-c:a", "libvorbis", "-q:a", "0"], []),
        ("length.opus", tone, ["-c:a", "libopus", "-b:a", "16k"], []),
        ("length.m4a", tone, ["-c:a", "aac", "-b:a", "24k"], []),
        ("length-video.mp4", [*still, *tone], ["-c:v", "mpeg4", "-c:a", "aac", "-b:a", "24k"], []),
        ("length-video.mkv", [*still, *tone], ["-c:v", "mpeg4", "-c:a", "libvorbis"], []),
        ("length.mka", tone, ["-c:a", "libopus", "-b:a", "16k"], []),
        ("length.wma", tone, ["-c:a", "wmav2", "-b:a", "32k"], []),
        ("length-video.wmv", [*still, *tone], ["-c:v", "wmv2", "-c:a", "wmav2", "-b:a", "32k"], []),
        ("length-video.avi", [*still, *tone], ["-c:v", "mpeg4", "-c:a", "libmp3lame", "-b:a", "32k"],
         []),
        ("length-video.ogv", [*still, *tone], ["-c:v", "libtheora", "-c:a", "libvorbis"], []),
        ("length.wv", tone, ["-c:a", "wavpack"], []),
        # Codecs whose length a WAV states by its fact chunk's sample count,
        # and an AIFF-C whose COMM chunk counts 64-sample packets.
        ("length-adpcm-ms.wav", tone, ["-c:a", "adpcm_ms"], []),
        ("length-adpcm-ima.wav", tone, ["-c:a", "adpcm_ima_wav"], []),
        ("length-vbr-mp3.wav", tone, ["-c:a", "libmp3lame", "-q:a", "6"], []),
        ("length-ima4.aifc", tone, ["-c:a", "adpcm_ima_qt"], []),
        # AAC in ADTS frames, an ID3v2 tag in front: its length is an estimate.
        ("length.aac", tone, ["-c:a", "aac", "-b:a", "24k"], ["-write_id3v2", "1"]),
        # An AVI without video: the audio stream's own length.
        ("length-audio.avi", tone, ["-c:a", "libmp3lame", "-b:a", "32k"], []),
        ("length.tta", low, ["-c:a", "tta"], []),
    ]
    for name, inputs, codec, extra in files:
        ffmpeg(name, inputs, codec, [("title", f"Length {name}")], extra)
        title = ffprobe_tags(name).get("title") or ffprobe_stream_title(name)
        record(name, ffprobe_format(name), "", title, ("", f"Length {name}"))
        if "no-xing" in name or name.endswith(".aac"):
            ESTIMATED.add(name)

    # Ogg with a 264 KB cover first in its comments, as taggers write it:
    # the comment packet runs over about 65 pages, passed by their headers.
    import base64
    from mutagen.flac import Picture
    cover = Picture()
    cover.data = PICTURE[:264 * 1024]
    cover.mime = "image/jpeg"
    cover.type = 3
    for name, reader, codec in [
            ("length-cover.ogg", OggVorbis, ["-c:a", "libvorbis", "-q:a", "0"]),
            ("length-cover.opus", OggOpus, ["-c:a", "libopus", "-b:a", "16k"])]:
        ffmpeg(name, tone, codec)
        ogg = reader(path(name))
        ogg.clear()
        ogg["METADATA_BLOCK_PICTURE"] = [base64.b64encode(cover.write()).decode("ascii")]
        ogg["TITLE"] = [f"Length {name}"]
        ogg.save()
        format_name = "Ogg Vorbis comment" if name.endswith(".ogg") else "Ogg Opus comment"
        record(name, format_name, "", first(reader(path(name))["TITLE"]), ("", f"Length {name}"))

    # Ogg Vorbis and Opus cut 20 s into a stream, their granule positions
    # kept (as a recording's excerpt is): the length counts from the first
    # sample, the first audio page's position less the samples it adds.
    for whole, name in [("length.ogg", "length-late-start.ogg"),
                        ("length.opus", "length-late-start.opus")]:
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-ss", "20", "-i", path(whole), "-c", "copy",
                        "-copyts", path(name)], check=True)
        LATE_START.add(name)
        record(name, ffprobe_format(name), "",
               ffprobe_tags(name).get("title") or ffprobe_stream_title(name), ("", f"Length {whole}"))

    # Ogg streams other than Vorbis, Opus and FLAC: Theora alone (its frames
    # by its frame rate), Speex; and a high-bit-rate video whose audio ends
    # 5 s before it, its last audio page far from the end: the longest
    # stream counts.
    small_video = ["-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=20"]
    speech = ["-f", "lavfi", "-i", "sine=frequency=330:duration=15:sample_rate=16000"]
    for name, inputs, codec in [
            ("length-theora.ogv", small_video, ["-c:v", "libtheora"]),
            ("length.spx", speech, ["-c:a", "libspeex"]),
            ("length-early-audio.ogv", [*small_video, *speech],
             ["-c:v", "libtheora", "-q:v", "10", "-c:a", "libvorbis", "-q:a", "0"])]:
        ffmpeg(name, inputs, codec, [("title", f"Length {name}")])
        record(name, ffprobe_format(name), "", ffprobe_tags(name).get("title") or
               ffprobe_stream_title(name), ("", f"Length {name}"))
    # The same with the audio's rate halved in its header (its page's
    # checksum made anew): the audio now plays longest, and its last page,
    # 200 KB before the end, is reached by walking the pages' headers.
    # ffprobe gives no length for such audio; mutagen's reading of the
    # audio's last granule position is the oracle.
    name = "length-late-audio-page.ogv"
    movie = bytearray(open(path("length-early-audio.ogv"), "rb").read())
    vorbis = movie.find(b"\x01vorbis")
    page = movie.rfind(b"OggS", 0, vorbis)
    page_end = page + 27 + movie[page + 26] + sum(movie[page + 27:page + 27 + movie[page + 26]])
    rate = struct.unpack("<I", movie[vorbis + 12:vorbis + 16])[0]
    movie[vorbis + 12:vorbis + 16] = struct.pack("<I", rate // 2)
    movie[page + 22:page + 26] = bytes(4)
    movie[page + 22:page + 26] = struct.pack("<I", ogg_checksum(bytes(movie[page:page_end])))
    stand_in_file(name, bytes(movie))
    MUTAGEN_ONLY[name] = OggVorbis(path(name)).info.length
    record(name, "Ogg Theora comment", "", ffprobe_tags(name).get("title") or
           ffprobe_stream_title(name), ("", "Length length-early-audio.ogv"))

    # Variable bit rate without a Xing header over music-like sound: a quiet
    # start, then a passage whose loudness, and so its bit rate, keeps changing.
    name = "length-vbr-no-xing-quiet-start.mp3"
    ffmpeg(name, ["-f", "lavfi", "-i", "sine=frequency=330:duration=8:sample_rate=44100",
                  "-f", "lavfi", "-i", "anoisesrc=d=52:c=pink:r=44100:a=0.3"],
           ["-filter_complex",
            "[1]volume='0.2+0.8*abs(sin(t/5))':eval=frame[n];[0][n]concat=n=2:v=0:a=1",
            "-c:a", "libmp3lame", "-q:a", "4"], [("title", f"Length {name}")], ["-write_xing", "0"])
    record(name, "MP3 ID3v2.4", "", ffprobe_tags(name).get("title"), ("", f"Length {name}"))
    ESTIMATED.add(name)

    # A WAV written to a pipe: its writer could not go back to set the sizes
    # (0xFFFFFFFF); others leave 0, or a size no file reaches.
    with open(path("length-pipe.wav"), "wb") as out:
        subprocess.run(["ffmpeg", "-v", "error", *low, "-c:a", "pcm_u8", "-map_metadata", "-1",
                        "-metadata", "title=Length length-pipe.wav", "-f", "wav", "-"],
                       stdout=out, check=True)
    pipe = bytearray(open(path("length-pipe.wav"), "rb").read())
    data = pipe.find(b"data")
    for name, riff_size, data_size in [("length-pipe-zero.wav", 0xFFFFFFFF, 0),
                                       ("length-pipe-7fffffff.wav", 0x7FFFFFFF, 0x7FFFFFFF)]:
        pipe[4:8] = struct.pack("<I", riff_size)
        pipe[data + 4:data + 8] = struct.pack("<I", data_size)
        stand_in_file(name, bytes(pipe))
    for name in ["length-pipe.wav", "length-pipe-zero.wav", "length-pipe-7fffffff.wav"]:
        record(name, ffprobe_format(name), "", ffprobe_tags(name).get("title"),
               ("", "Length length-pipe.wav"))

    # Fragmented MP4: the movie header counts nothing. With a movie extends
    # header (added here, as other muxers write it) the length is stated;
    # without one it is not, and the reader gives none rather than a guess.
    fragmented = ["-c:a", "aac", "-b:a", "24k"]
    for name in ["length-fragmented.m4a", "length-fragmented-no-mehd.m4a"]:
        ffmpeg(name, tone, fragmented, [("title", "Length fragmented")],
               ["-movflags", "frag_keyframe+empty_moov+default_base_moof"])
        record(name, "MP4 ilst", "", ffprobe_tags(name).get("title"), ("", "Length fragmented"))
    NOT_STATED.add("length-fragmented-no-mehd.m4a")
    movie = bytearray(open(path("length-fragmented.m4a"), "rb").read())
    duration = round(float(subprocess.run(
        ["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
         path("length-fragmented.m4a")], check=True, capture_output=True, text=True).stdout) * 1000)
    moov = movie.find(b"moov") - 4
    mvex = movie.find(b"mvex", moov) - 4
    timescale = struct.unpack(">I", movie[movie.find(b"mvhd") + 16:movie.find(b"mvhd") + 20])[0]
    assert timescale == 1000, timescale
    extends = struct.pack(">I4sII", 16, b"mehd", 0, duration)
    for box in (moov, mvex):
        movie[box:box + 4] = struct.pack(">I", struct.unpack(">I", movie[box:box + 4])[0] + 16)
    stand_in_file("length-fragmented.m4a", bytes(movie[:mvex + 8] + extends + movie[mvex + 8:]))

    # An audiobook's chapter pictures: a track of pictures marked as not
    # played (its track header's enabled flag cleared here, as audiobook
    # tools write it). ffprobe lists it as video; a user hears a book.
    name = "length-chapter-art.m4b"
    ffmpeg(name, [*low, *still], ["-map", "0", "-map", "1", "-c:a", "aac", "-b:a", "16k",
                                  "-c:v", "mjpeg", "-frames:v", "1"],
           [("title", "Length chapter art")], ["-f", "mp4"])
    book = bytearray(open(path(name), "rb").read())
    pictures = book.find(b"tkhd", book.find(b"tkhd") + 4)
    book[pictures + 7] &= 0xFE
    stand_in_file(name, bytes(book))
    PICTURES_NOT_PLAYED.add(name)
    record(name, "MP4 ilst", "", ffprobe_tags(name).get("title"), ("", "Length chapter art"))

    # A cover stored by ffmpeg as a track of one MJPEG picture in Matroska
    # audio: ffprobe lists it as video; a user hears music. The same codec
    # as a real video (a picture a second) stays video.
    cover_picture = path("cover.jpg")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "color=c=red:s=64x64:d=1",
                    "-frames:v", "1", cover_picture], check=True)
    name = "length-cover-track.mka"
    ffmpeg(name, [*tone, "-i", cover_picture],
           ["-map", "0", "-map", "1", "-c:a", "libopus", "-b:a", "16k", "-c:v", "mjpeg",
            "-disposition:v", "attached_pic"], [("title", f"Length {name}")])
    PICTURES_NOT_PLAYED.add(name)
    record(name, "Matroska", "", ffprobe_tags(name).get("title"), ("", f"Length {name}"))
    # The same in WMA: ASF marks no picture, a Motion JPEG stream beside
    # the audio is taken for one.
    name = "length-cover-track.wma"
    ffmpeg(name, [*tone, "-i", cover_picture],
           ["-map", "0", "-map", "1", "-c:a", "wmav2", "-b:a", "32k", "-c:v", "mjpeg"],
           [("title", f"Length {name}")])
    PICTURES_NOT_PLAYED.add(name)
    record(name, "ASF content description", "", ffprobe_tags(name).get("title"),
           ("", f"Length {name}"))
    name = "length-mjpeg-video.mkv"
    ffmpeg(name, [*still, *tone], ["-c:v", "mjpeg", "-c:a", "libopus", "-b:a", "16k"],
           [("title", f"Length {name}")])
    record(name, "Matroska", "", ffprobe_tags(name).get("title"), ("", f"Length {name}"))
    os.remove(cover_picture)

    # AIFF-C codecs no Debian program writes, whose COMM chunk counts
    # packets too: the headers as the format lays them out, made-up audio.
    def aifc(name, codec, packets, packet_bytes, rate=8000):
        exponent = rate.bit_length() - 1
        common = (struct.pack(">hIh", 1, packets, 16) +
                  struct.pack(">HQ", 16383 + exponent, rate << (63 - exponent)) + codec + b"\0\0")
        sound = bytes(8) + bytes((i * 7919 + 13) & 0xFF for i in range(packets * packet_bytes))
        chunks = (b"COMM" + struct.pack(">I", len(common)) + common +
                  b"SSND" + struct.pack(">I", len(sound)) + sound)
        stand_in_file(name, b"FORM" + struct.pack(">I", 4 + len(chunks)) + b"AIFC" + chunks)
        manifest.append((name, "", "", "", ""))
    aifc("length-mac3.aifc", b"MAC3", 80000, 2)
    aifc("length-mac6.aifc", b"MAC6", 80000, 1)
    aifc("length-gsm.aifc", b"GSM ", 3000, 33)

    # Monkey's Audio and Musepack: no Debian program writes them. These hold
    # the headers as the formats lay them out, with made-up audio, and
    # mutagen reads their length.
    from mutagen.monkeysaudio import MonkeysAudio
    from mutagen.musepack import Musepack
    descriptor = (b"MAC " + struct.pack("<HHIIIIIII", 3990, 0, 52, 24, 0, 44, 4096, 0, 0) +
                  bytes(16))
    header = struct.pack("<HHIIIHHI", 2000, 0, 73728 * 4, 12345, 10, 16, 2, 44100)
    stand_in_file("length.ape", descriptor + header + bytes(64 * 1024))
    samples = 44100 * 61 + 500
    def number(value):
        encoded = [value & 0x7F]
        value >>= 7
        while value:
            encoded.append(0x80 | (value & 0x7F))
            value >>= 7
        return bytes(reversed(encoded))
    stream_header = (bytes(4) + b"\x08" + number(samples) + number(0) + bytes([0x0F, 0x10]))
    packet = b"SH" + bytes([2 + 1 + len(stream_header)]) + stream_header
    replay_gain = b"RG" + bytes([2 + 1 + 9]) + b"\x01" + bytes(8)
    stand_in_file("length.mpc", b"MPCK" + packet + replay_gain + b"SE\x03" + bytes(32 * 1024))
    for name, reader in [("length.ape", MonkeysAudio), ("length.mpc", Musepack)]:
        MUTAGEN_ONLY[name] = reader(path(name)).info.length
        manifest.append((name, "", "", "", ""))

    # DSF: a stand-in as above, whose header counts ten seconds of samples
    # that its data does not all hold: the reader goes by the header, as mutagen does.
    fmt = b"fmt " + struct.pack("<QIIIIIIQII", 52, 1, 0, 2, 2, 2822400, 1, 2822400 * 10, 4096, 0)
    samples = bytes(64 * 1024)
    data = b"data" + struct.pack("<Q", 12 + len(samples)) + samples
    stand_in_file("length.dsf",
                  b"DSD " + struct.pack("<QQQ", 28, 28 + len(fmt) + len(data), 0) + fmt + data)
    MUTAGEN_ONLY["length.dsf"] = DSF(path("length.dsf")).info.length
    manifest.append(("length.dsf", "", "", "", ""))


def ogg_checksum(page):
    """An Ogg page's CRC-32 (polynomial 0x04C11DB7, not reflected, from 0),
    computed with its own checksum field zero."""
    crc = 0
    for byte in page:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7 if crc & 0x80000000 else crc << 1) & 0xFFFFFFFF
    return crc


def stand_in_file(name, content):
    with open(path(name), "wb") as out:
        out.write(content)


def ffprobe_stream_title(name):
    """The title of the first stream as ffprobe reads it: where Ogg keeps its comments."""
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-show_entries", "stream_tags=title", "-of", "json", path(name)],
        check=True, capture_output=True, text=True).stdout
    for stream in json.loads(out).get("streams", []):
        for key, value in stream.get("tags", {}).items():
            if key.lower() == "title":
                return value
    return ""


def ffprobe_format(name):
    """The format name the reader gives a file titled by ffmpeg."""
    suffix = name.rsplit(".", 1)[1]
    return {"mp3": "MP3 ID3v2.4", "wav": "WAV LIST/INFO", "aiff": "AIFF NAME/AUTH",
            "aifc": "AIFF-C NAME/AUTH", "aac": "AAC ID3v2.4",
            "flac": "FLAC Vorbis comment", "oga": "Ogg FLAC comment",
            "ogg": "Ogg Vorbis comment", "opus": "Ogg Opus comment", "m4a": "MP4 ilst",
            "mp4": "MP4 ilst", "mkv": "Matroska", "mka": "Matroska",
            "wma": "ASF content description", "wmv": "ASF content description",
            "avi": "AVI LIST/INFO", "ogv": "Ogg Theora comment", "spx": "Ogg Speex comment",
            "wv": "WavPack APEv2", "tta": "TTA APEv2"}[suffix]


def id3v1(title, artist, album):
    """An ID3v1 tag: "TAG", then 30-byte Latin-1 fields."""
    def field(text):
        return text.encode("latin-1").ljust(30, b"\0")
    return b"TAG" + field(title) + field(artist) + field(album) + b"2024" + bytes(30) + b"\xff"


def ape_tag(items, version=2000, header=True):
    """An APE tag: items of key and value (text as UTF-8, bytes as they
    are), a footer, and for APEv2 a header too (APEv1 has none)."""
    def raw(value):
        return value if isinstance(value, bytes) else value.encode()
    body = b"".join(struct.pack("<II", len(raw(value)), 0) + key.encode() + b"\0" +
                    raw(value) for key, value in items)
    def block(flags):
        return (b"APETAGEX" + struct.pack("<IIII", version, len(body) + 32, len(items), flags) +
                bytes(8))
    has_header = 0x80000000 if header else 0
    return (block(has_header | 0x20000000) if header else b"") + body + block(has_header)


def stand_in(name, magic, length=512):
    """A file that begins as its format does and holds nothing else of it:
    only its first bytes tell our reader and mutagen what it is."""
    with open(path(name), "wb") as out:
        out.write(magic + bytes((i * 31) & 0xFF for i in range(length)))


def presence_files():
    """Tagged MP3s for the Discord presence's Wine scenarios (not in the
    manifest): a song with a known length, a title longer than Discord
    takes, one of a single character, and titles with quotes, backslashes
    and control characters, which the reader makes spaces."""
    tone = ["-f", "lavfi", "-i", "sine=frequency=330:duration=65.4:sample_rate=22050"]
    ffmpeg("presence-song.mp3", tone, ["-c:a", "libmp3lame", "-b:a", "32k"], extra=["-id3v2_version", "0"])
    titles = [
        ("presence-song.mp3", "My Band", "Best Song"),
        ("presence-long.mp3", "Long", "\u65E5" * 300),
        ("presence-one.mp3", "One", "X"),
        ("presence-odd.mp3", "Back\\slash", 'Say "hi"\ttab\r\nnew\x01line \\o/'),
    ]
    for name, artist, title in titles:
        if name != "presence-song.mp3":
            ffmpeg(name, AUDIO, ["-c:a", "libmp3lame", "-b:a", "32k"], extra=["-id3v2_version", "0"])
        tags = id3.ID3()
        tags.add(id3.TPE1(encoding=id3.Encoding.UTF8, text=[artist]))
        tags.add(id3.TIT2(encoding=id3.Encoding.UTF8, text=[title]))
        tags.save(path(name), v2_version=4)
        if id3.ID3(path(name))["TIT2"].text[0] != title:
            sys.exit(f"{name}: mutagen reads another title back")


# A release's MusicBrainz id, as taggers write it in lower case.
RELEASE_ID = "76df3287-6cda-33eb-8e9a-044b5e15ffdd"
releases = []


def cover_image(name, codec):
    """A small real picture made by ffmpeg: its bytes are what a cover file must hold."""
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=96x96:rate=1", "-frames:v", "1", "-c:v", codec, path(name)],
                   check=True)
    with open(path(name), "rb") as picture:
        return picture.read()


def release(name, written, oracle, picture="-"):
    """Adds a file to releases.tsv: the id the oracle reads, which must be
    what was written (the reader must give it in lower case when it is a
    well-formed id, else none), and the file whose bytes its front cover
    holds ("-": it has none)."""
    if oracle != written:
        sys.exit(f"{name}: the oracle read the release id {oracle!r}, written {written!r}")
    well_formed = re.fullmatch(r"[0-9a-fA-F]{8}(-[0-9a-fA-F]{4}){3}-[0-9a-fA-F]{12}", oracle.strip())
    releases.append((name, oracle.strip().lower() if well_formed else "-", picture))


def release_files():
    """Files tagged with a release's MusicBrainz id the way taggers write it,
    each with an embedded front cover where its format has one."""
    jpeg = cover_image("cover.jpg", "mjpeg")
    png = cover_image("cover.png", "png")
    # A picture far larger than the reader's budget, as a JPEG begins.
    big = b"\xff\xd8\xff\xe0" + PICTURE[:300 * 1024]
    with open(path("cover-big.jpg"), "wb") as out:
        out.write(big)
    description = "MusicBrainz Album Id"
    for name, version, encoding, picture, picture_name in [
            ("release-v24.mp3", 4, id3.Encoding.UTF8, jpeg, "cover.jpg"),
            ("release-v23-utf16.mp3", 3, id3.Encoding.UTF16, png, "cover.png"),
            ("release-big-v23.mp3", 3, id3.Encoding.LATIN1, big, "cover-big.jpg")]:
        ffmpeg(name, AUDIO, ["-c:a", "libmp3lame", "-b:a", "32k"], extra=["-id3v2_version", "0"])
        tags = InsertionOrderID3()
        tags.add(id3.TIT2(encoding=encoding, text=["Released"]))
        tags.add(id3.TXXX(encoding=encoding, desc="Other Id", text=["not this one"]))
        # A back cover first: the front one counts.
        tags.add(id3.APIC(encoding=encoding, mime="image/png", type=4, desc="back", data=png))
        tags.add(id3.APIC(encoding=encoding, mime="image/png" if picture is png else "image/jpeg",
                          type=3, desc="front", data=picture))
        tags.add(id3.TXXX(encoding=encoding, desc=description, text=[RELEASE_ID]))
        tags.save(path(name), v2_version=version)
        read = id3.ID3(path(name))
        if read.getall("APIC:front")[0].data != picture:
            sys.exit(f"{name}: mutagen reads another front cover")
        release(name, RELEASE_ID, first(read.getall("TXXX:" + description)[0].text), picture_name)

    ffmpeg("release.flac", AUDIO, ["-c:a", "flac"])
    flac = FLAC(path("release.flac"))
    from mutagen.flac import Picture
    front = Picture()
    front.data, front.mime, front.type = png, "image/png", 3
    flac.add_picture(front)
    flac["TITLE"] = ["Released"]
    flac["MUSICBRAINZ_ALBUMID"] = [RELEASE_ID.upper()]
    flac.save()
    read = FLAC(path("release.flac"))
    if read.pictures[0].data != png:
        sys.exit("release.flac: mutagen reads another picture")
    release("release.flac", RELEASE_ID.upper(), first(read["MUSICBRAINZ_ALBUMID"]), "cover.png")

    ffmpeg("release-malformed.flac", AUDIO, ["-c:a", "flac"])
    flac = FLAC(path("release-malformed.flac"))
    flac["TITLE"] = ["Released"]
    flac["MUSICBRAINZ_ALBUMID"] = [RELEASE_ID[:-1] + "g"]
    flac.save()
    release("release-malformed.flac", RELEASE_ID[:-1] + "g",
            first(FLAC(path("release-malformed.flac"))["MUSICBRAINZ_ALBUMID"]))

    ffmpeg("release.m4a", AUDIO, ["-c:a", "aac", "-b:a", "32k"], extra=["-movflags", "+faststart"])
    from mutagen.mp4 import MP4Cover, MP4FreeForm
    mp4 = MP4(path("release.m4a"))
    mp4["\xa9nam"] = ["Released"]
    mp4["covr"] = [MP4Cover(jpeg, imageformat=MP4Cover.FORMAT_JPEG)]
    mp4["----:com.apple.iTunes:MusicBrainz Album Id"] = [MP4FreeForm(RELEASE_ID.encode())]
    mp4.save()
    read = MP4(path("release.m4a"))
    if bytes(read["covr"][0]) != jpeg:
        sys.exit("release.m4a: mutagen reads another cover")
    release("release.m4a", RELEASE_ID,
            bytes(read["----:com.apple.iTunes:MusicBrainz Album Id"][0]).decode(), "cover.jpg")

    # The picture's bytes begin at each place of a base64 group (by the
    # description's length); the big one runs across pages, after a back cover.
    import base64
    for name, reader, codec, description, picture, picture_name in [
            ("release.ogg", OggVorbis, ["-c:a", "libvorbis"], "ab", png, "cover.png"),
            ("release.opus", OggOpus, ["-c:a", "libopus", "-ar", "48000"], "a", png, "cover.png"),
            ("release-big.ogg", OggVorbis, ["-c:a", "libvorbis"], "front", big, "cover-big.jpg")]:
        ffmpeg(name, AUDIO, codec)
        ogg = reader(path(name))
        pictures = []
        for kind, data in ([(4, png)] if picture is big else []) + [(3, picture)]:
            block = Picture()
            block.data, block.type, block.desc = data, kind, description
            block.mime = "image/png" if data is png else "image/jpeg"
            pictures.append(base64.b64encode(block.write()).decode("ascii"))
        ogg["METADATA_BLOCK_PICTURE"] = pictures
        ogg["TITLE"] = ["Released"]
        ogg["MUSICBRAINZ_ALBUMID"] = [RELEASE_ID]
        ogg.save()
        read = reader(path(name))
        if Picture(base64.b64decode(read["METADATA_BLOCK_PICTURE"][-1])).data != picture:
            sys.exit(name + ": mutagen reads another picture")
        release(name, RELEASE_ID, first(read["MUSICBRAINZ_ALBUMID"]), picture_name)

    ffmpeg("release.wma", AUDIO, ["-c:a", "wmav2", "-b:a", "32k"])
    asf = ASF(path("release.wma"))
    asf["Title"] = ["Released"]
    asf["MusicBrainz/Album Id"] = [RELEASE_ID]
    from mutagen.asf import ASFByteArrayAttribute

    def wm_picture(kind, mime, data):
        return ASFByteArrayAttribute(struct.pack("<bI", kind, len(data)) + (mime + "\0").encode(
            "utf-16-le") + "\0".encode("utf-16-le") + data)
    asf["WM/Picture"] = [wm_picture(4, "image/png", png), wm_picture(3, "image/jpeg", jpeg)]
    asf.save()
    read = ASF(path("release.wma"))
    if not read["WM/Picture"][1].value.endswith(jpeg):
        sys.exit("release.wma: mutagen reads another picture")
    release("release.wma", RELEASE_ID, str(read["MusicBrainz/Album Id"][0]), "cover.jpg")

    ffmpeg("release.wv", AUDIO, ["-c:a", "wavpack"], [("title", "Released")])
    from mutagen.apev2 import APEValue, BINARY
    ape = APEv2(path("release.wv"))
    ape["MUSICBRAINZ_ALBUMID"] = RELEASE_ID
    ape["Cover Art (Back)"] = APEValue(b"back.png\0" + png, BINARY)
    ape["Cover Art (Front)"] = APEValue(b"front.jpg\0" + jpeg, BINARY)
    ape.save()
    read = APEv2(path("release.wv"))
    if read["Cover Art (Front)"].value != b"front.jpg\0" + jpeg:
        sys.exit("release.wv: mutagen reads another front cover")
    release("release.wv", RELEASE_ID, str(read["MUSICBRAINZ_ALBUMID"]), "cover.jpg")

    # Matroska: the cover an attachment named as the Matroska guidelines say.
    subprocess.run(["ffmpeg", "-v", "error", "-y", *AUDIO, "-attach", path("cover.png"),
                    "-metadata:s:t", "mimetype=image/png", "-metadata:s:t", "filename=cover.png",
                    "-c:a", "flac", "-map_metadata", "-1", "-metadata", "title=Released",
                    "-metadata", f"MUSICBRAINZ_ALBUMID={RELEASE_ID}", path("release.mka")],
                   check=True)
    subprocess.run(["mkvextract", "-q", path("release.mka"), "attachments",
                    "1:" + path("attached.png")], check=True)
    with open(path("attached.png"), "rb") as attached:
        if attached.read() != png:
            sys.exit("release.mka: mkvextract gives another attachment back")
    os.remove(path("attached.png"))
    release("release.mka", RELEASE_ID, ffprobe_tags("release.mka").get("musicbrainz_albumid", ""),
            "cover.png")

    with open(path("releases.tsv"), "w", encoding="ascii") as out:
        for name, wanted, picture in releases:
            out.write(f"{name}\t{wanted}\t{picture}\n")


def more_formats():
    # APEv2 at the end: WavPack (ffmpeg writes it), and stand-ins for the
    # formats no Debian program writes, tagged by mutagen.
    ffmpeg("song.wv", AUDIO, ["-c:a", "wavpack"],
           [("artist", "Wave Packer"), ("title", "Packed"), ("album", "Lossless Hits")])
    ape = APEv2(path("song.wv"))
    record("song.wv", "WavPack APEv2", first(ape["Artist"]), first(ape["Title"]),
           ("Wave Packer", "Packed"), first(ape["Album"]), "Lossless Hits")
    for name, magic, container in [
            ("song.ape", b"MAC \x96\x0f", "Monkey's Audio"),  # version 3.990
            ("song.tak", b"tBaK", "TAK"),
            ("song.mpc", b"MPCKSH", "Musepack"),  # SV8 and its stream header
            ("song.ofr", b"OFR \x0f\x00\x00\x00", "OptimFROG")]:
        stand_in(name, magic)
        ape = APEv2()
        ape["Artist"] = ["Ape Ärtist"]
        ape["Title"] = [f"{container} Song"]
        ape["Album Artist"] = ["Various"]
        ape.save(path(name))
        ape = APEv2(path(name))
        record(name, f"{container} APEv2", first(ape["Artist"]), first(ape["Title"]),
               ("Ape Ärtist", f"{container} Song"))

    # An MP3 with APEv2 before its ID3v1 tag, which fills the album; and one
    # with a headerless APEv1 tag.
    ffmpeg("ape.mp3", AUDIO, ["-c:a", "libmp3lame", "-b:a", "32k"], extra=["-id3v2_version", "0"])
    with open(path("ape.mp3"), "ab") as out:
        out.write(ape_tag([("Title", "Ape Title"), ("Artist", "Ape Artist")]))
        out.write(id3v1("V1 Title", "V1 Artist", "V1 Album"))
    ape = APEv2(path("ape.mp3"))
    v1 = MP3(path("ape.mp3")).tags
    record("ape.mp3", "MP3 APEv2", first(ape["Artist"]), first(ape["Title"]),
           ("Ape Artist", "Ape Title"), first(v1["TALB"].text), "V1 Album")
    ffmpeg("apev1.mp3", AUDIO, ["-c:a", "libmp3lame", "-b:a", "32k"], extra=["-id3v2_version", "0"])
    with open(path("apev1.mp3"), "ab") as out:
        out.write(ape_tag([("TITLE", "Old Ape"), ("ARTIST", "Old Monkey")], 1000, header=False))
    ape = APEv2(path("apev1.mp3"))
    record("apev1.mp3", "MP3 APEv1", first(ape["Artist"]), first(ape["Title"]),
           ("Old Monkey", "Old Ape"))

    # Latin-1 where UTF-8 belongs, as old writers put it there: mutagen
    # refuses such APEv2 items and replaces such Vorbis comment bytes, so the
    # bytes written, read in code page 1252 as the reader must read them,
    # are the oracle. Each value is read whole, never cut at its first bad byte.
    ffmpeg("latin1.flac", AUDIO, ["-c:a", "flac"], [("artist", "XYoops"), ("title", "CafX del Mar")])
    with open(path("latin1.flac"), "rb") as original:
        flac_bytes = original.read()
    for placeholder, raw in [(b"=XYoops", b"=\xc3\x28oops"), (b"=CafX del Mar", b"=Caf\xe9 del Mar")]:
        if flac_bytes.count(placeholder) != 1:
            sys.exit(f"latin1.flac: {placeholder!r} is not there once")
        flac_bytes = flac_bytes.replace(placeholder, raw)  # the same length: no size changes
    with open(path("latin1.flac"), "wb") as out:
        out.write(flac_bytes)
    record("latin1.flac", "FLAC Vorbis comment", b"\xc3\x28oops".decode("cp1252"),
           b"Caf\xe9 del Mar".decode("cp1252"), ("\u00c3(oops", "Caf\u00e9 del Mar"))
    stand_in("latin1.ape", b"MAC \x96\x0f")
    with open(path("latin1.ape"), "ab") as out:
        out.write(ape_tag([("Artist", b"Ren\xe9 Aubry"), ("Title", b"Sal\xfc d\x92amour")]))
    record("latin1.ape", "Monkey's Audio APEv2", b"Ren\xe9 Aubry".decode("cp1252"),
           b"Sal\xfc d\x92amour".decode("cp1252"), ("Ren\u00e9 Aubry", "Sal\u00fc d\u2019amour"))

    # An ID3v2 tag in front of other containers: a FLAC with only padding
    # in it, a FLAC whose stale tag has another title (the FLAC's own tag
    # wins: taggers that know FLAC update that one), and a TTA stand-in.
    for name, id3_title in [("id3-padding.flac", None), ("id3-title.flac", "Id3 Title")]:
        ffmpeg(name, AUDIO, ["-c:a", "flac"])
        flac = FLAC(path(name))
        flac["ARTIST"] = ["Flac Artist"]
        flac["TITLE"] = ["Flac Title"]
        flac["ALBUM"] = ["Flac Album"]
        flac.save()
        if id3_title is not None:
            front = id3.ID3()
            front.add(id3.TIT2(encoding=3, text=[id3_title]))
            front.save(path(name))
        else:
            # mutagen writes no empty tag: this one is a header and its padding.
            with open(path(name), "rb") as original:
                audio = original.read()
            with open(path(name), "wb") as out:
                out.write(b"ID3\x04\x00\x00\x00\x00\x08\x00" + bytes(1024) + audio)
        flac = FLAC(path(name))
        record(name, "FLAC Vorbis comment + ID3v2.4", first(flac["ARTIST"]), first(flac["TITLE"]),
               ("Flac Artist", "Flac Title"), first(flac["ALBUM"]), "Flac Album")
    stand_in("id3.tta", b"TTA1\x01\x00\x02\x00\x10\x00")
    front = id3.ID3()
    front.add(id3.TPE1(encoding=3, text=["True Audio"]))
    front.add(id3.TIT2(encoding=3, text=["Tta Title"]))
    front.save(path("id3.tta"))
    tta = id3.ID3(path("id3.tta"))
    record("id3.tta", "TTA ID3v2.4", first(tta["TPE1"].text), first(tta["TIT2"].text),
           ("True Audio", "Tta Title"))

    # AIFF: an ID3 chunk (ffmpeg), and the NAME and AUTH chunks (ffmpeg
    # writes them from the title and the author).
    ffmpeg("id3.aiff", AUDIO, ["-c:a", "pcm_s16be"], [("artist", "Apple Ärtist"), ("title", "Aiff Tïtle")],
           ["-write_id3v2", "1"])
    aiff = AIFF(path("id3.aiff")).tags
    record("id3.aiff", "AIFF ID3v2.4", first(aiff["TPE1"].text), first(aiff["TIT2"].text),
           ("Apple Ärtist", "Aiff Tïtle"))
    ffmpeg("name.aiff", AUDIO, ["-c:a", "pcm_s16be"], [("author", "Chunk Author"), ("title", "Chunk Name")])
    tags = ffprobe_tags("name.aiff")
    record("name.aiff", "AIFF NAME/AUTH", tags.get("author", ""), tags.get("title", ""),
           ("Chunk Author", "Chunk Name"))

    # DSF: no Debian program writes DSD audio; this one holds a DSD chunk,
    # a format chunk and silence, as the format lays them out, and mutagen
    # adds the ID3v2 tag the DSD chunk points to.
    samples = bytes(2 * 4096)
    fmt = b"fmt " + struct.pack("<QIIIIIIQII", 52, 1, 0, 2, 2, 2822400, 1, 4096 * 8, 4096, 0)
    data = b"data" + struct.pack("<Q", 12 + len(samples)) + samples
    with open(path("song.dsf"), "wb") as out:
        out.write(b"DSD " + struct.pack("<QQQ", 28, 28 + len(fmt) + len(data), 0) + fmt + data)
    dsf = DSF(path("song.dsf"))
    dsf.add_tags()
    dsf.tags.add(id3.TPE1(encoding=3, text=["Direct Stream"]))
    dsf.tags.add(id3.TIT2(encoding=3, text=["Dsd Title"]))
    dsf.save()
    dsf = DSF(path("song.dsf")).tags
    record("song.dsf", "DSF ID3v2.4", first(dsf["TPE1"].text), first(dsf["TIT2"].text),
           ("Direct Stream", "Dsd Title"))

    # Tracker modules: the smallest files each tracker format allows (one
    # empty pattern), laid out by hand; ffprobe (libopenmpt) reads their names.
    samples = b"".join(bytes(22) + struct.pack(">HBBHH", 0, 0, 64, 0, 1) for _ in range(31))
    modules = {
        "song.mod": b"Mod Song".ljust(20, b"\0") + samples + bytes([1, 127]) + bytes(128) +
                    b"M.K." + bytes(1024),
        "song.xm": b"Extended Module: " + b"Xm Song".ljust(20, b"\0") + b"\x1a" +
                   b"FastTracker v2.00   " + struct.pack("<H", 0x104) +
                   struct.pack("<IHHHHHHHH", 276, 1, 0, 1, 2, 0, 0, 6, 125) + bytes(256) +
                   struct.pack("<IBHH", 9, 0, 64, 0),
    }
    s3m = (b"S3m Song".ljust(28, b"\0") + bytes([0x1A, 16, 0, 0]) +
           struct.pack("<HHHHHH", 1, 0, 1, 0, 0x1320, 2) + b"SCRM" + bytes([64, 6, 125, 0xB0, 0, 0]) +
           bytes(8) + struct.pack("<H", 0) + bytes([0] + [255] * 31) + bytes([0, 255]))
    pointer = (len(s3m) + 2 + 15) // 16
    modules["song.s3m"] = ((s3m + struct.pack("<H", pointer)).ljust(pointer * 16, b"\0") +
                           struct.pack("<H", 66) + bytes(64))
    it = (b"IMPM" + b"It Song".ljust(26, b"\0") +
          struct.pack("<HHHHHHHHH", 0x0410, 2, 0, 0, 1, 0x214, 0x200, 9, 0) +
          struct.pack("<BBBBBBHII", 128, 48, 6, 125, 128, 0, 0, 0, 0) + bytes([32] * 64) +
          bytes([64] * 64) + bytes([0, 255]))
    modules["song.it"] = it + struct.pack("<I", len(it) + 4) + struct.pack("<HHI", 64, 64, 0) + bytes(64)
    for name, content in modules.items():
        with open(path(name), "wb") as out:
            out.write(content)
        container = name.split(".")[1].upper()
        record(name, f"{container} song name", "", ffprobe_tags(name).get("title", ""),
               ("", f"{container.capitalize()} Song"))

    # ASF: an album artist and an album, but no author; and a title and an
    # author that only the extended content description holds.
    ffmpeg("album.wma", AUDIO, ["-c:a", "wmav2", "-b:a", "32k"])
    asf = ASF(path("album.wma"))
    asf["Title"] = ["Compiled"]
    asf["WM/AlbumArtist"] = ["Various Artists"]
    asf["WM/AlbumTitle"] = ["Compilation"]
    asf.save()
    asf = ASF(path("album.wma"))
    record("album.wma", "ASF content description", first(asf["WM/AlbumArtist"]),
           first(asf["Title"]), ("Various Artists", "Compiled"), first(asf["WM/AlbumTitle"]),
           "Compilation")
    extended_only("extended.wma", [("Title", "Extended Title"), ("Author", "Extended Author")])
    asf = ASF(path("extended.wma"))
    record("extended.wma", "ASF extended content description", first(asf["Author"]),
           first(asf["Title"]), ("Extended Author", "Extended Title"))

    # Ogg FLAC (ffmpeg), and MP4 metadata under keys, as cameras write it.
    ffmpeg("song.oga", AUDIO, ["-c:a", "flac", "-f", "ogg"],
           [("artist", "Ogg Flacker"), ("title", "Paged Flac"), ("album", "Streams")])
    oga = OggFLAC(path("song.oga"))
    record("song.oga", "Ogg FLAC comment", first(oga["artist"]), first(oga["title"]),
           ("Ogg Flacker", "Paged Flac"), first(oga["album"]), "Streams")
    ffmpeg("keys.mov", VIDEO, ["-c:v", "mpeg4"],
           [("com.apple.quicktime.title", "Camera Clip"), ("com.apple.quicktime.artist", "Cam Person"),
            ("com.apple.quicktime.album", "Holiday")], ["-movflags", "use_metadata_tags"])
    tags = ffprobe_tags("keys.mov")
    record("keys.mov", "MP4 mdta keys", tags.get("com.apple.quicktime.artist", ""),
           tags.get("com.apple.quicktime.title", ""), ("Cam Person", "Camera Clip"),
           tags.get("com.apple.quicktime.album", ""), "Holiday")

    # Matroska: a track-level tag aimed at UID 0 (every track) is the song's;
    # the album-level TITLE is then the album.
    ffmpeg("uid0.mkv", VIDEO, ["-c:v", "mpeg4"])
    with open(path("tags.xml"), "w", encoding="utf-8") as xml:
        xml.write("<?xml version='1.0'?><Tags><Tag><Targets><TargetTypeValue>50</TargetTypeValue>"
                  "</Targets><Simple><Name>TITLE</Name><String>The Album</String></Simple>"
                  "<Simple><Name>ARTIST</Name><String>Album Band</String></Simple></Tag>"
                  "<Tag><Targets><TargetTypeValue>30</TargetTypeValue><TrackUID>0</TrackUID>"
                  "</Targets><Simple><Name>TITLE</Name><String>The Song</String></Simple></Tag>"
                  "</Tags>")
    subprocess.run(["mkvpropedit", "-q", path("uid0.mkv"), "--tags", "all:" + path("tags.xml")],
                   check=True)
    os.remove(path("tags.xml"))
    tags = ffprobe_tags("uid0.mkv")
    # ffprobe shows the file's tags merged, the song's TITLE last: not the album.
    record("uid0.mkv", "Matroska", tags.get("artist", ""), tags.get("title", ""),
           ("Album Band", "The Song"), "The Album", "The Album")


def extended_only(name, attributes):
    """An ASF file (ffmpeg) given an extended content description object
    holding `attributes`, Unicode strings, inside its header: as some
    writers put the title and the author there rather than in the content
    description."""
    ffmpeg(name, AUDIO, ["-c:a", "wmav2", "-b:a", "32k"])
    with open(path(name), "rb") as original:
        data = bytearray(original.read())
    def utf16(text):
        return text.encode("utf-16-le") + b"\0\0"
    body = struct.pack("<H", len(attributes)) + b"".join(
        struct.pack("<H", len(utf16(key))) + utf16(key) + struct.pack("<HH", 0, len(utf16(value))) +
        utf16(value) for key, value in attributes)
    guid = bytes.fromhex("40A4D0D207E3D21197F000A0C95EA850")
    extended = guid + struct.pack("<Q", 24 + len(body)) + body
    header_size, count = struct.unpack("<QI", data[16:28])
    data[16:28] = struct.pack("<QI", header_size + len(extended), count + 1)
    data[30:30] = extended
    with open(path(name), "wb") as out:
        out.write(data)


main()
