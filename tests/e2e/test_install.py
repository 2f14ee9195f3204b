"""`make install` and `make package`: what lands where, and that the installed game starts."""
import os
import subprocess

import pytest

import drelk2_window as facts
from drelk2_player import Game


def installed_game_starts(exe, display, folder):
    game = Game(exe, display, folder, sound=False)
    try:
        game.wait_window(role=facts.ROLE_STARTUP)
        game.key("Escape")
        assert game.wait_exit() == 0
    finally:
        game.close()


@pytest.fixture
def build_dir(request):
    return os.path.dirname(request.config.getoption("--drelk2"))


def test_make_install_puts_the_game_its_data_its_entry_and_icon_in_place(build_dir, display, shots, tmp_path):
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", build_dir, "--prefix", str(prefix)], check=True, capture_output=True)
    game_dir = prefix / "lib" / "drelk2"
    for name in ("drelk2", "drelk2-bank", "drelk2-sim", "Drelk_II.bin"):
        assert (game_dir / name).is_file(), name
    link = prefix / "games" / "drelk2"
    assert link.is_symlink() and link.resolve() == (game_dir / "drelk2").resolve()
    entry = prefix / "share" / "applications" / "drelk2.desktop"
    validation = subprocess.run(["desktop-file-validate", str(entry)], capture_output=True, text=True)
    assert validation.returncode == 0 and not validation.stdout.strip(), validation.stdout
    assert "Exec=drelk2" in entry.read_text() and "Icon=drelk2" in entry.read_text()
    icon = prefix / "share" / "icons" / "hicolor" / "256x256" / "apps" / "drelk2.png"
    size = subprocess.run(["identify", "-format", "%wx%h", str(icon)], capture_output=True, text=True).stdout
    assert size == "256x256"
    # Started through the link on the path, it finds its data file beside the real executable.
    installed_game_starts(str(link), display, shots)


def test_the_package_holds_the_game_and_starts_it(build_dir, display, shots, tmp_path):
    subprocess.run(["cpack", "--config", os.path.join(build_dir, "CPackConfig.cmake"), "-B", str(tmp_path)],
                   check=True, capture_output=True)
    packages = [p for p in os.listdir(tmp_path) if p.endswith(".deb")]
    assert len(packages) == 1
    package = str(tmp_path / packages[0])
    contents = subprocess.run(["dpkg-deb", "-c", package], capture_output=True, text=True, check=True).stdout
    for path in ("./usr/lib/drelk2/drelk2", "./usr/lib/drelk2/Drelk_II.bin", "./usr/games/drelk2 -> ",
                 "./usr/share/applications/drelk2.desktop", "./usr/share/icons/hicolor/256x256/apps/drelk2.png"):
        assert path in contents, path
    depends = subprocess.run(["dpkg-deb", "-f", package, "Depends"], capture_output=True, text=True).stdout
    for library in ("libsoqt520", "libcoin80c", "libsdl2-mixer-2.0-0", "libqt5widgets5"):
        assert library in depends, depends
    root = tmp_path / "root"
    subprocess.run(["dpkg-deb", "-x", package, str(root)], check=True)
    installed_game_starts(str(root / "usr" / "games" / "drelk2"), display, shots)
