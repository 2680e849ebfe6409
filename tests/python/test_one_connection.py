"""One connection per board and library: a later open takes it over."""

import pytest

import tavik
from conftest import frames


def test_second_open_supersedes_the_first(boards):
    first = tavik.Drvb(boards.drvb)
    first.set_velocity(100, 100)
    second = tavik.Drvb(boards.drvb)
    # The first object let go by stopping the robot, before the second opened.
    assert boards.received("drvb").endswith(frames("02 42 45 31 30 30 3B 31 30 30 03 3F", "02 42 45 3B 03 3F"))
    assert first.closed and not second.closed
    with pytest.raises(tavik.ConnectionClosedError) as caught:
        first.read_encoder()
    assert caught.value.superseded and isinstance(caught.value, tavik.NotOpenError)
    assert "superseded" in str(caught.value) and "superseded" in repr(first)

    first.close()  # leaves the second object's connection alone
    second.read_encoder()
    with tavik.Psb(boards.psb, "zarn") as psb:  # another board of the same library
        psb.read_power()
        second.read_encoder()
    second.close()
    second.close()
    with pytest.raises(tavik.ConnectionClosedError) as caught:
        second.read_encoder()
    assert not caught.value.superseded and caught.value.reason == tavik.Reason.NOT_OPEN
