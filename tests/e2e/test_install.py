"""`make install` and the Debian packages: what lands where, that the packages pass the checks a
distribution runs, and that the installed game starts from the desktop's places and goes again
without a trace."""
import contextlib
import fcntl
import glob
import os
import subprocess
import time

import pytest

import drelk2_window as facts
from drelk2_player import Game

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
METAINFO = "example.c_seed_391c2180.drelk2.metainfo.xml"
ICON_SIZES = (16, 32, 48, 64, 128, 256)
ICONS = [f"share/icons/hicolor/{n}x{n}/apps/drelk2.png" for n in ICON_SIZES]
# The game's files under the install prefix.
GAME_FILES = {"games/drelk2", "share/games/drelk2/Drelk_II.bin", "share/applications/drelk2.desktop",
              f"share/metainfo/{METAINFO}", "share/man/man6/drelk2.6", *ICONS}
TOOL_FILES = {"bin/drelk2-bank", "bin/drelk2-sim", "share/man/man1/drelk2-bank.1", "share/man/man1/drelk2-sim.1"}
SCORES_FILES = {"bin/drelk2-scores", "share/man/man1/drelk2-scores.1"}
# The world table's systemd unit, as debhelper installs it.
SCORES_UNIT = "lib/systemd/system/drelk2-scores.service"
# Lintian's tags for what the distribution's build flags and strip bring, whatever their level.
BUILD_FLAG_TAGS = ("hardening-", "binary-has-unneeded-section", "unstripped-binary-or-object",
                   "debug-file-with-no-debug-symbols", "binary-compiled-with-profiling-enabled")


def run(*command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


@pytest.fixture(scope="module")
def build_dir(request):
    return os.path.dirname(request.config.getoption("--drelk2"))


def installed_files(root):
    """The regular files and links under root, relative to it."""
    found = set()
    for folder, _, files in os.walk(root):
        found.update(os.path.relpath(os.path.join(folder, name), root) for name in files)
    return found


def test_make_install_puts_each_file_in_its_place(build_dir, tmp_path):
    prefix = tmp_path / "prefix"
    run("cmake", "--install", build_dir, "--prefix", str(prefix), check=True)
    # Exactly what is shipped: no test, benchmark or build tool.
    assert installed_files(prefix) == GAME_FILES | TOOL_FILES | SCORES_FILES


def test_the_data_file_is_looked_for_beside_the_program_then_in_the_data_folder(build_dir, tmp_path):
    """drelk2 --help names the places, and drelk2-sim, which looks them up as the game does, takes
    them in that order; neither needs a display for it."""
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    help_text = run(os.path.join(build_dir, "drelk2"), "--help", env=env).stdout
    for part in ("Keys:", "Esc, Q", "Exit status:", "255"):
        assert part in help_text, help_text
    places = help_text.split("else the first of\n")[1].split("\n")[:2]
    beside, installed = (p.strip() for p in places)
    assert beside == os.path.join(os.path.realpath(build_dir), "Drelk_II.bin")
    assert installed.endswith("/share/games/drelk2/Drelk_II.bin") and os.path.isabs(installed)

    alone = tmp_path / "alone"
    alone.mkdir()
    sim = alone / "drelk2-sim"
    sim.write_bytes(open(os.path.join(build_dir, "drelk2-sim"), "rb").read())
    sim.chmod(0o755)
    if not os.path.exists(installed):
        missing = run(str(sim), "--ticks", "1", env=env)
        assert missing.returncode == 1 and installed in missing.stderr, missing.stderr
    (alone / "Drelk_II.bin").write_bytes(open(os.path.join(build_dir, "Drelk_II.bin"), "rb").read())
    found = run(str(sim), "--ticks", "1", env=env)
    assert found.returncode == 0 and '"tick":1' in found.stdout, found.stderr


# ---- the Debian packages ----

@pytest.fixture(scope="module")
def packages(build_dir):
    """The packages dpkg-buildpackage makes of these sources, in build/package/."""
    out = os.path.join(build_dir, "package")
    started = time.monotonic()
    built = run(os.path.join(SOURCE_DIR, "tools", "build-package.sh"), out)
    assert built.returncode == 0, built.stderr
    print(f"packages built in {time.monotonic() - started:.0f} s")
    found = {name: glob.glob(os.path.join(out, pattern))
             for name, pattern in (("game", "drelk2_*.deb"), ("tools", "drelk2-tools_*.deb"),
                                   ("scores", "drelk2-scores_*.deb"), ("dbgsym", "drelk2*-dbgsym_*.deb"),
                                   ("changes", "drelk2_*.changes"), ("buildinfo", "drelk2_*.buildinfo"))}
    assert [len(found[k]) for k in ("game", "tools", "scores", "dbgsym", "changes", "buildinfo")] == [1, 1, 1, 3, 1, 1], found
    return {k: v if k == "dbgsym" else v[0] for k, v in found.items()}


def unpack(deb, root):
    run("dpkg-deb", "-x", deb, str(root), check=True)
    return root


def test_lintian_finds_no_error_no_warning_and_nothing_of_the_build_flags(packages):
    debs = [packages["game"], packages["tools"], packages["scores"], *packages["dbgsym"]]
    report = run("lintian", "--pedantic", "--display-info", *debs, packages["changes"], packages["buildinfo"])
    tags = [line for line in report.stdout.splitlines() if line[:2] in ("E:", "W:", "I:", "P:", "X:")]
    bad = [line for line in tags if line[:2] in ("E:", "W:") or any(t in line for t in BUILD_FLAG_TAGS)]
    assert report.returncode == 0 and not bad, report.stdout + report.stderr


def test_each_package_holds_its_files(packages):
    def listing(deb):
        lines = run("dpkg-deb", "-c", deb, check=True).stdout.splitlines()
        return {line.split(None, 5)[5].split(" -> ")[0][len("./usr/"):] for line in lines if not line.startswith("d")}

    docs = {"share/doc/{}/copyright", "share/doc/{}/changelog.gz"}
    game_docs = {d.format("drelk2") for d in docs} | {"share/doc/drelk2/README.md.gz"}
    # Manual pages are compressed in a package.
    compressed = {f + ".gz" if "/man/" in f else f for f in GAME_FILES}
    assert listing(packages["game"]) == compressed | game_docs
    tool_files = {f + ".gz" if "/man/" in f else f for f in TOOL_FILES}
    assert listing(packages["tools"]) == tool_files | {d.format("drelk2-tools") for d in docs}
    scores_files = {f + ".gz" if "/man/" in f else f for f in SCORES_FILES}
    scores_listing = {f for f in listing(packages["scores"])}
    assert scores_listing == scores_files | {d.format("drelk2-scores") for d in docs} | {SCORES_UNIT[len("lib/"):]}, \
        scores_listing
    scores_depends = run("dpkg-deb", "-f", packages["scores"], "Depends").stdout
    for library in ("libmicrohttpd12", "libsqlite3-0", "libpq5", "drelk2 (= "):
        assert library in scores_depends, scores_depends

    fields = {name: {field: run("dpkg-deb", "-f", packages[name], field).stdout.strip()
                     for field in ("Section", "Depends")} for name in ("game", "tools")}
    assert fields["game"]["Section"] == "games" and fields["tools"]["Section"] == "utils"
    for library in ("libsoqt520", "libcoin80c", "libsdl2-mixer-2.0-0", "libqt5widgets5", "fonts-dejavu-core"):
        assert library in fields["game"]["Depends"], fields["game"]["Depends"]


def test_icons_entry_metainfo_and_manual_pages_pass_their_validators(packages, tmp_path):
    root = unpack(packages["scores"], unpack(packages["tools"], unpack(packages["game"], tmp_path / "root")))
    for size, icon in zip(ICON_SIZES, ICONS):
        assert run("identify", "-format", "%wx%h", str(root / "usr" / icon)).stdout == f"{size}x{size}"
    entry = run("desktop-file-validate", str(root / "usr/share/applications/drelk2.desktop"))
    assert entry.returncode == 0 and not entry.stdout.strip(), entry.stdout
    metainfo = run("appstreamcli", "validate", "--no-net", str(root / "usr/share/metainfo" / METAINFO))
    assert metainfo.returncode == 0, metainfo.stdout
    assert not [line for line in metainfo.stdout.splitlines() if line[:2] in ("E:", "W:")], metainfo.stdout
    pages = glob.glob(str(root / "usr/share/man/man*/*.gz"))
    assert len(pages) == 4
    for page in pages:
        shown = run("man", "--warnings", "-l", page, env=dict(os.environ, MANWIDTH="80", MANPAGER="cat"))
        assert shown.returncode == 0 and not shown.stderr and "drelk2" in shown.stdout, (page, shown.stderr)
    # The unit as systemd reads it; the program it starts and its page are in the unpacked tree,
    # not installed.
    unit = run("systemd-analyze", "verify", str(root / SCORES_UNIT))
    assert not [line for line in unit.stderr.splitlines()
                if "/usr/bin/drelk2-scores is not executable" not in line and "man drelk2-scores(1)" not in line], \
        unit.stderr
    unit_text = (root / SCORES_UNIT).read_text()
    for setting in ("DynamicUser=yes", "ProtectSystem=strict", "NoNewPrivileges=yes", "StateDirectory=drelk2-scores"):
        assert setting in unit_text
    copyright_text = (root / "usr/share/doc/drelk2/copyright").read_text()
    assert "License: Expat" in copyright_text and "fluid-soundfont-gm" in copyright_text


# ---- installed on this machine ----

@contextlib.contextmanager
def machine_lock():
    """One package test at a time on a machine: the packages are installed system-wide."""
    with open("/tmp/drelk2-package-test.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield


def is_installed(package):
    status = run("dpkg-query", "-W", "-f=${Status}", package).stdout
    return "install ok installed" in status


def apt_get(*args):
    done = run("apt-get", "-o", "DPkg::Lock::Timeout=900", "-y", "-q", *args,
               env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    assert done.returncode == 0, done.stdout + done.stderr


def test_installed_the_game_starts_from_the_menu_places_and_purges_clean(packages, display, shots):
    if os.geteuid() != 0:
        pytest.skip("installing a package needs root")
    with machine_lock():
        if is_installed("drelk2") or is_installed("drelk2-tools"):
            pytest.skip("drelk2 is installed on this machine already; the test leaves it alone")
        try:
            apt_get("install", "--no-install-recommends", packages["game"], packages["tools"])
            files = [f for f in run("dpkg", "-L", "drelk2", "drelk2-tools", check=True).stdout.split("\n")
                     if f and not os.path.isdir(f)]
            for size in ICON_SIZES:
                assert os.path.isfile(f"/usr/share/icons/hicolor/{size}x{size}/apps/drelk2.png")
            version = run("/usr/games/drelk2", "--version")
            assert version.returncode == 0 and version.stdout.startswith("drelk2 "), version.stderr
            # Nothing beside the executable: the data file comes from the data folder.
            assert not os.path.exists("/usr/games/Drelk_II.bin")
            game = Game("/usr/games/drelk2", display, shots, sound=False)
            try:
                startup = game.wait_window(role=facts.ROLE_STARTUP, timeout=15.0)
                assert (startup.width, startup.height) == facts.STARTUP_SIZE
                game.screenshot("installed start-up")
                game.key("Escape")
                assert game.wait_exit() == 0
            finally:
                game.close()
            sim = run("drelk2-sim", "--ticks", "5", env={k: v for k, v in os.environ.items() if k != "DISPLAY"})
            assert sim.returncode == 0 and sim.stdout.count("\n") == 2, sim.stderr
        finally:
            if is_installed("drelk2") or is_installed("drelk2-tools"):
                apt_get("remove", "--purge", "drelk2", "drelk2-tools")
        assert not is_installed("drelk2") and not is_installed("drelk2-tools")
        left = [f for f in files if os.path.lexists(f)]
        assert not left, left
        for folder in ("/usr/share/games/drelk2", "/usr/share/doc/drelk2", "/usr/share/doc/drelk2-tools"):
            assert not os.path.exists(folder), folder
