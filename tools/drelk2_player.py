"""Drives the real drelk2 as a player does: a private Xvfb, keys and clicks through xdotool,
windows found by their role, window geometry, screenshots, the sound written by SDL's
file-writing driver, and the exit status. Every run has a home folder of its own (a fresh one
unless given), so that no run sees another's best scores or remembered choices. Used by the
end-to-end tests and by tools/measure-window.py.
"""
import os
import shutil
import subprocess
import tempfile
import time

import numpy
from Xlib import X, display as xdisplay
from Xlib.error import BadWindow
from Xlib.protocol import event

import drelk2_window as facts

SCREEN_SIZE = (1280, 1024)
SAMPLE_RATE = 44100
# Settings of the desktop that would change what the game looks like; a run names its own.
SCALING_VARIABLES = ("QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
                     "QT_ENABLE_HIGHDPI_SCALING", "QT_DEVICE_PIXEL_RATIO")


class GameError(AssertionError):
    """The game did not do what a player waits for."""


class XServer:
    """A private X server with GLX, by default as big as the largest window size the game offers."""

    def __init__(self, size=SCREEN_SIZE, dpi=None):
        self.size = size
        read_fd, write_fd = os.pipe()
        args = ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{size[0]}x{size[1]}x24",
                "+extension", "GLX", "-nolisten", "tcp", "-noreset"]
        if dpi:
            args += ["-dpi", str(dpi)]
        self.proc = subprocess.Popen(args, pass_fds=[write_fd], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    self.proc.kill()
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)


class Window:
    def __init__(self, wid, x, y, width, height):
        self.wid, self.x, self.y, self.width, self.height = wid, x, y, width, height

    @property
    def centre(self):
        return self.x + self.width // 2, self.y + self.height // 2

    @property
    def geometry(self):
        return self.x, self.y, self.width, self.height

    def __repr__(self):
        return f"Window({self.wid:#x}, {self.width}x{self.height}+{self.x}+{self.y})"


class Cover:
    """A plain window of one colour that another client puts over the screen."""

    def __init__(self, connection, geometry, colour):
        self._x = connection
        screen = connection.screen()
        x, y, width, height = geometry
        self._window = screen.root.create_window(x, y, width, height, 0, screen.root_depth,
                                                 background_pixel=colour, override_redirect=True)
        self.wid = self._window.id
        self._window.map()
        connection.sync()

    def remove(self):
        self._window.destroy()
        self._x.sync()


def fresh_home():
    return tempfile.mkdtemp(prefix="drelk2-home-")


def replay_folder(home):
    """Where the game keeps the replays of a player whose home is `home`."""
    return os.path.join(home, ".local", "share", "drelk2", "replays")


def home_environment(home):
    """The variables that put a player's data and settings under `home`."""
    return {"HOME": home, "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "XDG_CONFIG_HOME": os.path.join(home, ".config")}


class Game:
    """One run of drelk2 on a display, with its recorded sound and its standard error.

    `home`: the player's home folder (a fresh one, removed afterwards, when None); `env`: further
    variables, such as a scale factor; `scale`: the device pixels to one of the desktop's that
    those variables give."""

    def __init__(self, exe, display, folder, args=(), sound=True, home=None, env=None, scale=1):
        self.display = display
        self.scale = scale
        self.folder = folder
        self._own_home = home is None
        self.home = fresh_home() if home is None else home
        self.env = {k: v for k, v in os.environ.items() if k not in SCALING_VARIABLES}
        self.env.update(DISPLAY=display, **home_environment(self.home))
        self.sound_file = os.path.join(folder, "sound.raw")
        if sound:
            self.env.update(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=self.sound_file)
        else:
            self.env.update(SDL_AUDIODRIVER="dummy")
        self.env.update(env or {})
        self.stderr_path = os.path.join(folder, "stderr.txt")
        self._stderr = open(self.stderr_path, "wb")
        self._x = xdisplay.Display(display)
        self.screen_size = (self._x.screen().width_in_pixels, self._x.screen().height_in_pixels)
        self.proc = subprocess.Popen([exe, *args], env=self.env, stdout=subprocess.DEVNULL, stderr=self._stderr)
        self.shot_count = 0

    # ---- the X side ----
    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True).stdout

    def windows(self, role=None, title=None):
        """The mapped windows with this role (WM_WINDOW_ROLE) or this exact title."""
        role_atom = self._x.intern_atom("WM_WINDOW_ROLE")
        found = []
        pending = list(self._x.screen().root.query_tree().children)
        while pending:
            window = pending.pop()
            try:
                if window.get_attributes().map_state != X.IsViewable:
                    continue
                pending.extend(window.query_tree().children)
                if role is not None:
                    prop = window.get_full_property(role_atom, X.AnyPropertyType)
                    if not prop or prop.value.decode(errors="replace") != role:
                        continue
                if title is not None and window.get_wm_name() != title:
                    continue
                geometry = window.get_geometry()
                origin = window.translate_coords(self._x.screen().root, 0, 0)
                found.append(Window(window.id, -origin.x, -origin.y, geometry.width, geometry.height))
            except BadWindow:  # gone meanwhile
                continue
        return found

    def wait_window(self, role=None, title=None, timeout=10.0):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            found = self.windows(role=role, title=title)
            if found:
                time.sleep(0.3)  # let it draw
                return found[0]
            if self.proc.poll() is not None:
                raise GameError(f"drelk2 ended ({self.proc.returncode}) before '{role or title}' showed: "
                                f"{self.stderr()}")
            time.sleep(0.05)
        raise GameError(f"no window '{role or title}' within {timeout} s")

    def wait_geometry(self, role, geometry, timeout=5.0):
        """Waits until the window with `role` has the geometry (x, y, width, height); returns it."""
        end = time.monotonic() + timeout
        found = []
        while time.monotonic() < end:
            found = self.windows(role=role)
            if found and found[0].geometry == tuple(geometry):
                time.sleep(0.2)  # let it draw
                return found[0]
            time.sleep(0.05)
        raise GameError(f"'{role}' is {found} after {timeout} s, not {geometry}")

    def key(self, *keys, delay_ms=50):
        self.xdotool("key", "--delay", str(delay_ms), *keys)

    def click(self, x, y):
        self.xdotool("mousemove", str(x), str(y), "click", "1")

    def request_close(self, window):
        """What a window manager sends for Alt+F4 or the close button: WM_DELETE_WINDOW."""
        target = self._x.create_resource_object("window", int(window.wid))
        protocols = self._x.intern_atom("WM_PROTOCOLS")
        delete = self._x.intern_atom("WM_DELETE_WINDOW")
        message = event.ClientMessage(window=target, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        target.send_event(message, event_mask=X.NoEventMask)
        # A round trip: the server has handled the request before we go on.
        self._x.sync()

    def cover(self, x, y, width, height, colour=0xffffff):
        """Another client's window over part of the screen, shown at once."""
        return Cover(self._x, (x, y, width, height), colour)

    def focus(self, window):
        """Gives the keyboard to a window: a game window or a cover."""
        self._x.create_resource_object("window", int(window.wid)).set_input_focus(X.RevertToParent, X.CurrentTime)
        self._x.sync()

    def minimise(self, window):
        """What a window manager does to minimise a window: marks it iconic and unmaps it."""
        self._set_wm_state(window, 3)  # IconicState
        self._x.create_resource_object("window", int(window.wid)).unmap()
        self._x.sync()

    def unminimise(self, window):
        self._set_wm_state(window, 1)  # NormalState
        self._x.create_resource_object("window", int(window.wid)).map()
        self._x.sync()

    def _set_wm_state(self, window, state):
        target = self._x.create_resource_object("window", int(window.wid))
        wm_state = self._x.intern_atom("WM_STATE")
        target.change_property(wm_state, wm_state, 32, [state, X.NONE])

    def resize_from_outside(self, window, width, height):
        """Resizes a window as another program would, without asking it."""
        self._x.create_resource_object("window", int(window.wid)).configure(width=width, height=height)
        self._x.sync()

    def grab(self, x, y, width, height):
        """A part of the screen as rows of RGB pixels, not saved."""
        raw = subprocess.run(["import", "-display", self.display, "-window", "root", "-crop",
                              f"{width}x{height}+{x}+{y}", "-depth", "8", "rgb:-"],
                             check=True, capture_output=True).stdout
        return numpy.frombuffer(raw, dtype=numpy.uint8).reshape(height, width, 3).astype(int)

    def screenshot(self, label):
        """The root window as an array of rows of RGB pixels; also saved as a PNG."""
        self.shot_count += 1
        path = os.path.join(self.folder, f"{self.shot_count:02d}-{label}.png")
        subprocess.run(["import", "-display", self.display, "-window", "root", path], check=True, env=self.env)
        raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
        width, height = self.screen_size
        return numpy.frombuffer(raw, dtype=numpy.uint8).reshape(height, width, 3).astype(int)

    # ---- the process ----
    def wait_exit(self, timeout=10.0):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            stacks = subprocess.run(["gdb", "-p", str(self.proc.pid), "-batch", "-ex", "thread apply all bt 12"],
                                    capture_output=True, text=True).stdout
            raise GameError(f"drelk2 did not end within {timeout} s; its threads:\n{stacks}")

    def stderr(self):
        self._stderr.flush()
        with open(self.stderr_path, "rb") as f:
            return f.read().decode(errors="replace")

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self._stderr.close()
        self._x.close()
        if self._own_home:
            shutil.rmtree(self.home, ignore_errors=True)

    # ---- the sound ----
    def sound_frames(self):
        """Stereo frames written to the audio device so far."""
        try:
            return os.path.getsize(self.sound_file) // 4
        except FileNotFoundError:
            return 0

    def sound(self, start_frame, end_frame):
        """The mono mix (as floats, full scale 1.0) of the frames in [start, end)."""
        with open(self.sound_file, "rb") as f:
            f.seek(start_frame * 4)
            data = f.read((end_frame - start_frame) * 4)
        samples = numpy.frombuffer(data, dtype="<i2").astype(float) / 32768.0
        return samples.reshape(-1, 2).mean(axis=1)

    def wait_sound(self, seconds):
        """Waits until `seconds` more sound has been written; returns the frame range."""
        start = self.sound_frames()
        end = start + int(seconds * SAMPLE_RATE)
        deadline = time.monotonic() + seconds * 4 + 2
        while self.sound_frames() < end:
            if time.monotonic() > deadline:
                raise GameError("the audio device stopped writing")
            time.sleep(0.02)
        return start, end


def rms(samples):
    return float(numpy.sqrt(numpy.mean(samples * samples))) if len(samples) else 0.0


def wait_picture(game, window, timeout=10.0):
    """Waits until the game window shows a picture between its bars."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        area = facts.view_area(*window.geometry, scale=game.scale)
        if game.grab(*area).max() > 100:
            return window
        time.sleep(0.05)
    raise GameError("the game window shows no picture")


def wait_motion(game, area, moving, timeout=5.0, gap=0.15):
    """Waits until the area's picture changes between two looks `gap` seconds apart (moving) or
    stays the same (not moving): the game running or paused, seen from outside."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        first = game.grab(*area)
        time.sleep(gap)
        if (game.grab(*area) != first).any() == moving:
            return
    raise GameError(f"the game's picture is {'still' if moving else 'moving'} after {timeout} s")


def start_playing(game, size="800x600"):
    """Through the start-up window into the game, once its first frame shows, at the size chosen
    by name in the list."""
    game.wait_window(role=facts.ROLE_STARTUP)
    if facts.SIZE_KEYS[size]:
        game.key("Tab", *facts.SIZE_KEYS[size])
    game.key("alt+s")
    return wait_picture(game, game.wait_window(role=facts.ROLE_GAME))


def wait_for(condition, what, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.05)
    raise GameError(f"{what} within {timeout} s")


def play_every_way(game, window, replays, until=60):
    """Plays with every command: turns, shots, a pause with the music switched off and on in it,
    the player away and back, full screen and back; then thrusts and fires round the field until
    the last ship is lost and the game has written its replay (`replays(home)` lists them), or
    `until` seconds have passed."""
    keys = facts.KEYS
    area = facts.view_area(*window.geometry)
    game.key(*[keys["turn_left"]] * 3, delay_ms=15)
    game.key(*[keys["fire"]] * 5, delay_ms=40)
    game.key(keys["pause"])
    game.key(keys["music"], keys["music"])
    game.key(keys["pause"], keys["turn_right"], keys["fire"])
    other = game.cover(0, 0, 60, 60)
    game.focus(other)
    wait_motion(game, area, moving=False)  # away: the game waits
    game.focus(window)
    other.remove()
    game.key(keys["pause"])  # back, it waits for P
    wait_motion(game, area, moving=True)
    game.key(keys["full_screen"])
    game.wait_geometry(facts.ROLE_GAME, (0, 0, *game.screen_size))
    game.key(keys["full_screen"])
    game.wait_geometry(facts.ROLE_GAME, window.geometry)
    wait_motion(game, area, moving=True)
    before = set(replays(game.home))
    thrusting = subprocess.Popen(["xdotool", "key", "--repeat", "4000", "--delay", "30", keys["thrust"], keys["fire"]],
                                 env=game.env)
    try:
        wait_for(lambda: set(replays(game.home)) - before, "no game over (no replay written)", until)
    finally:
        thrusting.kill()
        thrusting.wait()


def frame_motion(trace_path, skip_frames=10):
    """How evenly the rocks move from frame to frame in a frame trace the game wrote
    (DRELK2_FRAME_TRACE: a line a frame, its time and its play time in microseconds, the share of
    the way to the next tick, the ticks dropped so far, then the place each rock's transform
    shows): for each rock that drifts, the distance it moves on screen from one frame to the
    next. Returns the frames, the spread of those distances (standard deviation over mean,
    averaged over the rocks), the share of frames showing less than 3/4 of the rock's usual
    motion, the spread of the speed (distance over the frame's time), the share of frames where a
    rock moves at its own speed (within 10% of its median), the same share left out the frames
    across which the game dropped ticks (a timer event too late: the game then slows on
    purpose), and the frame-to-frame times' median and 99th percentile in ms. Frames where a rock
    wraps at an edge or no longer moves (it was shot), and the first `skip_frames`, are left out."""
    rows = []
    with open(trace_path) as f:
        for line in f:
            fields = line.split()
            if len(fields) >= 6:
                rows.append([float(x) for x in fields])
    rows = rows[skip_frames:]
    if len(rows) < 3:
        raise GameError(f"{len(rows)} frames traced in {trace_path}")
    times = numpy.array([row[0] for row in rows]) / 1000.0
    intervals = numpy.diff(times)
    undropped = numpy.diff(numpy.array([row[3] for row in rows])) == 0
    rocks = min(len(row) for row in rows) - 4
    spreads, slow, speeds, steady, steady_undropped, counted, counted_undropped = [], 0, [], 0, 0, 0, 0
    for rock in range(0, rocks, 2):
        places = numpy.array([[row[4 + rock], row[5 + rock]] for row in rows])
        steps = numpy.hypot(*numpy.diff(places, axis=0).T)
        keep = (steps < 5.0) & (steps > 1e-5)  # a wrap is a jump, not motion; a rock shot stops
        steps, dt, clean = steps[keep], intervals[keep], undropped[keep]
        if len(steps) < 3 or numpy.median(steps) < 1e-4:
            continue
        spreads.append(steps.std() / steps.mean())
        slow += int((steps < 0.75 * numpy.median(steps)).sum())
        counted += len(steps)
        speed = steps / dt
        speeds.append(speed.std() / speed.mean())
        at_speed = numpy.abs(speed / numpy.median(speed) - 1) <= 0.1
        steady += int(at_speed.sum())
        steady_undropped += int(at_speed[clean].sum())
        counted_undropped += int(clean.sum())
    if not spreads:
        raise GameError(f"no drifting rock in {trace_path}")
    return {"frames": len(rows), "spread": float(numpy.mean(spreads)), "slow_share": slow / counted,
            "speed_spread": float(numpy.mean(speeds)), "steady_share": steady / counted,
            "steady_share_undropped": steady_undropped / max(1, counted_undropped),
            "frame_p50_ms": float(numpy.percentile(intervals, 50)),
            "frame_p99_ms": float(numpy.percentile(intervals, 99))}
