"""pull and push between a host folder and a phone's storage, with progress, pacing and faults.

A file is written under a temporary name and moved to its final name only once complete, so a
transfer that fails, or whose adb client goes away, never leaves a partial file under the name
asked for. The copy waits (never holding the phone's lock) while the phone stalls transfers or
paces them, and gives up as soon as the client disconnects or the phone is unplugged.
"""

import os
import secrets
import stat
import time

from .storage import FsError, LEGACY_ROOT

CHUNK = 64 * 1024
_WAIT_STEP = 0.1


class Aborted(Exception):
    pass


class Transfer:
    """One pull or push command. `client` has write(fd, text), alive(), mode and tty."""

    def __init__(self, phone, client, tmp_dir):
        self.phone = phone
        self.client = client
        self.tmp_dir = tmp_dir
        self.generation = phone.plug_generation
        self.current = client.mode == "current"

    # -- reporting ----------------------------------------------------------------------------

    def error(self, message):
        if self.current:
            self.client.write(1, "adb: error: %s\n" % message)
        else:
            self.client.write(2, "%s\n" % message)
        return 1

    def _progress(self, path, done, total):
        if total <= 0:
            return
        percent = done * 100 // total
        if not self.current:
            self.client.write(2, "Transferring: %d/%d (%d%%)\n" % (done, total, percent))
        elif self.client.tty:
            self.client.write(1, "\r[%3d%%] %s\x1b[K" % (percent, path))

    def _summary(self, name, files, verb, nbytes, seconds):
        if not self.current:
            return
        rate = ""
        if nbytes and seconds > 0:
            rate = " %.1f MB/s (%d bytes in %.3fs)" % (nbytes / seconds / (1024 * 1024), nbytes,
                                                       seconds)
        line = "%s: %d file%s %s, 0 skipped.%s" % (name, files, "" if files == 1 else "s", verb,
                                                   rate)
        self.client.write(1, ("\r%s\x1b[K\n" if self.client.tty else "%s\n") % line)

    # -- pacing and faults --------------------------------------------------------------------

    def _check(self):
        if not self.client.alive():
            raise Aborted(None)
        if self.phone.plug_generation != self.generation or not self.phone.plugged:
            raise Aborted("device '%s' not found" % self.phone.serial)

    def _gate(self, done, total, started, sent_before):
        """Wait while the phone stalls or paces this transfer; raise Aborted when it must end."""
        self._check()
        while self.phone.misbehaving("stall-transfer") and total // 2 <= done < total:
            self.phone.wait_changed(_WAIT_STEP)
            self._check()
        rate = self.phone.setting("transfer-rate")
        if rate > 0:
            due = started + (sent_before + done) / rate
            while time.monotonic() < due:
                self.phone.wait_changed(min(_WAIT_STEP, due - time.monotonic()))
                self._check()

    def _copy(self, src, dst_temp, path, total, started, sent_before):
        done = 0
        with open(src, "rb") as fin, open(dst_temp, "wb") as fout:
            while True:
                self._gate(done, total, started, sent_before)
                chunk = fin.read(CHUNK)
                if not chunk:
                    break
                # Runs of zeros stay holes, so the sparse fixture larger than
                # 4 GiB costs no disk space wherever it is copied.
                if chunk.count(0) == len(chunk):
                    fout.seek(len(chunk), os.SEEK_CUR)
                else:
                    fout.write(chunk)
                done += len(chunk)
                self._progress(path, done, total)
            fout.truncate(done)
        return done

    # -- pull ---------------------------------------------------------------------------------

    def pull(self, remote, local, preserve):
        storage = self.phone.storage
        node = storage.locate(remote)
        if node.kind != "storage" or not node.exists():
            return self.error("remote object '%s' does not exist" % remote)
        jobs = []  # (host source, host destination, phone path, size, mtime)
        if node.is_dir():
            base = os.path.join(local, os.path.basename(node.host.rstrip("/")) or "sdcard") \
                if os.path.isdir(local) else local
            os.makedirs(base, exist_ok=True)
            for folder, dirs, files in os.walk(node.host):
                dirs.sort()
                rel = os.path.relpath(folder, node.host)
                for d in dirs:
                    os.makedirs(os.path.normpath(os.path.join(base, rel, d)), exist_ok=True)
                for name in sorted(files):
                    src = os.path.join(folder, name)
                    st = os.lstat(src)
                    if stat.S_ISREG(st.st_mode):
                        jobs.append((src, os.path.normpath(os.path.join(base, rel, name)),
                                     remote.rstrip("/") + "/" + os.path.normpath(
                                         os.path.join(rel, name)), st.st_size, st.st_mtime))
        else:
            st = os.lstat(node.host)
            dest = local
            if os.path.isdir(local) or local.endswith("/"):
                dest = os.path.join(local, os.path.basename(node.host))
            jobs.append((node.host, dest, remote, st.st_size, st.st_mtime))
        started = time.monotonic()
        sent = 0
        for src, dest, path, size, mtime in jobs:
            folder = os.path.dirname(dest) or "."
            # Current adb creates the folders of a folder pull, but not a
            # missing parent of a single file's destination.
            if self.current and not node.is_dir() and not os.path.isdir(folder):
                return self.error("cannot create file/directory '%s': No such file or directory"
                                  % dest)
            try:
                os.makedirs(folder, exist_ok=True)
            except OSError as e:
                return self.error("cannot create '%s': %s" % (folder, e.strerror))
            temp = os.path.join(folder, ".phonesim-part-" + secrets.token_hex(6))
            try:
                sent += self._copy(src, temp, path, size, started, sent)
                os.replace(temp, dest)
                if preserve:
                    os.utime(dest, (mtime, mtime))
            except Aborted as e:
                _unlink(temp)
                return self.error(e.args[0]) if e.args[0] else 1
            except OSError as e:
                _unlink(temp)
                return self.error("cannot create '%s': %s" % (dest, e.strerror or e))
        self._summary(remote, len(jobs), "pulled", sent, time.monotonic() - started)
        return 0

    # -- push ---------------------------------------------------------------------------------

    def push(self, local, remote):
        storage = self.phone.storage
        try:
            st = os.stat(local)
        except OSError as e:
            return self.error("cannot stat '%s': %s" % (local, e.strerror))
        target = storage.locate(remote)
        if target.kind != "storage":
            if target.kind == "virtual" and target.is_dir() and not target.key:
                target = storage.locate(LEGACY_ROOT)
            else:
                return self.error("failed to copy '%s' to '%s': remote Read-only file system"
                                  % (local, remote))
        if remote.endswith("/") or target.is_dir():
            remote = remote.rstrip("/") + "/" + os.path.basename(local.rstrip("/"))
        jobs = []  # (host source, phone path, size, mtime)
        if stat.S_ISDIR(st.st_mode):
            for folder, dirs, files in os.walk(local):
                dirs.sort()
                rel = os.path.relpath(folder, local)
                for name in sorted(files):
                    src = os.path.join(folder, name)
                    fst = os.stat(src)
                    jobs.append((src, os.path.normpath(remote + "/" + rel + "/" + name),
                                 fst.st_size, fst.st_mtime))
        else:
            jobs.append((local, remote, st.st_size, st.st_mtime))
        started = time.monotonic()
        sent = 0
        for src, path, size, mtime in jobs:
            temp = os.path.join(self.tmp_dir, "push-" + secrets.token_hex(6))
            try:
                sent += self._copy(src, temp, path, size, started, sent)
                events = []
                with self.phone.lock:
                    self._check()
                    storage.place(temp, storage.locate(path), events, mtime)
                self.phone.apply_events(events)
            except Aborted as e:
                _unlink(temp)
                return self.error(e.args[0]) if e.args[0] else 1
            except FsError as e:
                _unlink(temp)
                return self.error("failed to copy '%s' to '%s': remote %s" % (src, path, e.message))
            except OSError as e:
                _unlink(temp)
                return self.error("cannot read '%s': %s" % (src, e.strerror or e))
        self._summary(local, len(jobs), "pushed", sent, time.monotonic() - started)
        return 0


def _unlink(path):
    try:
        os.unlink(path)
    except OSError:
        pass
