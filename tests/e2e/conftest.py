"""Fixtures of the end-to-end tests: each test gets its own X server (so tests may run side by
side) and starts the real game on it with SDL's file-writing audio driver; screenshots and the
recorded sound are kept under the build folder for a person to look at.
"""
import os
import shutil

import pytest

from player import XServer, Game


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
def display():
    server = XServer()
    yield server.display
    server.close()


@pytest.fixture
def start_game(drelk2, display, shots):
    games = []

    def start(*args, exe=None, sound=True):
        game = Game(exe or drelk2, display, shots, args, sound)
        games.append(game)
        return game

    yield start
    for game in games:
        game.close()
