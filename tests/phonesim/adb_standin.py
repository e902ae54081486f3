"""Stand-in adb: hands its command line to a simulator and replays the answer.

The simulator's socket comes from PHONESIM_SOCKET, which the generated resource script sets.
Output arrives as {"fd": 1|2, "data": text} lines, each written with one write, then
{"exit": status}. Terminating this process simply closes the connection; the simulator notices
and abandons the transfer (removing its partial file).
"""

import json
import os
import socket
import sys


def _write_all(fd, data):
    while data:
        data = data[os.write(fd, data):]


def main():
    path = os.environ.get("PHONESIM_SOCKET", "")
    try:
        cwd = os.getcwd()
    except OSError:
        cwd = "/"
    request = {"op": "adb", "argv": sys.argv[1:], "cwd": cwd, "tty": os.isatty(1)}
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        sock.connect(path)
    except OSError as e:
        sys.stderr.write("adb: cannot connect to daemon at %s: %s\n" % (path or "(unset)", e.strerror))
        return 1
    sock.sendall(json.dumps(request).encode("utf-8", "surrogateescape") + b"\n")
    try:
        for line in sock.makefile("rb"):
            message = json.loads(line)
            if "exit" in message:
                return int(message["exit"])
            _write_all(message["fd"], message["data"].encode("utf-8", "surrogateescape"))
    except BrokenPipeError:
        return 1
    sys.stderr.write("adb: error: protocol fault (couldn't read status): simulator went away\n")
    return 1


if __name__ == "__main__":
    sys.exit(main())
