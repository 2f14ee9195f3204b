"""What the start-up window reaches, driven as a player would with the keyboard alone: the keys
rebound in the controls window and played with, the best game watched from the scores window and
the player back on the start-up window, both volumes changed in the options window and heard at
once, and the demo the start-up window plays when left untouched."""
import datetime
import os
import re
import subprocess
import time

import drelk2_window as facts
from drelk2_player import home_environment, replay_folder, rms, start_playing, wait_for, wait_motion, \
    wait_picture
from test_replay import commands_of, replays, sim

GOLDEN_KEYS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "golden", "run.keys")


def settings_file(home):
    return os.path.join(home, ".config", "drelk2", "drelk2.conf")


def settings(home):
    with open(settings_file(home)) as f:
        return f.read()


def setting(home, group, key):
    """A value of the settings file as written (quotes, which keep a list's commas, taken off)."""
    current = None
    for line in settings(home).splitlines():
        if line.startswith("["):
            current = line.strip("[]")
        elif current == group and line.split("=", 1)[0] == key:
            return line.split("=", 1)[1].strip('"')
    return None


def keep_a_game(drelk2, home, ticks=900):
    """A game of the golden run's keys, kept as the game keeps one: its replay on the shelf and its
    line in the best scores. Returns (score, level)."""
    os.makedirs(replay_folder(home))
    recorded = os.path.join(replay_folder(home), "recording")
    run = sim(drelk2, home, "--keys", GOLDEN_KEYS, "--ticks", str(ticks), "--record", recorded)
    assert run.returncode == 0, run.stderr
    last = run.stdout.splitlines()[-1]
    score, level = (int(re.search(rf'"{name}":(\d+)', last).group(1)) for name in ("score", "level"))
    ended = datetime.datetime(2025, 6, 1, 12, 0, 0, tzinfo=datetime.timezone.utc)
    os.rename(recorded, os.path.join(replay_folder(home),
                                     f"{ended:%Y%m%d-%H%M%S}-score-{score}-level-{level}.drelk2-replay"))
    with open(os.path.join(home, ".local", "share", "drelk2", "scores"), "w") as f:
        f.write(f"drelk2 best scores 1\n{score} {level} {ended:%Y-%m-%dT%H:%M:%SZ}\n")
    return score, level


def snapshot(folder):
    """Every file under a folder with its size and time of change."""
    found = {}
    for parent, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(parent, name)
            status = os.stat(path)
            found[os.path.relpath(path, folder)] = (status.st_size, status.st_mtime_ns)
    return found


def help_keys(drelk2, home):
    run = subprocess.run([drelk2, "--help"], env=dict(os.environ, **home_environment(home)),
                         capture_output=True, text=True, timeout=10)
    assert run.returncode == 0, run.stderr
    return run.stdout, run.stderr


def test_fire_rebound_in_the_controls_window_with_the_keyboard_alone_fires_and_is_kept(start_game, drelk2, home):
    game = start_game(sound=False)
    game.wait_window(role=facts.ROLE_STARTUP)
    game.key("alt+k")
    controls = game.wait_window(role=facts.ROLE_CONTROLS)
    game.screenshot("controls")
    # Down to fire, Enter, then the new key; Escape closes the window.
    game.key("Down", "Down", "Down", "Return")
    game.screenshot("waiting for a key")
    game.key("Control_L")
    game.screenshot("fire on Ctrl")
    game.key("Escape")
    wait_for(lambda: not game.windows(role=facts.ROLE_CONTROLS), "the controls window did not close", 5)
    assert controls.width > 0
    assert setting(home, "keys", "fire") == "Ctrl, Pad A"

    start_playing(game)
    game.key("Control_L", "Control_L", "space", "Control_L", delay_ms=80)
    game.key(facts.KEYS["leave"])
    game.wait_window(role=facts.ROLE_ENDING)
    game.key("x")
    assert game.wait_exit() == 0
    # Ctrl fired three times; Space, no longer fire's, did nothing.
    assert commands_of(replays(home)[0]) == ["fire"] * 3
    out, errors = help_keys(drelk2, home)
    assert re.search(r"^  Ctrl, Pad A +fire$", out, re.MULTILINE), out
    assert errors == ""
    # A line for no command is named, in --help as when the game starts.
    with open(settings_file(home), "a") as f:
        f.write("warp=W\n")
    assert "keys/warp: not a command" in help_keys(drelk2, home)[1]


def test_the_best_game_is_watched_from_the_scores_window_and_the_volumes_are_set_and_kept(start_game, drelk2, home):
    score, level = keep_a_game(drelk2, home)
    kept = snapshot(os.path.join(home, ".local", "share", "drelk2"))
    game = start_game("--stats", sound=True, env={"DRELK2_ATTRACT_SECONDS": "600"})
    game.wait_window(role=facts.ROLE_STARTUP)
    game.key("alt+b")
    game.wait_window(role=facts.ROLE_SCORES)
    game.screenshot("best scores")
    game.key("Return")
    window = wait_picture(game, game.wait_window(role=facts.ROLE_GAME))
    game.screenshot("watching the best game")
    game.key(*[facts.KEYS["faster"]] * 3)  # eight times as fast
    game.wait_window(role=facts.ROLE_ENDING, timeout=30)
    game.key("x")
    splash = game.wait_window(role=facts.ROLE_STARTUP)
    game.screenshot("back on the start-up window")
    assert game.proc.poll() is None
    assert not game.windows(role=facts.ROLE_GAME)
    assert window.width == 800

    # The music plays again; both volumes down, the music heard quieter at once.
    start, end = game.wait_sound(1.0)
    before = rms(game.sound(start, end))
    assert before > 0.002, before
    game.key("alt+o")
    game.wait_window(role=facts.ROLE_OPTIONS)
    game.key("Tab", *["Left"] * 16)  # the music's volume: 100 to 20
    game.key("Tab", *["Left"] * 10)  # the effects': 100 to 50
    game.screenshot("options")
    start, end = game.wait_sound(1.0)
    after = rms(game.sound(start, end))
    assert after < before * 0.4, (before, after)
    game.key("Escape")
    wait_for(lambda: not game.windows(role=facts.ROLE_OPTIONS), "the options window did not close", 5)
    assert (setting(home, "General", "music_volume"), setting(home, "General", "effects_volume")) == ("20", "50")
    game.key("alt+e")
    assert game.wait_exit() == 0
    assert f"ended after" in game.stderr() and f"score {score} level {level}" in game.stderr()
    # Watching keeps nothing: no score, no replay.
    assert snapshot(os.path.join(home, ".local", "share", "drelk2")) == kept
    assert splash.width == facts.STARTUP_SIZE[0]


def test_the_demo_starts_after_30_seconds_untouched_returns_on_a_key_and_keeps_nothing(start_game, home):
    game = start_game(sound=False)
    splash = game.wait_window(role=facts.ROLE_STARTUP)
    shown = time.monotonic()
    # The size list set to 1024x768 before the wait: the start-up window comes back as it was.
    game.key("Tab", "Down")
    touched = time.monotonic()
    demo = wait_picture(game, game.wait_window(role=facts.ROLE_GAME, timeout=45))
    waited = time.monotonic() - touched
    assert 29 <= waited <= 36, waited
    assert shown < touched
    game.screenshot("demo")
    status = game.grab(demo.x, demo.y + demo.height - facts.BAR_HEIGHT, demo.width, facts.BAR_HEIGHT)
    assert (status.mean(axis=2) > 200).sum() > 50, "no status line"
    wait_motion(game, facts.view_area(*demo.geometry), moving=True)
    kept = snapshot(home)
    game.key("x")
    again = game.wait_window(role=facts.ROLE_STARTUP, timeout=3)
    assert not game.windows(role=facts.ROLE_GAME)
    assert again.geometry == splash.geometry
    assert snapshot(home) == kept, "the demo kept something"
    assert not os.path.exists(replay_folder(home))
    game.key("alt+s")
    window = wait_picture(game, game.wait_window(role=facts.ROLE_GAME))
    assert (window.width, window.height) == (1024, 768)


def test_the_demo_is_silent_with_the_music_off_a_click_returns_and_it_can_be_switched_off(start_game, home):
    os.makedirs(os.path.dirname(settings_file(home)))
    with open(settings_file(home), "w") as f:
        f.write("[General]\nmusic=false\n")
    game = start_game(sound=True, env={"DRELK2_ATTRACT_SECONDS": "2"})
    game.wait_window(role=facts.ROLE_STARTUP)
    demo = wait_picture(game, game.wait_window(role=facts.ROLE_GAME, timeout=10))
    start, end = game.wait_sound(1.5)
    assert rms(game.sound(start, end)) == 0.0
    game.click(*demo.centre)
    game.wait_window(role=facts.ROLE_STARTUP, timeout=3)
    # Off in the options: no demo however long the window is left.
    game.key("alt+o")
    game.wait_window(role=facts.ROLE_OPTIONS)
    game.key("alt+i")
    time.sleep(0.3)  # a mnemonic presses its button a moment later
    game.key("Escape")
    wait_for(lambda: not game.windows(role=facts.ROLE_OPTIONS), "the options window did not close", 5)
    assert setting(home, "General", "attract") == "false"
    time.sleep(4)
    assert not game.windows(role=facts.ROLE_GAME)
    game.key("Escape")
    assert game.wait_exit() == 0
    assert "drelk2:" not in game.stderr()
