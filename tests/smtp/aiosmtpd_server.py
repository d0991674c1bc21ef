#!/usr/bin/python3
"""A real SMTP server for the client tests: aiosmtpd on 127.0.0.1 with HELO, AUTH LOGIN and
AUTH CRAM-MD5, saving the raw bytes of every delivered message (after the server has undone the
dot-stuffing) to a folder.

  aiosmtpd_server.py --state FILE [--folder DIR] [--tls-folder TLS [--tls-certs CERTS]]
                                                 serve until SIGTERM
  aiosmtpd_server.py --state FILE --daemon ...   serve in the background, return when ready
  aiosmtpd_server.py --state FILE --stop         stop the server that wrote FILE

FILE receives, once the listeners are up, the lines "port=N" (every mechanism offered),
"login_port=N" (AUTH LOGIN only), "folder=DIR" and "pid=N".
With --tls-folder it also serves TLS, with the certificates that the TLS session tests' server
made in CERTS, or else with ones made the same way in TLS/certs, and adds "tls_folder=TLS",
"tls_certs=CERTS" (CERTS/ca.pem is the CA to trust) and a line
"NAME_port=N" per listener of TLS_LISTENERS below; the implicit-TLS listener needs port 465,
and where that cannot be bound the line is "implicit_problem=WHY" instead. Each of these
listeners writes every command line it reads, before judging it, to TLS/NAME.log as
"conn N tls=0|1 LINE" (N counts its connections; AUTH lines end after the mechanism).
Each message goes to DIR/<Message-ID without brackets>.eml, its envelope to the same name + ".env",
and what Python's email package reads from it to the same name + ".parts": one line per leaf part,
"<content type> <transfer encoding or -> <decoded payload in hex>", then "defects N".
It also writes what the headers read as to the same name + ".read": a line per address of
From, To, Cc and Bcc ("to=NAME ADDRESS", getaddresses of the unfolded field, the name through
decode_header), "subject=TEXT" (decode_header of the unfolded field), "filename=TEXT" and
"name=TEXT" per file part, "maxline=N" and "maxword=N" (the longest raw line and encoded word).
NAME, ADDRESS and TEXT are the bytes in hexadecimal, so that any byte survives.
The MD5 of the raw bytes goes to the same name + ".md5" in hexadecimal; messages over
BIG_MESSAGE get no ".parts" and ".read", which would take longer than a client waits.
Recipients in the domain refused.invalid are refused with 550.
"""
import argparse
import asyncio
import email
import email.policy
import email.utils
import hashlib
import hmac
import logging
import os
import re
import secrets
import shutil
import signal
import ssl
import sys
import tempfile
import time
import warnings
from email.header import decode_header

try:
    from aiosmtpd.smtp import MISSING, SMTP, AuthResult, syntax
except ImportError:
    sys.exit("aiosmtpd_server.py: Python's aiosmtpd is missing (Debian package python3-aiosmtpd); "
             "scripts/setup installs it")

# aiosmtpd warns about its own use of a deprecated session field on every login.
warnings.filterwarnings("ignore", message="Session.login_data")

USER = b"pellam"
PASSWORD = b"secret"
BIG_MESSAGE = 32 << 20
IMPLICIT_TLS_PORT = 465
MESSAGE_ID = re.compile(rb"^Message-ID:[ \t]*<([^>\r\n]*)>", re.IGNORECASE | re.MULTILINE)


ENCODED_WORD = re.compile(rb"=\?[^?\s]*\?[bBqQ]\?[^?\s]*\?=")


def header_bytes(value):
    """The bytes a reader sees: decode_header keeps encoded bytes in their charset."""
    return b"".join(part if isinstance(part, bytes) else part.encode("latin-1")
                    for part, _charset in decode_header(value))


def unfolded(value):
    return re.sub(r"\r?\n(?=[ \t])", "", str(value))


def reading(content):
    """What Python's email package reads from a delivered message, one line per value."""
    message = email.message_from_bytes(content, policy=email.policy.compat32)
    lines = []
    for field in ("From", "To", "Cc", "Bcc"):
        values = [unfolded(v) for v in message.get_all(field, [])]
        for name, address in email.utils.getaddresses(values):
            lines.append("%s=%s %s" % (field.lower(), header_bytes(name).hex(),
                                       address.encode("latin-1").hex()))
    if message["Subject"] is not None:
        lines.append("subject=" + header_bytes(unfolded(message["Subject"])).hex())
    for part in message.walk():
        if part.is_multipart():
            continue
        for key, header in (("filename", "content-disposition"), ("name", "content-type")):
            value = part.get_param(key, header=header)
            if value is None:
                continue
            if isinstance(value, tuple):
                value = email.utils.collapse_rfc2231_value(value)
            lines.append("%s=%s" % (key, header_bytes(unfolded(value)).hex()))
    header = content.split(b"\r\n\r\n", 1)[0]
    lines.append("maxline=%d" % max(len(line) for line in content.split(b"\r\n")))
    lines.append("maxword=%d" % max([len(w) for w in ENCODED_WORD.findall(header)] or [0]))
    return "".join(line + "\n" for line in lines)


def file_stem(content, count):
    found = MESSAGE_ID.search(content)
    name = found.group(1).decode("ascii", "replace") if found else "message-%d" % count
    return re.sub(r"[^A-Za-z0-9.@_-]", "_", name)


def parts_report(content):
    message = email.message_from_bytes(content, policy=email.policy.default)
    lines = []
    defects = 0
    for part in message.walk():
        defects += len(part.defects)
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        encoding = part.get("Content-Transfer-Encoding") or "-"
        lines.append("part %s %s %s" % (part.get_content_type(), str(encoding).strip(),
                                        payload.hex()))
    lines.append("defects %d" % defects)
    return "\n".join(lines) + "\n"


class Handler:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower().endswith("@refused.invalid"):
            return "550 5.1.1 no such user"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        content = envelope.original_content
        stem = os.path.join(self.folder, file_stem(content, self.count))
        with open(stem + ".env.part", "w", encoding="utf-8", errors="surrogateescape") as env:
            env.write("from=%s\n" % envelope.mail_from)
            for rcpt in envelope.rcpt_tos:
                env.write("to=%s\n" % rcpt)
        with open(stem + ".eml.part", "wb") as eml:
            eml.write(content)
        with open(stem + ".md5.part", "w") as md5:
            md5.write(hashlib.md5(content).hexdigest())
        readings = [".env", ".md5"]
        if len(content) <= BIG_MESSAGE:
            with open(stem + ".parts.part", "w", encoding="ascii") as parts:
                try:
                    parts.write(parts_report(content))
                except Exception as error:  # a message Python cannot read is a finding
                    parts.write("error %s\n" % type(error).__name__)
            try:
                read = reading(content)
            except Exception as error:  # the test that looks finds the reason here
                read = "error=%r\n" % (error,)
            with open(stem + ".read.part", "w") as out:
                out.write(read)
            readings += [".parts", ".read"]
        # The client may look as soon as it has the reply: make the files appear whole.
        for suffix in readings + [".eml"]:
            os.replace(stem + suffix + ".part", stem + suffix)
        return "250 OK saved"

    # aiosmtpd offers LOGIN and PLAIN itself; CRAM-MD5 (RFC 2195) is added here.
    async def auth_CRAM__MD5(self, server, args):
        challenge = b"<%s.%d@pellam-test>" % (secrets.token_hex(8).encode(), int(time.time()))
        response = await server.challenge_auth(challenge)
        if response is MISSING:
            return AuthResult(success=False, handled=True)
        user, _, digest = response.rpartition(b" ")
        expected = hmac.new(PASSWORD, challenge, hashlib.md5).hexdigest().encode()
        good = user == USER and hmac.compare_digest(digest, expected)
        # handled=False lets aiosmtpd answer a refusal with 535 itself.
        return AuthResult(success=good, handled=False, auth_data=user)


def authenticator(server, session, envelope, mechanism, auth_data):
    good = auth_data.login == USER and auth_data.password == PASSWORD
    return AuthResult(success=good, handled=False, auth_data=auth_data)


def make_smtp(handler, exclude):
    return SMTP(handler, hostname="pellam-test", auth_require_tls=False, authenticator=authenticator,
                auth_exclude_mechanism=exclude, data_size_limit=None)


class CommandLog(logging.Handler):
    """Takes the line aiosmtpd logs for every command it reads, before STARTTLS or AUTH rules
    judge it, and writes it to the log of the listener whose connection read it."""

    def __init__(self, folder):
        super().__init__(logging.INFO)
        self.folder = folder
        self.connections = {}  # peer address -> (listener name, number, protocol)
        self.counts = {}

    def opened(self, listener, protocol, peer):
        self.counts[listener] = self.counts.get(listener, 0) + 1
        self.connections[peer] = (listener, self.counts[listener], protocol)

    def closed(self, peer):
        self.connections.pop(peer, None)

    def emit(self, record):
        if record.msg != "%r >> %r" or record.args[0] not in self.connections:
            return
        listener, number, protocol = self.connections[record.args[0]]
        line = bytes(record.args[1])
        if line[:5].upper() == b"AUTH ":
            line = b" ".join(line.split()[:2])  # no credentials in the log
        transport = protocol.transport
        tls = transport is not None and transport.get_extra_info("ssl_object") is not None
        with open(os.path.join(self.folder, listener + ".log"), "ab") as out:
            out.write(b"conn %d tls=%d %s\n" % (number, tls, line))


class LoggedSMTP(SMTP):
    def __init__(self, handler, listener, command_log, **options):
        super().__init__(handler, **options)
        self.listener = listener
        self.command_log = command_log

    def connection_made(self, transport):
        if self._original_transport is None:  # the connection, not the session after STARTTLS
            self.command_log.opened(self.listener, self, transport.get_extra_info("peername"))
        super().connection_made(transport)

    def connection_lost(self, error):
        self.command_log.closed(self.session.peer)
        super().connection_lost(error)


class RefusingSMTP(LoggedSMTP):
    """Offers STARTTLS and refuses it, as a server does whose certificate went missing."""

    @syntax("STARTTLS", when="tls_context")
    async def smtp_STARTTLS(self, arg):
        await self.push("454 4.7.0 TLS not available")


# name: (class, certificate, STARTTLS required and AUTH only under TLS, mechanisms left out)
TLS_LISTENERS = {
    "starttls": (LoggedSMTP, "localhost", True, ["PLAIN"]),
    "starttls_login": (LoggedSMTP, "localhost", True, ["CRAM-MD5", "PLAIN"]),
    "optional": (LoggedSMTP, "localhost", False, ["PLAIN"]),  # STARTTLS offered, not needed
    "untrusted": (LoggedSMTP, "rogue-localhost", True, ["PLAIN"]),
    "otherhost": (LoggedSMTP, "other", True, ["PLAIN"]),
    "refusing": (RefusingSMTP, "localhost", False, ["PLAIN"]),  # 454 to STARTTLS
    "implicit": (LoggedSMTP, "localhost", False, ["PLAIN"]),  # TLS from the first byte, on 465
}


def tls_servers_module():
    """The TLS session tests' server script, whose certificates and contexts these listeners use;
    imported only when asked for, since it imports this file in turn."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "platform"))
    import tls_test_servers
    return tls_test_servers


async def serve_tls(loop, handler, tls_folder, certs):
    """The TLS listeners; their state lines."""
    tls_test_servers = tls_servers_module()
    command_log = CommandLog(tls_folder)
    log = logging.getLogger("mail.log")
    log.setLevel(logging.INFO)
    log.propagate = False
    log.addHandler(command_log)
    lines, servers = [], []
    for name, (kind, cert, strict, exclude) in TLS_LISTENERS.items():
        context = tls_test_servers.tls_context(certs, cert, ssl.TLSVersion.TLSv1_2,
                                               ssl.TLSVersion.MAXIMUM_SUPPORTED)
        implicit = name == "implicit"

        def factory(kind=kind, name=name, context=context, strict=strict, exclude=exclude,
                    implicit=implicit):
            return kind(handler, name, command_log, hostname="pellam-test",
                        tls_context=None if implicit else context, require_starttls=strict,
                        auth_require_tls=strict, authenticator=authenticator,
                        auth_exclude_mechanism=exclude, data_size_limit=None)
        try:
            server = await loop.create_server(factory, "127.0.0.1",
                                              IMPLICIT_TLS_PORT if implicit else 0,
                                              ssl=context if implicit else None)
        except OSError as error:
            lines.append("implicit_problem=port %d on 127.0.0.1 cannot be bound here: %s"
                         % (IMPLICIT_TLS_PORT, error.strerror))
            continue
        servers.append(server)
        lines.append("%s_port=%d" % (name, server.sockets[0].getsockname()[1]))
    return lines + ["tls_folder=%s" % tls_folder, "tls_certs=%s" % certs], servers


async def serve(state, folder, tls_folder, certs):
    loop = asyncio.get_running_loop()
    handler = Handler(folder)
    everything = await loop.create_server(lambda: make_smtp(handler, []), "127.0.0.1", 0)
    login_only = await loop.create_server(lambda: make_smtp(handler, ["CRAM-MD5", "PLAIN"]),
                                          "127.0.0.1", 0)
    lines = ["port=%d" % everything.sockets[0].getsockname()[1],
             "login_port=%d" % login_only.sockets[0].getsockname()[1]]
    servers = [everything, login_only]
    if tls_folder:
        tls_lines, tls_servers = await serve_tls(loop, handler, tls_folder, certs)
        lines += tls_lines
        servers += tls_servers
    stop = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    loop.add_signal_handler(signal.SIGINT, stop.set)
    with open(state + ".part", "w") as out:
        for line in lines + ["folder=%s" % folder, "pid=%d" % os.getpid()]:
            out.write(line + "\n")
    os.replace(state + ".part", state)
    await stop.wait()
    for server in servers:
        server.close()


def read_state(state):
    with open(state) as f:
        return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)


def daemonize(state):
    """Returns in the parent once the server is ready; the child serves detached from CTest's pipes."""
    if os.fork():
        for _ in range(300):
            if os.path.exists(state):
                return True
            time.sleep(0.05)
        return False
    os.setsid()
    if os.fork():
        os._exit(0)
    devnull = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(devnull, fd)
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--state", required=True)
    parser.add_argument("--folder")
    parser.add_argument("--tls-folder")
    parser.add_argument("--tls-certs")
    parser.add_argument("--daemon", action="store_true")
    parser.add_argument("--stop", action="store_true")
    args = parser.parse_args()
    if args.stop:
        try:
            os.kill(int(read_state(args.state)["pid"]), signal.SIGTERM)
        except (OSError, KeyError, ValueError):
            pass
        return 0
    if os.path.exists(args.state):
        os.remove(args.state)
    folder = args.folder or tempfile.mkdtemp(prefix="pellam-aiosmtpd-")
    os.makedirs(folder, exist_ok=True)
    if args.tls_folder:
        # Before going to the background, so that a missing openssl command fails where seen.
        shutil.rmtree(args.tls_folder, ignore_errors=True)
        os.makedirs(args.tls_folder)
        if not args.tls_certs:
            args.tls_certs = os.path.join(args.tls_folder, "certs")
            tls_servers_module().make_certificates(args.tls_certs)
    if args.daemon:
        ready = daemonize(args.state)
        if ready is not None:
            return 0 if ready else 1
    asyncio.run(serve(args.state, folder, args.tls_folder, args.tls_certs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
