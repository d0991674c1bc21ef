#!/usr/bin/python3
"""A discard-only SMTP sink for the transfer benchmarks: answers every command at once and drops
the message text, looking only for the end-of-data line.

  discard_sink.py PORT [FILE]   serves on 127.0.0.1:PORT until killed; with FILE, each message's
                                data as it arrived (dot-stuffed, end-of-data line included)
                                replaces FILE's contents, to be sent again by another client
"""
import asyncio
import sys

SAVE = None

END_OF_DATA = b"\r\n.\r\n"


class Sink(asyncio.Protocol):
    def connection_made(self, transport):
        self.transport = transport
        self.saved = None
        self.pending = b""
        self.in_data = False
        self.tail = b""
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

    def take_commands(self):
        while not self.in_data:
            end = self.pending.find(b"\n")
            if end < 0:
                return
            line, self.pending = self.pending[:end + 1], self.pending[end + 1:]
            verb = line[:4].upper()
            if verb == b"EHLO":
                self.transport.write(b"250-sink\r\n250 8BITMIME\r\n")
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


if __name__ == "__main__":
    SAVE = sys.argv[2] if len(sys.argv) > 2 else None
    asyncio.run(main(int(sys.argv[1])))
