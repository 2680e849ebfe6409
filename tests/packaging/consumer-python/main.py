"""The installed python3-tavik on the installed libraries, against the
installed tavik-sim (started through tavik.sim). Run with python3 -I."""

import tavik
import tavik.sim

PACKAGE_DIR = "/usr/lib/python3/dist-packages/tavik/"
assert tavik.__file__.startswith(PACKAGE_DIR), f"tavik imported from {tavik.__file__}"

with tavik.sim.Simulator() as sim:
    with tavik.Psb(sim.psb) as psb, tavik.Drvb(sim.drvb) as drvb:
        power = psb.read_power()
        sensor = psb.read_sensor()
        drvb.set_servo(True)
        encoders = drvb.read_encoder()
        parameter = drvb.read_parameter(tavik.Parameter.MAX_VELOCITY)
        sim.fault("drvb", "AC", "silence")
        try:
            drvb.read_encoder()
            raise SystemExit("a silent drive board raised nothing")
        except tavik.NoReplyError as error:
            failure = error

with open("/proc/self/maps") as maps:
    loaded = sorted({line.split()[-1] for line in maps if "lib_zarn_rs232" in line or "lib_velk_rs232_psb" in line})
assert len(loaded) == 2 and all(path.startswith("/usr/lib/") for path in loaded), loaded

print(f"battery {power.volts:.2f} V, ranges {' '.join(f'{r:.3f}' for r in sensor.ranges)}, "
      f"encoders {encoders.left};{encoders.right}, {parameter}; silent board: {failure}; libraries {' '.join(loaded)}")
