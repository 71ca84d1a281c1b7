#!/usr/bin/python3
"""Writes tagged media files with ffmpeg and mutagen, then reads each back
with an independent reader (mutagen, or ffprobe where mutagen has no reader
for the format) and writes manifest.tsv: what a tag reader must find.

Usage: make_media.py OUT_DIR

manifest.tsv columns: file, format, then artist and title as the oracle
read them, each as UTF-8 in hexadecimal; an empty title means the file's
tags give none.
"""
import json
import os
import subprocess
import sys

from mutagen import id3
from mutagen.asf import ASF
from mutagen.flac import FLAC
from mutagen.mp3 import MP3
from mutagen.mp4 import MP4
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


def record(name, format_name, artist, title, wanted):
    """Adds a file; `wanted` is what was written, which the oracle must agree with."""
    if (artist, title) != wanted:
        sys.exit(f"{name}: the oracle read {(artist, title)!r}, written {wanted!r}")
    manifest.append((name, format_name, artist, title))


def id3_file(name, version, encoding, artist, title, picture_first=False, album_artist=None):
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
    tags.save(path(name), v2_version=version)
    read = id3.ID3(path(name))
    oracle_artist = first(read.getall("TPE1") and read.getall("TPE1")[0].text) or first(
        read.getall("TPE2") and read.getall("TPE2")[0].text)
    oracle_title = first(read.getall("TIT2") and read.getall("TIT2")[0].text)
    record(name, f"MP3 ID3v2.{version}", oracle_artist, oracle_title,
           (artist or album_artist or "", title or ""))


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
    id3_file("v24-utf8.mp3", 4, id3.Encoding.UTF8, "Café Tacvba", "Déjà vu – en vivo")
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
    ffmpeg("info.wav", AUDIO, ["-c:a", "pcm_s16le"], [("artist", "Wave Maker"), ("title", "Sine Song")])
    tags = ffprobe_tags("info.wav")
    record("info.wav", "WAV LIST/INFO", tags.get("artist", ""), tags.get("title", ""),
           ("Wave Maker", "Sine Song"))
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

    def encoded(text):
        return text.encode("utf-8").hex() or "-"

    with open(path("manifest.tsv"), "w", encoding="ascii") as out:
        for name, format_name, artist, title in manifest:
            columns = [name, format_name or "-", encoded(artist), encoded(title)]
            out.write("\t".join(columns) + "\n")


main()
