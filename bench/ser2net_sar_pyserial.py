#!/usr/bin/env python3
"""One "Sar" exchange COUNT times through pyserial's URL handlers
(socket:// or rfc2217://): write the request, read the 44-byte reply.
Prints each exchange's time in microseconds, one a line, or "lost" for
one whose reply did not come whole within 200 ms (then what came is
dropped and the next exchange goes on)."""
import sys
import time

import serial

REQUEST = bytes([0x02, 0x53, 0x61, 0x72, 0x03, 0x43])
REPLY_LENGTH = 44


def main():
    url, count = sys.argv[1], int(sys.argv[2])
    port = serial.serial_for_url(url, baudrate=115200, timeout=0.2)
    lines = []
    for i in range(count):
        start = time.perf_counter()
        port.write(REQUEST)
        reply = port.read(REPLY_LENGTH)
        elapsed = time.perf_counter() - start
        if len(reply) == REPLY_LENGTH:
            lines.append(f"{elapsed * 1e6:.1f}")
        else:
            print(f"exchange {i + 1}: short reply: {len(reply)} bytes", file=sys.stderr)
            lines.append("lost")
            port.reset_input_buffer()
    port.close()
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
