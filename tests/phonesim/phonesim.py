#!/usr/bin/env python3
"""Simulated phone: start one, script it, talk to its companion service.

  phonesim.py serve [--dir DIR] [--phone SERIAL[:FIXTURE]]... [--mode default|current]
      Start a simulator; print one JSON line (folders, control socket, stand-in adb, phones)
      and run until SIGINT/SIGTERM, a "shutdown" request, or (with --exit-on-stdin-eof) the end
      of standard input. The folder is removed at exit unless --dir names it (--remove-dir:
      removed anyway).
  phonesim.py run-app --app PROGRAM [serve options] [-- ARG...]
      Start a simulator and run the application against its first phone: the application
      opens that phone at once ("-s SERIAL:0:0" is added unless ARGs hold "-s"), and its own
      adb program reaches the stand-in (ORVANE_ADB, and first on PATH), which speaks as
      Debian's adb does (mode "current" unless --mode says otherwise). Stops when it exits.
  phonesim.py ctl [--socket PATH] OP [ARG...]
      Control a running simulator (socket from --socket or PHONESIM_SOCKET). OP is one of
      info | set SERIAL KEY VALUE | mode default|current | misbehave SERIAL NAME [off] |
      unplug SERIAL | replug SERIAL | shell SERIAL COMMAND | put SERIAL PHONE_PATH HOST_FILE |
      inject SERIAL TYPE JSON | keepalive SERIAL | log [SERIAL] | forwards | shutdown
  phonesim.py companion PORT device-info|photos|music|videos|keep-alive
      Send one companion request to 127.0.0.1:PORT (an adb forward) and print the reply.
"""

import argparse
import base64
import gzip
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from simulator.control import Control, ControlError  # noqa: E402
from simulator.core import Simulator  # noqa: E402

DEFAULT_SERIAL = "SIMPHONE01"


def _phones(options):
    phones = []
    for option in options or [DEFAULT_SERIAL]:
        serial, _, fixture = option.partition(":")
        phones.append((serial, fixture or "realistic"))
    return phones


def _start(args):
    own_dir = args.dir is None or getattr(args, "remove_dir", False)
    folder = tempfile.mkdtemp(prefix="phonesim-") if args.dir is None else args.dir
    try:
        sim = Simulator(folder, _phones(args.phone), mode=args.mode).start()
    except BaseException:
        if own_dir:
            shutil.rmtree(folder, ignore_errors=True)
        raise
    return sim, folder, own_dir


def _finish(sim, folder, own_dir):
    sim.stop()
    if own_dir:
        shutil.rmtree(folder, ignore_errors=True)


def cmd_serve(args):
    sim, folder, own_dir = _start(args)
    stop = sim.shutdown_requested
    for sig in (signal.SIGINT, signal.SIGTERM):
        signal.signal(sig, lambda *_: stop.set())
    if args.exit_on_stdin_eof:
        def watch_stdin():
            while os.read(0, 4096):
                pass
            stop.set()
        threading.Thread(target=watch_stdin, daemon=True).start()
    sys.stdout.write(json.dumps(sim.info()) + "\n")
    sys.stdout.flush()
    try:
        while not stop.wait(3600):
            pass
    finally:
        _finish(sim, folder, own_dir)
    return 0


def _app_resources(app, sim_resources):
    """The application's own resources plus the simulator's placeholder companion installer,
    which the application installs on the phone and which no build ships."""
    own = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(app))), "resources")
    merged = os.path.join(sim_resources, "app-resources")
    os.makedirs(merged, exist_ok=True)
    for name in os.listdir(own) if os.path.isdir(own) else []:
        os.symlink(os.path.join(own, name), os.path.join(merged, name))
    installer = os.path.join(merged, "Tidewell.apk")
    if not os.path.lexists(installer):
        os.symlink(os.path.join(sim_resources, "Tidewell.apk"), installer)
    return merged


def cmd_run_app(args):
    if args.mode is None:
        args.mode = "current"
    sim, folder, own_dir = _start(args)
    try:
        info = sim.info()
        serial = info["phones"][0]["serial"]
        app_args = list(args.app_args)
        if "-s" not in app_args:
            app_args = ["-s", "%s:0:0" % serial] + app_args
        env = dict(os.environ, ORVANE_ADB=info["adb"], PHONESIM_SOCKET=info["socket"],
                   PATH=info["resource_dir"] + os.pathsep + os.environ.get("PATH", ""),
                   ORVANE_RESOURCE_DIR=_app_resources(args.app, info["resource_dir"]))
        sys.stderr.write("phonesim: phone %s, control socket %s\n" % (serial, info["socket"]))
        return subprocess.call([args.app] + app_args, env=env)
    finally:
        _finish(sim, folder, own_dir)


def cmd_ctl(args):
    path = args.socket or os.environ.get("PHONESIM_SOCKET")
    if not path:
        sys.stderr.write("ctl: give --socket or set PHONESIM_SOCKET\n")
        return 2
    control = Control(path)
    op, rest = args.op, args.args
    try:
        if op == "set" and len(rest) == 3:
            answer = control.set(rest[0], rest[1], rest[2])
        elif op == "mode" and len(rest) == 1:
            answer = control.request("set", key="mode", value=rest[0])
        elif op == "misbehave" and len(rest) in (2, 3):
            answer = control.misbehave(rest[0], rest[1], rest[2:] != ["off"])
        elif op in ("unplug", "replug", "keepalive") and len(rest) == 1:
            answer = control.request(op, serial=rest[0])
        elif op == "shell" and len(rest) == 2:
            answer = control.shell(rest[0], rest[1])
            sys.stdout.write(answer["stdout"])
            sys.stderr.write(answer["stderr"])
            return answer["status"]
        elif op == "put" and len(rest) == 3:
            with open(rest[2], "rb") as f:
                answer = control.put(rest[0], rest[1], f.read())
        elif op == "inject" and len(rest) == 3:
            answer = control.request("inject", serial=rest[0], type=int(rest[1]),
                                     json=json.loads(rest[2]))
        elif op == "log" and len(rest) <= 1:
            answer = control.request("log", serial=rest[0] if rest else None)
        elif op in ("info", "forwards", "shutdown") and not rest:
            answer = control.request(op)
        else:
            sys.stderr.write("ctl: bad arguments for %s (see --help)\n" % op)
            return 2
    except (ControlError, OSError) as e:
        sys.stderr.write("ctl: %s\n" % e)
        return 1
    sys.stdout.write(json.dumps(answer, indent=1, ensure_ascii=False) + "\n")
    return 0


_REQUESTS = {"device-info": (0x03, 0x03), "photos": (0x07, 0x01), "music": (0x07, 0x02),
             "videos": (0x07, 0x03), "keep-alive": (0x05, 0x03)}


def _read_frame(sock):
    def exactly(n):
        data = b""
        while len(data) < n:
            chunk = sock.recv(n - len(data))
            if not chunk:
                raise EOFError("connection closed after %d of %d bytes" % (len(data), n))
            data += chunk
        return data
    (length,) = struct.unpack(">I", exactly(4))
    return exactly(length)


def cmd_companion(args):
    cmd, typ = _REQUESTS[args.request]
    with socket.create_connection(("127.0.0.1", args.port), timeout=10) as sock:
        sock.sendall(struct.pack(">IBBB", 3, cmd, typ, 1))
        while True:
            body = _read_frame(sock)
            payload = body[3:]
            if body[0] == 0x07:
                payload = gzip.decompress(payload)
            try:
                shown = json.dumps(json.loads(payload), indent=1, ensure_ascii=False)
            except ValueError:
                shown = base64.b64encode(payload).decode()
            sys.stdout.write("frame cmd=0x%02x type=0x%02x\n%s\n" % (body[0], body[1], shown))
            sys.stdout.flush()
            if args.request != "keep-alive":
                return 0
            if body[0] == 0x06:
                sock.sendall(struct.pack(">IBBB", 3, 0x06, 0x02, 1))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="action", required=True)
    for name in ("serve", "run-app"):
        p = sub.add_parser(name)
        p.add_argument("--dir", help="empty folder to work in (default: a new temporary one)")
        p.add_argument("--phone", action="append",
                       help="SERIAL[:FIXTURE], repeatable; FIXTURE joins realistic, hostile, "
                            "many, huge, empty with '+' (default %s:realistic)" % DEFAULT_SERIAL)
        p.add_argument("--mode", choices=("default", "current"),
                       default="default" if name == "serve" else None)
        if name == "serve":
            p.add_argument("--exit-on-stdin-eof", action="store_true",
                           help="stop when standard input closes (the starting process ended)")
            p.add_argument("--remove-dir", action="store_true",
                           help="remove --dir on exit too, so a crashed starter leaves nothing")
        else:
            p.add_argument("--app", required=True, help="the application program")
            p.add_argument("app_args", nargs=argparse.REMAINDER)
    p = sub.add_parser("ctl")
    p.add_argument("--socket")
    p.add_argument("op")
    p.add_argument("args", nargs="*")
    p = sub.add_parser("companion")
    p.add_argument("port", type=int)
    p.add_argument("request", choices=sorted(_REQUESTS))
    args = parser.parse_args(argv)
    if args.action == "run-app" and args.app_args[:1] == ["--"]:
        args.app_args = args.app_args[1:]
    return {"serve": cmd_serve, "run-app": cmd_run_app, "ctl": cmd_ctl,
            "companion": cmd_companion}[args.action](args)


if __name__ == "__main__":
    sys.exit(main())
