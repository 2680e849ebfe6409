"""The pyserial side of paced_sar_bench: for each line COUNT on its standard
input, opens PORT, makes one untimed "Sar" exchange and COUNT timed ones
(write the request, read(44)), closes the port and prints a line
"CPU_US WAITS FAILED MS MS ...": the CPU time this process spent on the
timed exchanges in microseconds, its waits (voluntary context switches), the
exchanges that did not bring the whole reply, and the time of each in
milliseconds.

    python3 paced_sar_pyserial.py PORT
"""
import resource
import sys
import time

import serial

REQUEST = bytes([0x02, ord("S"), ord("a"), ord("r"), 0x03, ord("S") ^ ord("a") ^ ord("r") ^ 0x03])
REPLY_BYTES = 44


def usage():
    """CPU seconds and waits so far."""
    now = resource.getrusage(resource.RUSAGE_SELF)
    return now.ru_utime + now.ru_stime, now.ru_nvcsw


def exchange(line):
    line.write(REQUEST)
    reply = line.read(REPLY_BYTES)
    return len(reply) == REPLY_BYTES and reply[0] == 0x02 and reply[-2] == 0x03


def main():
    port = sys.argv[1]
    for request in sys.stdin:
        count = int(request)
        failed = 0
        ms = []
        with serial.Serial(port, 115200, timeout=0.2) as line:
            exchange(line)
            cpu_start, waits_start = usage()
            for _ in range(count):
                start = time.perf_counter()
                failed += not exchange(line)
                ms.append((time.perf_counter() - start) * 1e3)
            cpu_end, waits_end = usage()
        print("%.1f %d %d %s" % ((cpu_end - cpu_start) * 1e6, waits_end - waits_start, failed,
                                 " ".join("%.4f" % m for m in ms)), flush=True)


if __name__ == "__main__":
    main()
