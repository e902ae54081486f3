"""One simulated phone: adb state, settings, misbehaviour switches, installed companion, processes.

All state sits behind `lock`; `changed` is notified whenever a setting, a switch or the plug
state changes, so waiting transfers and replies can react at once.
"""

import threading

from . import commands, shell
from .companion import CMD_PUSH, PUSH_DEVICE_INFO, frame, json_bytes
from .service import CompanionService
from .storage import Storage

MISBEHAVIOURS = (
    "install-unknown-sources",  # install answers Failure [INSTALL_FAILED_UNKNOWN_SOURCES]
    "service-never-starts",     # am startservice prints its line but no service comes up
    "silent",                   # the service accepts and reads but never answers
    "reset-once",               # the next request's connection is reset (then the switch clears)
    "reset-always",             # every request's connection is reset
    "zero-length",              # replies announce a body of length 0
    "short-body",               # replies carry a 2-byte body
    "truncated",                # replies stop half-way and the connection closes
    "oversized",                # replies announce a huge length, then close
    "bad-gzip",                 # library replies carry a gzip stream cut short
    "stall-transfer",           # pull and push stop half-way until the switch clears
)
STATES = ("device", "unauthorized", "offline")

DEFAULTS = {
    "battery": 85,
    "name": "Simulated Phone",
    "version": 1.0,              # companion service version in device information
    "screen-locked": 0,
    "apk-version": None,         # installed companion versionCode; None: not installed
    "apk-bundle-version": 15,    # versionCode an install puts in place
    "heartbeat": 5.0,            # seconds between heartbeats on keep-alive connections; 0: none
    "reply-delay": 0.0,          # seconds before each companion reply
    "transfer-rate": 0,          # bytes per second for pull and push; 0: unlimited
    "total-space": 32 * 1000 ** 3,
    "free-space": 21 * 1000 ** 3,
    "ps-misses": 0,              # ps calls after a service start that do not show it yet
    "list-as-string": False,     # library "list" values sent as JSON text
    "oversized-length": 0x7FFFFFF0,
    "color": "black",
    "product": "tovamere",
    "mode": None,                # "default" or "current"; None follows the simulator
    "ls": "toolbox",             # the phone's ls: "toolbox" (Android 5 and before) or "toybox"
}
_NUMERIC = {"battery": int, "version": float, "screen-locked": int, "apk-bundle-version": int,
            "heartbeat": float, "reply-delay": float, "transfer-rate": int, "total-space": int,
            "free-space": int, "ps-misses": int, "oversized-length": int}

_BASE_PROCESSES = (
    ("root", 1, 0, "/init"),
    ("root", 176, 1, "zygote"),
    ("system", 512, 176, "system_server"),
    ("u0_a7", 1020, 176, "com.android.systemui"),
    ("u0_a2", 1188, 176, "android.process.media"),
)


class Phone:
    def __init__(self, sim, serial, storage_root):
        self.sim = sim
        self.serial = serial
        self.lock = threading.RLock()
        self.changed = threading.Condition(self.lock)
        self.storage = Storage(storage_root)
        self.settings = dict(DEFAULTS)
        self.states = ["device"]
        self.props_extra = {}
        self.switches = set()
        self.plugged = True
        self.plug_generation = 0
        self.service_running = False
        self.ps_misses_left = 0
        self.service = CompanionService(self)

    # -- settings -----------------------------------------------------------------------------

    def setting(self, key):
        with self.lock:
            return self.settings[key]

    def set(self, key, value):
        """Change one setting from its text form; pushes device information when it shows."""
        with self.lock:
            if key == "state":
                states = [s.strip() for s in str(value).split(",") if s.strip()]
                if not states or any(s not in STATES for s in states):
                    raise ValueError("state must be a comma list of %s" % ", ".join(STATES))
                self.states = states
            elif key.startswith("prop."):
                self.props_extra[key[5:]] = str(value)
            elif key not in DEFAULTS:
                raise ValueError("unknown setting %r" % key)
            elif key == "apk-version":
                self.settings[key] = None if str(value).lower() in ("none", "") else int(value)
            elif key == "list-as-string":
                self.settings[key] = str(value).lower() in ("1", "true", "yes", "on")
            elif key == "ls" and value not in ("toolbox", "toybox"):
                raise ValueError("ls must be toolbox or toybox")
            elif key == "mode":
                if value not in ("default", "current", None):
                    raise ValueError("mode must be default or current")
                self.settings[key] = value
            else:
                self.settings[key] = _NUMERIC.get(key, str)(value)
            self.changed.notify_all()
        if key in ("battery", "name", "version", "screen-locked"):
            self.service.push_all(frame(CMD_PUSH, PUSH_DEVICE_INFO, json_bytes(self.device_info())))

    def misbehave(self, name, on=True):
        if name in STATES:
            self.set("state", name if on else "device")
            return
        if name not in MISBEHAVIOURS:
            raise ValueError("unknown misbehaviour %r (known: %s)" % (name, ", ".join(MISBEHAVIOURS)))
        with self.lock:
            (self.switches.add if on else self.switches.discard)(name)
            self.changed.notify_all()

    def misbehaving(self, name):
        with self.lock:
            return name in self.switches

    def take_misbehaviour(self, name):
        """True once for a one-shot switch, which then clears."""
        with self.lock:
            if name in self.switches:
                self.switches.discard(name)
                return True
            return False

    def state(self):
        with self.lock:
            return self.states[0]

    def listed_state(self):
        """The state `devices` shows; a list of states steps on by one per listing."""
        with self.lock:
            state = self.states[0]
            if len(self.states) > 1:
                self.states.pop(0)
            return state

    def mode(self):
        return self.setting("mode") or self.sim.mode

    # -- what the phone reports ---------------------------------------------------------------

    def device_info(self):
        with self.lock:
            s = self.settings
            return {"battery_level": s["battery"], "device_name": s["name"],
                    "version": s["version"], "screen_locked": s["screen-locked"]}

    def props(self):
        with self.lock:
            props = {
                "ro.serialno": self.serial,
                "ro.product.name": self.settings["product"],
                "ro.product.model": self.settings["name"],
                "ro.housing.color": self.settings["color"],
                "ro.build.version.release": "4.4.4",
                "ro.build.version.sdk": "19",
                "persist.sys.usb.config": "mtp,adb",
            }
            props.update(self.props_extra)
            return props

    def packages(self):
        with self.lock:
            table = {"com.android.settings": (19, "4.4.4")}
            version = self.settings["apk-version"]
            if version is not None:
                table[commands.COMPANION_PACKAGE] = (version, "1.%d" % version)
            return table

    def processes(self):
        with self.lock:
            rows = list(_BASE_PROCESSES)
            if self.service_running:
                if self.ps_misses_left > 0:
                    self.ps_misses_left -= 1
                else:
                    rows.append(("u0_a89", 2345, 176, commands.COMPANION_PROCESS))
            return rows

    # -- companion application ----------------------------------------------------------------

    def install(self):
        """Install the companion; returns adb's answer line ("Success" or "Failure [...]")."""
        with self.lock:
            if "install-unknown-sources" in self.switches:
                return "Failure [INSTALL_FAILED_UNKNOWN_SOURCES]"
            self.settings["apk-version"] = self.settings["apk-bundle-version"]
            self.service_running = False
        self.service.close_all(wait=False)
        return "Success"

    def start_service(self, component):
        with self.lock:
            if component != commands.COMPANION_SERVICE or self.settings["apk-version"] is None:
                return False
            if "service-never-starts" not in self.switches and not self.service_running:
                self.service_running = True
                self.ps_misses_left = self.settings["ps-misses"]
            return True

    def force_stop(self, package):
        if package != commands.COMPANION_PACKAGE:
            return
        with self.lock:
            self.service_running = False
        self.service.close_all(wait=False)  # runs inside a shell command, under the lock

    def accepts_connections(self):
        with self.lock:
            return self.plugged and self.service_running

    def broadcast(self, action, data):
        self.log_event("broadcast", action=action, data=data)
        self.service.tree_changed([])

    # -- plug ---------------------------------------------------------------------------------

    def unplug(self):
        with self.lock:
            self.plugged = False
            self.plug_generation += 1
            self.changed.notify_all()
        self.service.close_all(reset=True)

    def replug(self):
        with self.lock:
            self.plugged = True
            self.changed.notify_all()

    # -- shell and changes --------------------------------------------------------------------

    def shell(self, command_line):
        """Run one command line; returns (Output, status)."""
        with self.lock:
            sh = shell.Shell(commands.COMMANDS, _SHELL_ENV, self.storage,
                             self._log_expansion, self.apply_events)
            sh.phone = self
            return sh.run(command_line)

    def apply_events(self, events):
        if events:
            self.log_event("tree", events=[[e, r] for e, r, _ in events])
        self.service.tree_changed(events)

    def _log_expansion(self, text, value):
        self.log_event("expansion", text=text, value=value)

    def log_event(self, kind, **fields):
        self.sim.log(kind, serial=self.serial, **fields)

    def wait_changed(self, timeout):
        with self.lock:
            self.changed.wait(timeout)


_SHELL_ENV = {
    "PATH": "/sbin:/vendor/bin:/system/sbin:/system/bin:/system/xbin",
    "HOME": "/",
    "SHELL": "/system/bin/sh",
    "EXTERNAL_STORAGE": "/storage/emulated/legacy",
    "ANDROID_ROOT": "/system",
    "ANDROID_DATA": "/data",
}

