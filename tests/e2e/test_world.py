"""The world table from the player's side: a game played in the real window, sent with
`drelk2 --submit last`, is found with the score the game ended with in the table and on its page,
which a real browser (headless Chromium) shows with a name holding markup as text; a game sent
from the ending screen with Alt+S goes in too; a server that does not answer costs one line and a
few seconds, and the game's own score is kept all the same."""
import os
import re
import shutil
import socket
import subprocess
import time

import pytest

import drelk2_window as facts
from drelk2_player import home_environment, start_playing, wait_for
from drelk2_scores import Service, scores, request

CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync"]


@pytest.fixture
def table(drelk2, tmp_path):
    service = Service(os.path.dirname(drelk2), str(tmp_path / "scores.db"), str(tmp_path), "--rate", "0")
    yield service
    service.stop()


def set_server(home, url, name=None):
    folder = os.path.join(home, ".config", "drelk2")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "drelk2.conf"), "w") as conf:
        conf.write(f"[General]\nserver={url}\n" + (f"name={name}\n" if name else ""))


def play_and_leave(start_game):
    """A game at level 4, firing and turning for a few seconds, left for the ending screen; the
    game and its score (from --stats once it has ended)."""
    game = start_game("--level", "4", "--stats", sound=False)
    start_playing(game)
    keys = facts.KEYS
    game.key(*[keys["fire"], keys["turn_left"]] * 40, delay_ms=60)
    game.key(keys["leave"])
    game.wait_window(role=facts.ROLE_ENDING)
    return game


def ended_score(game):
    match = re.search(r"ended after \d+ ticks with score (\d+) level (\d+)", game.stderr())
    assert match, game.stderr()
    return int(match.group(1)), int(match.group(2))


def drelk2_run(drelk2, home, *args, timeout=30):
    return subprocess.run([drelk2, *args], env=dict(os.environ, **home_environment(home)), capture_output=True,
                          text=True, timeout=timeout)


def test_a_game_from_the_window_sent_with_submit_is_in_the_table_and_on_the_page(start_game, drelk2, home, table,
                                                                                  shots, tmp_path):
    set_server(home, table.url + "/")
    game = play_and_leave(start_game)
    game.screenshot("ending screen offering the world table")
    game.key("x")
    assert game.wait_exit() == 0
    score, level = ended_score(game)
    assert score > 0

    name = "<b>Ann</b> & co"
    sent = drelk2_run(drelk2, home, "--submit", "last", "--name", name)
    assert sent.returncode == 0, sent.stderr
    assert re.match(rf"Rank 1 in the world table at {re.escape(table.url)}/: score {score}, level {level} \(game 1\)",
                    sent.stdout), sent.stdout
    rows = scores(table.url)
    assert [(r["name"], r["score"], r["level"]) for r in rows] == [(name, score, level)]
    page = request(table.url + "/").body.decode()
    assert "&lt;b&gt;Ann&lt;/b&gt; &amp; co" in page and f">{score}<" in page

    listed = drelk2_run(drelk2, home, "--world")
    assert listed.returncode == 0, listed.stderr
    assert re.search(rf"^\s+1  <b>Ann</b> & co\s+{score}  level\s+{level}  \d{{4}}-\d\d-\d\d$", listed.stdout, re.M), \
        listed.stdout

    # The page as a phone's browser shows it: the name is text, not markup.
    profile = tmp_path / "chromium-profile"
    profile.mkdir()
    chromium = shutil.which("chromium")
    assert chromium, "chromium is a test tool (tools/install-deps.sh)"
    flags = [chromium, *CHROMIUM_FLAGS, f"--user-data-dir={profile}", "--window-size=412,915"]
    dom = subprocess.run([*flags, "--dump-dom", table.url + "/"], capture_output=True, text=True, timeout=60)
    assert dom.returncode == 0, dom.stderr
    assert "<td class=\"name\">&lt;b&gt;Ann&lt;/b&gt; &amp; co</td>" in dom.stdout, dom.stdout
    assert "<b>" not in dom.stdout
    shot = os.path.join(shots, "world table page.png")
    taken = subprocess.run([*flags, f"--screenshot={shot}", table.url + "/"], capture_output=True, text=True,
                           timeout=60)
    assert taken.returncode == 0 and os.path.getsize(shot) > 2000, taken.stderr
    size = subprocess.run(["identify", "-format", "%wx%h", shot], capture_output=True, text=True).stdout
    assert size == "412x915", size


def test_a_game_sent_from_the_ending_screen_goes_in(start_game, home, table):
    set_server(home, table.url, name="Ending Screen")
    game = play_and_leave(start_game)
    game.key("alt+s")
    wait_for(lambda: scores(table.url), "no game in the table after Alt+S", 30)
    time.sleep(0.5)
    game.screenshot("ending screen after sending")
    game.key("x")
    assert game.wait_exit() == 0
    score, level = ended_score(game)
    assert [(r["name"], r["score"], r["level"]) for r in scores(table.url)] == [("Ending Screen", score, level)]


def test_a_server_that_does_not_answer_costs_a_line_and_seconds_never_the_score(start_game, drelk2, home):
    # It takes connections and never says a word.
    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen(16)
    set_server(home, f"http://127.0.0.1:{silent.getsockname()[1]}/")
    try:
        started = time.monotonic()
        listed = drelk2_run(drelk2, home, "--world")
        took = time.monotonic() - started
        assert listed.returncode == 4 and len(listed.stderr.splitlines()) == 1, listed.stderr
        assert "no answer within 5 s" in listed.stderr and took < 9, (took, listed.stderr)

        game = play_and_leave(start_game)
        game.key("alt+s")
        time.sleep(1)
        game.key("x")
        assert game.wait_exit() == 0
        score, _ = ended_score(game)
        kept = drelk2_run(drelk2, home, "--scores")
        assert re.search(rf"\b{score}\b", kept.stdout), kept.stdout
    finally:
        silent.close()

    # No server set: nothing is sent, and the line says where to set one.
    os.remove(os.path.join(home, ".config", "drelk2", "drelk2.conf"))
    unset = drelk2_run(drelk2, home, "--submit", "last")
    assert unset.returncode == 4 and "server=URL" in unset.stderr, unset.stderr
