"""Each command of both boards once, against the simulated boards."""

import time

import pytest

import tavik
from conftest import frames

STOP = "02 42 45 3B 03 3F"  # BE 0,0


@pytest.mark.parametrize("library", ["velk", "zarn"])
def test_psb_commands(boards, library):
    with tavik.Psb(boards.psb, library) as psb:
        power = psb.read_power()
        assert 11.0 < power.volts < 13.0 and 0.0 < power.amps < 10.0
        assert (power.drive, power.sensors, power.lrf, power.sbc) == (True, True, False, True)
        psb.set_power(tavik.Device.LRF, True)
        assert psb.read_power().is_on(tavik.Device.LRF)
        psb.set_power(tavik.Device.SERVO, False)
        psb.set_max_distance(300)
        psb.set_usonic_max_dist(-1)
        if library == "velk":
            sensor = psb.read_sensor()
            ranges = [r * 1000 for r in sensor.ranges]
            assert len(sensor.extra_bytes) == 7
            with pytest.raises(NotImplementedError):
                psb.read_usonic()
        else:
            ranges = list(psb.read_usonic().ranges)
            with pytest.raises(NotImplementedError):
                psb.read_sensor()
        assert len(ranges) == 7 and all(500 < r < 3000 for r in ranges)
    assert boards.received("psb") == frames(
        "02 50 44 52 03 45",
        "02 50 41 33 31 03 10",  # LRF on
        "02 50 44 52 03 45",
        "02 50 42 33 30 03 12",  # servo off
        "02 53 44 55 34 03 75",  # 300 cm: code '4'
        "02 53 44 55 30 03 71",
        "02 53 61 72 03 43",
    )


def test_drvb_commands(boards):
    with tavik.Drvb(boards.drvb) as drvb:
        params = [drvb.read_parameter(p) for p in tavik.Parameter]
        assert [(p.value, p.unit) for p in params] == [(1000, "mm/s"), (500, "ms"), (10, "ms")]
        assert str(params[0]) == "Max Velocity: 1000 mm/s"
        drvb.set_parameter(tavik.Parameter.AD_TIME, 20)
        assert drvb.read_parameter(2).value == 20
        drvb.set_parameter(tavik.Parameter.AD_TIME, 10)  # the board keeps what it stored

        start = drvb.read_encoder()
        drvb.set_servo(True)
        drvb.set_velocity(200, 200)
        time.sleep(0.2)
        drvb.stop()
        moved = drvb.read_encoder()
        assert moved.left > start.left and moved.right > start.right

        assert drvb.read_drive_err() == tavik.WheelErrors(0, 0)
        drvb.set_parameter(tavik.Parameter.DRIVE_COMM_ERR_TIME, 35)
        drvb.set_velocity(100, 0)
        time.sleep(0.3)  # no velocity within 35 ms: the board stops, both wheels flag 0x02
        assert drvb.read_drive_err() == tavik.WheelErrors(0x02, 0x02)
        drvb.reset_drive_errors()
        drvb.set_parameter(tavik.Parameter.DRIVE_COMM_ERR_TIME, 500)
        assert drvb.read_drive_err() == tavik.WheelErrors(0, 0)

        assert drvb.read_bumper_emg() == tavik.BumperState(False, False, False)
        boards.command("bump left")
        boards.command("emg on")
        assert drvb.read_bumper_emg() == tavik.BumperState(True, False, True)

        drvb.set_servo(False)
        boards.received("drvb")
    # The velocity 100,0 was the last one: closing stops the robot first.
    assert boards.received("drvb").startswith(frames(STOP))
