"""The world table's service as its clients meet it, over HTTP on loopback, on a real SQLite file:
games made under today's rules go in with the score the service reaches itself; forged replays,
random bytes, a 10 MB body and a slow client do not; the rate, the queue and the checker's time
are held; 200 submissions from 20 clients are all answered and kept, a SIGKILL in the middle
included; a full disk costs 503 and one log line, then the service goes on by itself; a new
checker finds the stored games that no longer verify."""
import os
import socket
import sqlite3
import subprocess
import time
from concurrent.futures import ThreadPoolExecutor

import pytest

from drelk2_scores import (COMMANDS_AT, FINAL_DIGEST_AT, HEADER_BYTES, LEVEL_AT, SCORE_AT, Service, field,
                           make_replays, read, request, reseal, scores, submit, submit_through_a_kill, with_field)

NO_RATE = ("--rate", "0")


@pytest.fixture(scope="module")
def build_dir(request):
    return os.path.dirname(request.config.getoption("--drelk2"))


@pytest.fixture(scope="module")
def games(build_dir, tmp_path_factory):
    """Short games of their own seeds, and one long one, made once for the module."""
    folder = tmp_path_factory.mktemp("games")
    return make_replays(build_dir, str(folder), 12, 400)


@pytest.fixture
def service(build_dir, tmp_path):
    started = []

    def start(*args, db=None):
        started.append(Service(build_dir, db or str(tmp_path / "scores.db"), str(tmp_path), *args))
        return started[-1]

    yield start
    for one in started:
        if one.proc.poll() is None:
            one.stop()


def test_games_go_in_with_the_services_own_score_and_forgeries_do_not(service, games):
    table = service(*NO_RATE)
    path, score, level, ticks = games[0]
    good = read(path)
    other = read(games[1][0])
    assert field(good, COMMANDS_AT) > 0
    forged = {
        # The header's score raised and the checksum made good: by a little, which only playing
        # the game tells, and by more than its shots could make, which reading it tells.
        "score raised": with_field(good, SCORE_AT, score + 5),
        "score its shots cannot make": with_field(good, SCORE_AT, score + 5000),
        "level raised": with_field(good, LEVEL_AT, level + 1),
        # A command's byte edited (the first command's kind), the checksum made good.
        "command edited": reseal(good[:HEADER_BYTES] + bytes([good[HEADER_BYTES] ^ 1]) + good[HEADER_BYTES + 1:]),
        # Another game's commands and digests under this game's claims.
        "other commands, these claims": reseal(other[:SCORE_AT] + good[SCORE_AT:FINAL_DIGEST_AT + 8] +
                                               other[FINAL_DIGEST_AT + 8:]),
    }
    for what, data in forged.items():
        answer = submit(table.url, "Eve", data)
        assert answer.status == (400 if what == "score its shots cannot make" else 422), (what, answer)
        assert "\n" not in answer.json()["error"].strip()
    added = submit(table.url, "Ann", good)
    assert added.status == 201, added
    assert added.json() == {"id": 1, "score": score, "level": level, "ticks": ticks, "rank": 1}
    # Once in, the game's forged copies are the same game.
    assert submit(table.url, "Eve", forged["score raised"]).status == 409
    # This very game under another name, and random bytes.
    assert submit(table.url, "Eve", good).status == 409
    random_bytes = os.urandom(3000)
    refused = submit(table.url, "Eve", random_bytes)
    assert refused.status == 400 and "not a replay" in refused.json()["error"], refused
    refused = submit(table.url, "Eve", b"")
    assert refused.status == 400, refused

    listed = scores(table.url)
    assert [(r["name"], r["score"], r["level"], r["ticks"]) for r in listed] == [("Ann", score, level, ticks)]
    assert request(f"{table.url}/replays/1").body == good
    log = table.log()
    assert log.count("refused a replay") == len(forged) - 1, log


def test_a_large_body_and_a_slow_client_are_cut_off_and_others_are_served(service, games):
    table = service(*NO_RATE, "--body-seconds", "5")
    host, port = table.address.rsplit(":", 1)
    body = os.urandom(10 * 1024 * 1024)
    # With its length said, the body is refused before it is read; sent in chunks without a
    # length, once its size is past the limit.
    for head, parts in ((b"Content-Length: %d" % len(body), [body]),
                        (b"Transfer-Encoding: chunked",
                         [b"%x\r\n" % (1 << 20) + body[i:i + (1 << 20)] + b"\r\n" for i in range(0, len(body), 1 << 20)]
                         + [b"0\r\n\r\n"])):
        with socket.create_connection((host, int(port)), timeout=30) as s:
            s.sendall(b"POST /api/replays?name=Big HTTP/1.1\r\nHost: x\r\n" + head + b"\r\n\r\n")
            try:
                for part in parts:
                    s.sendall(part)
            except OSError:
                pass  # the service stopped reading: its answer is there
            answer = s.recv(4096)
            assert answer.split(b"\r\n")[0] == b"HTTP/1.1 413 Content Too Large", (head, answer[:100])

    # A client that sends its body a byte every few seconds holds a connection, not the service.
    slow = socket.create_connection((host, int(port)), timeout=60)
    slow.sendall(b"POST /api/replays?name=Slow HTTP/1.1\r\nHost: x\r\nContent-Length: 5000\r\n\r\n")
    started = time.monotonic()
    fast = submit(table.url, "Fast", read(games[2][0]))
    assert fast.status == 201, fast
    cut = None
    try:
        while time.monotonic() - started < 30:
            slow.sendall(b"x")
            time.sleep(2)
    except OSError:
        cut = time.monotonic() - started
    slow.close()
    assert cut is not None and cut < 15, "the slow client was not cut off after its 5 s"
    assert "cut off a slow upload" in table.log()
    assert [r["name"] for r in scores(table.url)] == ["Fast"]


def test_the_rate_the_queue_and_the_checkers_time_are_held(service, games, build_dir, tmp_path):
    table = service("--rate", "2", "--burst", "2")
    answers = [submit(table.url, "Ann", read(games[i][0])) for i in range(3, 6)]
    assert [a.status for a in answers[:2]] == [201, 201], answers
    assert answers[2].status == 429 and int(answers[2].headers["Retry-After"]) >= 1, answers[2]
    table.stop()

    # One checker and no room to wait: submissions at once find it busy.
    table = service("--checkers", "1", "--waiting", "0", *NO_RATE, db=str(tmp_path / "queue.db"))
    with ThreadPoolExecutor(4) as pool:
        answers = list(pool.map(lambda i: submit(table.url, f"P{i}", read(games[6 + i][0])), range(4)))
    statuses = sorted(a.status for a in answers)
    assert statuses[0] == 201 and 503 in statuses, answers
    for busy in (a for a in answers if a.status == 503):
        assert int(busy.headers["Retry-After"]) >= 1
    table.stop()

    # A game that takes longer than the checker's time (a field of 24,000 rocks for 30 seconds):
    # refused, and the service goes on.
    (long_game,) = make_replays(build_dir, str(tmp_path / "long"), 1, 3000, first_seed=99, level=3000)
    table = service("--check-seconds", "1", *NO_RATE, db=str(tmp_path / "time.db"))
    answer = submit(table.url, "Long", read(long_game[0]))
    assert answer.status == 422 and "CPU time" in answer.json()["error"], answer
    assert submit(table.url, "Short", read(games[10][0])).status == 201


def test_two_hundred_submissions_from_twenty_clients_survive_a_kill(service, build_dir, tmp_path):
    made = make_replays(build_dir, str(tmp_path / "load"), 200, 100, first_seed=1000)
    expected = {read(path): (score, level, ticks) for path, score, level, ticks in made}
    table = service(*NO_RATE, "--waiting", "64", "--per-address", "32")
    answered = submit_through_a_kill(table, list(expected), 20, kill_after=60)
    assert len(answered) >= 60
    assert table.log().count("listening on") == 2

    rows = scores(table.url)
    assert len(rows) == 200, len(rows)
    # Every game once, with the checker's numbers; every answered id where it was answered.
    by_id = {row["id"]: row for row in rows}
    for data, row_id in answered.items():
        row = by_id[row_id]
        assert (row["score"], row["level"], row["ticks"]) == expected[data]
        assert request(f"{table.url}/replays/{row_id}").body == data
    table.stop()
    with sqlite3.connect(str(tmp_path / "scores.db")) as db:
        assert db.execute("PRAGMA integrity_check").fetchone()[0] == "ok"
        assert db.execute("SELECT COUNT(*) FROM scores").fetchone()[0] == 200


@pytest.mark.skipif(os.geteuid() != 0, reason="mounting a small file system needs root")
def test_a_full_disk_costs_503_and_one_line_then_the_service_goes_on(service, games, tmp_path):
    disk = tmp_path / "disk"
    disk.mkdir()
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=4m", "tmpfs", str(disk)]).returncode != 0:
        pytest.skip("no tmpfs mount here")
    try:
        table = service(*NO_RATE, db=str(disk / "scores.db"))
        assert submit(table.url, "Ann", read(games[0][0])).status == 201
        filler = disk / "filler"
        with open(filler, "wb") as f:
            try:
                while True:
                    f.write(b"\0" * 65536)
                    f.flush()
            except OSError:
                pass
        for game in games[1:4]:
            answer = submit(table.url, "Bob", read(game[0]))
            assert answer.status == 503 and answer.headers.get("Retry-After"), answer
        log = table.log()
        assert log.count("database is unavailable") == 1, log
        filler.unlink()
        answer = submit(table.url, "Cy", read(games[4][0]))
        assert answer.status == 201, answer
        assert "database answers again" in table.log()
        assert sorted(r["name"] for r in scores(table.url)) == ["Ann", "Cy"]
        table.stop()
    finally:
        subprocess.run(["umount", "-l", str(disk)])


def test_reverify_finds_the_games_that_no_longer_verify_and_sets_them_aside(service, games, build_dir, tmp_path):
    db = str(tmp_path / "scores.db")
    table = service(*NO_RATE)
    for i, (path, *_rest) in enumerate(games[:3]):
        assert submit(table.url, f"P{i}", read(path)).status == 201
    table.stop()
    # As a new release would find them: one replay no longer verifies, one stored score is off.
    with sqlite3.connect(db) as conn:
        forged = with_field(read(games[0][0]), SCORE_AT, games[0][1] + 1)
        conn.execute("UPDATE scores SET replay = ? WHERE id = 1", (forged,))
        conn.execute("UPDATE scores SET score = score + 7 WHERE id = 2")
    exe = os.path.join(build_dir, "drelk2-scores")
    data = os.path.join(build_dir, "Drelk_II.bin")
    report = subprocess.run([exe, "reverify", "--db", db, "--data", data], capture_output=True, text=True)
    assert report.returncode == 3, report.stdout + report.stderr
    lines = report.stdout.splitlines()
    assert lines[0].startswith("#1 'P0'") and "does not verify" in lines[0], lines
    assert lines[1].startswith("#2 'P1'") and "now reaches score" in lines[1], lines
    assert lines[-1] == "3 games: 1 verify, 2 do not, 0 not checked", lines
    set_aside = subprocess.run([exe, "reverify", "--db", db, "--data", data, "--set-aside"], capture_output=True,
                               text=True)
    assert set_aside.returncode == 3 and "(set aside)" in set_aside.stdout
    again = subprocess.run([exe, "reverify", "--db", db, "--data", data], capture_output=True, text=True)
    assert again.returncode == 0 and again.stdout.splitlines()[-1] == "1 games: 1 verify, 0 do not, 0 not checked"
    table.start()
    assert [r["name"] for r in scores(table.url)] == ["P2"]


def test_command_lines_and_databases_that_cannot_serve_get_one_line(build_dir, games, tmp_path):
    exe = os.path.join(build_dir, "drelk2-scores")
    # The checker on its own, its data file named from where it runs.
    with open(games[0][0], "rb") as replay:
        checked = subprocess.run([exe, "check", "--data", "Drelk_II.bin"], stdin=replay, capture_output=True,
                                 text=True, cwd=build_dir, timeout=60)
    assert checked.returncode == 0 and checked.stdout == "verified {3} {1} {2} 5\n".format(*games[0]), checked
    cases = [
        ((), 2, "a command is needed"),
        (("fly",), 2, "unknown command"),
        (("serve", "--set-aside"), 2, "not an option of serve"),
        (("serve", "--checkers", "0"), 2, "--checkers 0"),
        (("serve", "--db", str(tmp_path)), 1, "unable to open"),
        (("serve", "--db", "postgresql://nobody@127.0.0.1:1/none"), 1, "cannot connect"),
        (("serve", "--db", str(tmp_path / "t.db"), "--data", str(tmp_path / "none.bin")), 1, "none.bin"),
        (("serve", "--db", str(tmp_path / "t.db"), "--listen", "nowhere"), 1, "ADDRESS:PORT"),
        (("reverify", "--db", "/dev/zero"), 1, "/dev/zero"),
        (("reverify", "--db", str(tmp_path / "r.db"), "--data", str(tmp_path / "none.bin")), 1, "none.bin"),
    ]
    for args, status, text in cases:
        run = subprocess.run([exe, *args], capture_output=True, text=True, timeout=30)
        assert run.returncode == status, (args, run.stderr)
        assert len(run.stderr.splitlines()) == 1 and text in run.stderr, (args, run.stderr)
