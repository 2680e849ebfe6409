"""Why a call failed: each reason the libraries give, from a simulator fault,
a bad argument or a port that cannot be opened, as its exception."""

import re
from pathlib import Path

import pytest

import tavik
from tavik import Reason

# (fault on the simulator, the call, exception, reason, status byte)
FAULTS = [
    ("fault drvb AC silence", lambda d, p: d.read_encoder(), tavik.NoReplyError, Reason.NO_REPLY, None),
    ("fault psb Sar drop 1", lambda d, p: p.read_sensor(), tavik.NoReplyError, Reason.NO_REPLY, None),
    ("fault drvb AA bcc", lambda d, p: d.read_bumper_emg(), tavik.BadCheckError, Reason.BAD_CHECK, None),
    ("fault drvb BE status 7", lambda d, p: d.set_velocity(0, 0), tavik.RefusedError, Reason.REFUSED, 0x37),
    ("fault psb P status", lambda d, p: p.set_power(0, True), tavik.RefusedError, Reason.REFUSED, None),
    ("fault psb PDR truncate", lambda d, p: p.read_power(), tavik.MalformedReplyError, Reason.MALFORMED, None),
    ("unplug drvb", lambda d, p: d.read_drive_err(), tavik.DeviceLostError, Reason.DEVICE_LOST, None),
    ("", lambda d, p: d.set_parameter(1, 34), tavik.BadArgumentError, Reason.BAD_ARGUMENT, None),
    ("", lambda d, p: p.set_power(7, True), tavik.BadArgumentError, Reason.BAD_ARGUMENT, None),
]


@pytest.mark.parametrize("fault, call, error, reason, refusal", FAULTS)
def test_command_failures(boards, fault, call, error, reason, refusal):
    with tavik.Drvb(boards.drvb) as drvb, tavik.Psb(boards.psb) as psb:
        if fault:
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
        Reason.BAD_ARGUMENT: "bad argument",
    }[reason]
    if refusal is not None:
        assert e.refusal == refusal and str(e).endswith("refused (7)")
    assert e.refusal is None or reason == Reason.REFUSED
    assert f"at {e.port}: " in str(e)


def test_open_failures(boards, tmp_path):
    (tmp_path / "file").write_text("")
    cases = [
        ("COM99", tavik.PortMissingError, Reason.MISSING, "missing"),
        (tmp_path / "file", tavik.NotSerialError, Reason.NOT_SERIAL, "not a serial device"),
    ]
    with tavik.Psb(boards.psb, "velk"):
        # The other library's PSB connection is its own, but the port is taken.
        cases.append((boards.psb, tavik.PortBusyError, Reason.PORT_BUSY, "busy"))
        for port, error, reason, text in cases:
            with pytest.raises(error) as caught:
                tavik.Psb(port, "zarn")
            assert isinstance(caught.value, tavik.OpenError)
            assert (caught.value.reason, caught.value.reason_text, caught.value.command) == (reason, text, "open")


def test_reasons_match_the_header():
    header = (Path(__file__).parents[2] / "include" / "tavik" / "rs232_error.h").read_text()
    declared = {name: int(value) for name, value in re.findall(r"TAVIK_RS232_(\w+) = (\d+)", header)}
    assert declared == {reason.name: reason.value for reason in Reason}
