#!/usr/bin/env python3
"""Writes assets/demo.keys, the key script the build plays and records as the demo of the
start-up window: a pilot aimed at the rock it can hit soonest, turning and firing in bursts,
thrusting out of the way of rocks that come too near and now and then across the field, for
DEMO_TICKS ticks. It plays the real game through drelk2-sim, a stretch at a time, so the keys
fit the rules and data of BUILD, and plays a part again, a little otherwise, when a ship is lost
in it; run it again after a change of the rules makes the demo clumsy (the demo test says so).

    tools/make-demo-keys.py BUILD
"""
import json
import math
import os
import random
import subprocess
import sys
import tempfile

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KEYS = os.path.join(SOURCE, "assets", "demo.keys")
DEMO_TICKS = 5000
STRETCH = 10                # ticks planned from one look at the game
PART = 100                  # ticks played again, otherwise, when a ship is lost in them
TRIES = 8
TURN = math.radians(16.0)    # a key tick of left or right
DT = 0.1                     # a tick's step
MISSILE_SPEED = 10.0
HALF_W, HALF_H = 30.0, 20.0
RADIUS = {0: 1.2, 1: 2.2, 2: 3.5}  # small, medium, large
FIRE_EVERY = 3


def state_at(build, keys, tick):
    """The game after `tick` ticks of the keys so far."""
    with tempfile.NamedTemporaryFile("w", suffix=".keys", delete=False) as f:
        f.write("".join(f"{t} {' '.join(k)}\n" for t, k in sorted(keys.items()) if k))
        script = f.name
    try:
        out = subprocess.run([os.path.join(build, "drelk2-sim"), "--data", os.path.join(build, "Drelk_II.bin"),
                              "--keys", script, "--ticks", str(tick)],
                             env=dict(os.environ, SDL_AUDIODRIVER="dummy"), check=True, capture_output=True,
                             text=True).stdout
    finally:
        os.unlink(script)
    return json.loads(out.strip().splitlines()[-1])


def wrap(d, half):
    return (d + half) % (2 * half) - half


def ahead_of(ship, rock, ticks):
    """Where the rock will be after `ticks`, from the ship, straight across the field: missiles do
    not wrap round its edges as rocks do."""
    x = wrap(rock["x"] + rock["vx"] * DT * ticks, HALF_W)
    y = wrap(rock["y"] + rock["vy"] * DT * ticks, HALF_H)
    return x - ship[0], y - ship[1]


def nearest(ship, rock, ticks):
    """Where the rock will be after `ticks`, as seen from the ship (the nearest of its wrapped places)."""
    x = rock["x"] + rock["vx"] * DT * ticks
    y = rock["y"] + rock["vy"] * DT * ticks
    return wrap(x - ship[0], HALF_W), wrap(y - ship[1], HALF_H)


def angle_diff(a, b):
    return (a - b + math.pi) % (2 * math.pi) - math.pi


def closest_approach(pos, vel, rock, horizon):
    """(ticks, distance) of the rock's nearest pass by the ship within `horizon` ticks."""
    best = (0, float("inf"))
    for ahead in range(0, horizon, 2):
        dx, dy = nearest((pos[0] + vel[0] * ahead, pos[1] + vel[1] * ahead), rock, ahead)
        distance = math.hypot(dx, dy)
        if distance < best[1]:
            best = (ahead, distance)
    return best


def plan(state, last_fire, tick, pilot):
    """Keys for the next STRETCH ticks, from a look at the game now, as the pilot would press them
    (margin: how near a rock may pass; near: how far a large rock must be to be shot unless it
    threatens; cruise: when the ship crosses the field)."""
    ship = state["ship"]
    keys = {}
    if not ship["alive"]:
        return keys, last_fire
    pos = [ship["x"], ship["y"]]
    vel = [ship["vx"] * DT, ship["vy"] * DT]
    heading = ship["angle"] + math.pi / 2
    rocks = [dict(r) for r in state["asteroids"] if r["alive"]]
    for step in range(1, STRETCH + 1):
        t = tick + step
        # The rocks as they are now, from the look STRETCH ticks ago.
        for rock in rocks:
            rock["x"] += rock["vx"] * DT
            rock["y"] += rock["vy"] * DT
        pressed = []
        speed = (math.hypot(*vel) / DT + MISSILE_SPEED) * DT
        best, urgent = None, None
        for rock in rocks:
            when, distance = closest_approach(pos, vel, rock, 60)
            threat = distance < RADIUS[rock["type"]] + pilot["margin"]
            dx, dy = ahead_of(pos, rock, 0)
            flight = math.hypot(dx, dy) / speed
            for _ in range(3):
                dx, dy = ahead_of(pos, rock, flight)
                flight = math.hypot(dx, dy) / speed
            # A large rock shot near the ship throws its pieces at it.
            if (flight > 30 or (rock["type"] == 2 and flight * speed < pilot["near"])) and not threat:
                continue
            aim = math.atan2(dy, dx)
            turn = abs(angle_diff(aim, heading)) / TURN
            cost = turn + flight * 0.3 - (2 if rock["type"] == 0 else 0)
            if threat:
                cost -= 40 + (60 - when)
                if urgent is None or when < urgent[0]:
                    urgent = (when, math.atan2(dy, dx))
            if best is None or cost < best[0]:
                best = (cost, aim, threat)
        if best is not None:
            diff = angle_diff(best[1], heading)
            if abs(diff) > TURN / 2:
                pressed.append("left" if diff > 0 else "right")
                heading += TURN if diff > 0 else -TURN
                diff = angle_diff(best[1], heading)
            if abs(diff) < TURN * 0.6 and t - last_fire >= (2 if best[2] else FIRE_EVERY):
                pressed.append("space")
                last_fire = t
        moving = math.hypot(*vel) / DT
        # Away from a rock about to hit from behind; now and then across the field when nothing
        # is near; never fast.
        behind = urgent is not None and urgent[0] < 14 and abs(angle_diff(urgent[1], heading)) > 2.0
        cruise = urgent is None and (t + pilot["cruise"]) % 600 < 18
        if moving < (3.0 if behind else 1.6) and (behind or cruise):
            pressed.append("up")
            vel[0] += math.cos(heading) * 0.2 * DT
            vel[1] += math.sin(heading) * 0.2 * DT
        pos = [wrap(pos[0] + vel[0], HALF_W), wrap(pos[1] + vel[1], HALF_H)]
        if pressed:
            keys[t] = pressed
    return keys, last_fire


def play_part(build, keys, tick, last_fire, pilot):
    """The keys of PART ticks from `tick`, looking at the game every STRETCH ticks."""
    part = dict(keys)
    for at in range(tick, tick + PART, STRETCH):
        more, last_fire = plan(state_at(build, part, at), last_fire, at, pilot)
        part.update(more)
    return part, last_fire


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    build = sys.argv[1]
    keys, last_fire, tick = {}, -FIRE_EVERY, 0
    ships = state_at(build, keys, 0)["ships"]
    while tick < DEMO_TICKS:
        tried = []
        for attempt in range(TRIES):
            chance = random.Random(tick * TRIES + attempt)
            pilot = {"margin": 2.5 + chance.uniform(0, 2) * (attempt > 0), "near": chance.uniform(6, 14) * (attempt > 0),
                     "cruise": chance.randrange(600) if attempt else 0}
            part, fired = play_part(build, keys, tick, last_fire, pilot)
            after = state_at(build, part, tick + PART)
            tried.append((after["ships"], after["score"], part, fired, after))
            if after["ships"] == ships:
                break
        ships, _, keys, last_fire, after = max(tried, key=lambda t: (t[0], t[1]))
        tick += PART
        print(f"tick {tick}: score {after['score']}, level {after['level']}, ships {ships}, "
              f"{len(tried)} tries", flush=True)
    with open(KEYS, "w") as f:
        f.write("# The demo the start-up window plays when left alone, recorded by the build with\n"
                "# drelk2-sim --record. Written by tools/make-demo-keys.py: a pilot aimed at the rock it\n"
                "# can hit soonest, firing in bursts, thrusting out of the way of rocks that come near.\n"
                f"# ticks {DEMO_TICKS}\n")
        f.write("".join(f"{t} {' '.join(k)}\n" for t, k in sorted(keys.items())))
    final = state_at(build, keys, DEMO_TICKS)
    print(f"{DEMO_TICKS} ticks: score {final['score']}, level {final['level']}, ships {final['ships']}")


if __name__ == "__main__":
    main()
