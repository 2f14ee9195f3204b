"""Fixtures of the end-to-end tests: each test gets its own X server (so tests may run side by
side) and its own home folder (so no test sees another's best scores or remembered choices), and
starts the real game on it with SDL's file-writing audio driver; screenshots and the recorded
sound are kept under the build folder for a person to look at.
"""
import os
import shutil

import pytest

from drelk2_player import XServer, Game


def pytest_addoption(parser):
    parser.addoption("--drelk2", required=True, help="the game executable, its data file beside it")
    parser.addoption("--shots", required=True, help="folder for the screenshots of the run")


@pytest.fixture
def drelk2(request):
    return request.config.getoption("--drelk2")


@pytest.fixture
def shots(request):
    folder = os.path.join(request.config.getoption("--shots"), request.node.name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


@pytest.fixture
def home(tmp_path):
    """The player's home folder, shared by the runs of one test."""
    folder = tmp_path / "home"
    folder.mkdir()
    return str(folder)


@pytest.fixture
def screen():
    """The X server's screen size for the test's display; a test may set it before `display`."""
    return None


@pytest.fixture
def display(screen):
    server = XServer(**(screen or {}))
    yield server.display
    server.close()


@pytest.fixture
def start_game(drelk2, display, shots, home):
    games = []

    def start(*args, exe=None, sound=True, env=None, scale=1):
        game = Game(exe or drelk2, display, shots, args, sound, home=home, env=env, scale=scale)
        games.append(game)
        return game

    yield start
    for game in games:
        game.close()
