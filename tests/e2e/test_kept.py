"""What the game keeps between runs: the best scores, shown on the ending screen and by
`drelk2 --scores`, a damaged table set aside, a home folder that cannot keep anything, and the
remembered music and full-screen choices."""
import os
import subprocess
import time

import numpy

import drelk2_window as facts
from drelk2_player import GameError, home_environment, rms, start_playing, wait_for


def scores(drelk2, home):
    run = subprocess.run([drelk2, "--scores"], env=dict(os.environ, **home_environment(home)),
                         capture_output=True, text=True, timeout=10)
    assert run.returncode == 0, run.stderr
    return run.stdout, run.stderr


def play_to_game_over(game, window):
    """Fires round about, as fast as keys repeat, until the last ship is lost and "Game Over"
    shows in red."""
    area = facts.view_area(*window.geometry)
    firing = subprocess.Popen(["xdotool", "key", "--repeat", "3000", "--delay", "20", "space", "Left"], env=game.env)
    try:
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            field = game.grab(*area)
            if ((field[:, :, 0] > 180) & (field[:, :, 1] < 60) & (field[:, :, 2] < 60)).sum() > 200:
                return
            time.sleep(0.1)
        raise GameError("no Game Over within a minute")
    finally:
        firing.kill()
        firing.wait()


def score_line(game):
    """The ending screen's top band, where the score line lies."""
    ending = game.wait_window(role=facts.ROLE_ENDING)
    band = game.grab(ending.x, ending.y, ending.width, 36)
    game.screenshot("ending")
    return band


def test_a_game_over_is_recorded_shown_at_the_end_and_listed(start_game, drelk2, home):
    assert scores(drelk2, home)[0] == "No best scores yet.\n"
    # Forty rocks: a few shots hit before the last ship goes, within seconds.
    game = start_game("--level", "5", sound=False)
    window = start_playing(game)
    play_to_game_over(game, window)
    game.screenshot("game over")
    # Recorded when the game ended, before the player leaves.
    wait_for(lambda: scores(drelk2, home)[0] != "No best scores yet.\n", "the game over was not recorded", 5)
    listed, errors = scores(drelk2, home)
    lines = listed.splitlines()
    assert len(lines) == 1 and "level 5" in lines[0], listed
    best = int(lines[0].split()[1])
    assert best > 0 and errors == ""
    game.key("Escape")
    first_line = score_line(game)
    assert (first_line.mean(axis=2) > 200).sum() > 100, "no score line on the ending screen"
    game.key("x")
    assert game.wait_exit() == 0

    # A game left at once scores nothing: not listed, and its line names the best instead.
    game = start_game(sound=False)
    start_playing(game)
    game.key("Escape")
    second_line = score_line(game)
    assert (second_line.mean(axis=2) > 200).sum() > 100
    assert numpy.abs(first_line - second_line).mean() > 1, "the same line for a new best and a game of 0"
    game.key("x")
    assert game.wait_exit() == 0
    assert scores(drelk2, home)[0].splitlines() == lines


def test_a_damaged_table_is_set_aside_with_one_line_and_the_game_plays(start_game, drelk2, home):
    table = os.path.join(home, ".local", "share", "drelk2", "scores")
    os.makedirs(table)  # a folder where the table should be
    game = start_game(sound=False)
    start_playing(game)
    game.key("Escape")
    game.wait_window(role=facts.ROLE_ENDING)
    game.key("x")
    assert game.wait_exit() == 0
    said = [line for line in game.stderr().splitlines() if line.startswith("drelk2:")]
    assert len(said) == 1 and "best scores set aside as " + table + ".damaged-" in said[0], said
    assert os.path.isdir([os.path.join(os.path.dirname(table), n) for n in os.listdir(os.path.dirname(table))
                          if n.startswith("scores.damaged-")][0])


def test_without_a_home_folder_the_game_plays_and_says_once_that_scores_are_not_kept(start_game, home):
    gone = os.path.join(home, "gone")
    game = start_game("--level", "30", sound=False, env=home_environment(gone))
    window = start_playing(game)
    play_to_game_over(game, window)
    game.key("Escape")
    game.wait_window(role=facts.ROLE_ENDING)
    game.key("x")
    assert game.wait_exit() == 0
    said = [line for line in game.stderr().splitlines() if line.startswith("drelk2:")]
    assert said == [f"drelk2: best scores are not kept: the home folder {gone} is missing"], said
    assert not os.path.exists(gone)


def test_music_off_and_full_screen_are_remembered_and_the_list_still_opens_on_800x600(start_game):
    game = start_game(sound=False)
    start_playing(game)
    game.key("m", "F11")
    game.wait_geometry(facts.ROLE_GAME, (0, 0, *game.screen_size))
    game.key("Escape")
    game.wait_window(role=facts.ROLE_ENDING)
    game.key("x")
    assert game.wait_exit() == 0

    game = start_game()
    window = start_playing(game)
    assert window.geometry == (0, 0, *game.screen_size)
    game.key("Up")  # out of the way of the first rock: no explosion in what follows
    game.wait_sound(1.0)  # the start-up music's last buffers and the engine
    silent = game.sound(*game.wait_sound(1.0))
    game.key("m")
    game.wait_sound(0.3)  # what the device had already taken
    music = game.sound(*game.wait_sound(1.0))
    assert rms(music) > 0.003 and rms(silent) < rms(music) / 10, "the music was not remembered as off"
    # Back from full screen: the size the list opened on.
    game.key("F11")
    game.wait_geometry(facts.ROLE_GAME, (*facts.centred(game.screen_size, (800, 600)), 800, 600))
