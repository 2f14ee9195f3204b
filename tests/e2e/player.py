"""Drives the real drelk2 as a player does: a private Xvfb, keys and clicks through xdotool, window
geometry, screenshots of the root window, the sound written by SDL's file-writing driver, and the
exit status. Used by the end-to-end tests and by the window measurements.
"""
import os
import subprocess
import time

import numpy

SCREEN_WIDTH, SCREEN_HEIGHT = 1280, 1024
SAMPLE_RATE = 44100


class GameError(AssertionError):
    """The game did not do what a player waits for."""


class XServer:
    """A private X server with GLX, as big as the largest window size the game offers."""

    def __init__(self):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24",
             "+extension", "GLX", "-nolisten", "tcp", "-noreset"],
            pass_fds=[write_fd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
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


class Game:
    """One run of drelk2 on a display, with its recorded sound and its standard error."""

    def __init__(self, exe, display, folder, args=(), sound=True):
        self.display = display
        self.folder = folder
        self.env = dict(os.environ, DISPLAY=display)
        self.sound_file = os.path.join(folder, "sound.raw")
        if sound:
            self.env.update(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=self.sound_file)
        else:
            self.env.update(SDL_AUDIODRIVER="dummy")
        self.stderr_path = os.path.join(folder, "stderr.txt")
        self._stderr = open(self.stderr_path, "wb")
        self.proc = subprocess.Popen([exe, *args], env=self.env, stdout=subprocess.DEVNULL, stderr=self._stderr)
        self.shot_count = 0

    # ---- the X side ----
    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True).stdout

    def windows(self, name):
        """The mapped windows whose title is exactly name."""
        ids = self.xdotool("search", "--onlyvisible", "--name", f"^{name}$").split()
        found = []
        for wid in ids:
            info = self.xdotool("getwindowgeometry", "--shell", wid)
            values = dict(line.split("=", 1) for line in info.split() if "=" in line)
            if "WIDTH" in values:
                found.append(Window(wid, int(values["X"]), int(values["Y"]), int(values["WIDTH"]),
                                    int(values["HEIGHT"])))
        return found

    def wait_window(self, name, timeout=10.0):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            found = self.windows(name)
            if found:
                time.sleep(0.3)  # let it draw
                return found[0]
            if self.proc.poll() is not None:
                raise GameError(f"drelk2 ended ({self.proc.returncode}) before '{name}' showed: {self.stderr()}")
            time.sleep(0.05)
        raise GameError(f"no window '{name}' within {timeout} s")

    def key(self, *keys, delay_ms=50):
        self.xdotool("key", "--delay", str(delay_ms), *keys)

    def click(self, x, y):
        self.xdotool("mousemove", str(x), str(y), "click", "1")

    def request_close(self, window):
        """What a window manager sends for Alt+F4 or the close button: WM_DELETE_WINDOW."""
        from Xlib import X, display as xdisplay
        from Xlib.protocol import event
        conn = xdisplay.Display(self.display)
        target = conn.create_resource_object("window", int(window.wid))
        protocols = conn.intern_atom("WM_PROTOCOLS")
        delete = conn.intern_atom("WM_DELETE_WINDOW")
        message = event.ClientMessage(window=target, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        target.send_event(message, event_mask=X.NoEventMask)
        # A round trip: the server has handled the request before the connection goes.
        conn.sync()
        conn.close()

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
        return numpy.frombuffer(raw, dtype=numpy.uint8).reshape(SCREEN_HEIGHT, SCREEN_WIDTH, 3).astype(int)

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




def start_playing(game, size_keys=()):
    """Through the start-up window into the game, once its first frame shows: `size_keys` choose
    the size in the list."""
    game.wait_window("FormSplash")
    if size_keys:
        game.key("Tab", *size_keys)
    game.key("alt+s")
    window = game.wait_window("Drelk II")
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        field = game.grab(window.x, window.y + 24, window.width, window.height - 48)
        if field.max() > 100:
            return window
        time.sleep(0.05)
    raise GameError("the game window shows no picture")
