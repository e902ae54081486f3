"""The control protocol: one JSON object per line on the simulator's Unix socket.

Requests ({"op": ..., ...}) and their answers ({"ok": true, ...} or {"error": text}):
  info                                   folders, socket, stand-in adb path, phones
  set        serial?, key, value         a phone setting (see phone.DEFAULTS, "state",
                                         "prop.NAME"); without serial, "mode" of the simulator
  misbehave  serial, name, on            switch a misbehaviour (phone.MISBEHAVIOURS, or a state)
  unplug / replug   serial               the phone leaves / comes back to `adb devices`
  shell      serial, command             run a command line on the phone (not logged as adb)
  put        serial, path, data (base64) write a file on the phone
  inject     serial, cmd, type, json | hex   send a frame on every keep-alive connection
  keepalive  serial                      the phone's keep-alive connections and their watches
  log        serial?, kind?, clear?      the event log (adb command lines, expansions, frames)
  forwards                               the forward table
  wait-idle  timeout                     wait until no pull or push is running
  shutdown                               stop the simulator
The "adb" request is the stand-in's: {"op": "adb", "argv", "cwd", "tty"}, answered by
{"fd": 1|2, "data": text} messages and a final {"exit": status}.
"""

import base64
import json
import socket
import struct

from .companion import CMD_PUSH, json_bytes
from .storage import FsError


def handle_request(sim, req):
    try:
        return dict(_dispatch(sim, req), ok=True)
    except (ValueError, KeyError, TypeError, FsError) as e:
        return {"error": "%s: %s" % (type(e).__name__, getattr(e, "message", e))}



def _readable(value):
    """Log entries with bytes that are not UTF-8 (names the bridge passed on) written as \\xNN,
    so that strict JSON readers take the reply."""
    if isinstance(value, str):
        return value.encode("utf-8", "surrogateescape").decode("utf-8", "backslashreplace")
    if isinstance(value, list):
        return [_readable(v) for v in value]
    if isinstance(value, dict):
        return {k: _readable(v) for k, v in value.items()}
    return value

def _dispatch(sim, req):
    op = req["op"]
    if op == "info":
        return sim.info()
    if op == "set":
        if not req.get("serial") and req["key"] == "mode":
            if req["value"] not in ("default", "current"):
                raise ValueError("mode must be default or current")
            sim.mode = req["value"]
            return {}
        sim.require_phone(req.get("serial")).set(req["key"], req["value"])
        return {}
    if op == "misbehave":
        sim.require_phone(req.get("serial")).misbehave(req["name"], req.get("on", True))
        return {}
    if op == "unplug":
        sim.unplug(req.get("serial"))
        return {}
    if op == "replug":
        sim.require_phone(req.get("serial")).replug()
        return {}
    if op == "shell":
        output, status = sim.require_phone(req.get("serial")).shell(req["command"])
        return {"stdout": output.stream(1), "stderr": output.stream(2), "status": status}
    if op == "put":
        phone = sim.require_phone(req.get("serial"))
        events = []
        with phone.lock:
            node = phone.storage.locate(req["path"])
            phone.storage.mkdir(phone.storage.locate(req["path"].rsplit("/", 1)[0] or "/"), True,
                                events)
            phone.storage.write(node, base64.b64decode(req.get("data", "")), False, events)
        phone.apply_events(events)
        return {}
    if op == "inject":
        phone = sim.require_phone(req.get("serial"))
        if "hex" in req:
            data = bytes.fromhex(req["hex"])
        else:
            body = bytes([int(req.get("cmd", CMD_PUSH)), int(req.get("type", 1)), 1])
            body += json_bytes(req["json"]) if "json" in req else b""
            data = struct.pack(">I", len(body)) + body
        conns = phone.service.keep_alives()
        for conn in conns:
            conn.send(data)
        return {"connections": len(conns)}
    if op == "keepalive":
        conns = sim.require_phone(req.get("serial")).service.keep_alives()
        return {"connections": [{"watches": list(c.watches),
                                 "heartbeat_answers": c.heartbeat_answers} for c in conns]}
    if op == "log":
        return {"entries": _readable(sim.log_entries(req.get("serial"), req.get("kind"),
                                                     bool(req.get("clear"))))}
    if op == "forwards":
        return {"forwards": [{"serial": f.serial, "local": f.port, "remote": f.remote}
                             for f in sim.forward_list()]}
    if op == "wait-idle":
        return {"idle": sim.wait_idle(float(req.get("timeout", 10)))}
    if op == "shutdown":
        sim.shutdown_requested.set()
        return {}
    raise ValueError("unknown op %r" % op)


class ControlError(RuntimeError):
    pass


class Control:
    """Client of a simulator's control socket (one connection per request)."""

    def __init__(self, socket_path):
        self.socket_path = socket_path

    def request(self, op, **fields):
        fields["op"] = op
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            s.connect(self.socket_path)
            s.sendall(json.dumps(fields).encode() + b"\n")
            reply = s.makefile("rb").readline()
        if not reply:
            raise ControlError("simulator closed the control connection")
        answer = json.loads(reply)
        if "error" in answer:
            raise ControlError(answer["error"])
        return answer

    def adb(self, argv, tty=False, cwd="/"):
        """Run an adb command line in-process: (status, stdout text, stderr text)."""
        out, err = [], []
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            s.connect(self.socket_path)
            s.sendall(json.dumps({"op": "adb", "argv": argv, "cwd": cwd, "tty": tty}).encode()
                      + b"\n")
            for line in s.makefile("rb"):
                msg = json.loads(line)
                if "exit" in msg:
                    return msg["exit"], "".join(out), "".join(err)
                (out if msg["fd"] == 1 else err).append(msg["data"])
        raise ControlError("simulator ended the adb command without a status")

    # conveniences used by tests and the command-line tool
    def set(self, serial, key, value):
        return self.request("set", serial=serial, key=key, value=value)

    def misbehave(self, serial, name, on=True):
        return self.request("misbehave", serial=serial, name=name, on=on)

    def shell(self, serial, command):
        return self.request("shell", serial=serial, command=command)

    def put(self, serial, path, data):
        return self.request("put", serial=serial, path=path,
                            data=base64.b64encode(data).decode("ascii"))

    def log(self, serial=None, kind=None, clear=False):
        return self.request("log", serial=serial, kind=kind, clear=clear)["entries"]
