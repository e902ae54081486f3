"""The phone's command shell: the part of a POSIX sh that adb command lines use.

Words, single quotes (literal), double quotes (backslash escapes only $ ` " \\ and newline),
bare backslash escapes, $name / ${name} / $? variables, $(...) and `...` command substitution
(run by this same shell), field splitting of unquoted expansions, pipes, ;, && and ||, and the
redirections >, >>, < and N>&M. Every expansion other than $? is written to the phone's log,
because a product that quotes phone paths correctly never causes one.
"""

import re

SHELL_NAME = "/system/bin/sh"
_OPERATORS = ("&&", "||", ";;", "|", ";", "&", "\n")
_SPECIAL_VARS = set("?#$!@*-0123456789")
_NAME = re.compile(r"[A-Za-z_][A-Za-z0-9_]*")


class ShellSyntaxError(Exception):
    pass


# Parts of a word: ("lit", text, quoted), ("var", name, quoted, source), ("cmd", source, quoted)


class _Parser:
    def __init__(self, text):
        self.s = text
        self.i = 0

    # -- words --------------------------------------------------------------------------------

    def word(self):
        parts = []
        lit = []

        def flush():
            if lit:
                parts.append(("lit", "".join(lit), False))
                lit.clear()

        s = self.s
        while self.i < len(s):
            c = s[self.i]
            if c in " \t\n|&;<>()":
                break
            if c == "'":
                end = s.find("'", self.i + 1)
                if end < 0:
                    raise ShellSyntaxError("unterminated quoted string")
                flush()
                parts.append(("lit", s[self.i + 1:end], True))
                self.i = end + 1
            elif c == '"':
                flush()
                self.i += 1
                self._double_quoted(parts)
            elif c == "\\":
                if self.i + 1 < len(s):
                    if s[self.i + 1] != "\n":
                        flush()
                        parts.append(("lit", s[self.i + 1], True))
                    self.i += 2
                else:
                    lit.append("\\")
                    self.i += 1
            elif c == "$":
                flush()
                self._dollar(parts, quoted=False)
            elif c == "`":
                flush()
                self._backquote(parts, quoted=False)
            else:
                lit.append(c)
                self.i += 1
        flush()
        return parts

    def _double_quoted(self, parts):
        s = self.s
        lit = []
        while True:
            if self.i >= len(s):
                raise ShellSyntaxError("unterminated quoted string")
            c = s[self.i]
            if c == '"':
                self.i += 1
                break
            if c == "\\" and self.i + 1 < len(s) and s[self.i + 1] in '$`"\\\n':
                if s[self.i + 1] != "\n":
                    lit.append(s[self.i + 1])
                self.i += 2
            elif c in "$`":
                if lit:
                    parts.append(("lit", "".join(lit), True))
                    lit = []
                if c == "$":
                    self._dollar(parts, quoted=True)
                else:
                    self._backquote(parts, quoted=True)
            else:
                lit.append(c)
                self.i += 1
        # An empty pair of quotes still makes a (possibly empty) argument.
        parts.append(("lit", "".join(lit), True))

    def _dollar(self, parts, quoted):
        s = self.s
        start = self.i
        nxt = s[self.i + 1] if self.i + 1 < len(s) else ""
        if nxt == "(":
            end = self._matching_paren(self.i + 2)
            parts.append(("cmd", s[self.i + 2:end], quoted))
            self.i = end + 1
        elif nxt == "{":
            end = s.find("}", self.i + 2)
            if end < 0:
                raise ShellSyntaxError("missing '}'")
            parts.append(("var", s[self.i + 2:end], quoted, s[start:end + 1]))
            self.i = end + 1
        elif nxt and nxt in _SPECIAL_VARS:
            parts.append(("var", nxt, quoted, s[start:self.i + 2]))
            self.i += 2
        else:
            m = _NAME.match(s, self.i + 1)
            if m:
                parts.append(("var", m.group(0), quoted, s[start:m.end()]))
                self.i = m.end()
            else:
                parts.append(("lit", "$", quoted))
                self.i += 1

    def _matching_paren(self, i):
        s = self.s
        depth = 1
        while i < len(s):
            c = s[i]
            if c == "\\":
                i += 2
                continue
            if c == "'":
                end = s.find("'", i + 1)
                if end < 0:
                    break
                i = end + 1
                continue
            if c == '"':
                i += 1
                while i < len(s) and s[i] != '"':
                    i += 2 if s[i] == "\\" else 1
                i += 1
                continue
            if c == "(":
                depth += 1
            elif c == ")":
                depth -= 1
                if depth == 0:
                    return i
            i += 1
        raise ShellSyntaxError("missing ')'")

    def _backquote(self, parts, quoted):
        s = self.s
        i = self.i + 1
        body = []
        while True:
            if i >= len(s):
                raise ShellSyntaxError("missing '`'")
            c = s[i]
            if c == "`":
                break
            if c == "\\" and i + 1 < len(s) and (s[i + 1] in "$`\\" or (quoted and s[i + 1] == '"')):
                body.append(s[i + 1])
                i += 2
                continue
            body.append(c)
            i += 1
        parts.append(("cmd", "".join(body), quoted))
        self.i = i + 1

    # -- command lines ------------------------------------------------------------------------

    def skip_blanks(self):
        while self.i < len(self.s) and self.s[self.i] in " \t":
            self.i += 1

    def operator(self):
        for op in _OPERATORS:
            if self.s.startswith(op, self.i):
                return op
        return None

    def command_line(self):
        """[(connector, [simple command, ...])] where connector is None, ";", "&&" or "||"."""
        lists = []
        connector = None
        pipeline = []
        command = self._new_command()
        while True:
            self.skip_blanks()
            if self.i >= len(self.s):
                break
            c = self.s[self.i]
            if c == "#":  # a comment starts only where a word would
                nl = self.s.find("\n", self.i)
                self.i = len(self.s) if nl < 0 else nl
                continue
            op = self.operator()
            if op:
                self.i += len(op)
                if op == "|":
                    if not command["words"]:
                        raise ShellSyntaxError("unexpected '|'")
                    pipeline.append(command)
                    command = self._new_command()
                    continue
                if op == ";;":
                    raise ShellSyntaxError("unexpected ';;'")
                if command["words"] or command["redirs"]:
                    pipeline.append(command)
                elif pipeline or op in ("&&", "||"):
                    raise ShellSyntaxError("unexpected '%s'" % op.strip())
                if pipeline:
                    lists.append((connector, pipeline))
                elif op not in ("\n", ";", "&"):
                    raise ShellSyntaxError("unexpected '%s'" % op)
                connector = {"&&": "&&", "||": "||"}.get(op, ";")
                pipeline = []
                command = self._new_command()
                continue
            if c in "()":
                raise ShellSyntaxError("unexpected '%s'" % c)
            redir = self._redirection()
            if redir:
                command["redirs"].append(redir)
                continue
            command["words"].append(self.word())
        if command["words"] or command["redirs"]:
            pipeline.append(command)
        if pipeline:
            lists.append((connector, pipeline))
        elif connector in ("&&", "||"):
            raise ShellSyntaxError("unexpected end of file")
        return lists

    @staticmethod
    def _new_command():
        return {"words": [], "redirs": []}

    def _redirection(self):
        m = re.compile(r"(\d?)(>>|>&|<&|>|<)").match(self.s, self.i)
        if not m:
            return None
        self.i = m.end()
        op = m.group(2)
        fd = int(m.group(1)) if m.group(1) else (0 if op[0] == "<" else 1)
        self.skip_blanks()
        target = self.word()
        if not target:
            raise ShellSyntaxError("missing redirection target")
        return (fd, op, target)


def parse(text):
    return _Parser(text).command_line()


class Output:
    """Ordered record of what a command line wrote to its standard output (1) and error (2)."""

    def __init__(self):
        self.chunks = []

    def write(self, fd, text):
        if text:
            self.chunks.append((fd, text))

    def merged(self):
        return "".join(t for _, t in self.chunks)

    def stream(self, fd):
        return "".join(t for f, t in self.chunks if f == fd)


class _Io:
    """What one command sees: its input and where its two output streams go."""

    def __init__(self, stdin, dests, sink):
        self.stdin = stdin
        self.dests = dests
        self.sink = sink
        self.buffers = {}

    def out(self, text):
        self._send(1, text)

    def err(self, text):
        self._send(2, text)

    def _send(self, fd, text):
        dest = self.dests[fd]
        if dest in ("out", "err"):
            self.sink.write(1 if dest == "out" else 2, text)
        elif dest != "null":
            self.buffers.setdefault(dest, []).append(text)


class Shell:
    """Runs command lines on one phone. commands maps a name to fn(shell, args, io) -> status."""

    def __init__(self, commands, env, storage, log_expansion, apply_events):
        self.commands = commands
        self.env = dict(env)
        self.storage = storage
        self.log_expansion = log_expansion
        self.apply_events = apply_events
        self.status = 0
        self.cwd = "/"
        self.depth = 0

    def run(self, text):
        """Run a command line; returns (Output, exit status)."""
        sink = Output()
        status = self._run_text(text, sink)
        return sink, status

    def _run_text(self, text, sink):
        try:
            lists = parse(text)
        except ShellSyntaxError as e:
            sink.write(2, "%s: syntax error: %s\n" % (SHELL_NAME, e))
            self.status = 1
            return 1
        for connector, pipeline in lists:
            if connector == "&&" and self.status != 0:
                continue
            if connector == "||" and self.status == 0:
                continue
            self.status = self._run_pipeline(pipeline, sink)
        return self.status

    def _run_pipeline(self, pipeline, sink):
        stdin = ""
        status = 0
        for index, command in enumerate(pipeline):
            last = index == len(pipeline) - 1
            pipe = Output()
            status = self._run_simple(command, stdin, sink if last else pipe, last, sink)
            stdin = pipe.stream(1)
        return status

    def _run_simple(self, command, stdin, out_sink, last, err_sink):
        words = []
        for word in command["words"]:
            words.extend(self.expand(word, err_sink))
        dests = {1: "out", 2: "err"}
        events = []
        files = {}
        for fd, op, target in command["redirs"]:
            fields = self.expand(target, err_sink)
            name = fields[0] if fields else ""
            if op in (">&", "<&"):
                if name.isdigit() and int(name) in dests:
                    dests[fd] = dests[int(name)]
                elif name != "-":
                    err_sink.write(2, "%s: %s: bad file descriptor\n" % (SHELL_NAME, name))
                    return 1
                continue
            if op == "<":
                node = self.storage.locate(name, self.cwd)
                try:
                    stdin = self.storage.read(node).decode("utf-8", "surrogateescape")
                except Exception as e:  # FsError
                    err_sink.write(2, "%s: can't open %s: %s\n" % (SHELL_NAME, name,
                                                                   getattr(e, "message", e)))
                    return 1
                continue
            if name == "/dev/null":
                dests[fd] = "null"
                continue
            key = ("file", name, op == ">>")
            files[key] = self.storage.locate(name, self.cwd)
            dests[fd] = key
        io = _Io(stdin, dests, _SplitSink(out_sink, err_sink))
        if not words:
            status = 0
        else:
            fn = self.commands.get(words[0])
            if fn is None:
                io.err("%s: %s: not found\n" % (SHELL_NAME, words[0]))
                status = 127
            else:
                status = fn(self, words[1:], io)
        for key, node in files.items():
            data = "".join(io.buffers.get(key, [])).encode("utf-8", "surrogateescape")
            try:
                self.storage.write(node, data, key[2], events)
            except Exception as e:  # FsError
                err_sink.write(2, "%s: can't create %s: %s\n" % (SHELL_NAME, key[1],
                                                                 getattr(e, "message", e)))
                status = 1
        if events:
            self.apply_events(events)
        return status

    # -- expansion ----------------------------------------------------------------------------

    def expand(self, parts, err_sink):
        """Fields of one word after expansion, quote removal and field splitting."""
        fields = []
        current = []
        keep = False  # a quoted part keeps an otherwise empty field alive
        for part in parts:
            kind = part[0]
            if kind == "lit":
                current.append(part[1])
                keep = keep or part[2] or bool(part[1])
                continue
            if kind == "var":
                value = self._variable(part[1])
                if part[1] != "?":
                    self.log_expansion(part[3], value)
            else:
                value = self._substitute(part[1], err_sink)
                self.log_expansion("$(%s)" % part[1], value)
            if part[2]:
                current.append(value)
                keep = True
                continue
            for piece in re.split(r"([ \t\n]+)", value):
                if not piece:
                    continue
                if piece.isspace():
                    if current or keep:
                        fields.append("".join(current))
                    current, keep = [], False
                else:
                    current.append(piece)
                    keep = True
        if current or keep:
            fields.append("".join(current))
        return fields

    def _variable(self, name):
        if name == "?":
            return str(self.status)
        if name == "$":
            return "4242"
        return self.env.get(name, "")

    def _substitute(self, source, err_sink):
        if self.depth > 8:
            return ""
        saved = self.status
        self.depth += 1
        try:
            inner = Output()
            self._run_text(source, inner)
        finally:
            self.depth -= 1
        self.status = saved
        for fd, text in inner.chunks:
            if fd == 2:
                err_sink.write(2, text)
        return inner.stream(1).rstrip("\n")


class _SplitSink:
    """Routes "out" to the pipeline's next stage (or the shell) and "err" to the shell."""

    def __init__(self, out_sink, err_sink):
        self.out_sink = out_sink
        self.err_sink = err_sink

    def write(self, fd, text):
        if fd == 1:
            self.out_sink.write(1, text)
        else:
            self.err_sink.write(2, text)
