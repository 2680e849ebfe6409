"""The ports file (COM names mapped to network ports): a simulator's names
never reach it, and a file that cannot be a ports file, or a bad line, is
refused at once with its file, line and why."""

import os
import socket
import subprocess
import sys
import time

import pytest

import tavik

# Opens COM987, which no device answers to unless the ports file maps it.
OPEN = """
import tavik
try:
    tavik.Psb("COM987", timeout_ms=100).close()
    print("opened")
except tavik.OpenError as e:
    print(e.reason.name)
"""


@pytest.fixture
def robot():
    """A listener standing in for a robot's board on the network; accepted()
    counts the connections made to it so far."""
    with socket.create_server(("127.0.0.1", 0)) as listener:
        listener.setblocking(False)

        class Robot:
            url = f"tcp://127.0.0.1:{listener.getsockname()[1]}"
            count = 0

            def accepted(self):
                while True:
                    try:
                        listener.accept()[0].close()
                    except BlockingIOError:
                        return self.count
                    self.count += 1

        yield Robot()


def ports_file(home):
    path = home / ".config" / "tavik" / "ports"
    path.parent.mkdir(parents=True, exist_ok=True)
    return path


def test_simulator_names_never_reach_the_ports_file(boards, robot, tmp_path, monkeypatch):
    ports_file(tmp_path).write_text(f"COM7 = {robot.url}\nCOM8 = {robot.url}\n")
    monkeypatch.setenv("HOME", os.fspath(tmp_path))
    with tavik.Psb(boards.psb) as psb, tavik.Drvb(boards.drvb) as drvb:
        psb.read_power()
        drvb.set_velocity(100, 100)
        drvb.set_velocity(0, 0)
    assert b"BE100;100" in boards.received("drvb")
    assert robot.accepted() == 0
    # Without the simulator's TAVIK_COM_DIR the same name is the robot's.
    monkeypatch.delenv("TAVIK_COM_DIR")
    tavik.Psb("COM7", timeout_ms=100).close()
    assert robot.accepted() == 1


def as_other_user(path, link=False):
    (os.lchown if link else os.chown)(path, 65534, 65534)


ROOT = os.geteuid() == 0

# (what the file is, how it is made at path, what is said after "path",
# what the open of COM987 does)
HOSTILE = [
    ("fifo", lambda p, url: os.mkfifo(p), ": not a regular file; file not read", "MISSING"),
    ("device", lambda p, url: p.symlink_to("/dev/zero"), ": not a regular file; file not read", "MISSING"),
    ("directory", lambda p, url: p.mkdir(), ": not a regular file; file not read", "MISSING"),
    ("too large", lambda p, url: p.write_text(f"COM987 = {url}\n" + "#\n" * 40000),
     ": larger than 64 KiB; file not read", "MISSING"),
    ("writable by all", lambda p, url: (p.write_text(f"COM987 = {url}\n"), p.chmod(0o666)),
     ": writable by every user (chmod o-w); file not read", "MISSING"),
    ("byte order mark", lambda p, url: p.write_text(f"\ufeffCOM987 = {url}\n"),
     ":1: starts with a UTF-8 byte order mark (save the file without one); line skipped", "MISSING"),
    ("COM0", lambda p, url: p.write_text(f"# robot\n\nCOM0 = {url}\n"),
     ":3: 'COM0': COM numbers start at 1; line skipped", "MISSING"),
    ("leading zero", lambda p, url: p.write_text(f"COM0987 = {url}\n"),
     ":1: 'COM0987' has a leading zero (COM987); line skipped", "MISSING"),
    ("IPv6 address", lambda p, url: p.write_text("COM987 = rfc2217://[zzzz]:7001\n"),
     ":1: 'rfc2217://[zzzz]:7001': not an IPv6 address between the brackets; line skipped", "MISSING"),
    ("dots", lambda p, url: p.write_text("COM987 = tcp://...:7001\n"),
     ":1: 'tcp://...:7001': an empty part between dots in the host name; line skipped", "MISSING"),
    ("dash", lambda p, url: p.write_text("COM987 = tcp://-oProxy:22\n"),
     ":1: 'tcp://-oProxy:22': the host name starts with '-'; line skipped", "MISSING"),
    ("binary", lambda p, url: p.write_bytes(b"COM987 = \x1b[2J\xff\n"),
     ":1: '?[2J?': not a network port (tcp://HOST:PORT or rfc2217://HOST:PORT); line skipped", "MISSING"),
    ("comment after the entry", lambda p, url: p.write_text(f"COM987 = {url}  # the robot\n"), None, "opened"),
    pytest.param("another user's", lambda p, url: (p.write_text(f"COM987 = {url}\n"), as_other_user(p)),
                 ": owned by another user (uid 65534), not by you or root; file not read", "MISSING",
                 marks=pytest.mark.skipif(not ROOT, reason="chown needs root")),
    pytest.param("another user's link", lambda p, url: (
        (p.parent / "real").write_text(f"COM987 = {url}\n"), p.symlink_to(p.parent / "real"),
        as_other_user(p, link=True)),
                 ": a symbolic link owned by another user, not by you or root; file not read", "MISSING",
                 marks=pytest.mark.skipif(not ROOT, reason="lchown needs root")),
]


@pytest.mark.parametrize("what, make, said, outcome", HOSTILE)
def test_hostile_ports_files(robot, tmp_path, what, make, said, outcome):
    path = ports_file(tmp_path)
    make(path, robot.url)
    env = {k: v for k, v in os.environ.items() if k != "TAVIK_COM_DIR"}
    env["HOME"] = os.fspath(tmp_path)
    start = time.monotonic()
    run = subprocess.run([sys.executable, "-c", OPEN], env=env, capture_output=True, text=True, timeout=30)
    # Quickly: a FIFO used to hold the open for ever, /dev/zero to fill the memory.
    assert time.monotonic() - start < 10
    assert run.stdout.strip() == outcome, run.stderr
    if said is None:
        assert "tavik:" not in run.stderr
    else:
        assert f"tavik: {path}{said}\n" in run.stderr
        assert run.stderr.count("tavik:") == 1, run.stderr
    assert robot.accepted() == (1 if outcome == "opened" else 0)
