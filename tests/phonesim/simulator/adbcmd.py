"""The adb command lines the stand-in answers, in two dialects.

"default" speaks what the product's bridge expects of its adb resource: merged shell output with
status 0, progress lines "Transferring: DONE/TOTAL (P%)" on standard error. "current" behaves
like Debian's adb 29: shell streams kept apart with the remote status (merged with -x),
silent transfers ending in a summary line (progress on a terminal only), "adb: error: ..." for
failed transfers. Client errors (no device, offline, unauthorised) go to standard error, status 1,
in both.
"""

import os

from .transfer import Transfer

UNAUTHORIZED = ("error: device unauthorized.\nThis adb server's $ADB_VENDOR_KEYS is not set\n"
                "Try 'adb kill-server' if that seems wrong.\n"
                "Otherwise check for a confirmation dialog on your device.\n")


class _Fail(Exception):
    pass


def run(sim, argv, client):
    """Run one adb command line for `client` (write(fd, text), alive(), cwd, tty); returns status."""
    serial = None
    args = list(argv)
    while args and args[0].startswith("-"):
        if args[0] == "-s" and len(args) > 1:
            serial = args[1]
            args = args[2:]
        else:
            client.write(2, "adb: unknown option %s\n" % args[0])
            return 1
    client.mode = sim.mode
    if serial is not None and sim.phone(serial) is not None:
        client.mode = sim.phone(serial).mode()
    sim.log("adb", serial=serial, argv=list(argv))
    if not args:
        client.write(2, "adb: usage: no command specified\n")
        return 1
    command, rest = args[0], args[1:]
    try:
        if command == "start-server":
            return _start_server(sim, client)
        if command == "devices":
            return _devices(sim, client)
        if command == "forward":
            return _forward(sim, serial, rest, client)
        if command in ("shell", "pull", "push", "install"):
            phone = _target(sim, serial)
            client.mode = phone.mode()
            return {"shell": _shell, "pull": _pull, "push": _push,
                    "install": _install}[command](sim, phone, rest, client)
    except _Fail as e:
        client.write(2, str(e))
        return 1
    client.write(2, "adb: unknown command %s\n" % command)
    return 1


def _target(sim, serial):
    """The phone a device command addresses, or _Fail with adb's client error."""
    if serial is not None:
        phone = sim.phone(serial)
        if phone is None or not phone.plugged:
            raise _Fail("error: device '%s' not found\n" % serial)
    else:
        attached = [p for p in sim.phones() if p.plugged]
        if not attached:
            raise _Fail("error: no devices/emulators found\n")
        if len(attached) > 1:
            raise _Fail("error: more than one device/emulator\n")
        phone = attached[0]
    state = phone.state()
    if state == "unauthorized":
        raise _Fail(UNAUTHORIZED)
    if state == "offline":
        raise _Fail("error: device offline\n")
    return phone


def _start_server(sim, client):
    if sim.note_server_started():
        if client.mode == "current":
            client.write(2, "* daemon not running; starting now at tcp:5037\n"
                            "* daemon started successfully\n")
        else:
            client.write(2, "* daemon not running. starting it now on port 5037 *\n"
                            "* daemon started successfully *\n")
    return 0


def _devices(sim, client):
    sim.note_server_started()
    lines = ["List of devices attached\n"]
    for phone in sim.phones():
        if phone.plugged:
            lines.append("%s\t%s\n" % (phone.serial, phone.listed_state()))
    lines.append("\n")
    client.write(1, "".join(lines))
    return 0


def _forward(sim, serial, rest, client):
    if rest == ["--list"]:
        client.write(1, "".join("%s %s %s\n" % (f.serial, "tcp:%d" % f.port, f.remote)
                                for f in sim.forward_list()))
        return 0
    if len(rest) == 2 and rest[0] == "--remove":
        if not sim.remove_forward(_port(rest[1])):
            raise _Fail(("adb: error: " if client.mode == "current" else "error: ")
                        + "listener '%s' not found\n" % rest[1])
        return 0
    if rest == ["--remove-all"]:
        for f in sim.forward_list():
            sim.remove_forward(f.port)
        return 0
    no_rebind = rest[:1] == ["--no-rebind"]
    if no_rebind:
        rest = rest[1:]
    if len(rest) != 2 or _port(rest[0]) is None or not rest[1].startswith("tcp:"):
        raise _Fail("adb: usage: forward --list | --remove LOCAL | [--no-rebind] LOCAL REMOTE\n")
    phone = _target(sim, serial)
    try:
        port = sim.add_forward(_port(rest[0]), phone.serial, rest[1], no_rebind)
    except OSError as e:
        raise _Fail(("adb: error: " if client.mode == "current" else "error: ")
                    + "cannot bind listener: %s\n" % e.strerror) from None
    if client.mode == "current":
        client.write(1, "%d\n" % port)
    return 0


def _port(word):
    if word.startswith("tcp:") and word[4:].isdigit():
        return int(word[4:])
    return None


def _shell(sim, phone, rest, client):
    merged = client.mode != "current"
    while rest and rest[0] in ("-x", "-T", "-t", "-n") and client.mode == "current":
        merged = merged or rest[0] == "-x"
        rest = rest[1:]
    if not rest:
        raise _Fail("error: interactive shells are not supported by the simulated phone\n")
    output, status = phone.shell(" ".join(rest))
    if merged:
        client.write(1, output.merged())
        return 0
    for fd, text in output.chunks:
        client.write(fd, text)
    return status


def _transfer_args(rest, client, verb):
    flags = set()
    operands = []
    for arg in rest:
        if arg.startswith("-") and len(arg) > 1 and not operands:
            flags.update(arg[1:])
        else:
            operands.append(arg)
    if len(operands) != 2 or not flags <= {"p", "a", "z", "Z", "q"}:
        raise _Fail("adb: usage: %s [-p] [-a] SOURCE DEST\n" % verb)
    return flags, operands


def _host_path(client, path):
    return path if os.path.isabs(path) else os.path.join(client.cwd, path)


def _pull(sim, phone, rest, client):
    flags, (remote, local) = _transfer_args(rest, client, "pull")
    with sim.transfer_running():
        return Transfer(phone, client, sim.tmp_dir(phone)).pull(
            remote, _host_path(client, local), preserve="a" in flags)


def _push(sim, phone, rest, client):
    _flags, (local, remote) = _transfer_args(rest, client, "push")
    with sim.transfer_running():
        return Transfer(phone, client, sim.tmp_dir(phone)).push(_host_path(client, local), remote)


def _install(sim, phone, rest, client):
    operands = [a for a in rest if not a.startswith("-")]
    if client.mode == "current":
        if not operands:
            raise _Fail("adb: install requires an apk argument\n")
        package = operands[-1]
        if not package.lower().endswith((".apk", ".apex")):
            raise _Fail("adb: filename doesn't end .apk or .apex: %s\n" % package)
        if len(operands) > 1:
            raise _Fail("adb: install accepts one package file; use install-multiple\n")
    else:
        apks = [a for a in operands if a.lower().endswith(".apk")]
        if not apks:
            raise _Fail("error: install requires an apk argument\n")
        package = apks[0]
    path = _host_path(client, package)
    if not os.path.isfile(path):
        raise _Fail("adb: failed to stat %s: No such file or directory\n" % package)
    answer = phone.install()
    phone.log_event("install", file=path, answer=answer)
    ok = answer == "Success"
    if client.mode == "current":
        client.write(1, "Performing Streamed Install\n")
        if ok:
            client.write(1, "Success\n")
        else:
            client.write(2, "adb: failed to install %s: %s\n" % (package, answer))
    else:
        client.write(1, "\tpkg: /data/local/tmp/%s\n%s\n" % (os.path.basename(package), answer))
    return 0 if ok else 1
