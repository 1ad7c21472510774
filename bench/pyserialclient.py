#!/usr/bin/env python3
"""The usual alternative: a short pyserial script doing the same job."""
import sys

import serial

port = serial.Serial(sys.argv[1], 9600, timeout=1)
replies = 0
with open(sys.argv[2], "rb") as source:
    for line in source:
        port.write(line.rstrip(b"\r\n") + b"\r\n")
        if port.read_until(b"\r\n").endswith(b"\r\n"):
            replies += 1
print(replies)
