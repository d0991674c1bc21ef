#!/usr/bin/python3
"""The TLS servers of the TLS session tests, on 127.0.0.1, with certificates made here by the
openssl command: a test CA that the tests trust, a rogue CA that nobody trusts, and server
certificates from both.

  tls_test_servers.py --state FILE --folder DIR            serve until SIGTERM
  tls_test_servers.py --state FILE --folder DIR --daemon   serve in the background, return when ready
  tls_test_servers.py --state FILE --stop                  stop the servers that wrote FILE

DIR receives the certificates (DIR/ca.pem is the CA to trust); FILE, once every server listens,
one line "NAME=PORT" per server below and "pid=N".

  echo, echo12, echo13  greet with GREETING, then echo every byte until the client's close_notify,
                        which they answer with theirs (TLS 1.2 and 1.3; 1.2 only; 1.3 only)
  old                   the same with TLS 1.0 and 1.1 only
  untrusted             a certificate for localhost and 127.0.0.1 from the rogue CA
  otherhost             a certificate from the test CA for mail.other.invalid, 192.0.2.7 and a
                        DNS name "127.0.0.1" (which names no address)
  hangup                reads the client's first bytes and closes the connection
  plain                 greets in plain text, as an SMTP server does
  junk                  answers the client's first bytes with a ServerHello cut short
"""
import argparse
import os
import secrets
import signal
import socket
import ssl
import subprocess
import sys
import threading
import warnings

# The background start and the state file work as they do for the SMTP tests' server.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "smtp"))
from aiosmtpd_server import daemonize, read_state  # noqa: E402

GREETING = b"220 pellam-tls-test\r\n"
LOCALHOST_NAMES = "DNS:localhost,IP:127.0.0.1"
OTHER_NAMES = "DNS:mail.other.invalid,DNS:127.0.0.1,IP:192.0.2.7"


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def make_ca(folder, stem, name):
    openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", os.path.join(folder, stem + ".key"), "-out", os.path.join(folder, stem + ".pem"),
            "-days", "30", "-subj", "/CN=" + name,
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")


def make_server_cert(folder, stem, ca, common_name, alt_names):
    base = os.path.join(folder, stem)
    openssl("req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", base + ".key", "-out", base + ".csr", "-subj", "/CN=" + common_name)
    with open(base + ".ext", "w") as ext:
        ext.write("subjectAltName=%s\n" % alt_names)
        ext.write("basicConstraints=critical,CA:FALSE\n")
        ext.write("keyUsage=critical,digitalSignature\n")
        ext.write("extendedKeyUsage=serverAuth\n")
        ext.write("subjectKeyIdentifier=hash\n")
        ext.write("authorityKeyIdentifier=keyid\n")
    ca_base = os.path.join(folder, ca)
    openssl("x509", "-req", "-in", base + ".csr", "-CA", ca_base + ".pem", "-CAkey", ca_base + ".key",
            "-set_serial", "0x" + secrets.token_hex(8), "-days", "30", "-extfile", base + ".ext",
            "-out", base + ".pem")


def make_certificates(folder):
    os.makedirs(folder, exist_ok=True)
    # A name of its own for each run's CA, so that no CA of an earlier run can stand in for it.
    make_ca(folder, "ca", "Pellam Test CA " + secrets.token_hex(4))
    make_ca(folder, "rogue-ca", "Pellam Rogue CA")
    make_server_cert(folder, "localhost", "ca", "localhost", LOCALHOST_NAMES)
    make_server_cert(folder, "other", "ca", "mail.other.invalid", OTHER_NAMES)
    make_server_cert(folder, "rogue-localhost", "rogue-ca", "localhost", LOCALHOST_NAMES)


def tls_context(folder, stem, lowest, highest):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)  # the old versions, on purpose
        context.minimum_version = lowest
        context.maximum_version = highest
    if lowest < ssl.TLSVersion.TLSv1_2:
        context.set_ciphers("DEFAULT:@SECLEVEL=0")
    base = os.path.join(folder, stem)
    context.load_cert_chain(base + ".pem", base + ".key")
    return context


def serve_echo(context):
    def handle(raw):
        try:
            conn = context.wrap_socket(raw, server_side=True, suppress_ragged_eofs=False)
        except (OSError, ssl.SSLError):
            return  # the client refused us, as the failure cases mean it to
        try:
            conn.sendall(GREETING)
            while True:
                data = conn.recv(65536)
                if not data:  # close_notify: answer with ours
                    conn.unwrap()
                    break
                conn.sendall(data)
        except (OSError, ssl.SSLError):
            pass  # a connection ended without close_notify gets none back
        finally:
            conn.close()
    return handle


def read_to_end(raw):
    while raw.recv(65536):
        pass


def serve_hangup(raw):
    raw.recv(65536)


def serve_plain(raw):
    raw.sendall(b"220 plain.example ESMTP ready\r\n")
    read_to_end(raw)


def serve_junk(raw):
    raw.recv(65536)
    # A handshake record holding a ServerHello cut short after four bytes of its body.
    raw.sendall(b"\x16\x03\x03\x00\x08\x02\x00\x00\x04junk")
    read_to_end(raw)


def listen(handle):
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.bind(("127.0.0.1", 0))
    server.listen(16)

    def run_one(raw):
        try:
            with raw:
                handle(raw)
        except OSError:
            pass

    def accept_loop():
        while True:
            raw, _ = server.accept()
            threading.Thread(target=run_one, args=(raw,), daemon=True).start()

    threading.Thread(target=accept_loop, daemon=True).start()
    return server.getsockname()[1]


def serve(state, folder):
    v = ssl.TLSVersion
    handlers = {
        "echo": serve_echo(tls_context(folder, "localhost", v.TLSv1_2, v.MAXIMUM_SUPPORTED)),
        "echo12": serve_echo(tls_context(folder, "localhost", v.TLSv1_2, v.TLSv1_2)),
        "echo13": serve_echo(tls_context(folder, "localhost", v.TLSv1_3, v.TLSv1_3)),
        "old": serve_echo(tls_context(folder, "localhost", v.TLSv1, v.TLSv1_1)),
        "untrusted": serve_echo(tls_context(folder, "rogue-localhost", v.TLSv1_2,
                                            v.MAXIMUM_SUPPORTED)),
        "otherhost": serve_echo(tls_context(folder, "other", v.TLSv1_2, v.MAXIMUM_SUPPORTED)),
        "hangup": serve_hangup,
        "plain": serve_plain,
        "junk": serve_junk,
    }
    ports = {name: listen(handle) for name, handle in handlers.items()}
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    with open(state + ".part", "w") as out:
        for name, port in ports.items():
            out.write("%s=%d\n" % (name, port))
        out.write("pid=%d\n" % os.getpid())
    os.replace(state + ".part", state)
    while not stop.is_set():
        stop.wait(1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--state", required=True)
    parser.add_argument("--folder")
    parser.add_argument("--daemon", action="store_true")
    parser.add_argument("--stop", action="store_true")
    args = parser.parse_args()
    if args.stop:
        try:
            os.kill(int(read_state(args.state)["pid"]), signal.SIGTERM)
        except (OSError, KeyError, ValueError):
            pass
        return 0
    if not args.folder:
        parser.error("--folder is needed to serve")
    if os.path.exists(args.state):
        os.remove(args.state)
    # Before going to the background, so that a missing openssl command fails where it is seen.
    make_certificates(args.folder)
    if args.daemon:
        ready = daemonize(args.state)
        if ready is not None:
            return 0 if ready else 1
    serve(args.state, args.folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
