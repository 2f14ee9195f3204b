"""Every game is recorded and can be seen again: a game played in the real window (turning,
thrust, fire, a pause, the music, the focus lost and back, full screen, ships lost until the game
is over) is verified headless by drelk2-sim, which finds the score the game ended with, and plays
in the window again, as it was played, to its ending screen."""
import glob
import json
import os
import re
import subprocess
import time

import drelk2_window as facts
from drelk2_player import home_environment, replay_folder, play_every_way, start_playing, wait_picture


def sim(drelk2, home, *args):
    """drelk2-sim beside the game, on the player's home folder."""
    exe = os.path.join(os.path.dirname(drelk2), "drelk2-sim")
    env = dict(os.environ, SDL_AUDIODRIVER="dummy", **home_environment(home))
    return subprocess.run([exe, *args], env=env, capture_output=True, text=True, timeout=120)


def replays(home):
    return glob.glob(os.path.join(replay_folder(home), "*.drelk2-replay"))


COMMANDS = ("turn_left", "turn_right", "thrust", "fire", "pause", "music")


def commands_of(path):
    """The commands a replay file holds, by name, in order: 104 bytes of header, then each command
    a LEB128 number, 8 x (ticks since the last) + command."""
    with open(path, "rb") as f:
        data = f.read()
    count = int.from_bytes(data[88:92], "little")
    at, names = 104, []
    for _ in range(count):
        number, shift = 0, 0
        while True:
            byte = data[at]
            at += 1
            number |= (byte & 0x7f) << shift
            shift += 7
            if not byte & 0x80:
                break
        names.append(COMMANDS[number & 7])
    return names


def ended_with(game):
    """(score, level) from the game's own --stats report."""
    match = re.search(r"ended after (\d+) ticks with score (\d+) level (\d+)", game.stderr())
    assert match, game.stderr()
    return int(match.group(2)), int(match.group(3))


def test_a_game_played_in_the_window_replays_the_same_headless_and_in_the_window(start_game, drelk2, home):
    game = start_game("--level", "4", "--stats", sound=False)
    window = start_playing(game)
    play_every_way(game, window, replays)
    game.key(facts.KEYS["leave"])
    game.wait_window(role=facts.ROLE_ENDING)
    game.key("x")
    assert game.wait_exit() == 0
    score, level = ended_with(game)
    assert score > 0
    assert len(replays(home)) == 1

    verified = sim(drelk2, home, "--replay", "last", "--verify")
    assert verified.returncode == 0, verified.stderr
    assert verified.stdout.splitlines()[-1].endswith(f"score {score} level {level}"), verified.stdout
    # What the replay holds: every kind of command (the pause of the player away among the
    # pauses), and the game they made, to its last ship.
    commands = commands_of(replays(home)[0])
    assert commands.count("pause") == 4 and commands.count("music") == 2, commands
    assert set(commands) == set(COMMANDS)
    states = [json.loads(line) for line in sim(drelk2, home, "--replay", "last", "--every", "50").stdout.splitlines()]
    assert any(state["ships"] == 2 for state in states) and states[-1]["ships"] == 0
    assert states[-1]["score"] == score

    # Played in the window as it was played, to the same ending.
    shown = start_game("--replay", "last", "--stats", sound=False)
    replay_window = wait_picture(shown, shown.wait_window(role=facts.ROLE_GAME))
    status = shown.grab(replay_window.x, replay_window.y + replay_window.height - facts.BAR_HEIGHT,
                        replay_window.width, facts.BAR_HEIGHT)
    shown.screenshot("replay playing")
    assert (status.mean(axis=2) > 200).sum() > 100, "no status line"
    shown.key(facts.KEYS["faster"], facts.KEYS["faster"])  # four times as fast
    shown.wait_window(role=facts.ROLE_ENDING, timeout=60)
    shown.screenshot("replay's ending")
    shown.key("x")
    assert shown.wait_exit() == 0
    assert ended_with(shown) == (score, level)
    assert len(replays(home)) == 1, "playing a replay recorded another"


def test_a_replay_that_cannot_be_played_is_refused_with_one_line(drelk2, home, tmp_path):
    game_file = tmp_path / "game.drelk2-replay"
    recorded = sim(drelk2, home, "--ticks", "150", "--record", str(game_file))
    assert recorded.returncode == 0, recorded.stderr
    good = game_file.read_bytes()
    other_data = bytearray(good)
    other_data[40] ^= 1  # inside the data file's SHA-256
    cut = tmp_path / "cut.drelk2-replay"
    cut.write_bytes(good[:-20])
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    garbled = tmp_path / "garbled.drelk2-replay"
    garbled.write_bytes(bytes(other_data))
    for name, reason in ((cut, "cut short"), (fifo, "not a regular file"), (tmp_path, "not a regular file"),
                         ("/dev/zero", "not a regular file"), (garbled, "checksum")):
        run = subprocess.run([drelk2, "--replay", str(name)], env=dict(os.environ, **home_environment(home)),
                             capture_output=True, text=True, timeout=10)
        assert run.returncode == 3, (name, run.stderr)
        lines = run.stderr.splitlines()
        assert len(lines) == 1 and reason in lines[0], (name, lines)
    nothing = subprocess.run([drelk2, "--replay", "last"], env=dict(os.environ, **home_environment(home)),
                             capture_output=True, text=True, timeout=10)
    assert nothing.returncode == 3 and "no replay kept" in nothing.stderr


def reseal(data):
    """The replay's own checksum made good again: FNV-1a, 64 bits, of every byte before it."""
    digest = 0xcbf29ce484222325
    for byte in data[:-8]:
        digest = ((digest ^ byte) * 0x100000001b3) & 0xffffffffffffffff
    return bytes(data[:-8]) + digest.to_bytes(8, "little")


def test_a_replay_of_another_data_file_is_refused_before_any_window(start_game, drelk2, home, tmp_path):
    game_file = tmp_path / "game.drelk2-replay"
    assert sim(drelk2, home, "--ticks", "150", "--record", str(game_file)).returncode == 0
    other = bytearray(game_file.read_bytes())
    other[40] ^= 1  # inside the data file's SHA-256
    game_file.write_bytes(reseal(other))
    game = start_game("--replay", str(game_file), sound=False)
    assert game.wait_exit() == 3
    lines = game.stderr().splitlines()
    assert len(lines) == 1 and "recorded with another data file" in lines[0], lines
    assert not game.windows(title=facts.TITLE)


def test_keys_rebound_in_the_settings_file_give_their_commands(start_game, home):
    settings = os.path.join(home, ".config", "drelk2")
    os.makedirs(settings)
    with open(os.path.join(settings, "drelk2.conf"), "w") as f:
        f.write("[keys]\nfire=Ctrl\nmusic=Warp\n")
    game = start_game(sound=False)
    start_playing(game)
    game.key("Control_L", "Control_L", "space", "m")
    game.key(facts.KEYS["leave"])
    game.wait_window(role=facts.ROLE_ENDING)
    game.key("x")
    assert game.wait_exit() == 0
    said = [line for line in game.stderr().splitlines() if line.startswith("drelk2:")]
    assert said == ["drelk2: settings: keys/music: 'Warp' is not a key or a pad button; M kept"], said
    assert commands_of(replays(home)[0]) == ["fire", "fire", "music"]
