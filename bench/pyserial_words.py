#!/usr/bin/python3
# The command words of comm_bench sent through pyserial on the given port:
# RTS and DTR set as properties, the closing "0" written. Prints the
# microseconds of processor time the words took (this thread's), the port
# opened and closed outside the timing.
# Usage: pyserial_words.py <device> <words>
import sys
import time

import serial

PATTERNS = (0x01, 0x00, 0x00, 0x08, 0x00, 0x20, 0x00, 0x10)


def main():
    device, words = sys.argv[1], int(sys.argv[2])
    port = serial.Serial(device, 2400, write_timeout=0)   # written without waiting, as the control writes
    start = time.thread_time()
    for w in range(words):
        word = PATTERNS[w % len(PATTERNS)]
        for i in range(8):
            port.rts = False
            port.dtr = False
            if word >> i & 1:
                port.rts = True
            port.dtr = True
        port.write(b"0")
    elapsed = time.thread_time() - start
    port.close()
    print(f"{elapsed * 1e6:.1f}")


if __name__ == "__main__":
    main()
