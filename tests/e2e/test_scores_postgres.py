"""The world table on a real PostgreSQL 15 server that this module starts once (initdb in a
temporary folder, as an ordinary user, loopback only): two services share one table; the server
stopped costs 503 and one log line, and the services come back by themselves when it does; a
load of submissions through a SIGKILL loses none that was answered."""
import os
import subprocess

import pytest

from drelk2_scores import Postgres, Service, make_replays, read, request, scores, submit, submit_through_a_kill

NO_RATE = ("--rate", "0")


@pytest.fixture(scope="module")
def build_dir(request):
    return os.path.dirname(request.config.getoption("--drelk2"))


@pytest.fixture(scope="module")
def server():
    pg = Postgres()
    yield pg
    pg.close()


@pytest.fixture(scope="module")
def games(build_dir, tmp_path_factory):
    return make_replays(build_dir, str(tmp_path_factory.mktemp("games")), 8, 300, first_seed=500)


@pytest.fixture
def database(server):
    """A fresh table in the module's server."""
    subprocess.run(["psql", server.uri, "-q", "-c", "DROP TABLE IF EXISTS scores"], check=True, capture_output=True)
    return server.uri


@pytest.fixture
def service(build_dir, tmp_path):
    started = []

    def start(db, *args):
        started.append(Service(build_dir, db, str(tmp_path), *NO_RATE, *args))
        return started[-1]

    yield start
    for one in started:
        if one.proc.poll() is None:
            one.stop()


def test_two_services_share_one_table(service, database, games):
    first, second = service(database), service(database)
    assert submit(first.url, "Ann", read(games[0][0])).status == 201
    added = submit(second.url, "Bob", read(games[1][0]))
    assert added.status == 201, added
    # The same game through the other service is the same game.
    assert submit(second.url, "Eve", read(games[0][0])).status == 409
    for one in (first, second):
        rows = scores(one.url)
        assert sorted((r["name"], r["score"]) for r in rows) == sorted(
            [("Ann", games[0][1]), ("Bob", games[1][1])])
    assert request(f"{first.url}/replays/{added.json()['id']}").body == read(games[1][0])


def test_the_server_stopped_costs_503_and_one_line_and_the_service_comes_back(service, server, database, games):
    table = service(database)
    assert submit(table.url, "Ann", read(games[2][0])).status == 201
    server.stop()
    try:
        for game in games[3:5]:
            answer = submit(table.url, "Bob", read(game[0]))
            assert answer.status == 503 and answer.headers.get("Retry-After"), answer
        page = request(f"{table.url}/")
        assert page.status == 503, page
        assert request(f"{table.url}/api/scores").status == 503
    finally:
        server.start()
    answer = submit(table.url, "Cy", read(games[5][0]))
    assert answer.status == 201, answer
    assert sorted(r["name"] for r in scores(table.url)) == ["Ann", "Cy"]
    log = table.log()
    assert log.count("database is unavailable") == 1 and log.count("database answers again") == 1, log


def test_submissions_through_a_kill_are_all_there(service, database, build_dir, tmp_path):
    made = make_replays(build_dir, str(tmp_path / "load"), 60, 100, first_seed=3000)
    expected = {read(path): (score, level, ticks) for path, score, level, ticks in made}
    table = service(database, "--per-address", "32")
    answered = submit_through_a_kill(table, list(expected), 10, kill_after=20)
    by_id = {row["id"]: row for row in scores(table.url)}
    assert len(by_id) == 60
    for data, row_id in answered.items():
        assert (by_id[row_id]["score"], by_id[row_id]["level"], by_id[row_id]["ticks"]) == expected[data]
