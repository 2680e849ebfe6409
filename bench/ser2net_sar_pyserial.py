#!/usr/bin/env python3
"""One "Sar" exchange COUNT times through pyserial's URL handlers
(socket:// or rfc2217://): write the request, read the 44-byte reply.
Prints each exchange's time in microseconds, one a line."""
import sys
import time

import serial

REQUEST = bytes([0x02, 0x53, 0x61, 0x72, 0x03, 0x43])
REPLY_LENGTH = 44


def main():
    url, count = sys.argv[1], int(sys.argv[2])
    port = serial.serial_for_url(url, baudrate=115200, timeout=0.2)
    times = []
    for _ in range(count):
        start = time.perf_counter()
        port.write(REQUEST)
        reply = port.read(REPLY_LENGTH)
        times.append(time.perf_counter() - start)
        if len(reply) != REPLY_LENGTH:
            print(f"short reply: {len(reply)} bytes", file=sys.stderr)
            return 1
    port.close()
    print("\n".join(f"{t * 1e6:.1f}" for t in times))
    return 0


if __name__ == "__main__":
    sys.exit(main())
