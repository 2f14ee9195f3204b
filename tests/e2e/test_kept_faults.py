"""What the player keeps when the desktop works against the game: a full disk under the data
folder, two games ending together on one home, a FIFO wherever the game or its libraries open
a file, signals at any moment, a main thread blocked in a library, the display going away, and
a handful of file descriptors. Each case says what the player keeps and how the game ends.
"""
import errno
import os
import re
import signal
import subprocess
import threading
import time

import pytest

import drelk2_window as facts
from drelk2_player import Game, XServer, start_playing
from test_kept import play_to_game_over, scores

# Three games as an earlier run kept them.
TABLE = (b"drelk2 best scores 1\n"
         b"500 4 2024-05-01T12:30:00Z\n"
         b"300 3 2024-05-02T12:30:00Z\n"
         b"120 2 2024-05-03T12:30:00Z\n")
# The lines --stats adds on standard error.
STATS = re.compile(r"drelk2: (start-up window drawn|first game frame|[\d.]+ s played|frames at|a key on screen|"
                   r"the game ended after)")
BACKUP = b"drelk2 best scores 1\n500 4 2024-05-01T12:30:00Z\n300 3 2024-05-02T12:30:00Z\n"


def data_folder(home):
    return os.path.join(home, ".local", "share", "drelk2")


def config_folder(home):
    return os.path.join(home, ".config", "drelk2")


def seed(home, table=TABLE, backup=BACKUP):
    os.makedirs(data_folder(home), exist_ok=True)
    for name, data in (("scores", table), ("scores.bak", backup)):
        if data is not None:
            with open(os.path.join(data_folder(home), name), "wb") as f:
                f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def said(game):
    return [line for line in game.stderr().splitlines() if line.startswith("drelk2:")]


def listed(drelk2, home):
    """The games `drelk2 --scores` lists, as (score, level) pairs."""
    out, _ = scores(drelk2, home)
    return [(int(line.split()[1]), int(line.split()[3])) for line in out.splitlines() if "level" in line]


def leave(game):
    """Escape, the ending screen, any key: the way a player ends the program."""
    game.key("Escape")
    game.wait_window(role=facts.ROLE_ENDING)
    game.key("x")
    return game.wait_exit()


def start_limited(start_game, drelk2, descriptors, *args):
    """drelk2 started under `ulimit -n`: the shell sets the limit and becomes the game."""
    return start_game("-c", f'ulimit -n {descriptors} && exec "$0" "$@"', drelk2, *args, exe="/bin/sh", sound=False)


@pytest.fixture
def full_data_folder(home):
    """The data folder on a small tmpfs filled to the last byte, holding the seeded table."""
    share = os.path.join(home, ".local", "share")
    os.makedirs(share)
    if os.geteuid() != 0:
        pytest.skip("mounting a small file system needs root")
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=128k,mode=0755", "tmpfs", share],
                             capture_output=True, text=True)
    if mounted.returncode != 0:
        pytest.skip(f"no tmpfs can be mounted here: {mounted.stderr.strip()}")
    try:
        seed(home)
        with open(os.path.join(share, "filler"), "wb", buffering=0) as filler:
            for size in (65536, 4096, 1):
                try:
                    while True:
                        filler.write(b"\0" * size)
                except OSError as error:
                    assert error.errno == errno.ENOSPC
        yield data_folder(home)
    finally:
        subprocess.run(["umount", "-l", share], check=True)


def test_a_full_disk_keeps_the_table_and_its_backup_and_says_the_game_is_not_kept(start_game, drelk2, home,
                                                                                  full_data_folder):
    game = start_game("--level", "5", sound=False)
    play_to_game_over(game, start_playing(game))
    assert leave(game) == 0
    lines = said(game)
    assert len(lines) == 1 and lines[0].startswith("drelk2: best scores are not kept: ") and \
        "No space left on device" in lines[0], lines
    # The player keeps the three games, in both copies, and no temporary is left behind.
    assert read(os.path.join(full_data_folder, "scores")) == TABLE
    assert read(os.path.join(full_data_folder, "scores.bak")) == BACKUP
    assert sorted(set(os.listdir(full_data_folder)) - {"replays"}) == ["scores", "scores.bak"]
    replays = os.path.join(full_data_folder, "replays")
    assert not os.path.exists(replays) or os.listdir(replays) == [], "a replay or a temporary written on a full disk"
    assert listed(drelk2, home) == [(500, 4), (300, 3), (120, 2)]


def test_showing_the_scores_of_a_damaged_table_on_a_full_disk_writes_nothing(drelk2, home, full_data_folder):
    table = os.path.join(full_data_folder, "scores")
    os.truncate(table, len(TABLE) - 5)  # the last line cut short
    damaged = read(table)
    out, err = scores(drelk2, home)
    assert len(out.splitlines()) == 2 and "level 4" in out and "level 3" in out, out  # the whole lines
    assert err.startswith("drelk2: best scores: ") and "cut short" in err, err
    assert read(table) == damaged
    assert sorted(os.listdir(full_data_folder)) == ["scores", "scores.bak"]


def test_two_games_ending_together_on_one_home_keep_both(start_game, drelk2, home, shots):
    """Both games fire round about for a while, then both players leave at the same moment."""
    other_display = XServer()
    os.makedirs(os.path.join(shots, "other"))
    games = [start_game("--level", "5", sound=False),
             Game(drelk2, other_display.display, os.path.join(shots, "other"), ("--level", "5"), sound=False, home=home)]
    try:
        for game in games:
            start_playing(game)
        firing = [subprocess.Popen(["xdotool", "key", "--repeat", "150", "--delay", "20", "space", "Left"], env=g.env)
                  for g in games]
        for process in firing:
            process.wait()
        start = threading.Barrier(len(games))

        def leave_together(game):
            start.wait()
            game.key("Escape")

        threads = [threading.Thread(target=leave_together, args=(g,)) for g in games]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        for game in games:
            game.wait_window(role=facts.ROLE_ENDING)
            game.key("x")
            assert game.wait_exit() == 0
            assert said(game) == []
        kept = listed(drelk2, home)
        assert len(kept) == 2 and all(level == 5 for _, level in kept), kept
    finally:
        games[-1].close()
        other_display.close()


# Where a FIFO lies -> the one line said about it ("" for none). A FIFO opened for reading
# blocks until a writer comes: none may be opened so. The game plays, remembers its choices,
# keeps the seeded table, and ends normally.
FIFO_PLACES = {
    "drelk2.conf": "settings set aside as {path}.damaged-",
    "drelk2.conf.lock": "",
    "scores": "best scores set aside as {path}.damaged-",
    "scores.bak": "the best scores' backup set aside as {path}.damaged-",
    "SDL_JOYSTICK_DEVICE": "SDL_JOYSTICK_DEVICE: {path} is a FIFO, not a device; left out for this run",
    "SDL_GAMECONTROLLERCONFIG_FILE": "SDL_GAMECONTROLLERCONFIG_FILE: {path} is a FIFO, not a file; left out for this run",
    "XAUTHORITY": "XAUTHORITY: {path} is a FIFO, not a file; left out for this run",
    "XENVIRONMENT": "XENVIRONMENT: {path} is a FIFO, not a file; left out for this run",
    "QT_LOGGING_CONF": "QT_LOGGING_CONF: {path} is a FIFO, not a file; left out for this run",
    "FONTCONFIG_FILE": "FONTCONFIG_FILE: {path} is a FIFO, not a file; left out for this run",
}


@pytest.mark.parametrize("place", FIFO_PLACES)
def test_a_fifo_anywhere_the_game_opens_costs_one_line_and_the_game_plays(start_game, drelk2, home, tmp_path, place):
    seed(home, backup=TABLE if place == "scores" else BACKUP)
    os.makedirs(config_folder(home))
    variable = place.isupper()
    if variable:
        path = str(tmp_path / "fifo")
    else:
        path = os.path.join(data_folder(home) if place.startswith("scores") else config_folder(home), place)
        if os.path.exists(path):
            os.remove(path)
    os.mkfifo(path)
    game = start_game(sound=False, env={place: path} if variable else None)
    # xdotool would read the X variables itself, and block on the FIFO too.
    game.env.pop(place, None)
    start_playing(game)
    game.key("m", "F11")
    game.wait_geometry(facts.ROLE_GAME, (0, 0, *game.screen_size))
    assert leave(game) == 0
    expected = FIFO_PLACES[place].format(path=path)
    lines = said(game)
    assert (lines == [] if not expected else len(lines) == 1 and lines[0].startswith("drelk2: " + expected)), lines
    assert read(os.path.join(config_folder(home), "drelk2.conf")) == b"[General]\nmusic=false\nfullscreen=true\n"
    assert listed(drelk2, home) == [(500, 4), (300, 3), (120, 2)]


@pytest.mark.parametrize("number,moment", [(signal.SIGTERM, "start-up"), (signal.SIGHUP, "start-up"),
                                           (signal.SIGHUP, "play")], ids=["SIGTERM-start-up", "SIGHUP-start-up",
                                                                          "SIGHUP-play"])
def test_a_signal_at_the_start_up_window_or_in_play_ends_with_0(start_game, number, moment):
    game = start_game(sound=False)
    if moment == "start-up":
        game.wait_window(role=facts.ROLE_STARTUP)
    else:
        start_playing(game)
    game.proc.send_signal(number)
    assert game.wait_exit(timeout=5) == 0


def test_sigterm_ends_the_game_even_when_its_main_thread_is_blocked(start_game, home):
    """Mesa reads ~/.drirc when the first GL window is made, from the event loop of the start-up
    window: a FIFO there holds the main thread in open(), where no event loop hears a signal."""
    os.mkfifo(os.path.join(home, ".drirc"))
    game = start_game(sound=False)
    time.sleep(3)
    with open(f"/proc/{game.proc.pid}/wchan") as f:
        waiting = f.read()
    if game.windows(role=facts.ROLE_STARTUP) or waiting != "wait_for_partner":
        pytest.skip(f"this Mesa does not hold the main thread on ~/.drirc (it waits in '{waiting}')")
    sent = time.monotonic()
    game.proc.send_signal(signal.SIGTERM)
    assert game.wait_exit(timeout=10) == 0
    assert time.monotonic() - sent < 5


def test_the_display_going_away_ends_the_game_with_1(drelk2, shots):
    server = XServer()
    game = Game(drelk2, server.display, shots, ("--level", "5"), sound=False)
    try:
        start_playing(game)
        game._x.close()
        server.proc.kill()
        server.proc.wait()
        assert game.wait_exit(timeout=10) == 1
    finally:
        game.proc.kill()
        game.proc.wait()
        game._stderr.close()


@pytest.mark.parametrize("how", ["SIGTERM", "SIGHUP", "the display gone"])
def test_a_game_ended_from_outside_is_kept_with_its_replay(drelk2, home, shots, how):
    """Logging out, a closed terminal, a killed X server: the game in play is counted among the
    best and its replay kept, whole, before the program ends with its status."""
    server = XServer()
    game = Game(drelk2, server.display, shots, ("--level", "5"), sound=False, home=home)
    try:
        start_playing(game)
        # Shots round about on a crowded field: some hit within seconds.
        subprocess.run(["xdotool", "key", "--repeat", "150", "--delay", "20", "space", "Left"], env=game.env)
        if how == "the display gone":
            game._x.close()
            server.proc.kill()
            server.proc.wait()
        else:
            game.proc.send_signal(signal.SIGTERM if how == "SIGTERM" else signal.SIGHUP)
        assert game.wait_exit(timeout=10) == (1 if how == "the display gone" else 0)
    finally:
        game.proc.kill()
        game.proc.wait()
        game._stderr.close()
        if server.proc.poll() is None:
            server.close()
    sim = os.path.join(os.path.dirname(drelk2), "drelk2-sim")
    verified = subprocess.run([sim, "--replay", "last", "--verify"], capture_output=True, text=True, timeout=60,
                              env=dict(os.environ, SDL_AUDIODRIVER="dummy", HOME=home,
                                       XDG_DATA_HOME=os.path.join(home, ".local", "share")))
    assert verified.returncode == 0, verified.stderr
    score, level = (int(n) for n in verified.stdout.split()[-3::2])
    assert score > 0, "no shot hit: the case shows nothing"
    assert listed(drelk2, home) == [(score, level)]


def test_sixteen_descriptors_play_through_the_ending_screen_and_keep_the_game(start_game, drelk2, home):
    seed(home)
    game = start_limited(start_game, drelk2, 16, "--level", "5", "--stats")
    play_to_game_over(game, start_playing(game))
    game.key("Escape")
    ending = game.wait_window(role=facts.ROLE_ENDING)
    time.sleep(1)
    picture = game.grab(ending.x, ending.y, ending.width, ending.height)
    assert picture.max() > 100, "the ending screen is black"
    game.key("x")
    assert game.wait_exit() == 0
    assert not [line for line in said(game) if not STATS.match(line)], game.stderr()
    kept = listed(drelk2, home)
    assert len(kept) == 4 and (500, 4) in kept, (kept, game.stderr())


def test_twelve_descriptors_leave_a_good_table_as_it_is(start_game, drelk2, home):
    seed(home)
    game = start_limited(start_game, drelk2, 12)
    game.wait_window(role=facts.ROLE_STARTUP)
    game.proc.send_signal(signal.SIGTERM)
    assert game.wait_exit(timeout=5) == 0
    lines = [line for line in said(game) if "scores" in line]
    assert len(lines) == 1 and lines[0].endswith("Too many open files; the table is left as it is"), lines
    assert sorted(os.listdir(data_folder(home))) == ["scores", "scores.bak"]
    assert read(os.path.join(data_folder(home), "scores")) == TABLE
