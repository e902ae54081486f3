"""adb port forwards: a listener on 127.0.0.1:LOCAL that carries each connection to a phone port.

Only the companion's port 10086 has anything behind it. Like adb, a forward accepts a connection
even when nothing listens on the phone, and then closes it at once.
"""

import socket
import threading

COMPANION_PORT = "tcp:10086"


class Forward:
    def __init__(self, sim, port, serial, remote):
        self.sim = sim
        self.port = port
        self.serial = serial
        self.remote = remote
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            self.sock.bind(("127.0.0.1", port))
            self.sock.listen(64)
        except OSError:
            self.sock.close()
            raise
        self.thread = threading.Thread(target=self._accept_loop, daemon=True,
                                       name="forward-%d" % port)
        self.stopping = False
        self.thread.start()

    def _accept_loop(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            if self.stopping:
                conn.close()
                return
            phone = self.sim.phone(self.serial)
            if phone is None or self.remote != COMPANION_PORT:
                conn.close()
                continue
            phone.service.accept(conn, refuse=not phone.accepts_connections())

    def close(self):
        """Stop listening; the accept thread is joined before this returns."""
        self.stopping = True
        try:
            self.sock.shutdown(socket.SHUT_RDWR)  # wakes the blocked accept on Linux
        except OSError:
            pass
        if self.thread is not threading.current_thread():
            self.thread.join()
        self.sock.close()
