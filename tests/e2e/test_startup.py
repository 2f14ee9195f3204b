"""The start-up window, leaving from it, and a data file the game cannot use."""
import os
import shutil

import pytest

import drelk2_window as facts
from drelk2_player import home_environment, start_playing


@pytest.mark.parametrize("leave", ["button", "alt+e", "Escape", "close request"])
def test_leaving_the_start_up_window_ends_with_0_and_no_game_window(start_game, leave):
    game = start_game(sound=False)
    splash = game.wait_window(role=facts.ROLE_STARTUP)
    assert (splash.width, splash.height) == facts.STARTUP_SIZE
    assert (splash.x, splash.y) == facts.centred(game.screen_size, facts.STARTUP_SIZE)
    assert game.windows(title=facts.TITLE)[0].wid == splash.wid
    left, top, width, height = facts.STARTUP_PICTURE
    picture = game.screenshot("start-up")[splash.y + top:splash.y + top + height, splash.x + left:splash.x + left + width]
    assert picture.mean() > 25 and picture.std() > 25, "the start-up picture is not drawn"
    if leave == "button":
        game.click(splash.x + 302 + 37, splash.y + 223 + 12)
    elif leave == "close request":
        game.request_close(splash)
    else:
        game.key(leave)
    assert game.wait_exit() == 0
    assert not game.windows(role=facts.ROLE_GAME)
    assert "drelk2:" not in game.stderr()


def test_start_without_a_choice_plays_at_800_by_600(start_game):
    game = start_game(sound=False)
    window = start_playing(game)
    assert (window.width, window.height) == (800, 600)
    assert (window.x, window.y) == facts.centred(game.screen_size, (800, 600))


def copy_game(drelk2, folder, data=None):
    """The game alone in a folder of its own, with the given data file beside it (or none)."""
    exe = os.path.join(folder, "drelk2")
    shutil.copy(drelk2, exe)
    if data is not None:
        with open(os.path.join(folder, "Drelk_II.bin"), "wb") as f:
            f.write(data)
    return exe


def real_data(drelk2):
    with open(os.path.join(os.path.dirname(drelk2), "Drelk_II.bin"), "rb") as f:
        return f.read()


@pytest.mark.parametrize("damage", ["missing", "truncated", "wrong signature", "empty"])
def test_a_bad_data_file_shows_the_error_box_and_ends_with_255(start_game, drelk2, shots, tmp_path, damage):
    data = None if damage == "missing" else real_data(drelk2)
    if damage == "truncated":
        data = data[:len(data) // 2]
    elif damage == "wrong signature":
        data = b"XXXX" + data[4:]
    elif damage == "empty":
        data = b""
    game = start_game(exe=copy_game(drelk2, str(tmp_path), data), sound=False)
    box = game.wait_window(title=facts.ERROR_TITLE)
    game.screenshot("error box")
    assert not game.windows(role=facts.ROLE_STARTUP)
    game.key("x")
    assert game.wait_exit() == 255
    errors = game.stderr()
    assert "Bad data file!" in errors
    assert "Drelk_II.bin" in errors
    assert box.width > 0


def test_options_answer_without_a_display(drelk2, home):
    import subprocess
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env.update(home_environment(home))
    help_run = subprocess.run([drelk2, "--help"], env=env, capture_output=True, text=True, timeout=10)
    assert help_run.returncode == 0 and "--level" in help_run.stdout and "--data" in help_run.stdout
    version = subprocess.run([drelk2, "--version"], env=env, capture_output=True, text=True, timeout=10)
    assert version.returncode == 0 and version.stdout.startswith("drelk2 ")
    scores = subprocess.run([drelk2, "--scores"], env=env, capture_output=True, text=True, timeout=10)
    assert (scores.returncode, scores.stdout, scores.stderr) == (0, "No best scores yet.\n", "")
    for args, status in ([[], 1], [["--level", "0"], 2], [["--level", "x"], 2], [["--bogus"], 2], [["extra"], 2]):
        run = subprocess.run([drelk2, *args], env=env, capture_output=True, text=True, timeout=10)
        assert run.returncode == status, (args, run.stderr)
        assert len(run.stderr.strip().splitlines()) == 1, run.stderr
