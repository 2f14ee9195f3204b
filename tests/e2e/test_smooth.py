"""From the game's first frame on, no frame comes later than two refreshes after the one before
and no tick is dropped: whatever the first shots, explosions, sparks, lost ships and "Game Over"
need is made ready before the first frame. Measured from the frames the window draws
(DRELK2_FRAME_TRACE), over a recorded game that has all of them: tests/replays'
window-crowded-level-5, played in the window as it was played. A timing test: CTest runs it on
its own."""
import os

from drelk2_player import GameError

HERE = os.path.dirname(os.path.abspath(__file__))
CROWDED = os.path.join(HERE, "..", "replays", "window-crowded-level-5.drelk2-replay")
# The screen's refresh under Xvfb, where the game draws at its default 60 a second.
REFRESH_MS = 1000.0 / 60


def frames(trace):
    """(time in ms, ticks dropped so far) for each frame drawn."""
    with open(trace) as f:
        rows = [line.split() for line in f]
    return [(int(row[0]) / 1000.0, int(row[3])) for row in rows if len(row) >= 4]


def test_the_first_shots_explosions_and_game_over_come_without_a_hitch(start_game, shots):
    trace = os.path.join(shots, "frames.txt")
    game = start_game("--replay", CROWDED, "--stats", sound=False, env={"DRELK2_FRAME_TRACE": trace})
    game.wait_window(role="drelk2-ending", timeout=30)
    game.key("x")
    assert game.wait_exit() == 0, game.stderr()
    drawn = frames(trace)
    if len(drawn) < 200:
        raise GameError(f"{len(drawn)} frames drawn")
    gaps = [(b[0] - a[0], i) for i, (a, b) in enumerate(zip(drawn, drawn[1:]), start=1)]
    longest, at = max(gaps)
    assert longest <= 2 * REFRESH_MS, f"frame {at} came {longest:.1f} ms after the one before"
    assert drawn[-1][1] == drawn[0][1], f"{drawn[-1][1] - drawn[0][1]} ticks dropped after the first frame"
