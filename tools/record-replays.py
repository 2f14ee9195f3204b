#!/usr/bin/env python3
"""Records the replays in tests/replays, which CTest plays headless in both builds with
`drelk2-sim --replay FILE --verify`, and the portable checks play in every build of the rules
(GCC and Clang, -O0 to -O2, x86-64-v3, i386, aarch64): a change of the compiler, of the
optimisation, of the processor or of a rule that alters the game fails there. The corpus is
recorded on one machine, here, and committed; never anew on each.

    tools/record-replays.py BUILD           new games, played in the real game window under a
                                            private Xvfb as a player plays them, and headless:
                                            the golden run's keys, the edge cases' key scripts
                                            (tests/replays/keys) and the autopilot's games
    tools/record-replays.py BUILD --anew    after a deliberate change of the rules (and a raised
                                            TRules::VERSION): each replay's own commands played
                                            again and recorded as the game now plays them

BUILD is a build folder holding drelk2, drelk2-sim and Drelk_II.bin.
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import drelk2_window as facts  # noqa: E402
from drelk2_player import XServer, Game, play_every_way, replay_folder, start_playing  # noqa: E402

SOURCE = os.path.dirname(HERE)
CORPUS = os.path.join(SOURCE, "tests", "replays")
SUFFIX = ".drelk2-replay"
# The games played in the window: name, level, seconds to reach the game over.
WINDOW_GAMES = (("window-every-way-level-1", 1, 120), ("window-crowded-level-5", 5, 60))
KEYS = os.path.join(CORPUS, "keys")
# The games played headless: name, drelk2-sim's options.
HEADLESS_GAMES = (
    ("golden-run", ["--keys", os.path.join(SOURCE, "tests", "golden", "run.keys"), "--ticks", "3000"]),
    ("edge-ship-wraps", ["--keys", os.path.join(KEYS, "edge-ship-wraps.keys"), "--ticks", "400"]),
    ("edge-respawn-pause", ["--keys", os.path.join(KEYS, "edge-respawn-pause.keys"), "--level", "6", "--ticks", "700"]),
    # Level 1 cleared and level 2 begun.
    ("autopilot-level-change", ["--autopilot", "--ticks", "2500"]),
    # Levels 1 to 4 and the game over: thousands of commands.
    ("autopilot-long", ["--autopilot", "--ticks", "8000"]),
)


def replays(home):
    return glob.glob(os.path.join(replay_folder(home), "*" + SUFFIX))


def record_in_window(build, name, level, until):
    server = XServer()
    home = tempfile.mkdtemp(prefix="drelk2-record-")
    shots = tempfile.mkdtemp(prefix="drelk2-record-shots-")
    try:
        game = Game(os.path.join(build, "drelk2"), server.display, shots, ["--level", str(level)], sound=False,
                    home=home)
        try:
            window = start_playing(game)
            play_every_way(game, window, replays, until=until)
            game.key(facts.KEYS["leave"])
            game.wait_window(role=facts.ROLE_ENDING)
            game.key("x")
            if game.wait_exit() != 0:
                raise SystemExit(f"{name}: drelk2 ended badly: {game.stderr()}")
        finally:
            game.close()
        kept = replays(home)
        if len(kept) != 1:
            raise SystemExit(f"{name}: {len(kept)} replays kept, not one")
        shutil.copyfile(kept[0], os.path.join(CORPUS, name + SUFFIX))
    finally:
        server.close()
        shutil.rmtree(home, ignore_errors=True)
        shutil.rmtree(shots, ignore_errors=True)


def sim(build, *args):
    run = subprocess.run([os.path.join(build, "drelk2-sim"), "--data", os.path.join(build, "Drelk_II.bin"), *args],
                         env=dict(os.environ, SDL_AUDIODRIVER="dummy"), capture_output=True, text=True)
    if run.returncode != 0:
        raise SystemExit(f"drelk2-sim {' '.join(args)}: {run.stderr.strip()}")
    return run.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build")
    parser.add_argument("--anew", action="store_true", help="record the replays there again under today's rules")
    options = parser.parse_args()
    os.makedirs(CORPUS, exist_ok=True)
    if options.anew:
        names = sorted(glob.glob(os.path.join(CORPUS, "*" + SUFFIX)))
        for path in names:
            sim(options.build, "--replay", path, "--record", path)
    else:
        for name, level, until in WINDOW_GAMES:
            record_in_window(options.build, name, level, until)
        for name, args in HEADLESS_GAMES:
            sim(options.build, *args, "--record", os.path.join(CORPUS, name + SUFFIX))
        names = sorted(glob.glob(os.path.join(CORPUS, "*" + SUFFIX)))
    for path in names:
        print(f"{os.path.basename(path)}: {sim(options.build, '--replay', path, '--verify').splitlines()[-1]}")


if __name__ == "__main__":
    main()
