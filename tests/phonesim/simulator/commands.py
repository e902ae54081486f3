"""The phone's command-line tools, printing what a phone's tools print (errors on standard error).

Each tool is fn(shell, args, io) -> exit status; `shell.phone` is the phone the shell runs on.
"""

import fnmatch
import os
import re
import time

from . import mediafiles
from .storage import FsError, LEGACY_ROOT, split_components

COMPANION_PACKAGE = "com.velmoros.tidewell"
COMPANION_SERVICE = COMPANION_PACKAGE + "/.AdbForwardService"
COMPANION_PROCESS = COMPANION_PACKAGE + ":fwd"


def _fail(io, tool, path, message):
    io.err("%s: %s: %s\n" % (tool, path, message))
    return 1


def _options(args, allowed):
    """Split leading single-letter option clusters from operands; returns (flags, operands, bad)."""
    flags = set()
    rest = list(args)
    while rest and rest[0].startswith("-") and len(rest[0]) > 1:
        word = rest.pop(0)
        if word == "--":
            break
        for letter in word[1:]:
            if letter not in allowed:
                return flags, rest, letter
            flags.add(letter)
    return flags, rest, None


def _date(mtime):
    return time.strftime("%Y-%m-%d %H:%M", time.localtime(mtime))


def long_line(entry, name, owner="root", group="sdcard_r"):
    """One `ls -l` line in the phone's format: mode, owner, group, size (files only), date, name."""
    _, kind, size, mtime, target = entry
    if kind == "dir":
        mode, size_text = "drwxrwx---", ""
    elif kind == "link":
        mode, size_text = "lrwxrwxrwx", ""
        name = "%s -> %s" % (name, target)
    else:
        mode, size_text = "-rw-rw----", str(size)
    return "%s %-8s %-8s %8s %s %s\n" % (mode, owner, group, size_text, _date(mtime), name)


_TOYBOX_NAMED = {"\\": "\\", "\a": "a", "\b": "b", "\x1b": "e", "\f": "f", "\n": "n", "\r": "r", "\t": "t",
                 "\v": "v", " ": " "}


def toybox_escaped(name):
    """A name as toybox `ls -b` prints it: blank and backslash get a backslash, control characters
    and bytes that are not UTF-8 become C escapes (\\n, \\t, ...) or three octal digits per byte."""
    out = []
    for ch in name:
        code = ord(ch)
        if ch in _TOYBOX_NAMED:
            out.append("\\" + _TOYBOX_NAMED[ch])
        elif 0xDC80 <= code <= 0xDCFF:          # a byte that is not UTF-8 (surrogate-escaped)
            out.append("\\%03o" % (code - 0xDC00))
        elif code < 0x20 or 0x7F <= code <= 0x9F:
            out.append("".join("\\%03o" % b for b in ch.encode("utf-8")))
        else:
            out.append(ch)
    return "".join(out)


def toybox_long_line(entry, name, owner="root", group="sdcard_rw"):
    """One `ls -l` line as toybox prints it: mode, links, owner, group, size (folders too), date, name."""
    _, kind, size, mtime, target = entry
    if kind == "dir":
        mode, links, size = "drwxrwx--x", 2, 4096
    elif kind == "link":
        mode, links, size = "lrwxrwxrwx", 1, len(target or "")
        name = "%s -> %s" % (name, target)
    else:
        mode, links = "-rw-rw----", 1
    return "%s %d %s %s %d %s %s\n" % (mode, links, owner, group, size, _date(mtime), name)


# ---------------------------------------------------------------------------------------------
# files

def _ls_walk(sh, targets, flags, io, show_entry, show_folder):
    """ls's loop over its operands: show_entry(node, target, entry) for a file (or any operand
    with -d), show_folder(node, target, entries) for a folder; errors as ls prints them."""
    status = 0
    for target in targets or ["."]:
        node = sh.storage.locate(target, sh.cwd)
        try:
            entry = sh.storage.entry_of(node)
            if not node.is_dir() or "d" in flags:
                show_entry(node, target, entry)
                continue
            entries = sh.storage.list_dir(node)
        except FsError as e:
            status = _fail(io, "ls", target, e.message)
            continue
        show_folder(node, target, entry, entries)
    return status


def cmd_ls(sh, args, io):
    if sh.phone.setting("ls") == "toybox":
        return _toybox_ls(sh, args, io)
    flags, targets, bad = _options(args, "al1dR")
    if bad:
        io.err("ls: Unknown option '%s'\n" % bad)
        return 1
    shown_header = len(targets) > 1

    def group(node):
        return "sdcard_r" if node.kind == "storage" else "root"

    def show_entry(node, target, entry):
        io.out(long_line(entry, target, group=group(node)) if "l" in flags else target + "\n")

    def show_folder(node, target, entry, entries):
        if shown_header:
            io.out("%s:\n" % target)
        if "a" in flags and "l" not in flags:
            io.out(".\n..\n")
        for item in entries:
            if item[0].startswith(".") and "a" not in flags:
                continue
            io.out(long_line(item, item[0], group=group(node)) if "l" in flags else item[0] + "\n")
        if shown_header:
            io.out("\n")

    return _ls_walk(sh, targets, flags, io, show_entry, show_folder)


def _toybox_ls(sh, args, io):
    """toybox's ls (Android 6 and later): a link count, folder sizes, and -b to escape names."""
    flags, targets, bad = _options(args, "al1dRbq")
    if bad:
        io.err("ls: Unknown option '%s' (see \"ls --help\")\n" % bad)
        return 1

    def shown(name):
        if "b" in flags:
            return toybox_escaped(name)
        if "q" in flags:
            return "".join("?" if (ord(c) < 0x20 or 0xDC80 <= ord(c) <= 0xDCFF) else c for c in name)
        return name

    def line(entry, name):
        return toybox_long_line(entry, name) if "l" in flags else name + "\n"

    def show_entry(node, target, entry):
        io.out(line(entry, shown(target)))

    def show_folder(node, target, entry, entries):
        if "l" in flags:
            io.out("total %d\n" % (4 * len(entries)))
        if "a" in flags:
            for name in (".", ".."):
                io.out(line((name, "dir", 0, entry[3], None), name))
        for item in entries:
            if not item[0].startswith(".") or "a" in flags:
                io.out(line(item, shown(item[0])))

    return _ls_walk(sh, targets, flags, io, show_entry, show_folder)


def cmd_rm(sh, args, io):
    flags, targets, bad = _options(args, "rRfi")
    if bad:
        io.err("rm: Unknown option '%s'\n" % bad)
        return 1
    recursive = bool(flags & {"r", "R"})
    status = 0
    events = []
    for target in targets:
        try:
            sh.storage.remove(sh.storage.locate(target, sh.cwd), recursive, events)
        except FsError as e:
            if not ("f" in flags and e.message == "No such file or directory"):
                status = _fail(io, "rm", target, e.message)
    sh.apply_events(events)
    return status


def cmd_mkdir(sh, args, io):
    flags, targets, bad = _options(args, "p")
    if bad or not targets:
        io.err("usage: mkdir [-p] DIR...\n")
        return 1
    status = 0
    events = []
    for target in targets:
        try:
            sh.storage.mkdir(sh.storage.locate(target, sh.cwd), "p" in flags, events)
        except FsError as e:
            status = _fail(io, "mkdir", "'%s'" % target, e.message)
    sh.apply_events(events)
    return status


def cmd_mv(sh, args, io):
    flags, operands, bad = _options(args, "fin")
    if bad or len(operands) < 2:
        io.err("usage: mv SOURCE... DEST\n")
        return 1
    dest = sh.storage.locate(operands[-1], sh.cwd)
    if len(operands) > 2 and not dest.is_dir():
        return _fail(io, "mv", operands[-1], "Not a directory")
    status = 0
    events = []
    for source in operands[:-1]:
        try:
            sh.storage.move(sh.storage.locate(source, sh.cwd), dest, events)
        except FsError as e:
            status = _fail(io, "mv", e.path, e.message)
    sh.apply_events(events)
    return status


def cmd_cd(sh, args, io):
    target = args[0] if args else "/"
    node = sh.storage.locate(target, sh.cwd)
    if not node.is_dir():
        io.err("%s: cd: can't cd to %s\n" % ("/system/bin/sh", target))
        return 1
    sh.cwd = "/" + "/".join(split_components(target, sh.cwd))
    return 0


def cmd_cat(sh, args, io):
    if not args:
        io.out(io.stdin)
        return 0
    status = 0
    for target in args:
        try:
            io.out(sh.storage.read(sh.storage.locate(target, sh.cwd)).decode("utf-8", "surrogateescape"))
        except FsError as e:
            status = _fail(io, "cat", target, e.message)
    return status


def _find_pattern(pattern):
    """A find/glob pattern as a regex: * and ? match any character, backslash quotes one."""
    out = []
    i = 0
    while i < len(pattern):
        c = pattern[i]
        if c == "\\" and i + 1 < len(pattern):
            out.append(re.escape(pattern[i + 1]))
            i += 2
            continue
        if c == "[":
            end = pattern.find("]", i + 1)
            if end > i:
                out.append(fnmatch.translate(pattern[i:end + 1])[4:-3])
                i = end + 1
                continue
        out.append({"*": ".*", "?": "."}.get(c, re.escape(c)))
        i += 1
    return re.compile("".join(out) + r"\Z", re.S)


def _find_expression(words):
    """Parse find's tests into (options, predicate list); predicates are (negate, test, value)."""
    opts = {"maxdepth": None, "mindepth": 0}
    preds = []
    negate = False
    i = 0
    while i < len(words):
        w = words[i]
        if w in ("-not", "!"):
            negate = not negate
            i += 1
            continue
        if w in ("-print", "-a", "-and"):
            i += 1
            continue
        if w in ("-maxdepth", "-mindepth", "-type", "-name", "-iname", "-path", "-ipath"):
            if i + 1 >= len(words):
                raise ValueError("'%s' needs 1 arg" % w)
            value = words[i + 1]
            if w in ("-maxdepth", "-mindepth"):
                if not value.isdigit():
                    raise ValueError("bad %s '%s'" % (w, value))
                opts[w[1:]] = int(value)
            else:
                if w in ("-name", "-path"):
                    value = _find_pattern(value)
                elif w in ("-iname", "-ipath"):
                    value = re.compile(_find_pattern(value).pattern, re.S | re.I)
                preds.append((negate, w[1:].lstrip("i") if w != "-type" else "type", value))
            negate = False
            i += 2
            continue
        raise ValueError("Unknown option '%s'" % w)
    return opts, preds


def cmd_find(sh, args, io):
    starts = []
    while args and not args[0].startswith("-") and args[0] not in ("!", "("):
        starts.append(args[0])
        args = args[1:]
    try:
        opts, preds = _find_expression(args)
    except ValueError as e:
        io.err("find: %s\n" % e)
        return 1
    status = 0

    def matches(shown, name, kind):
        for negate, test, value in preds:
            if test == "type":
                ok = value == kind
            elif test == "name":
                ok = bool(value.match(name))
            else:
                ok = bool(value.match(shown))
            if ok == negate:
                return False
        return True

    def walk(host, shown, depth):
        try:
            with os.scandir(host) as it:
                entries = sorted(it, key=lambda e: e.name)
        except OSError:
            io.err("find: %s: Permission denied\n" % shown)
            return
        for entry in entries:
            child = shown.rstrip("/") + "/" + entry.name
            is_dir = entry.is_dir(follow_symlinks=False)
            kind = "d" if is_dir else "l" if entry.is_symlink() else "f"
            if depth + 1 >= opts["mindepth"] and matches(child, entry.name, kind):
                io.out(child + "\n")
            if is_dir and (opts["maxdepth"] is None or depth + 1 < opts["maxdepth"]):
                walk(entry.path, child, depth + 1)

    for start in starts or ["."]:
        node = sh.storage.locate(start, sh.cwd)
        if node.kind != "storage" or not node.exists():
            status = _fail(io, "find", start, "No such file or directory")
            continue
        is_dir = node.is_dir()
        kind = "d" if is_dir else "f" if node.is_file() else "l"
        if opts["mindepth"] == 0 and matches(start, os.path.basename(start.rstrip("/")), kind):
            io.out(start + "\n")
        if is_dir and opts["maxdepth"] != 0:
            walk(node.host, start, 0)
    return status


def cmd_test(sh, args, io, name="test"):
    if name == "[":
        if not args or args[-1] != "]":
            io.err("[: missing ]\n")
            return 2
        args = args[:-1]
    negate = False
    if args and args[0] == "!":
        negate, args = True, args[1:]
    result = False
    if len(args) == 1:
        result = bool(args[0])
    elif len(args) == 2 and args[0] in ("-d", "-f", "-e", "-s", "-r", "-w"):
        node = sh.storage.locate(args[1], sh.cwd)
        op = args[0]
        if op == "-d":
            result = node.is_dir()
        elif op == "-f":
            result = node.is_file()
        elif op == "-s":
            st = node.lstat()
            result = bool(st and st.st_size > 0)
        else:
            result = node.exists()
    elif len(args) == 2 and args[0] in ("-z", "-n"):
        result = (args[1] == "") == (args[0] == "-z")
    elif len(args) == 3 and args[1] in ("=", "!="):
        result = (args[0] == args[2]) == (args[1] == "=")
    elif args:
        io.err("%s: unknown condition\n" % name)
        return 2
    return 0 if result != negate else 1


def cmd_screencap(sh, args, io):
    flags, operands, bad = _options(args, "p")
    if bad or not operands:
        io.err("usage: screencap [-hp] [-d display-id] [FILENAME]\n")
        return 1
    colours = mediafiles.seeded_colours(sh.phone.serial + str(sh.phone.settings["battery"]))
    data = mediafiles.make_png(72, 128, colours, block=16)
    events = []
    try:
        sh.storage.write(sh.storage.locate(operands[0], sh.cwd), data, False, events)
    except FsError as e:
        io.err("Error opening file: %s (%s)\n" % (operands[0], e.message))
        return 1
    sh.apply_events(events)
    return 0


# ---------------------------------------------------------------------------------------------
# text

def cmd_echo(sh, args, io):
    newline = True
    if args and args[0] == "-n":
        newline, args = False, args[1:]
    io.out(" ".join(args) + ("\n" if newline else ""))
    return 0


def _grep_matcher(patterns, ignore_case, fixed):
    compiled = []
    for p in patterns:
        if fixed or not re.search(r"[.\[\]*^$\\]", p):
            compiled.append(re.compile(re.escape(p), re.I if ignore_case else 0))
        else:
            # Basic regular expressions: ( ) { } + ? | are literal unless escaped.
            bre = re.sub(r"\\([(){}+?|])|([(){}+?|])",
                         lambda m: m.group(1) or "\\" + m.group(2), p)
            try:
                compiled.append(re.compile(bre, re.I if ignore_case else 0))
            except re.error:
                compiled.append(re.compile(re.escape(p), re.I if ignore_case else 0))
    return lambda line: any(c.search(line) for c in compiled)


def cmd_grep(sh, args, io):
    patterns = []
    flags = set()
    operands = []
    i = 0
    while i < len(args):
        a = args[i]
        if a == "-e" and i + 1 < len(args):
            patterns.append(args[i + 1])
            i += 2
            continue
        if a.startswith("-") and len(a) > 1 and not operands:
            for letter in a[1:]:
                if letter not in "ivcFqlnE":
                    io.err("grep: invalid option -- '%s'\n" % letter)
                    return 2
                flags.add(letter)
            i += 1
            continue
        operands.append(a)
        i += 1
    if not patterns:
        if not operands:
            io.err("usage: grep [-icvFq] PATTERN [FILE...]\n")
            return 2
        patterns.append(operands.pop(0))
    match = _grep_matcher(patterns, "i" in flags, "F" in flags)
    found = False
    status_error = False
    sources = [(None, io.stdin)] if not operands else []
    for target in operands:
        node = sh.storage.locate(target, sh.cwd)
        if node.is_dir():
            io.err("grep: %s: Is a directory\n" % target)
            status_error = True
            continue
        try:
            sources.append((target, sh.storage.read(node).decode("utf-8", "surrogateescape")))
        except FsError as e:
            io.err("grep: %s: %s\n" % (target, e.message))
            status_error = True
    prefix = len(operands) > 1
    for name, text in sources:
        count = 0
        for line in text.splitlines():
            if bool(match(line)) != ("v" in flags):
                count += 1
                found = True
                if not flags & {"c", "q", "l"}:
                    io.out(("%s:" % name if prefix else "") + line + "\n")
        if "c" in flags:
            io.out(("%s:" % name if prefix else "") + "%d\n" % count)
        elif "l" in flags and count:
            io.out("%s\n" % (name or "(standard input)"))
    if status_error and not found:
        return 2
    return 0 if found else 1


def cmd_wc(sh, args, io):
    flags, operands, bad = _options(args, "lcw")
    if bad:
        io.err("wc: Unknown option '%s'\n" % bad)
        return 1
    flags = flags or {"l", "w", "c"}
    texts = [("", io.stdin)]
    if operands:
        texts = []
        for target in operands:
            try:
                texts.append((target, sh.storage.read(sh.storage.locate(target, sh.cwd))
                              .decode("utf-8", "surrogateescape")))
            except FsError as e:
                return _fail(io, "wc", target, e.message)
    for name, text in texts:
        fields = []
        if "l" in flags:
            fields.append(text.count("\n"))
        if "w" in flags:
            fields.append(len(text.split()))
        if "c" in flags:
            fields.append(len(text.encode("utf-8", "surrogateescape")))
        io.out(" ".join("%d" % f for f in fields) + (" " + name if name else "") + "\n")
    return 0


# ---------------------------------------------------------------------------------------------
# system

def _human_kb(n_bytes):
    kb = n_bytes / 1024
    if kb >= 1024 * 1024:
        return "%.1fG" % (kb / (1024 * 1024))
    if kb >= 1024:
        return "%.1fM" % (kb / 1024)
    return "%dK" % kb


def cmd_df(sh, args, io):
    phone = sh.phone
    total = phone.settings["total-space"]
    free = phone.settings["free-space"]
    rows = []
    system_row = (1024 ** 3, 800 * 1024 ** 2, 224 * 1024 ** 2)
    targets = args or ["/dev", "/system", "/data", "/cache", LEGACY_ROOT]
    status = 0
    for target in targets:
        node = sh.storage.locate(target, sh.cwd)
        if node.kind == "storage" and node.exists():
            rows.append((target, total, total - free, free))
        elif node.kind == "virtual" or not args:
            rows.append((target,) + system_row)
        else:
            status = _fail(io, "df", target, "No such file or directory")
    io.out("Filesystem               Size     Used     Free   Blksize\n")
    for path, size, used, avail in rows:
        io.out("%-20s %8s %8s %8s   %d\n" % (path, _human_kb(size), _human_kb(used),
                                               _human_kb(avail), 4096))
    return status


def cmd_getprop(sh, args, io):
    props = sh.phone.props()
    if not args:
        for key in sorted(props):
            io.out("[%s]: [%s]\n" % (key, props[key]))
        return 0
    io.out(props.get(args[0], args[1] if len(args) > 1 else "") + "\n")
    return 0


def cmd_dumpsys(sh, args, io):
    phone = sh.phone
    if not args:
        io.out("Currently running services:\n  activity\n  battery\n  package\n")
        return 0
    service = args[0]
    if service == "battery":
        level = phone.settings["battery"]
        io.out("Current Battery Service state:\n  AC powered: false\n  USB powered: true\n"
               "  Wireless powered: false\n  status: %d\n  health: 2\n  present: true\n"
               "  level: %d\n  scale: 100\n  voltage: 4012\n  temperature: 283\n"
               "  technology: Li-ion\n" % (5 if level >= 100 else 2, level))
        return 0
    if service == "package":
        wanted = args[1] if len(args) > 1 else None
        for package, (version, name) in sorted(phone.packages().items()):
            if wanted not in (None, package):
                continue
            io.out("Packages:\n  Package [%s] (41cf6e48):\n    userId=10089 gids=[3003, 1028]\n"
                   "    pkg=Package{41d0c4f0 %s}\n    codePath=/data/app/%s-1.apk\n"
                   "    versionCode=%d targetSdk=19\n    versionName=%s\n\n"
                   % (package, package, package, version, name))
        return 0
    io.out("Can't find service: %s\n" % service)
    return 0


def cmd_am(sh, args, io):
    phone = sh.phone
    if not args:
        io.err("usage: am [subcommand] [options]\n")
        return 1
    sub, rest = args[0], args[1:]
    if sub == "force-stop" and rest:
        phone.force_stop(rest[-1])
        return 0
    if sub in ("startservice", "start-service") and rest:
        component = rest[-1]
        io.out("Starting service: Intent { cmp=%s }\n" % component)
        if not phone.start_service(component):
            io.out("Error: Not found; no service started.\n")
        return 0
    if sub == "broadcast":
        action = data = None
        i = 0
        while i < len(rest):
            if rest[i] == "-a" and i + 1 < len(rest):
                action = rest[i + 1]
                i += 2
            elif rest[i] == "-d" and i + 1 < len(rest):
                data = rest[i + 1]
                i += 2
            else:
                i += 1
        fields = ["act=%s" % action] if action else []
        if data:
            fields.append("dat=%s" % data)
        io.out("Broadcasting: Intent { %s }\nBroadcast completed: result=0\n" % " ".join(fields))
        phone.broadcast(action, data)
        return 0
    io.err("Error: Unknown command: %s\n" % sub)
    return 1


def cmd_ps(sh, args, io):
    io.out("USER     PID   PPID  VSIZE  RSS     WCHAN    PC         NAME\n")
    for user, pid, ppid, name in sh.phone.processes():
        io.out("%-8s %-5d %-5d %-6d %-6d %08x %08x S %s\n"
               % (user, pid, ppid, 922624, 34200, 0xFFFFFFFF, 0, name))
    return 0


COMMANDS = {
    "am": cmd_am,
    "cat": cmd_cat,
    "cd": cmd_cd,
    "df": cmd_df,
    "dumpsys": cmd_dumpsys,
    "echo": cmd_echo,
    "false": lambda sh, args, io: 1,
    "find": cmd_find,
    "getprop": cmd_getprop,
    "grep": cmd_grep,
    "ls": cmd_ls,
    "mkdir": cmd_mkdir,
    "mv": cmd_mv,
    "ps": cmd_ps,
    "rm": cmd_rm,
    "screencap": cmd_screencap,
    "test": cmd_test,
    "[": lambda sh, args, io: cmd_test(sh, args, io, "["),
    "true": lambda sh, args, io: 0,
    "wc": cmd_wc,
}
