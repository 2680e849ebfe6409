"""Arguments that do not fit are refused before anything goes on the wire."""

import pytest

import tavik
from conftest import frames

MAX_VELOCITY = tavik.Parameter.MAX_VELOCITY
BAD = tavik.BadArgumentError

# (the call on an open PSB p and drive board d, the exception)
CALLS = [
("p.set_power(2**32 + 2, True)", BAD),  # would be device 2 in a C unsigned int
("p.set_power(7, True)", BAD),
("p.set_power(-1, False)", BAD),
("p.set_power(True, True)", TypeError),
    ('p.set_power("2", True)', TypeError),
("p.set_power(tavik.Device.LRF, 1)", TypeError),
    ('p.set_power(tavik.Device.LRF, "off")', TypeError),
("p.set_usonic_max_dist(9)", BAD),
("p.set_usonic_max_dist(2**32 - 1)", BAD),  # -1 in a C int
("p.set_usonic_max_dist(3.0)", TypeError),
("p.set_max_distance(325)", BAD),
("p.set_max_distance(300.0)", TypeError),
("d.set_velocity(2**31, 2**31)", BAD),
("d.set_velocity(2**32 + 200, 0)", BAD),  # 200 in a C int
("d.set_velocity(5000, 0)", BAD),
("d.set_velocity(0, -1001)", BAD),  # the board's maximum is 1000
("d.set_velocity(1.5, 0)", TypeError),
    ('d.set_velocity("100", 0)', TypeError),
("d.set_velocity(0, False)", TypeError),
    ('d.set_servo("off")', TypeError),
("d.set_servo(1)", TypeError),
("d.set_parameter(MAX_VELOCITY, 2**32 + 100)", BAD),  # 100 in a C int
("d.set_parameter(MAX_VELOCITY, -1)", BAD),
("d.set_parameter(tavik.Parameter.DRIVE_COMM_ERR_TIME, 34)", BAD),
("d.set_parameter(tavik.Parameter.AD_TIME, 1001)", BAD),
("d.set_parameter(tavik.Parameter.AD_TIME, 20.0)", TypeError),
("d.set_parameter(3, 100)", BAD),  # the library would send a store request
("d.read_parameter(True)", TypeError),
("d.read_parameter(1.0)", TypeError),
    ('tavik.Psb(p.port + "\\0/dev/ttyS0")', BAD),
("tavik.Drvb(d.port, timeout=0.5, timeout_ms=500)", TypeError),
("tavik.Drvb(d.port, timeout=0)", ValueError),
    ('tavik.Drvb(d.port, timeout=float("nan"))', ValueError),
    ('tavik.Drvb(d.port, timeout="1")', TypeError),
("tavik.Drvb(d.port, timeout_ms=0.5)", TypeError),
("tavik.Drvb(d.port, timeout_ms=2**31)", ValueError),
]


@pytest.mark.parametrize("call, error", CALLS, ids=[call for call, _ in CALLS])
def test_refused_before_sending(boards, call, error):
    with tavik.Psb(boards.psb, "zarn") as psb, tavik.Drvb(boards.drvb) as drvb:
        drvb.read_parameter(MAX_VELOCITY)
        boards.received("drvb")
        with pytest.raises(error) as caught:
            eval(call, {"tavik": tavik, "MAX_VELOCITY": MAX_VELOCITY}, {"p": psb, "d": drvb})
        assert not psb.closed and not drvb.closed  # a refused open took nothing over
    if isinstance(caught.value, tavik.BoardError):
        assert isinstance(caught.value, ValueError) and caught.value.reason == tavik.Reason.BAD_ARGUMENT
        assert f"failed: bad argument; {caught.value.detail}" in str(caught.value)
    assert (boards.received("psb"), boards.received("drvb")) == (b"", b"")


def test_velocity_limit_is_the_boards(boards):
    read_max_velocity = frames("02 58 4C 31 35 03 13")
    with tavik.Drvb(boards.drvb) as drvb:
        with pytest.raises(BAD) as caught:
            drvb.set_velocity(1001, 0)  # the first velocity: Max Velocity is read
        assert "maximum velocity of 1000 mm/s" in str(caught.value)
        assert boards.received("drvb") == read_max_velocity
        drvb.set_parameter(MAX_VELOCITY, 1200)
        drvb.set_velocity(1200, -1200)
        drvb.set_parameter(MAX_VELOCITY, 1000)
        sent = boards.received("drvb")
        assert read_max_velocity not in sent and frames("02 42 45 31 32 30 30 3B 2D 31 32 30 30 03 12") in sent
