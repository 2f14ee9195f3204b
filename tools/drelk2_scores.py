"""Runs the world table's service as its tests and figures need it: drelk2-scores started on a free
loopback port and stopped or killed, a PostgreSQL 15 server of its own in a temporary folder
(as an ordinary user, even when run as root), games made by drelk2-test-replays, and requests
over HTTP. Used by tests/e2e/test_scores*.py, test_world.py and tools/bench-scores.py.
"""
import json
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import urllib.error
import urllib.parse
import urllib.request
from concurrent.futures import ThreadPoolExecutor

PG_BIN = "/usr/lib/postgresql/15/bin"
LISTENING = re.compile(r"listening on http://([^/]+)/")

# Offsets in a replay file (little-endian): the header's claims, the command counts, and the
# FNV-1a checksum over every byte before the last eight.
SCORE_AT, LEVEL_AT, TICKS_AT, FINAL_DIGEST_AT = 72, 76, 68, 80
COMMANDS_AT, COMMAND_BYTES_AT, HEADER_BYTES = 88, 92, 104


def fnv1a(data):
    value = 0xcbf29ce484222325
    for byte in data:
        value = ((value ^ byte) * 0x100000001b3) & 0xffffffffffffffff
    return value


def reseal(data):
    """The replay's checksum made good again after a change."""
    data = bytearray(data)
    data[-8:] = fnv1a(bytes(data[:-8])).to_bytes(8, "little")
    return bytes(data)


def field(data, at):
    return int.from_bytes(data[at:at + 4], "little", signed=True)


def with_field(data, at, value):
    data = bytearray(data)
    data[at:at + 4] = value.to_bytes(4, "little", signed=True)
    return reseal(data)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_replays(build_dir, folder, count, ticks, first_seed=1, level=1):
    """`count` different games of `ticks` ticks from `level`, recorded under today's rules; a list
    of (path, score, level, ticks)."""
    os.makedirs(folder, exist_ok=True)
    made = subprocess.run([os.path.join(build_dir, "drelk2-test-replays"), os.path.join(build_dir, "Drelk_II.bin"),
                           folder, str(count), str(ticks), str(first_seed), str(level)],
                          capture_output=True, text=True, check=True, env=dict(os.environ, SDL_AUDIODRIVER="dummy"))
    games = []
    for line in made.stdout.splitlines():
        path, score, level, game_ticks = line.rsplit(" ", 3)
        games.append((path, int(score), int(level), int(game_ticks)))
    return games


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Answer:
    def __init__(self, status, body, headers):
        self.status, self.body, self.headers = status, body, headers

    def json(self):
        return json.loads(self.body)

    def __repr__(self):
        return f"Answer({self.status}, {self.body[:200]!r})"


def request(url, data=None, timeout=60, method=None):
    """One HTTP request; the status, body and headers whatever the status."""
    req = urllib.request.Request(url, data=data, method=method)
    if data is not None:
        req.add_header("Content-Type", "application/octet-stream")
    try:
        with urllib.request.urlopen(req, timeout=timeout) as reply:
            return Answer(reply.status, reply.read(), dict(reply.headers))
    except urllib.error.HTTPError as error:
        return Answer(error.code, error.read(), dict(error.headers))


def submit(base, name, data, timeout=60):
    return request(f"{base}/api/replays?name={urllib.parse.quote(name)}", data=data, timeout=timeout)


def scores(base, limit=1000):
    answer = request(f"{base}/api/scores?limit={limit}")
    assert answer.status == 200, answer
    return answer.json()


class Service:
    """drelk2-scores serve on a free loopback port; its log in `log_path`."""

    def __init__(self, build_dir, db, folder, *args, port=0, env=None):
        self.exe = os.path.join(build_dir, "drelk2-scores")
        self.args = [self.exe, "serve", "--db", db, "--listen", f"127.0.0.1:{port}",
                     "--data", os.path.join(build_dir, "Drelk_II.bin"), *args]
        self.log_path = os.path.join(folder, f"scores-{time.monotonic_ns()}.log")
        self.env = dict(os.environ, **(env or {}))
        self.proc = None
        self.start()

    def start(self, timeout=30):
        self._log = open(self.log_path, "ab")
        start = os.path.getsize(self.log_path)
        self.proc = subprocess.Popen(self.args, stdout=subprocess.DEVNULL, stderr=self._log, env=self.env)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = LISTENING.search(read(self.log_path)[start:].decode(errors="replace"))
            if found:
                self.address = found.group(1)
                self.url = f"http://{self.address}"
                self.port = int(self.address.rsplit(":", 1)[1])
                return
            if self.proc.poll() is not None:
                raise RuntimeError(f"drelk2-scores ended with {self.proc.returncode}: {self.log()}")
            time.sleep(0.05)
        raise RuntimeError(f"drelk2-scores did not listen: {self.log()}")

    def log(self):
        return read(self.log_path).decode(errors="replace")

    def restart_on_same_port(self):
        self.args[self.args.index("--listen") + 1] = self.address
        self.start()

    def kill(self):
        self.proc.send_signal(signal.SIGKILL)
        self.proc.wait(timeout=10)
        self._log.close()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(timeout=30)
        self._log.close()
        return self.proc.returncode


def _unprivileged_user():
    """PostgreSQL refuses to run as root: a user of the system's own, made when there is none."""
    for name in ("postgres", "drelk2-test"):
        try:
            return pwd.getpwnam(name)
        except KeyError:
            pass
    subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", "drelk2-test"],
                   check=True)
    return pwd.getpwnam("drelk2-test")


class Postgres:
    """A PostgreSQL 15 server of its own: initdb in a temporary folder, listening on loopback only
    (a free TCP port and a socket in that folder), trusting local connections. `uri` names its
    database `scores`."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="drelk2-pg-")
        os.chmod(self.folder, 0o755)
        self.data = os.path.join(self.folder, "data")
        self.port = free_port()
        self.user = None
        if os.geteuid() == 0:
            self.user = _unprivileged_user()
            os.chown(self.folder, self.user.pw_uid, self.user.pw_gid)
        self._run(os.path.join(PG_BIN, "initdb"), "-D", self.data, "-U", "drelk2", "--auth=trust",
                  "--no-sync", "-E", "UTF8", "--locale=C")
        self.start()
        self._run(os.path.join(PG_BIN, "createdb"), "-h", "127.0.0.1", "-p", str(self.port), "-U", "drelk2", "scores")
        self.uri = f"postgresql://drelk2@127.0.0.1:{self.port}/scores"

    def _run(self, *command):
        if self.user:
            command = ("setpriv", f"--reuid={self.user.pw_uid}", f"--regid={self.user.pw_gid}", "--clear-groups",
                       *command)
        done = subprocess.run(command, capture_output=True, text=True, cwd=self.folder)
        assert done.returncode == 0, done.stdout + done.stderr
        return done

    def start(self):
        self._run(os.path.join(PG_BIN, "pg_ctl"), "-D", self.data, "-l", os.path.join(self.folder, "server.log"),
                  "-w", "-t", "60", "-o", f"-c listen_addresses=127.0.0.1 -p {self.port} -k {self.folder}", "start")

    def stop(self):
        self._run(os.path.join(PG_BIN, "pg_ctl"), "-D", self.data, "-w", "-m", "fast", "stop")

    def close(self):
        try:
            self.stop()
        finally:
            shutil.rmtree(self.folder, ignore_errors=True)


def submit_through_a_kill(service, replays, clients, kill_after):
    """Every replay submitted by `clients` clients at once, the service killed with SIGKILL once
    `kill_after` have been answered 201 and started again on its port; a client whose connection
    is lost, or that is told to come back later, tries again. Returns {replay bytes: id} of the
    201 answers; every other answer must be 409 (a game committed before the kill, whose answer
    went with the connection)."""
    answered = {}
    lock = threading.Lock()

    def send(data):
        for _ in range(300):
            try:
                answer = submit(service.url, "Load", data, timeout=120)
            except OSError:
                time.sleep(0.2)  # the service is down: again until it is back
                continue
            if answer.status == 503:
                time.sleep(float(answer.headers.get("Retry-After", "1")))
                continue
            assert answer.status in (201, 409), answer
            if answer.status == 201:
                with lock:
                    answered[data] = answer.json()["id"]
            return
        raise AssertionError("never answered")

    def killer():
        while len(answered) < kill_after:
            time.sleep(0.05)
        service.kill()
        service.restart_on_same_port()

    kill_thread = threading.Thread(target=killer)
    kill_thread.start()
    with ThreadPoolExecutor(clients) as pool:
        list(pool.map(send, replays))
    kill_thread.join()
    return answered
