"""The game window on the player's desktop: scaled screens, screens smaller and larger than the
window, full screen, resizes from outside, another window taking the focus, minimising, and
views uncovered or mapped again while nothing moves."""
import os
import re
import time

import numpy
import pytest

import drelk2_window as facts
from drelk2_player import Game, GameError, XServer, frame_motion, start_playing, wait_motion, wait_picture

SCALED_SCREEN_SIZE = (2560, 1600)
# The ways a desktop scales its applications by two, with the screen each needs.
SCALINGS = {
    "QT_SCALE_FACTOR": ({"QT_SCALE_FACTOR": "2"}, None),
    "QT_SCREEN_SCALE_FACTORS": ({"QT_SCREEN_SCALE_FACTORS": "2"}, None),
    "QT_AUTO_SCREEN_SCALE_FACTOR on a 192 dpi screen": ({"QT_AUTO_SCREEN_SCALE_FACTOR": "1"}, 192),
}


def blocks(image, size):
    """The image as the means of its size x size blocks: a picture compared for what it shows."""
    height, width = image.shape[0] // size * size, image.shape[1] // size * size
    return image[:height, :width].reshape(height // size, size, width // size, size, 3).mean(axis=(1, 3))


def quarters(image):
    rows, columns = image.shape[0] // 2, image.shape[1] // 2
    return image[:rows, :columns], image[:rows, columns:], image[rows:, :columns], image[rows:, columns:]


def still(game, area, seconds=1.0):
    """True when the area shows the same picture `seconds` apart."""
    first = game.grab(*area)
    time.sleep(seconds)
    return (game.grab(*area) == first).all()


def start_paused(game):
    """Into the game and paused at once, so that two runs show nearly the same moment."""
    game.wait_window(role=facts.ROLE_STARTUP)
    game.key("alt+s")
    deadline = time.monotonic() + 10
    while not game.windows(role=facts.ROLE_GAME):
        if time.monotonic() > deadline:
            raise GameError("no game window")
        time.sleep(0.01)
    game.key("p")
    return wait_picture(game, game.windows(role=facts.ROLE_GAME)[0])


def field_of(game, window, full_screen=False):
    return facts.view_area(*window.geometry, scale=game.scale, full_screen=full_screen)


@pytest.mark.parametrize("scaling", SCALINGS)
def test_a_scaled_screen_shows_the_windows_at_their_size_and_the_whole_field(drelk2, shots, home, scaling):
    env, dpi = SCALINGS[scaling]
    server = XServer(SCALED_SCREEN_SIZE, dpi=dpi)
    pictures = {}
    try:
        for scale in (1, 2):
            game = Game(drelk2, server.display, shots, sound=False, home=home, env=env if scale == 2 else None,
                        scale=scale)
            try:
                splash = game.wait_window(role=facts.ROLE_STARTUP)
                assert (splash.width, splash.height) == tuple(scale * n for n in facts.STARTUP_SIZE)
                left, top, width, height = (scale * n for n in facts.STARTUP_PICTURE)
                picture = game.screenshot(f"start-up at scale {scale}")[splash.y + top:splash.y + top + height,
                                                                          splash.x + left:splash.x + left + width]
                pictures[scale, "start-up"] = blocks(picture, 2 * scale)
                window = start_paused(game)
                assert (window.width, window.height) == (800 * scale, 600 * scale)
                assert (window.x, window.y) == facts.centred(game.screen_size, (800 * scale, 600 * scale))
                left, top, width, height = field_of(game, window)
                image = game.screenshot(f"paused at scale {scale}")
                pictures[scale, "field"] = blocks(image[top:top + height, left:left + width], 8 * scale)
                game.key("Escape")
                ending = game.wait_window(role=facts.ROLE_ENDING)
                assert (ending.width, ending.height) == tuple(scale * n for n in facts.ENDING_SIZE)
                image = game.screenshot(f"ending at scale {scale}")
                pictures[scale, "ending"] = image[ending.y:ending.y + ending.height, ending.x:ending.x + ending.width]
                game.key("x")
                assert game.wait_exit() == 0
            finally:
                game.close()
    finally:
        server.close()
    # The field at scale 2 is the field at scale 1, twice as fine: stars, rocks, ship and
    # counters in the same places (the rocks moved a little before the pause).
    field1, field2 = pictures[1, "field"], pictures[2, "field"]
    assert field1.shape == field2.shape
    # Drawn to its edges at either scale: every quarter of the view has its stars.
    for field in (field1, field2):
        assert min(quarter.mean() for quarter in quarters(field)) > 5, "a quarter of the view is black"
    difference = numpy.abs(field1 - field2).mean()
    likeness = numpy.corrcoef(field1.ravel(), field2.ravel())[0, 1]
    assert difference < 6 and likeness > 0.8, f"the field at scale 2 is not the field at scale 1: {difference}, {likeness}"
    assert numpy.abs(pictures[1, "start-up"] - pictures[2, "start-up"]).mean() < 8
    # The ending screen fills its window: no black quarter.
    assert min(quarter.mean() for quarter in quarters(pictures[2, "ending"])) > 15, \
        "the ending screen does not fill its window"


@pytest.mark.parametrize("screen", [{"size": (1024, 768)}])
def test_a_window_larger_than_the_screen_opens_full_screen_with_its_counters_in_sight(start_game):
    game = start_game(sound=False)
    window = start_playing(game, "1280x1024")
    assert window.geometry == (0, 0, 1024, 768)
    image = game.screenshot("1280x1024 on 1024x768")
    area = field_of(game, window, full_screen=True)
    for x0, x1 in ((-21, -14), (-2, 5), (16, 23)):  # ships, level, score
        (sx0, sy), (sx1, _) = facts.to_screen(area, x0, -16, 10), facts.to_screen(area, x1, -16, 10)
        assert (image[sy - 16:sy + 4, sx0:sx1].mean(axis=2) > 200).sum() > 25, f"no counter near x = {x0}"
    # No smaller window to go back to.
    game.key("F11")
    time.sleep(0.5)
    assert game.windows(role=facts.ROLE_GAME)[0].geometry == (0, 0, 1024, 768)


def bars_and_view(game, window, image):
    """The field's part of a full-screen window and what lies outside it between the two bars."""
    left, top, width, height = field_of(game, window, full_screen=True)
    bar = facts.BAR_HEIGHT
    between = image[window.y + bar:window.y + window.height - bar, window.x:window.x + window.width].copy()
    view = image[top:top + height, left:left + width].copy()
    between[top - window.y - bar:top - window.y - bar + height, left - window.x:left - window.x + width] = 0
    return view, between


@pytest.mark.parametrize("screen", [{"size": (1280, 1024)}])
def test_f11_fills_the_screen_keeping_the_field_in_sight_and_f11_brings_the_window_back(start_game):
    game = start_game(sound=False)
    window = start_playing(game)
    game.key("F11")
    full = game.wait_geometry(facts.ROLE_GAME, (0, 0, 1280, 1024))
    image = game.screenshot("full screen")
    view, outside = bars_and_view(game, full, image)
    # The view keeps the field's shape: black bands above and below it, the field in between.
    assert abs(view.shape[1] / view.shape[0] - facts.FIELD_ASPECT) < 0.01
    assert view.shape[0] < 1024 - 2 * facts.BAR_HEIGHT - 60
    assert outside.max() < 10, "the bands beside the field are not black"
    assert (view.mean(axis=2) > 150).sum() > 300, "no starfield in full screen"
    # The title and status bars stay.
    assert (image[:facts.BAR_HEIGHT].mean(axis=2) > 200).sum() > 50
    assert (image[1024 - facts.BAR_HEIGHT:].mean(axis=2) > 200).sum() > 300
    game.key("F11")
    back = game.wait_geometry(facts.ROLE_GAME, window.geometry)
    wait_picture(game, back)
    game.screenshot("back to 800x600")


@pytest.mark.parametrize("screen", [{"size": (1920, 1080)}])
def test_fullscreen_option_starts_in_full_screen_with_bars_beside_the_field(start_game):
    game = start_game("--fullscreen", sound=False)
    window = start_playing(game, "1024x768")
    assert window.geometry == (0, 0, 1920, 1080)
    view, outside = bars_and_view(game, window, game.screenshot("--fullscreen at 1920x1080"))
    assert abs(view.shape[1] / view.shape[0] - facts.FIELD_ASPECT) < 0.01
    assert view.shape[1] < 1920 - 300
    assert outside.max() < 10
    game.key("F11")
    game.wait_geometry(facts.ROLE_GAME, (448, 156, 1024, 768))


def test_the_window_takes_its_size_back_when_resized_from_outside(start_game):
    game = start_game(sound=False)
    window = start_playing(game)
    for size in ((640, 480), (1000, 700)):
        game.resize_from_outside(window, *size)
        game.wait_geometry(facts.ROLE_GAME, window.geometry, timeout=2.0)
    game.key("F11")
    full = game.wait_geometry(facts.ROLE_GAME, (0, 0, 1280, 1024))
    game.resize_from_outside(full, 900, 700)
    game.wait_geometry(facts.ROLE_GAME, full.geometry, timeout=2.0)


def test_another_window_taking_the_focus_pauses_the_game_until_p(start_game):
    game = start_game(sound=False)
    window = start_playing(game)
    area = field_of(game, window)
    assert not still(game, area, 0.3), "the game does not run"
    other = game.cover(0, 0, 100, 100)
    game.focus(other)
    wait_motion(game, area, moving=False)
    assert still(game, area), "the game runs on without the player"
    game.screenshot("paused while away")
    # Back in the game window, it waits for P, with the music.
    game.focus(window)
    assert still(game, area), "the game resumed by itself"
    game.key("p")
    wait_motion(game, area, moving=True)


def test_minimising_pauses_and_the_view_comes_back_drawn(start_game):
    game = start_game(sound=False)
    window = start_playing(game)
    area = field_of(game, window)
    game.minimise(window)
    time.sleep(0.5)
    game.unminimise(window)
    time.sleep(0.3)
    shown = game.grab(*area)
    game.screenshot("minimised and back")
    assert (shown.mean(axis=2) > 150).sum() > 200, "the view was not drawn again"
    assert still(game, area), "the game ran on while minimised"
    game.key("p")
    assert not still(game, area, 0.3)


def test_a_view_uncovered_while_paused_is_drawn_again_within_a_frame(start_game):
    game = start_game(sound=False)
    window = start_playing(game)
    area = field_of(game, window)
    game.key("p")
    time.sleep(0.2)
    before = game.grab(*area)
    cover = game.cover(*area, colour=0xff00ff)
    time.sleep(0.2)
    covered = game.grab(*area)
    assert (covered == [255, 0, 255]).all(axis=2).mean() > 0.99
    cover.remove()
    time.sleep(0.1)
    after = game.grab(*area)
    game.screenshot("uncovered while paused")
    assert (after == before).all(axis=2).mean() > 0.99, "the uncovered view was not drawn again"


def test_game_over_and_waiting_for_a_ship_are_drawn_again_when_uncovered(start_game):
    # A crowded level loses the ships within seconds; the view is covered and uncovered in
    # whatever state it is in, and drawn again each time.
    game = start_game("--level", "30", sound=False)
    window = start_playing(game)
    area = field_of(game, window)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        cover = game.cover(*area, colour=0xff00ff)
        time.sleep(0.1)
        cover.remove()
        time.sleep(0.1)
        magenta = (game.grab(*area) == [255, 0, 255]).all(axis=2).mean()
        assert magenta < 0.01, "the uncovered view was not drawn again"
        red = game.grab(*area)
        if ((red[:, :, 0] > 180) & (red[:, :, 1] < 60) & (red[:, :, 2] < 60)).sum() > 200:
            game.screenshot("game over uncovered")
            return
    raise GameError("no Game Over within a minute")


def test_the_rocks_move_evenly_from_frame_to_frame(start_game, shots):
    """Measured from what the window draws: for every frame it draws, the game writes the places
    the rocks' transforms show (DRELK2_FRAME_TRACE). A drifting rock must move by its own speed
    times the frame's time, frame after frame, not by one tick's motion or two."""
    trace = os.path.join(shots, "frames.txt")
    game = start_game("--stats", sound=False, env={"DRELK2_FRAME_TRACE": trace})
    start_playing(game)
    time.sleep(3)
    game.proc.terminate()
    assert game.wait_exit() == 0
    motion = frame_motion(trace, skip_frames=30)
    assert motion["frames"] > 100, motion
    # Frames across which the game dropped ticks (a timer event late by 50 ms, on a busy machine)
    # slow the game on purpose; every other frame moves the rocks at their speed.
    assert motion["steady_share_undropped"] > 0.95, motion
    # Frames showing about half the motion of the others (27% of them before frames were drawn
    # between ticks) are left only where a busy machine delays a frame and hurries the next.
    assert motion["slow_share"] < 0.2, motion


def test_a_cap_on_frames_holds_the_game_to_it(start_game):
    game = start_game("--max-fps", "30", "--stats", sound=False)
    start_playing(game)
    time.sleep(3)
    game.proc.terminate()
    assert game.wait_exit() == 0
    played = re.search(r"\(([\d.]+) a second\), (\d+) frames \(([\d.]+) a second\)", game.stderr())
    assert played, game.stderr()
    assert float(played.group(1)) > 90, "the ticks slowed with the frames"
    assert 25 <= float(played.group(3)) <= 31, game.stderr()
