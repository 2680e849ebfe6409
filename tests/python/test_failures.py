"""Why a call failed: each reason the libraries give, from a simulator fault
or a port that cannot be opened, as its exception."""

import errno
import os
import pickle
import re
import time
from pathlib import Path

import pytest

import tavik
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
    assert e.reason_text == {
        Reason.NO_REPLY: "no reply",
        Reason.BAD_CHECK: "bad check byte",
        Reason.REFUSED: "refused",
        Reason.MALFORMED: "malformed reply",
        Reason.DEVICE_LOST: "device lost",
        Reason.UNEXPECTED_REPLY: "unexpected reply",
    }[reason]
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


def test_open_failures(boards, tmp_path, monkeypatch):
    (tmp_path / "file").write_text("")
    fallback = (
        "COM99 is looked for as $TAVIK_COM_DIR/COM99 when TAVIK_COM_DIR is set (tavik-sim prints it), else as"
        " /dev/tavik/COM99 (made by the udev rule 99-tavik-com.rules for the boards' USB adapters), else as"
        " /dev/ttyS98"
    )
    # (port, with TAVIK_COM_DIR, exception, the standard class it also is, reason, why, errno)
    cases = [
        ("COM99", True, tavik.PortMissingError, FileNotFoundError, Reason.MISSING,
         f"missing ({boards.link_dir}/COM99); TAVIK_COM_DIR is set, so COM99 is looked for there only", errno.ENOENT),
        ("COM99", False, tavik.PortMissingError, FileNotFoundError, Reason.MISSING,
         f"missing (/dev/ttyS98); {fallback}", errno.ENOENT),
        (tmp_path / "file", True, tavik.NotSerialError, OSError, Reason.NOT_SERIAL,
         f"not a serial device ({tmp_path / 'file'})", None),
    ]
    with tavik.Psb(boards.psb, "velk"):
        # The other library's PSB connection is its own, but the port is taken.
        cases.append((boards.psb, True, tavik.PortBusyError, OSError, Reason.PORT_BUSY,
                      f"busy ({boards.link_dir}/{boards.psb})", None))
        for port, com_dir, error, standard, reason, why, number in cases:
            if not com_dir:
                monkeypatch.delenv("TAVIK_COM_DIR")
            with pytest.raises(standard) as caught:
                tavik.Psb(port, "zarn")
            monkeypatch.undo()
            e = caught.value
            assert isinstance(e, error) and isinstance(e, tavik.OpenError)
            assert (e.reason, e.command, e.errno) == (reason, "open", number)
            assert str(e) == f"PSB at {os.fspath(port)}: open failed: {why}" and e.filename == e.device


def test_timeout_in_seconds(boards):
    with tavik.Drvb(boards.drvb, timeout=1.5) as drvb:
        assert (drvb.timeout_ms, drvb.timeout) == (1500, 1.5)
        boards.command("fault drvb AC silence")
        start = time.monotonic()
        with pytest.raises(tavik.NoReplyError):
            drvb.read_encoder()
        assert 1.2 < time.monotonic() - start < 10


def test_reasons_match_the_header():
    header = (Path(__file__).parents[2] / "include" / "tavik" / "rs232_error.h").read_text()
    declared = {name: int(value) for name, value in re.findall(r"TAVIK_RS232_(\w+) = (\d+)", header)}
    assert declared == {reason.name: reason.value for reason in Reason}
