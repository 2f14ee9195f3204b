"""Playing: the window, the picture, the keys, pause, music, leaving, signals."""
import re
import signal
import subprocess
import time

import numpy

import drelk2_window as facts
from drelk2_player import rms, start_playing, wait_motion


def viewport(window):
    return facts.view_area(*window.geometry)


def to_screen(window, x, y, z=0.0):
    return facts.to_screen(viewport(window), x, y, z)


def patch(image, centre, radius):
    x, y = centre
    return image[y - radius:y + radius + 1, x - radius:x + radius + 1]


def test_the_game_window_shows_the_field_the_ship_the_rocks_and_the_counters(start_game):
    game = start_game(sound=False)
    window = start_playing(game, "1024x768")
    assert (window.width, window.height) == (1024, 768)
    assert (window.x, window.y) == facts.centred(game.screen_size, (1024, 768))
    image = game.screenshot("level 1")
    left, top, width, height = viewport(window)
    field = image[top:top + height, left:left + width]
    brightness = field.mean(axis=2)
    # A dark starfield: mostly dark, with many small bright stars.
    assert numpy.median(brightness) < 60
    assert (brightness > 150).sum() > 200
    # The ship, light grey and red, at the centre.
    ship = patch(image, to_screen(window, 0, 0), 14).mean(axis=2)
    assert (ship > 120).sum() > 20
    # Textured rocks: warmer than the bluish sky (more red than blue), lit, with texture.
    rock = (field[:, :, 0] - field[:, :, 2] > 5) & (brightness > 50) & (brightness < 220)
    assert rock.sum() > 8 * 500, "fewer rock pixels than eight rocks"
    assert brightness[rock].std() > 8, "the rocks look untextured"
    # The three counters near the bottom edge: ships at the left, level in the middle, score at the right.
    for x0, x1 in ((-21, -14), (-2, 5), (16, 23)):
        (sx0, sy), (sx1, _) = to_screen(window, x0, -16, 10), to_screen(window, x1, -16, 10)
        text = image[sy - 20:sy + 4, sx0:sx1].mean(axis=2)
        assert (text > 200).sum() > 40, f"no counter text near x = {x0}"
    # The title and status bars.
    bar = facts.BAR_HEIGHT
    assert (image[window.y:window.y + bar, window.x:window.x + window.width].mean(axis=2) > 200).sum() > 50
    status = image[window.y + window.height - bar:window.y + window.height, window.x:window.x + window.width]
    assert (status.mean(axis=2) > 200).sum() > 300


def test_arrows_turn_the_ship_and_space_fires(start_game):
    # Quick, while the first ship lives: level 1 sends a rock at it within seconds. The checks
    # use quick grabs; the screenshots for a person come after.
    game = start_game(sound=False)
    window = start_playing(game)
    x, y = to_screen(window, 0, 0)
    ship = (x - 20, y - 20, 41, 41)
    before = game.grab(*ship)
    game.key("Left", "Left", "Left", "Left", "Left")
    time.sleep(0.15)
    after = game.grab(*ship)
    assert numpy.abs(after - before).mean() > 4, "the ship did not turn"
    # Missiles cross the field in a fifth of a second: with the fire key repeating, some are
    # always in flight away from the centre.
    field = viewport(window)
    ahead = game.grab(*field)
    firing = subprocess.Popen(["xdotool", "key", "--repeat", "40", "--delay", "25", "space"], env=game.env)
    time.sleep(0.3)
    fired = game.grab(*field)
    game.screenshot("firing")
    firing.wait()
    changed = numpy.abs(fired - ahead).mean(axis=2) > 60
    ys, xs = numpy.nonzero(changed)
    distance = numpy.hypot(xs + field[0] - x, ys + field[1] - y)
    assert ((distance > 40) & (distance < 250)).sum() > 10, "no missile in flight"


def test_p_pauses_and_resumes(start_game):
    game = start_game(sound=False)
    window = start_playing(game)
    left, top, width, height = viewport(window)
    game.key("p")
    wait_motion(game, (left, top, width, height), moving=False)
    first = game.screenshot("paused")[top:top + height, left:left + width]
    time.sleep(1.0)
    second = game.screenshot("still paused")[top:top + height, left:left + width]
    assert (first == second).all(), "the picture moved while paused"
    game.key("p")
    wait_motion(game, (left, top, width, height), moving=True)
    third = game.screenshot("resumed")[top:top + height, left:left + width]
    assert (third != second).any(), "the game did not resume"


def test_m_silences_the_music_and_restores_it_while_effects_still_sound(start_game):
    game = start_game()
    start_playing(game)
    # One thrust takes the ship out of the way of the first rock: no explosion in what follows.
    game.key("Up")
    game.wait_sound(1.0)
    music = game.sound(*game.wait_sound(1.0))
    game.key("m")
    game.wait_sound(0.3)  # what the device had already taken
    silence = game.sound(*game.wait_sound(0.8))
    start = game.sound_frames()
    game.key("space")
    game.wait_sound(0.4)
    shot = game.sound(start, game.sound_frames())
    game.key("m")
    game.wait_sound(0.3)
    restored = game.sound(*game.wait_sound(1.0))
    assert rms(music) > 0.003, "no music at the start"
    assert rms(silence) < rms(music) / 10, "M did not silence the music"
    assert rms(shot) > 5 * rms(silence), "the shot is not heard while the music is off"
    assert rms(restored) > rms(music) / 3, "M again did not bring the music back"


def descendants(game, wid):
    """The X windows under a window, deepest last among equals: (depth, id) in tree order."""
    tree = subprocess.run(["xwininfo", "-tree", "-id", str(wid)], env=game.env, capture_output=True, text=True,
                          check=True).stdout
    found = []
    for line in tree.splitlines():
        match = re.match(r"( +)(0x[0-9a-f]+) ", line)
        if match:
            found.append((len(match.group(1)), match.group(2)))
    return found


def test_escape_leaves_for_the_ending_screen_and_a_key_ends_with_0(start_game):
    game = start_game(sound=False)
    window = start_playing(game)
    drawing_area = max(descendants(game, window.wid))[1]
    game.key("Escape")
    ending = game.wait_window(role=facts.ROLE_ENDING)
    # The field's drawing area, and the renderer's buffers with it, went before the ending came.
    left = [wid for _, wid in descendants(game, window.wid)]
    assert left and drawing_area not in left
    width, height = facts.ENDING_SIZE
    assert (ending.width, ending.height) == (width, height)
    assert (ending.x, ending.y) == facts.centred(game.screen_size, facts.ENDING_SIZE)
    assert not game.windows(role=facts.ROLE_GAME)
    assert [window.wid for window in game.windows(title=facts.TITLE)] == [ending.wid]
    first = game.screenshot("ending")[ending.y:ending.y + height, ending.x:ending.x + width]
    time.sleep(1.0)
    second = game.screenshot("ending a second later")[ending.y:ending.y + height, ending.x:ending.x + width]
    assert first.std() > 20, "the ending screen is blank"
    # The picture climbs 20 pixels a second over a still background: the bright lettering of the
    # first picture is found again about 20 rows higher in the second.
    lettering = first.mean(axis=2) > 170
    assert lettering.sum() > 500, "no lettering on the ending screen"
    misfit = []
    for shift in range(0, 81):
        mask = lettering[shift:]
        misfit.append(numpy.abs(second[:height - shift] - first[shift:])[mask].mean())
    climbed = int(numpy.argmin(misfit))
    assert 15 <= climbed <= 60, misfit
    assert misfit[climbed] < misfit[0] / 3
    game.key("a")
    assert game.wait_exit() == 0


def test_a_close_request_on_the_game_window_leaves_for_the_ending_screen(start_game):
    game = start_game(sound=False)
    window = start_playing(game)
    game.request_close(window)
    ending = game.wait_window(role=facts.ROLE_ENDING)
    game.click(*ending.centre)
    assert game.wait_exit() == 0


def test_sigterm_during_play_ends_with_0_within_a_second(start_game):
    game = start_game(sound=False)
    start_playing(game)
    sent = time.monotonic()
    game.proc.send_signal(signal.SIGTERM)
    assert game.wait_exit(timeout=5) == 0
    assert time.monotonic() - sent < 1.0
