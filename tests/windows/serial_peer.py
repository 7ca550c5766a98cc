#!/usr/bin/env python3
"""The device on the other side of a pseudo-terminal: prints the terminal's name, then answers
every line that ends in a carriage return with b"GOT:" and the line. Ends when idle for 60 s."""
import os
import pty
import select
import tty

master, slave = pty.openpty()
tty.setraw(slave)  # no echo, no line translation until the port's user sets its own
print(os.ttyname(slave), flush=True)
line = b""
while select.select([master], [], [], 60)[0]:
    try:
        data = os.read(master, 256)
    except OSError:
        break
    for byte in data:
        line += bytes([byte])
        if byte == 0x0D:
            os.write(master, b"GOT:" + line)
            line = b""
