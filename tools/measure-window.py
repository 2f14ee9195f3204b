#!/usr/bin/python3
"""Measures the game window as a player runs it, under a private Xvfb with Mesa's CPU renderer:

  - ticks and frames a second, the time from frame to frame (median, 99th percentile), how
    evenly the rocks move from frame to frame (from the places their transforms show in each
    frame drawn) and the game's CPU while playing, at 800x600 and 1280x1024, at levels 1 and 10,
    beside a bare SoQt examiner viewer animating 30 spheres at the same size, and with frames
    capped at 30 a second;
  - the same in full screen on a 1920x1080 screen;
  - the game's CPU on the start-up window, paused and on the ending screen;
  - the demo: the game's CPU while it plays, and the time from a key to the start-up window
    back on screen (the wait before it shortened to 2 s);
  - the time from launch to the start-up window drawn, and from Start to the first game frame,
    with SDL's silent driver (no sound card) and its file-writing one (a device that plays);
  - the time from launch to the start-up window mapped, as the X server tells it;
  - peak memory (VmHWM) through a whole game with the ending screen.

  measure-window.py BUILD-DIR [SECONDS]
  measure-window.py BUILD-DIR --start-up [RUNS]    only the launch to the start-up window mapped,
                                                   RUNS times (10), each figure and the median
"""
import os
import re
import select
import statistics
import subprocess
import sys
import time

from Xlib import X, display as xdisplay

import drelk2_window as facts
from drelk2_player import Game, GameError, XServer, frame_motion, start_playing

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
SIZES = ("800x600", "1280x1024")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def peak_memory_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0.0


def cpu_share(pid, seconds, during=None):
    """The share of one core the process used over `seconds`, while `during` (if any) runs."""
    start_cpu, start = cpu_seconds(pid), time.monotonic()
    end = start + seconds
    while time.monotonic() < end:
        if during:
            during()
        time.sleep(0.1)
    return 100 * (cpu_seconds(pid) - start_cpu) / (time.monotonic() - start)


def stats_of(game):
    text = game.stderr()
    played = re.search(r"([\d.]+) s played: (\d+) ticks \(([\d.]+) a second\), (\d+) frames \(([\d.]+) a second\)", text)
    first = re.search(r"first game frame (-?\d+) ms after Start", text)
    frames = re.search(r"frame to frame ([\d.]+) ms \(median\), ([\d.]+) ms", text)
    latency = re.search(r"a key on screen after ([\d.]+) ms \(median\), ([\d.]+) ms at most", text)
    return {"ticks": float(played.group(3)) if played else 0.0, "frames": float(played.group(5)) if played else 0.0,
            "first_frame_ms": int(first.group(1)) if first else -1,
            "frame_ms": (float(frames.group(1)), float(frames.group(2))) if frames else None,
            "latency_ms": (float(latency.group(1)), float(latency.group(2))) if latency else None}


class Player:
    """Fires five times a second and turns now and then, as a player under pressure would."""

    def __init__(self, game):
        self.game, self.count = game, 0

    def __call__(self):
        self.count += 1
        self.game.key("space", *(("Left",) if self.count % 10 == 0 else ()), delay_ms=10)


def measure_play(build, server, folder, size, level, seconds, options=()):
    trace = os.path.join(folder, "frames.txt")
    game = Game(os.path.join(build, "drelk2"), server.display, folder, ("--stats", "--level", str(level), *options),
                sound=False, env={"DRELK2_FRAME_TRACE": trace})
    try:
        start_playing(game, size)
        time.sleep(1)
        cpu = cpu_share(game.proc.pid, seconds, Player(game))
        game.proc.terminate()
        game.wait_exit()
        stats = stats_of(game)
        try:
            stats["motion"] = frame_motion(trace, skip_frames=60)
        except (GameError, OSError):
            stats["motion"] = None
        return cpu, stats
    finally:
        game.close()


def describe(stats):
    """The frame and motion figures of a play case, as far as the game reported them."""
    text = ""
    if stats["frame_ms"]:
        text += f", frame to frame {stats['frame_ms'][0]:.1f} ms (median) {stats['frame_ms'][1]:.1f} ms (99th)"
    if stats["motion"]:
        motion = stats["motion"]
        text += (f", rocks' motion from frame to frame: spread {motion['spread']:.2f}, {100 * motion['slow_share']:.1f}% of "
                 f"frames under 3/4 of it, {100 * motion['steady_share']:.1f}% at their speed")
    if stats["latency_ms"]:
        text += f", a key on screen after {stats['latency_ms'][0]:.1f} ms (median) {stats['latency_ms'][1]:.1f} ms (most)"
    return text


def measure_bare_viewer(build, server, size, seconds):
    width, height = size.split("x")
    run = subprocess.run([os.path.join(build, "bench_viewer"), width, height, str(seconds)],
                         env=dict(os.environ, DISPLAY=server.display), capture_output=True, text=True, check=True)
    return float(re.search(r"CPU ([\d.]+)%", run.stdout).group(1)), float(re.search(r"([\d.]+) frames", run.stdout).group(1))


def measure_idle(build, server, folder, seconds):
    game = Game(os.path.join(build, "drelk2"), server.display, folder, ("--stats",), sound=False)
    try:
        game.wait_window(role=facts.ROLE_STARTUP)
        time.sleep(1)
        splash = cpu_share(game.proc.pid, seconds)
        game.key("alt+s")
        game.wait_window(role=facts.ROLE_GAME)
        time.sleep(1)
        game.key("p")
        time.sleep(1)
        paused = cpu_share(game.proc.pid, seconds)
        game.key("Escape")
        game.wait_window(role=facts.ROLE_ENDING)
        time.sleep(1)
        ending = cpu_share(game.proc.pid, seconds)
        game.key("x")
        game.wait_exit()
        return splash, paused, ending
    finally:
        game.close()


def measure_demo(build, server, folder, seconds, returns=5):
    """CPU while the demo plays, and the times from a key to the start-up window mapped again (ms)."""
    game = Game(os.path.join(build, "drelk2"), server.display, folder, (), sound=False,
                env={"DRELK2_ATTRACT_SECONDS": "2"})
    try:
        game.wait_window(role=facts.ROLE_STARTUP)
        times, cpu = [], None
        for _ in range(returns):
            game.wait_window(role=facts.ROLE_GAME, timeout=10)
            if cpu is None:
                time.sleep(1)
                cpu = cpu_share(game.proc.pid, seconds)
            else:
                time.sleep(0.5)
            pressed = time.monotonic()
            game.key("x")
            while not game.windows(role=facts.ROLE_STARTUP):
                time.sleep(0.002)
            times.append((time.monotonic() - pressed) * 1000)
        game.proc.terminate()
        game.wait_exit()
        return cpu, times
    finally:
        game.close()


def measure_start(build, server, folder, sound):
    """Launch to the start-up picture on screen, Start to the first game frame on screen (ms)."""
    launched = time.monotonic()
    game = Game(os.path.join(build, "drelk2"), server.display, folder, ("--stats",), sound=sound)
    try:
        left, top, width, height = facts.STARTUP_PICTURE
        while True:
            found = game.windows(role=facts.ROLE_STARTUP)
            if found and game.grab(found[0].x + left, found[0].y + top, width, height).mean() > 20:
                break
            time.sleep(0.005)
        to_splash = (time.monotonic() - launched) * 1000
        pressed = time.monotonic()
        game.key("alt+s")
        while True:
            found = game.windows(role=facts.ROLE_GAME)
            if found and game.grab(*facts.view_area(*found[0].geometry)).max() > 100:
                break
            time.sleep(0.005)
        to_frame = (time.monotonic() - pressed) * 1000
        game.proc.terminate()
        game.wait_exit()
        return to_splash, to_frame, stats_of(game)["first_frame_ms"]
    finally:
        game.close()


def measure_map(build, server, folder, sound=False, timeout=10.0):
    """Launch to the start-up window mapped (ms): the process started, the X server's MapNotify
    of the window whose role is the start-up window's."""
    watcher = xdisplay.Display(server.display)
    try:
        root = watcher.screen().root
        role_atom = watcher.intern_atom("WM_WINDOW_ROLE")
        root.change_attributes(event_mask=X.SubstructureNotifyMask)
        watcher.sync()
        launched = time.monotonic()
        game = Game(os.path.join(build, "drelk2"), server.display, folder, (), sound=sound)
        try:
            while True:
                left = launched + timeout - time.monotonic()
                if left <= 0 or game.proc.poll() is not None:
                    raise GameError(f"no start-up window mapped within {timeout} s: {game.stderr()}")
                if not watcher.pending_events():
                    select.select([watcher.fileno()], [], [], min(left, 0.1))
                    continue
                event = watcher.next_event()
                if event.type != X.MapNotify:
                    continue
                mapped = time.monotonic()
                prop = event.window.get_full_property(role_atom, X.AnyPropertyType)
                if prop and prop.value.decode(errors="replace") == facts.ROLE_STARTUP:
                    return (mapped - launched) * 1000
        finally:
            game.close()
    finally:
        watcher.close()


def measure_memory(build, server, folder, size, seconds):
    game = Game(os.path.join(build, "drelk2"), server.display, folder, (), sound=False)
    try:
        start_playing(game, size)
        cpu_share(game.proc.pid, seconds, Player(game))
        game.key("Escape")
        game.wait_window(role=facts.ROLE_ENDING)
        time.sleep(3)
        peak = peak_memory_mib(game.proc.pid)
        game.key("x")
        game.wait_exit()
        return peak
    finally:
        game.close()


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    if len(sys.argv) > 2 and sys.argv[2] == "--start-up":
        runs = int(sys.argv[3]) if len(sys.argv) > 3 else 10
        folder = os.path.join(build, "window-measurements")
        os.makedirs(folder, exist_ok=True)
        server = XServer()
        try:
            times = [measure_map(build, server, folder) for _ in range(runs)]
        finally:
            server.close()
        print("launch to start-up window mapped: " + ", ".join(f"{t:.0f}" for t in times)
              + f" ms, median {statistics.median(times):.0f} ms")
        return
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 30.0
    folder = os.path.join(build, "window-measurements")
    os.makedirs(folder, exist_ok=True)
    server = XServer()
    try:
        print(f"== the game window, {seconds:.0f} s a case, Xvfb with Mesa's CPU renderer, {os.cpu_count()} cores")
        for size in SIZES:
            bare_cpu, bare_fps = measure_bare_viewer(build, server, size, seconds)
            print(f"{size}: bare examiner viewer, 30 spheres at 60 Hz: {bare_fps:.1f} frames/s, CPU {bare_cpu:.1f}% of a core")
            for level in (1, 10):
                cpu, stats = measure_play(build, server, folder, size, level, seconds)
                print(f"{size} level {level:2d}: {stats['ticks']:.1f} ticks/s ({stats['ticks']:.1f}% of 100), "
                      f"{stats['frames']:.1f} frames/s, CPU {cpu:.1f}% of a core = {cpu / bare_cpu:.2f} x the bare viewer"
                      + describe(stats))
        try:
            cpu, stats = measure_play(build, server, folder, "800x600", 1, seconds, ("--max-fps", "30"))
            print(f"800x600 level  1 at --max-fps 30: {stats['ticks']:.1f} ticks/s, {stats['frames']:.1f} frames/s, "
                  f"CPU {cpu:.1f}% of a core" + describe(stats))
        except GameError as error:  # a build from before the cap
            print(f"800x600 level  1 at --max-fps 30: not measured ({error})")
        full_screen = XServer((1920, 1080))
        try:
            for level in (1, 10):
                cpu, stats = measure_play(build, full_screen, folder, "800x600", level, seconds, ("--fullscreen",))
                print(f"full screen 1920x1080 level {level:2d}: {stats['ticks']:.1f} ticks/s, "
                      f"{stats['frames']:.1f} frames/s, CPU {cpu:.1f}% of a core" + describe(stats))
        finally:
            full_screen.close()
        splash, paused, ending = measure_idle(build, server, folder, min(seconds, 10.0))
        print(f"CPU on the start-up window {splash:.2f}%, paused {paused:.2f}%, on the ending screen {ending:.2f}% of a core")
        demo_cpu, returns = measure_demo(build, server, folder, min(seconds, 10.0))
        print(f"the demo at 800x600: CPU {demo_cpu:.1f}% of a core; a key to the start-up window on screen "
              + ", ".join(f"{t:.0f}" for t in sorted(returns)) + " ms (xdotool's own start included)")
        for name, sound in (("no sound card (silent driver)", False), ("a playing device (file driver)", True)):
            mapped = [measure_map(build, server, folder, sound) for _ in range(5)]
            print(f"{name}: launch to start-up window mapped " + ", ".join(f"{t:.0f}" for t in mapped)
                  + f" ms, median {statistics.median(mapped):.0f} ms")
            runs = [measure_start(build, server, folder, sound) for _ in range(3)]
            print(f"{name}: launch to start-up window drawn "
                  + ", ".join(f"{r[0]:.0f}" for r in runs) + " ms; Start to first game frame on screen "
                  + ", ".join(f"{r[1]:.0f}" for r in runs) + " ms (the game's own count: "
                  + ", ".join(f"{r[2]}" for r in runs) + " ms)")
        for size in SIZES:
            print(f"{size}: peak memory through a game of {seconds:.0f} s and its ending screen: "
                  f"{measure_memory(build, server, folder, size, seconds):.1f} MiB")
    finally:
        server.close()


if __name__ == "__main__":
    main()
