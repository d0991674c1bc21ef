"""An SMTP server on 127.0.0.1 that keeps every byte a client sends and answers with fixed
replies, so that a whole dialogue (commands, message text and the replies that the client turned
into Status) can be compared byte for byte with a recorded one.

Each listener has a profile: "helo" (HELO and EHLO without extensions), "login" (EHLO offers
AUTH LOGIN), "cram" (EHLO offers AUTH CRAM-MD5 LOGIN, with a fixed challenge), "plain" (EHLO
offers only AUTH PLAIN). Recipients in refused.invalid get 550; the account is pellam/secret.
"""
import base64
import hashlib
import hmac
import socket
import threading

USER = b"pellam"
PASSWORD = b"secret"
CHALLENGE = b"<1896.697170952@wire.test>"

EHLO_REPLIES = {
    "helo": b"250 wire.test\r\n",
    "login": b"250-wire.test\r\n250-8BITMIME\r\n250 AUTH LOGIN\r\n",
    "cram": b"250-wire.test\r\n250-8BITMIME\r\n250 AUTH CRAM-MD5 LOGIN\r\n",
    "plain": b"250-wire.test\r\n250 AUTH PLAIN\r\n",
}


class Connection:
    """One client's dialogue: what it sent and what it was told, in order."""

    def __init__(self):
        self.events = []  # ("C", bytes) or ("S", bytes)
        self.done = threading.Event()

    def transcript(self):
        return b"".join(b"%s: %s" % (kind.encode(), data) for kind, data in self.events)


class Listener(threading.Thread):
    def __init__(self, profile):
        super().__init__(daemon=True)
        self.profile = profile
        self.connections = []
        self.socket = socket.create_server(("127.0.0.1", 0))
        self.port = self.socket.getsockname()[1]
        self.start()

    def run(self):
        while True:
            try:
                client, _ = self.socket.accept()
            except OSError:
                return
            connection = Connection()
            self.connections.append(connection)
            threading.Thread(target=self.converse, args=(client, connection), daemon=True).start()

    def close(self):
        self.socket.close()

    def converse(self, client, connection):
        client.settimeout(120)
        reader = client.makefile("rb")

        def say(reply):
            connection.events.append(("S", reply))
            client.sendall(reply)

        try:
            say(b"220 wire.test ready\r\n")
            self.dialogue(reader, connection, say)
        except OSError:
            pass
        finally:
            client.close()
            connection.done.set()

    def read_line(self, reader, connection):
        line = reader.readline()
        if line:
            connection.events.append(("C", line))
        return line

    def dialogue(self, reader, connection, say):
        while True:
            line = self.read_line(reader, connection)
            if not line:
                return
            verb = line.split(b" ", 1)[0].strip().upper()
            argument = line[len(verb):].strip()
            if verb == b"HELO":
                say(b"250 wire.test\r\n")
            elif verb == b"EHLO":
                say(EHLO_REPLIES[self.profile])
            elif verb == b"AUTH":
                self.authenticate(argument, reader, connection, say)
            elif verb == b"MAIL":
                say(b"250 2.1.0 sender ok\r\n")
            elif verb == b"RCPT":
                refused = argument.lower().rstrip(b">").endswith(b"@refused.invalid")
                say(b"550 5.1.1 no such user\r\n" if refused else b"250 2.1.5 recipient ok\r\n")
            elif verb == b"DATA":
                say(b"354 go ahead\r\n")
                text = b""
                while not text.endswith(b"\r\n.\r\n") and text != b".\r\n":
                    piece = reader.readline()
                    if not piece:
                        connection.events.append(("C", text))
                        return
                    text += piece
                connection.events.append(("C", text))
                say(b"250 2.0.0 queued\r\n")
            elif verb == b"RSET":
                say(b"250 2.0.0 reset\r\n")
            elif verb == b"NOOP":
                say(b"250 2.0.0 ok\r\n")
            elif verb == b"QUIT":
                say(b"221 2.0.0 bye\r\n")
                return
            else:
                say(b"500 5.5.1 unknown command\r\n")

    def authenticate(self, argument, reader, connection, say):
        words = argument.split()
        mechanism = words[0].upper() if words else b""
        if mechanism == b"LOGIN":
            say(b"334 VXNlcm5hbWU6\r\n")
            user = base64.b64decode(self.read_line(reader, connection).strip() or b"")
            say(b"334 UGFzc3dvcmQ6\r\n")
            password = base64.b64decode(self.read_line(reader, connection).strip() or b"")
            good = user == USER and password == PASSWORD
        elif mechanism == b"CRAM-MD5":
            say(b"334 " + base64.b64encode(CHALLENGE) + b"\r\n")
            answer = base64.b64decode(self.read_line(reader, connection).strip() or b"")
            user, _, digest = answer.rpartition(b" ")
            good = user == USER and digest == hmac.new(PASSWORD, CHALLENGE,
                                                       hashlib.md5).hexdigest().encode()
        elif mechanism == b"PLAIN":
            if len(words) > 1:
                response = words[1]
            else:
                say(b"334 \r\n")
                response = self.read_line(reader, connection).strip()
            _, user, password = (base64.b64decode(response).split(b"\0") + [b"", b""])[:3]
            good = user == USER and password == PASSWORD
        else:
            say(b"504 5.5.4 mechanism not supported\r\n")
            return
        say(b"235 2.7.0 accepted\r\n" if good else b"535 5.7.8 credentials invalid\r\n")
