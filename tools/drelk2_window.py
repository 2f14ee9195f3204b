"""What drelk2's windows are, for the scripts that drive and measure the game: their titles and
roles, sizes, the bars of the game window, the status text, and where a point of the play field
lands in the view. Sizes are as the desktop measures them; on a scaled screen multiply by its
scale for device pixels.
"""
import math

TITLE = "Drelk II"
ERROR_TITLE = " Drelk II: Error!"
# The status line and the keys of the game's binding table (as xdotool names them), as it has them
# by default; a unit test holds both against the table.
STATUS_TEXT = "ESC/Q=exit    LEFT/RIGHT=rotate    UP=engine    SPACE-bar=shot    M=music on/off"
KEYS = {"turn_left": "Left", "turn_right": "Right", "thrust": "Up", "fire": "space", "pause": "p", "music": "m",
        "leave": "Escape", "full_screen": "F11", "faster": "f"}

# Each window tells itself apart by its X window role (WM_WINDOW_ROLE); all carry TITLE.
ROLE_STARTUP = "drelk2-startup"
ROLE_GAME = "drelk2-game"
ROLE_ENDING = "drelk2-ending"
ROLE_SCORES = "drelk2-scores"
ROLE_CONTROLS = "drelk2-controls"
ROLE_OPTIONS = "drelk2-options"

STARTUP_SIZE = (400, 290)
STARTUP_PICTURE = (6, 7, 387, 206)  # left, top, width, height inside the start-up window
ENDING_SIZE = (512, 340)

# The start-up window's list, in its order, and the keys that choose each entry from the first.
WINDOW_SIZES = {"800x600": (800, 600), "1024x768": (1024, 768), "1280x1024": (1280, 1024)}
SIZE_KEYS = {"800x600": (), "1024x768": ("Down",), "1280x1024": ("Down", "Down")}

BAR_HEIGHT = 24  # the title bar above the view and the status bar below it

# The camera: 45 degrees high, at z = 50 over the play field, which spans x -30..30, y -20..20.
HEIGHT_ANGLE = math.pi / 4
CAMERA_Z = 50.0
FIELD_HALF_WIDTH = 30.0
FIELD_HALF_HEIGHT = 20.0
# Full screen keeps the view at the shape that shows the field's whole width.
FIELD_ASPECT = FIELD_HALF_WIDTH / (CAMERA_Z * math.tan(HEIGHT_ANGLE / 2))


def centred(screen_size, window_size):
    """Where a window of window_size is placed on a screen: centred, rounding toward zero."""
    return tuple(int((s - w) / 2) for s, w in zip(screen_size, window_size))


def view_area(x, y, width, height, scale=1, full_screen=False):
    """The 3D view inside a game window at (x, y) of width x height device pixels: all but the two
    bars, and in full screen the largest part of that of the field's shape, centred."""
    bar = BAR_HEIGHT * scale
    left, top, w, h = x, y + bar, width, height - 2 * bar
    if full_screen:
        if w / h > FIELD_ASPECT:
            fitted = int(round(h * FIELD_ASPECT))
            left, w = left + (w - fitted) // 2, fitted
        else:
            fitted = int(round(w / FIELD_ASPECT))
            top, h = top + (h - fitted) // 2, fitted
    return left, top, w, h


def to_screen(area, x, y, z=0.0):
    """The pixel where the field point (x, y, z) shows in a view area (left, top, width, height)."""
    left, top, width, height = area
    scale = (height / 2) / ((CAMERA_Z - z) * math.tan(HEIGHT_ANGLE / 2))
    return int(round(left + width / 2 + x * scale)), int(round(top + height / 2 - y * scale))
