"""What the script tests share: running the driver scripts under Wine's cscript, the texts the
component adds to every body, and a scripted SMTP server for the dialogue's edge cases.
"""
import os
import socket
import struct
import subprocess
import threading

ARGS = None  # the command line of test_scripts.py
SERVER = {}  # the aiosmtpd server: port, login_port, folder, unused_port
TLS = {}  # the TLS listeners of the CTest fixture's server: NAME_port, tls_folder, folder, ...

RULE = b"-" * 32
TEXT_FOOTER = b"\r\n" + RULE + b"\r\nSent with Pellam SMTP\r\nhttp://www.pellam.example/\r\n"
HTML_FOOTER = (b'\r\n<table width="100%"><tr><td>\r\n' + RULE + b'<br>\r\nSent with Pellam SMTP<br>'
               b'\r\n<a href="http://www.pellam.example/">http://www.pellam.example/</a>\r\n'
               b'</td></tr></table>\r\n')
NO_CONTENT = "无内容".encode("gbk")


def body(lines, footer, signature=None):
    """A body as it arrives: the script's lines, the signature, then the footer."""
    text = b"".join(line + b"\r\n" for line in lines)
    return text + (signature + b"\r\n" if signature else b"") + footer


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def work_file(name, content):
    """A file in the work folder, as the scripts name it."""
    path = os.path.join(ARGS.work, name)
    with open(path, "wb") as f:
        f.write(content)
    return windows_path(path)


def steps(properties, sends=1):
    """The driver's arguments: each property put (an int as a number), then the sends."""
    found = []
    for name, value in properties.items():
        if isinstance(value, int):
            found.append("%s#=%d" % (name, value))
        else:
            found.append("%s=%s" % (name, value.replace("\r", "{cr}").replace("\n", "{lf}")))
    return found + ["SendMail"] * sends


def run_cscript(script, arguments, locale=None):
    """Runs a script under cscript in the test prefix; its exit code and output as text."""
    command = [ARGS.wine_run, ARGS.prefix, ARGS.arch, "cscript", "//nologo", windows_path(script)]
    environment = dict(os.environ)
    if locale:
        environment["PELLAM_WINE_LC_ALL"] = locale
    # Generous: cscript on a busy two-core machine, and nothing here waits on time.
    done = subprocess.run(command + arguments, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=300, env=environment)
    return done.returncode, done.stdout.decode("gbk", "replace").replace("\r\n", "\n")


def run_driver(language, arguments, locale=None):
    """Runs send.vbs or send.js with these steps; one record a send, and the errors met."""
    script = os.path.join(ARGS.scripts, "send." + language)
    _, output = run_cscript(script, arguments, locale)
    lines = output.strip("\n").split("\n")
    if not lines or lines[-1] != "SCRIPT-END":
        raise AssertionError("the script did not run to its end:\n" + output)
    sends, errors = [], []
    for line in lines:
        key, _, value = line.partition("=")
        if key == "Result":
            sends.append({"result": value})
        elif key == "Status":
            sends[-1]["status"] = value.replace("{cr}", "\r").replace("{lf}", "\n")
        elif key == "Error":
            errors.append(value)
    return sends, errors


def tls_commands(listener):
    """What a TLS listener read, per connection: "tls=0 EHLO", "tls=1 AUTH LOGIN", and the MAIL
    lines whole, so that a test finds its connection by its sender."""
    connections = {}
    path = os.path.join(TLS["tls_folder"], listener + ".log")
    with open(path, "rb") if os.path.exists(path) else open(os.devnull, "rb") as log:
        for line in log.read().decode("ascii", "replace").splitlines():
            _, number, tls, *words = line.split(" ")
            command = words[0].upper()
            if command in ("AUTH", "MAIL"):
                command = " ".join([command] + words[1:])
            connections.setdefault(int(number), []).append(tls + " " + command)
    return list(connections.values())


def tls_commands_of(listener, sender):
    """The commands of the one connection that sent MAIL FROM with this sender."""
    found = [c for c in tls_commands(listener) if any("<%s>" % sender in x for x in c)]
    if len(found) != 1:
        raise AssertionError("%d connections to %s from %s" % (len(found), listener, sender))
    return found[0]


class ScriptedServer(threading.Thread):
    """One SMTP conversation on 127.0.0.1: accepts every command, then closes the connection once
    `cut` bytes of the message text have arrived, in order or (`reset`) as a crashed server does.
    `received` holds those bytes afterwards."""

    REPLIES = {b"HELO": b"250 scripted\r\n", b"EHLO": b"250 scripted\r\n",
               b"MAIL": b"250 sender ok\r\n", b"RCPT": b"250 recipient ok\r\n"}

    def __init__(self, cut, reset=False):
        super().__init__(daemon=True)
        self.cut = cut
        self.reset = reset
        self.received = b""
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.start()

    def run(self):
        self.listener.settimeout(300)
        connection, _ = self.listener.accept()
        with connection, self.listener:
            connection.sendall(b"220 scripted ready\r\n")
            lines = connection.makefile("rb")
            for line in lines:
                if line[:4].upper() == b"DATA":
                    connection.sendall(b"354 go on\r\n")
                    break
                connection.sendall(self.REPLIES.get(line[:4].upper(), b"500 what\r\n"))
            self.received = lines.read1(self.cut)
            while len(self.received) < self.cut:
                piece = lines.read1(self.cut - len(self.received))
                if not piece:
                    break
                self.received += piece
            if self.reset:
                connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
