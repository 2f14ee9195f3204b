#!/usr/bin/python3
"""The world table's figures, on SQLite and on PostgreSQL side by side: submissions verified a
second (and a second per core) with every checker busy, the time from POST to answer for a
3-minute and a 30-minute game (median and 99th percentile, one at a time), and the service's
memory under that load (the service alone, and with its checkers).

Usage: bench-scores.py BUILD [GAMES]   (GAMES 3-minute games for the load, 40 by default)
"""
import os
import statistics
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from drelk2_scores import Postgres, Service, make_replays, read, submit  # noqa: E402

TICKS_A_MINUTE = 6000
CLIENTS = 8


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(len(ordered) * share))]


def rss_kb(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def children(pid):
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    if int(stat.read().rsplit(")", 1)[1].split()[1]) == pid:
                        found.append(int(entry))
            except (OSError, ValueError, IndexError):
                pass
    return found


def timed_submit(url, name, data):
    started = time.monotonic()
    answer = submit(url, name, data, timeout=600)
    assert answer.status == 201, answer
    return time.monotonic() - started


def measure(label, build, db, folder, load, short, long_games):
    service = Service(build, db, folder, "--rate", "0", "--waiting", "256", "--per-address", "64")
    pid = service.proc.pid
    peak = {"service": 0, "all": 0}
    sampling = [True]

    def sample():
        while sampling[0]:
            own = rss_kb(pid)
            peak["service"] = max(peak["service"], own)
            peak["all"] = max(peak["all"], own + sum(rss_kb(c) for c in children(pid)))
            time.sleep(0.02)

    with ThreadPoolExecutor(1) as sampler:
        sampler.submit(sample)
        started = time.monotonic()
        with ThreadPoolExecutor(CLIENTS) as pool:
            list(pool.map(lambda g: timed_submit(service.url, "Load", read(g[0])), load))
        load_seconds = time.monotonic() - started
        sampling[0] = False
    cores = os.cpu_count() or 1
    rate = len(load) / load_seconds
    three = [timed_submit(service.url, "Three", read(g[0])) for g in short]
    thirty = [timed_submit(service.url, "Thirty", read(g[0])) for g in long_games]
    service.stop()
    return {"label": label, "rate": rate, "per_core": rate / cores, "cores": cores,
            "three": (statistics.median(three), percentile(three, 0.99)),
            "thirty": (statistics.median(thirty), percentile(thirty, 0.99)),
            "service_mb": peak["service"] / 1024, "all_mb": peak["all"] / 1024}


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        return 2
    build = os.path.abspath(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) == 3 else 40
    folder = tempfile.mkdtemp(prefix="drelk2-bench-scores-")
    print(f"making {count} + 20 three-minute games and 10 thirty-minute ones...", file=sys.stderr)
    load = make_replays(build, os.path.join(folder, "load"), count, 3 * TICKS_A_MINUTE, first_seed=1)
    short = make_replays(build, os.path.join(folder, "short"), 20, 3 * TICKS_A_MINUTE, first_seed=10000)
    long_games = make_replays(build, os.path.join(folder, "long"), 10, 30 * TICKS_A_MINUTE, first_seed=20000)
    results = [measure("SQLite", build, os.path.join(folder, "scores.db"), folder, load, short, long_games)]
    pg = Postgres()
    try:
        results.append(measure("PostgreSQL", build, pg.uri, folder, load, short, long_games))
    finally:
        pg.close()
    print(f"{'':12}{'verified/s':>11}{'per core':>10}{'3-min p50':>11}{'p99':>8}{'30-min p50':>12}{'p99':>8}"
          f"{'service MB':>12}{'+checkers MB':>14}")
    for r in results:
        print(f"{r['label']:12}{r['rate']:11.2f}{r['per_core']:10.2f}{r['three'][0]:10.2f}s{r['three'][1]:7.2f}s"
              f"{r['thirty'][0]:11.2f}s{r['thirty'][1]:7.2f}s{r['service_mb']:12.1f}{r['all_mb']:14.1f}")
    print(f"({count} three-minute games from {CLIENTS} clients at once on {results[0]['cores']} cores; "
          f"the times one submission at a time)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
