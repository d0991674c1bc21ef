#!/usr/bin/python3
"""A discard-only SMTP sink for the transfer benchmarks: answers every command at once and drops
the message text, looking only for the end-of-data line.

  discard_sink.py PORT [FILE] [--starttls DIR]
      serves on 127.0.0.1:PORT until killed; with FILE, each message's data as it arrived
      (dot-stuffed, end-of-data line included) replaces FILE's contents, to be sent again by
      another client. With --starttls it makes certificates in DIR as the TLS tests do (DIR/ca.pem
      is the CA to trust), offers STARTTLS and AUTH LOGIN (any account) and takes TLS when asked.
"""
import asyncio
import os
import ssl
import sys

SAVE = None
TLS = None  # the server's context with --starttls

END_OF_DATA = b"\r\n.\r\n"


class Sink(asyncio.Protocol):
    def connection_made(self, transport):
        self.transport = transport
        self.saved = None
        self.pending = b""
        self.in_data = False
        self.tail = b""
        self.login_lines = 0  # AUTH LOGIN's user and password lines still to come
        self.upgrading = False
        transport.write(b"220 sink ready\r\n")

    def data_received(self, data):
        if self.in_data:
            self.take_data(data)
        else:
            self.pending += data
            self.take_commands()

    def take_data(self, data):
        # The end-of-data line may straddle two reads: look across the seam first.
        seam = self.tail + data[:4]
        found = seam.find(END_OF_DATA)
        if found >= 0:
            end = found + len(END_OF_DATA) - len(self.tail)
        else:
            found = data.find(END_OF_DATA)
            if found < 0:
                self.tail = data[-4:]
                self.save(data)
                return
            end = found + len(END_OF_DATA)
        self.save(data[:end])
        rest = data[end:]
        if self.saved:
            self.saved.close()
            self.saved = None
        self.in_data = False
        self.tail = b""
        self.transport.write(b"250 discarded\r\n")
        self.pending = rest
        self.take_commands()

    def save(self, data):
        if self.saved:
            self.saved.write(data)

    async def start_tls(self):
        loop = asyncio.get_running_loop()
        self.transport = await loop.start_tls(self.transport, self, TLS, server_side=True)
        self.upgrading = False
        self.take_commands()  # what came with the end of the handshake

    def take_commands(self):
        while not self.in_data and not self.upgrading:
            end = self.pending.find(b"\n")
            if end < 0:
                return
            line, self.pending = self.pending[:end + 1], self.pending[end + 1:]
            verb = line[:4].upper()
            if self.login_lines:
                self.login_lines -= 1
                self.transport.write(b"334 UGFzc3dvcmQ6\r\n" if self.login_lines else b"235 ok\r\n")
            elif verb == b"EHLO":
                offer = b"250-STARTTLS\r\n250-AUTH LOGIN\r\n" if TLS else b""
                self.transport.write(b"250-sink\r\n" + offer + b"250 8BITMIME\r\n")
            elif TLS and line[:8].upper() == b"STARTTLS":
                self.transport.write(b"220 go ahead\r\n")
                self.pending = b""  # nothing sent in the clear counts after STARTTLS
                self.upgrading = True
                asyncio.ensure_future(self.start_tls())
                return
            elif TLS and line[:10].upper() == b"AUTH LOGIN":
                self.login_lines = 2
                self.transport.write(b"334 VXNlcm5hbWU6\r\n")
            elif verb == b"DATA":
                self.transport.write(b"354 go ahead\r\n")
                self.in_data = True
                if SAVE:
                    self.saved = open(SAVE, "wb")
                self.tail = b"\r\n"  # the text may begin with the end-of-data line
                rest, self.pending = self.pending, b""
                if rest:
                    self.take_data(rest)
            elif verb == b"QUIT":
                self.transport.write(b"221 bye\r\n")
                self.transport.close()
                return
            else:
                self.transport.write(b"250 ok\r\n")


async def main(port):
    loop = asyncio.get_running_loop()
    server = await loop.create_server(Sink, "127.0.0.1", port)
    async with server:
        await server.serve_forever()


def tls_context(folder):
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                    "platform"))
    import tls_test_servers
    tls_test_servers.make_certificates(folder)
    return tls_test_servers.tls_context(folder, "localhost", ssl.TLSVersion.TLSv1_2,
                                        ssl.TLSVersion.MAXIMUM_SUPPORTED)


if __name__ == "__main__":
    args = sys.argv[1:]
    if "--starttls" in args:
        at = args.index("--starttls")
        TLS = tls_context(args[at + 1])
        del args[at:at + 2]
    SAVE = args[1] if len(args) > 1 else None
    asyncio.run(main(int(args[0])))
