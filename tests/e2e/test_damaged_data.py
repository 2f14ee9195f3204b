"""Damaged copies of the generated data file, and a hostile process environment. Each damaged
copy keeps a valid container with one item replaced in place; the real drelk2 either refuses
it before the start-up window (the error box, status 255) or plays through the ending screen
(status 0). Never a hang, a death by a signal, or an open of anything the data file names: the
runs go under strace, which lists every file the game opens.

Under the sanitizer build (DRELK_E2E_SANITIZED=1) the same runs go without strace, whose
tracing the leak checker cannot share, and standard error must hold no sanitizer report.
"""
import os
import random
import signal
import stat
import struct
import subprocess
import sys
import time

import pytest

import drelk2_window as facts
from drelk2_player import start_playing

SANITIZED = os.environ.get("DRELK_E2E_SANITIZED") == "1"
# A game built with the sanitizers starts and draws several times slower.
SLOW = 4 if SANITIZED else 1

# The container as drelk2-bank packs it: a 65,536-byte header with the list table, then the
# list images; a list is a 512-byte header and chunk records (256-byte header, a fixed block
# that starts with the payload's size and holds the item's ID at 260, then the payload).
HEADER_SIZE, COUNT_AT, TABLE_AT, ENTRY_SIZE = 65536, 320, 324, 276
LIST_HEADER, CHUNKS_AT, CHUNK_HEADER = 512, 332, 256
BLOCK_SIZES = {2: 272, 4: 544, 5: 276, 8: 276, 11: 272, 13: 272, 15: 272, 16: 632}
MUSICS, ENDING, MODELS, BITMAPS = 100, 400, 500, 300
MUSIC_SPLASH, MUSIC_ENDING, MUSIC_GAME = 110, 115, 120
ENDING_BACK, ENDING_FORE, BACKGROUND, SHIP = 410, 420, 310, 1


def replace_item(data, list_id, item_id, payload):
    """The data file with the payload of one item replaced; every other byte as it was."""
    count = struct.unpack_from("<i", data, COUNT_AT)[0]
    header = bytearray(data[:HEADER_SIZE])
    images = []
    for i in range(count):
        entry = TABLE_AT + i * ENTRY_SIZE
        entry_id, size, offset = (struct.unpack_from("<i", data, entry + at)[0] for at in (256, 264, 272))
        image = data[offset:offset + size]
        if entry_id == list_id:
            image = replace_in_list(image, item_id, payload)
        images.append(image)
    offset = HEADER_SIZE
    for i, image in enumerate(images):
        entry = TABLE_AT + i * ENTRY_SIZE
        struct.pack_into("<ii", header, entry + 264, len(image), 0)
        struct.pack_into("<i", header, entry + 272, offset)
        offset += len(image)
    return bytes(header) + b"".join(images)


def replace_in_list(image, item_id, payload):
    out = bytearray(image[:LIST_HEADER])
    at = LIST_HEADER
    found = False
    for _ in range(struct.unpack_from("<i", image, CHUNKS_AT)[0]):
        kind = struct.unpack_from("<i", image, at + 64)[0]
        block = at + CHUNK_HEADER
        size = struct.unpack_from("<i", image, block)[0]
        end = block + BLOCK_SIZES[kind] + size
        record = bytearray(image[at:end])
        if struct.unpack_from("<i", image, block + 260)[0] == item_id and kind != 4:
            record = record[:CHUNK_HEADER + BLOCK_SIZES[kind]] + payload
            struct.pack_into("<i", record, CHUNK_HEADER, len(payload))
            found = True
        out += record
        at = end
    assert found, f"no item {item_id}"
    return bytes(out)


def item(data, list_id, item_id):
    """One item's payload."""
    for i in range(struct.unpack_from("<i", data, COUNT_AT)[0]):
        entry = TABLE_AT + i * ENTRY_SIZE
        entry_id, size, offset = (struct.unpack_from("<i", data, entry + at)[0] for at in (256, 264, 272))
        if entry_id != list_id:
            continue
        at = offset + LIST_HEADER
        for _ in range(struct.unpack_from("<i", data, offset + CHUNKS_AT)[0]):
            kind = struct.unpack_from("<i", data, at + 64)[0]
            block = at + CHUNK_HEADER
            size = struct.unpack_from("<i", data, block)[0]
            if struct.unpack_from("<i", data, block + 260)[0] == item_id and kind != 4:
                return data[block + BLOCK_SIZES[kind]:block + BLOCK_SIZES[kind] + size]
            at = block + BLOCK_SIZES[kind] + size
    raise KeyError(item_id)


def noise(length, seed):
    return random.Random(seed).randbytes(length)


def ogg_with_damaged_audio(ogg):
    """The Ogg Vorbis file with its header pages kept and everything after them noise."""
    at = 0
    while ogg[at:at + 4] == b"OggS" and struct.unpack_from("<q", ogg, at + 6)[0] == 0:
        segments = ogg[at + 26]
        at += 27 + segments + sum(ogg[at + 27:at + 27 + segments])
    assert 0 < at < len(ogg)
    return ogg[:at] + noise(len(ogg) - at, 7)


def truncated_png(width, height):
    """A PNG signature and header claiming the size, and the start of its pixels."""
    import zlib

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", b"\x78\x9c"))


def scene(text):
    return b"#Inventor V2.1 ascii\n" + text.encode()


# What lies around the game for a model to name: a FIFO (an open would wait for a writer for
# ever), a file with something to read, and the devices that never end.
@pytest.fixture
def bait(tmp_path):
    folder = tmp_path / "bait"
    folder.mkdir()
    os.mkfifo(folder / "fifo")
    (folder / "secret.txt").write_text("not for the game\n")
    return folder


# name, damage (data, folder -> data), status, what standard error says
CASES = [
    ("a good data file", lambda d, f: d, 0, None),
    ("a model naming a FIFO",
     lambda d, f: replace_item(d, MODELS, SHIP, scene(f'Separator {{ File {{ name "{f}/fifo" }} }}')),
     255, "holds a File node"),
    ("a model naming the zero device",
     lambda d, f: replace_item(d, MODELS, SHIP, scene('Separator { Texture2 { filename "/dev/zero" } Cube { } }')),
     255, 'names "/dev/zero"'),
    ("a model naming a local file",
     lambda d, f: replace_item(d, MODELS, SHIP, scene(f'Separator {{ Texture2 {{ filename "{f}/secret.txt" }} }}')),
     255, "secret.txt"),
    ("a model naming a relative file and the random device",
     lambda d, f: replace_item(d, MODELS, SHIP, scene('Separator { Texture2 { filename "secret.txt" } '
                                                       'Image { filename "/dev/urandom" } }')),
     255, 'names "secret.txt"'),
    ("a model with a node type of its own (a library to look for)",
     lambda d, f: replace_item(d, MODELS, SHIP, scene("Separator { Zork { } Cube { } }")),
     255, "Zork"),
    ("a model with a huge image",
     lambda d, f: replace_item(d, MODELS, SHIP, scene("Separator { Texture2 { image 30000 30000 4 0 } }")),
     255, "image 30000 pixels on a side"),
    ("a random ending background",
     lambda d, f: replace_item(d, ENDING, ENDING_BACK, noise(len(item(d, ENDING, ENDING_BACK)), 1)),
     255, "ending background picture"),
    ("a random ending foreground",
     lambda d, f: replace_item(d, ENDING, ENDING_FORE, noise(len(item(d, ENDING, ENDING_FORE)), 2)),
     255, "ending foreground picture"),
    ("a truncated PNG claiming 60000 x 60000",
     lambda d, f: replace_item(d, ENDING, ENDING_FORE, truncated_png(60000, 60000)),
     255, "claims 60000 x 60000 pixels"),
    ("music with good headers and damaged audio, all three pieces",
     lambda d, f: replace_item(replace_item(replace_item(
         d, MUSICS, MUSIC_SPLASH, ogg_with_damaged_audio(item(d, MUSICS, MUSIC_SPLASH))),
         MUSICS, MUSIC_GAME, ogg_with_damaged_audio(item(d, MUSICS, MUSIC_GAME))),
         MUSICS, MUSIC_ENDING, ogg_with_damaged_audio(item(d, MUSICS, MUSIC_ENDING))),
     0, ["sound 110 of list 100", "sound 120 of list 100", "sound 115 of list 100"]),
    ("random music",
     lambda d, f: replace_item(d, MUSICS, MUSIC_ENDING, noise(len(item(d, MUSICS, MUSIC_ENDING)), 3)),
     0, ["sound 115 of list 100"]),
    ("a background of the wrong size",
     lambda d, f: replace_item(d, BITMAPS, BACKGROUND, noise(1000, 4)),
     0, ["list 300 item 310 (background texture) holds 1000 bytes"]),
]


def data_file(drelk2):
    """The generated data file: beside the game, or where the build says (the sanitizer build
    borrows the main build's)."""
    return os.environ.get("DRELK_E2E_DATA_FILE") or os.path.join(os.path.dirname(drelk2), "Drelk_II.bin")


def real_data(drelk2):
    with open(data_file(drelk2), "rb") as f:
        return f.read()


def sanitizer_reports(text):
    return [line for line in text.splitlines()
            if "Sanitizer" in line or "runtime error:" in line]


def opened_paths(log):
    """Every path the traced processes opened or tried to open."""
    paths = []
    with open(log, errors="replace") as f:
        for line in f:
            start = line.find('"')
            if "open" in line and start >= 0:
                paths.append(line[start + 1:line.find('"', start + 1)])
    return paths


def start(start_game, drelk2, folder, data_path, *wrapper):
    """drelk2 on the data file, under strace (unless sanitized) and any wrapper given."""
    command = [*wrapper, drelk2, "--data", str(data_path)]
    if SANITIZED:
        return start_game(*command[1:], exe=command[0], sound=False), None
    log = os.path.join(folder, "opens.txt")
    strace = ["-f", "-qq", "--seccomp-bpf", "-e", "trace=openat,open,openat2", "-o", log, "--", *command]
    return start_game(*strace, exe="strace", sound=False), log


def play_through(game):
    """Into the game, out through the ending screen; the exit status."""
    start_playing(game)
    game.key("Escape")
    ending = game.wait_window(role=facts.ROLE_ENDING, timeout=10 * SLOW)
    game.screenshot("ending")
    game.click(*ending.centre)
    return game.wait_exit(timeout=10 * SLOW)


@pytest.mark.parametrize("name,damage,status,said", CASES, ids=[c[0] for c in CASES])
def test_a_damaged_data_file_is_refused_at_start_or_played_through(start_game, drelk2, bait, name, damage,
                                                                    status, said):
    data_path = bait / "Drelk_II.bin"
    data_path.write_bytes(damage(real_data(drelk2), bait))
    game, log = start(start_game, drelk2, bait, data_path)
    if status == 255:
        game.wait_window(title=facts.ERROR_TITLE, timeout=10 * SLOW)
        assert not game.windows(role=facts.ROLE_STARTUP), "the start-up window showed before the error"
        game.screenshot("error box")
        game.key("Return")
        assert game.wait_exit(timeout=10 * SLOW) == 255
        errors = game.stderr()
        assert "Bad data file!" in errors and said in errors, errors
    else:
        assert play_through(game) == 0
        errors = game.stderr()
        for line in said or []:
            assert errors.count(line) == 1, errors
    assert not sanitizer_reports(game.stderr()), game.stderr()
    if log:
        # Nothing the data file names is opened: of the bait folder only the data file.
        wanted = {str(data_path)}
        opened = opened_paths(log)
        assert str(data_path) in opened, "strace saw no open of the data file"
        for path in opened:
            assert not path.startswith(str(bait)) or path in wanted, path
            assert os.path.basename(path) not in ("secret.txt", "fifo"), path
            assert path not in ("/dev/zero", "/dev/urandom") and "Zork" not in path, path


def reexec(code):
    """A wrapper that runs code on the process, then becomes the game (same process)."""
    return [sys.executable, "-c", f"import os, sys\n{code}\nos.execv(sys.argv[1], sys.argv[1:])"]


# A damaged music piece makes the game write to standard error as soon as the start-up window
# opens, and again later: each write must be dropped, not end the game.
@pytest.mark.parametrize("how", ["a pipe nobody reads", "closed"])
def test_standard_error_that_cannot_be_written_ends_nothing(start_game, drelk2, bait, how):
    data = real_data(drelk2)
    for music in (MUSIC_SPLASH, MUSIC_GAME, MUSIC_ENDING):
        data = replace_item(data, MUSICS, music, noise(2000, music))
    data_path = bait / "Drelk_II.bin"
    data_path.write_bytes(data)
    code = "r, w = os.pipe(); os.close(r); os.dup2(w, 2)" if how.startswith("a pipe") else "os.close(2)"
    game, _ = start(start_game, drelk2, bait, data_path, *reexec(code))
    assert play_through(game) == 0


def signal_in_mask(pid, number, mask):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(mask + ":"):
                return bool(int(line.split()[1], 16) & (1 << (number - 1)))
    return False


# The first thing the game does is to catch SIGTERM and SIGINT; from then on they end it with
# status 0, whether or not any window or event loop exists yet. The test waits for the handler
# itself (SigCgt), not for a neighbouring step, so that it cannot race the game's start.
@pytest.mark.parametrize("number", [signal.SIGTERM, signal.SIGINT], ids=["SIGTERM", "SIGINT"])
def test_a_signal_at_launch_ends_with_0(start_game, drelk2, number):
    game = start_game("--data", data_file(drelk2), sound=False)
    end = time.monotonic() + 10 * SLOW
    while not signal_in_mask(game.proc.pid, number, "SigCgt"):
        assert time.monotonic() < end and game.proc.poll() is None, "main never began"
        time.sleep(0.001)
    game.proc.send_signal(number)
    assert game.wait_exit(timeout=5 * SLOW) == 0


def test_a_signal_at_the_start_up_window_ends_with_0(start_game, drelk2):
    game = start_game("--data", data_file(drelk2), sound=False)
    game.wait_window(role=facts.ROLE_STARTUP, timeout=10 * SLOW)
    game.proc.send_signal(signal.SIGINT)
    assert game.wait_exit(timeout=5 * SLOW) == 0
