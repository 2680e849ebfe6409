"""Why a call failed: each reason the libraries give, from a simulator fault
or a port that cannot be opened, as its exception."""

import errno
import os
import pickle
import re
import socket
import subprocess
import time
from pathlib import Path

import pytest

import tavik
import tavik._library
from tavik import Reason

# (fault on the simulator, the call, exception, reason, status byte, the
# standard OSError subclass it also is, or None for none)
FAULTS = [
    ("fault drvb AC silence", lambda d, p: d.read_encoder(), tavik.NoReplyError, Reason.NO_REPLY, None, TimeoutError),
    ("fault psb Sar drop 1", lambda d, p: p.read_sensor(), tavik.NoReplyError, Reason.NO_REPLY, None, TimeoutError),
    ("fault drvb AA bcc", lambda d, p: d.read_bumper_emg(), tavik.BadCheckError, Reason.BAD_CHECK, None, None),
    ("fault drvb BE status 7", lambda d, p: d.set_velocity(0, 0), tavik.RefusedError, Reason.REFUSED, 0x37, None),
    ("fault psb P status", lambda d, p: p.set_power(0, True), tavik.RefusedError, Reason.REFUSED, None, None),
    ("fault psb PDR truncate", lambda d, p: p.read_power(), tavik.MalformedReplyError, Reason.MALFORMED, None, None),
    ("fault drvb AC status 0", lambda d, p: d.read_encoder(), tavik.UnexpectedReplyError, Reason.UNEXPECTED_REPLY, None, None),
    ("unplug drvb", lambda d, p: d.read_drive_err(), tavik.DeviceLostError, Reason.DEVICE_LOST, None, OSError),
]


@pytest.mark.parametrize("fault, call, error, reason, refusal, standard", FAULTS)
def test_command_failures(boards, fault, call, error, reason, refusal, standard):
    with tavik.Drvb(boards.drvb) as drvb, tavik.Psb(boards.psb) as psb:
        boards.command(fault)
        with pytest.raises(error) as caught:
            call(drvb, psb)
        if fault.startswith("unplug"):
            boards.replug("drvb")
    e = caught.value
    assert e.reason == reason and isinstance(e, tavik.BoardError)
    assert e.reason_text == library_texts()[reason]
    if refusal is not None:
        assert e.refusal == refusal and str(e).endswith("refused (7)")
    assert e.refusal is None or reason == Reason.REFUSED
    assert f"at {e.port}: " in str(e)
    # A board's answer is no failure of the system: only these are OSErrors.
    assert isinstance(e, standard) if standard else not isinstance(e, OSError)
    if isinstance(e, TimeoutError):
        assert e.errno == errno.ETIMEDOUT
    copy = pickle.loads(pickle.dumps(e))
    assert (type(copy), str(copy), getattr(copy, "errno", None)) == (type(e), str(e), getattr(e, "errno", None))


def tool_detail(port, env):
    """What `tavik` says after "failed: " for a failed open of port, or None
    without the tool."""
    tool = os.environ.get("TAVIK_TOOL")
    if not tool:
        return None
    run = subprocess.run([tool, "--psb", os.fspath(port), "psb", "status"], env=env, capture_output=True,
                         text=True, timeout=30)
    assert run.returncode == 3, run.stderr
    return run.stderr.strip().split(" failed: ", 1)[1]


def test_open_failures(boards, tmp_path, monkeypatch):
    (tmp_path / "file").write_text("")
    # (port, with TAVIK_COM_DIR, exception, the standard class it also is,
    # reason, the system's errors it may come with, the device shown)
    cases = [
        ("COM99", True, tavik.PortMissingError, FileNotFoundError, Reason.MISSING, {errno.ENOENT},
         f"{boards.link_dir}/COM99"),
        ("COM99", False, tavik.PortMissingError, FileNotFoundError, Reason.MISSING, {errno.ENOENT}, "/dev/ttyS98"),
        (tmp_path / "file", True, tavik.NotSerialError, OSError, Reason.NOT_SERIAL, {errno.ENOTTY},
         tmp_path / "file"),
    ]
    with tavik.Psb(boards.psb, "velk"):
        # The other library's PSB connection is its own, but the port is taken:
        # by its lock (EWOULDBLOCK), or for a user other than root already by
        # its exclusive open (EBUSY).
        cases.append((boards.psb, True, tavik.PortBusyError, OSError, Reason.PORT_BUSY,
                      {errno.EWOULDBLOCK, errno.EBUSY}, f"{boards.link_dir}/{boards.psb}"))
        for port, com_dir, error, standard, reason, numbers, device in cases:
            if not com_dir:
                monkeypatch.delenv("TAVIK_COM_DIR")
            with pytest.raises(standard) as caught:
                tavik.Psb(port, "zarn")
            detail = tool_detail(port, dict(os.environ))
            monkeypatch.undo()
            e = caught.value
            assert isinstance(e, error) and isinstance(e, tavik.OpenError)
            assert (e.reason, e.command, e.filename) == (reason, "open", os.fspath(device))
            assert e.errno in numbers and e.os_error == e.errno and e.strerror == os.strerror(e.errno)
            why = str(e).split(": open failed: ", 1)[1]
            assert str(e) == f"PSB at {os.fspath(port)}: open failed: {why}"
            # The reason's words and, for a missing COM name, where it is
            # looked for, as the tool says them.
            assert why.startswith(f"{e.reason_text} ({device})")
            if detail is not None and reason == Reason.MISSING:
                assert detail.startswith(why + "; ") and "looked for" in why


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.mark.parametrize("library", ["zarn", "velk"])
def test_network_ports_name_their_url(library, tmp_path, monkeypatch):
    nobody = f"tcp://127.0.0.1:{free_port()}"
    mapped = f"rfc2217://127.0.0.1:{free_port()}"
    home = tmp_path / "home"
    (home / ".config" / "tavik").mkdir(parents=True)
    (home / ".config" / "tavik" / "ports").write_text(f"COM42 = {mapped}\n")
    monkeypatch.setenv("HOME", os.fspath(home))
    monkeypatch.delenv("TAVIK_COM_DIR", raising=False)
    # (port, exception, the device shown, the start of the detail)
    cases = [
        (nobody, tavik.PortConnectionRefusedError, nobody, None),
        ("COM42", tavik.PortConnectionRefusedError, mapped, None),
        ("telnet://127.0.0.1:1", tavik.BadArgumentError, "telnet://127.0.0.1:1", "unknown scheme telnet://"),
        ("tcp://127.0.0.1:99999", tavik.BadArgumentError, "tcp://127.0.0.1:99999",
         "the port is not a number from 1 to 65535"),
    ]
    for port, error, device, detail in cases:
        with pytest.raises(error) as caught:
            tavik.Psb(port, library)
        e = caught.value
        assert e.device == device, str(e)
        assert str(e).startswith(f"PSB at {port}: open failed: {e.reason_text} ({device})"), str(e)
        assert e.detail.startswith(detail) if detail else e.detail is None, str(e)


def test_timeout_in_seconds(boards):
    with tavik.Drvb(boards.drvb, timeout=1.5) as drvb:
        assert (drvb.timeout_ms, drvb.timeout) == (1500, 1.5)
        boards.command("fault drvb AC silence")
        start = time.monotonic()
        with pytest.raises(tavik.NoReplyError):
            drvb.read_encoder()
        assert 1.2 < time.monotonic() - start < 10


def library_texts():
    """Each public code's text, as the library gives it."""
    lib = tavik._library.library("zarn")
    return {reason: lib.error_text(reason) for reason in Reason}


def test_reasons_match_the_header():
    header = (Path(__file__).parents[2] / "include" / "tavik" / "rs232_error.h").read_text()
    declared = {name: int(value) for name, value in re.findall(r"TAVIK_RS232_(\w+) = (\d+)", header)}
    assert declared == {reason.name: reason.value for reason in Reason}
    # Every reason has a text of its own in both libraries.
    texts = library_texts()
    assert "unknown error" not in texts.values() and len(set(texts.values())) == len(texts)
    velk = tavik._library.library("velk")
    assert texts == {reason: velk.error_text(reason) for reason in Reason}
    assert tavik._library.library("zarn").error_text(max(Reason) + 1) == "unknown error"
