#!/usr/bin/python3
"""The recorded dialogues: a table of scripts, each driven through the component against
recording_server.py, and what went over the wire (every command, the message text, the replies)
with Result and Status compared byte for byte with the record in golden/. Message-ID, Date,
boundaries and the greeting name are written as placeholders, since they change with every send
or machine. The same records serve the native driver (the scripting object without COM) and
send.vbs under Wine's cscript (the registered DLL): both must put the same bytes on the wire.

  wire_test.py --driver native --program PATH --work DIR [--update] [CASE...]
  wire_test.py --driver vbs --wine-run SCRIPT --prefix DIR --arch win64 --script send.vbs --work DIR

--update writes the records anew instead of comparing; a change to them is a change of behaviour
that a commit must explain.
"""
import argparse
import os
import re
import subprocess
import sys

import recording_server

HERE = os.path.dirname(os.path.abspath(__file__))
GOLDEN = os.path.join(HERE, "golden")

# Files the cases attach, by name; {file:NAME} in a value stands for the path the driver uses.
# Their extensions are known to no table of content types, so that every system gives the same.
FILES = {
    "notes.wire": b"Report line one\r\n.\r\nline after a lone dot\r\n",
    "data.bin": bytes(range(256)) * 2,
    "报告.wire": "季度报告".encode("gbk") + b"\r\n",
}

FULL = {
    "Host": "127.0.0.1", "From": "Sender Name <sender@example.org>",
    "To": "To Person <to@example.org>", "Cc": "cc@example.org",
    "Bcc": "bcc1@example.org\r\nbcc2@example.org", "Subject": "Full message",
    "TextBody": "Plain line one\r\nline two", "HtmlBody": "<p>Html body</p>",
    "Signature": "-- Signature", "Priority#": "3",
    "Attachment": "{file:notes.wire}\r\n{file:data.bin}",
}

# name: (listener profile, list of steps: a dict of puts, or "SendMail")
CASES = {
    "text_helo": ("helo", [{"Host": "127.0.0.1", "From": "me@example.org", "To": "you@example.org",
                            "Subject": "Plain", "TextBody": "Hello\r\nworld"}, "SendMail"]),
    "html_only": ("helo", [{"Host": "127.0.0.1", "From": "me@example.org", "To": "you@example.org",
                            "Subject": "Html", "ContentType#": "1",
                            "HtmlBody": "<h1>Title</h1>\r\n<p>Text</p>"}, "SendMail"]),
    "text_and_html": ("helo", [{"Host": "127.0.0.1", "From": "Me <me@example.org>",
                                "To": "you@example.org", "Subject": "Both",
                                "TextBody": "Plain", "HtmlBody": "<b>Bold</b>",
                                "Signature": "Regards"}, "SendMail"]),
    "full_mixed": ("helo", [FULL, "SendMail"]),
    "chinese": ("helo", [{"Host": "127.0.0.1", "From": "张伟 <zhang@example.org>",
                          "To": "李娜 <li@example.org>\r\n王芳 <wang@example.org>",
                          "Subject": "中文主题：季度报告", "TextBody": "你好，世界。\r\n第二行",
                          "HtmlBody": "<p>你好</p>", "Attachment": "{file:报告.wire}"},
                         "SendMail"]),
    "auth_login": ("login", [dict(FULL, AuthType="1", UserName="pellam", PassWord="secret"),
                             "SendMail"]),
    "auth_cram": ("cram", [dict(FULL, AuthType="1", UserName="pellam", PassWord="secret"),
                           "SendMail"]),
    "auth_refused": ("cram", [dict(FULL, AuthType="1", UserName="pellam", PassWord="wrong"),
                              "SendMail"]),
    "auth_no_mechanism": ("helo", [dict(FULL, AuthType="1", UserName="pellam",
                                        PassWord="secret"), "SendMail"]),
    "refused_recipient": ("helo", [dict(FULL, Cc="x@refused.invalid"), "SendMail"]),
    "two_sends": ("helo", [{"Host": "127.0.0.1", "From": "me@example.org", "To": "a@example.org",
                            "Subject": "First", "TextBody": "One"}, "SendMail",
                           {"To": "b@example.org", "Subject": "Second"}, "SendMail"]),
    "complaints": ("helo", [{"Subject": "Nothing else", "Attachment": "{missing}"}, "SendMail"]),
    "placeholders": ("helo", [{"Host": "127.0.0.1", "From": "me@example.org",
                               "To": "you@example.org"}, "SendMail"]),
    "html_placeholder": ("helo", [{"Host": "127.0.0.1", "From": "me@example.org",
                                   "To": "you@example.org", "Subject": "Text given",
                                   "ContentType#": "1", "TextBody": "Only text"}, "SendMail"]),
    "dots_sorting_folding": ("helo", [{
        "Host": "127.0.0.1", "From": "me@example.org",
        "To": "b@example.org\r\nA@example.org\r\na@example.org\r\n\r\nc@example.org",
        "Subject": "A subject long enough that the header has to be folded at seventy-two "
                   "columns, twice over if need be",
        "TextBody": ".\r\n.leading dot\r\n..two dots\r\nlast"}, "SendMail"]),
}


def driver_arguments(driver, steps, port, work):
    """Each step as the drivers take it: Name=text, Name#=number, SendMail."""
    arguments = []
    for step in steps:
        if step == "SendMail":
            arguments.append("SendMail")
            continue
        for name, value in dict(step, **({"Port": str(port)} if "Host" in step else {})).items():
            for file_name in FILES:
                path = os.path.join(work, file_name)
                if driver == "vbs":
                    path = "Z:" + path.replace("/", "\\")
                value = value.replace("{file:%s}" % file_name, path)
            value = value.replace("{missing}", "no-such-file.txt")
            value = value.replace("\r", "{cr}").replace("\n", "{lf}")
            arguments.append("%s=%s" % (name, value))
    return arguments


def run_driver(args, arguments):
    if args.driver == "native":
        command = [args.program] + [a.encode("gbk") for a in arguments]
    else:
        command = [args.wine_run, args.prefix, args.arch, "cscript", "//nologo",
                   "Z:" + os.path.abspath(args.script).replace("/", "\\")] + arguments
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
    output = done.stdout.replace(b"\r\n", b"\n")
    if not output.rstrip(b"\n").endswith(b"SCRIPT-END"):
        raise AssertionError("the driver did not run to its end:\n" + output.decode("gbk", "replace"))
    # The lines the drivers print; the rest (SCRIPT-END) says nothing about the send.
    return b"".join(line + b"\n" for line in output.split(b"\n")
                    if line.startswith((b"Result=", b"Status=", b"Error=")))


def normalised(transcript):
    """Placeholders for what changes with every send or machine."""
    transcript = re.sub(rb"(?m)^C: (HELO|EHLO) [^\r\n]*", rb"C: \1 <client>", transcript)
    transcript = re.sub(rb"(?m)^Date: [^\r\n]*", b"Date: <date>", transcript)
    transcript = re.sub(rb"(?m)^Message-ID: <[^>\r\n]*>", b"Message-ID: <id>", transcript)
    boundaries = []
    for found in re.finditer(rb'boundary="([^"\r\n]+)"', transcript):
        if found.group(1) not in boundaries:
            boundaries.append(found.group(1))
    for number, boundary in enumerate(boundaries, 1):
        transcript = transcript.replace(boundary, b"BOUNDARY-%d" % number)
    return transcript


def record(args, name):
    profile, steps = CASES[name]
    listener = recording_server.Listener(profile)
    try:
        result = run_driver(args, driver_arguments(args.driver, steps, listener.port, args.work))
    finally:
        listener.close()
    text = b"# " + name.encode() + b"\n" + result
    for number, connection in enumerate(listener.connections, 1):
        if not connection.done.wait(30):
            raise AssertionError("%s: connection %d still open after the driver ended" % (name, number))
        text += b"== connection %d\n" % number + normalised(connection.transcript())
    return text


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--driver", choices=["native", "vbs"], required=True)
    parser.add_argument("--program")
    parser.add_argument("--wine-run")
    parser.add_argument("--prefix")
    parser.add_argument("--arch")
    parser.add_argument("--script")
    parser.add_argument("--work", required=True)
    parser.add_argument("--update", action="store_true")
    parser.add_argument("cases", nargs="*")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    for file_name, content in FILES.items():
        # Wine names files in UTF-8; the native driver is given the name's bytes in GBK.
        for encoding in ("utf-8", "gbk"):
            with open(os.path.join(args.work.encode(), file_name.encode(encoding)), "wb") as out:
                out.write(content)
    failed = []
    for name in args.cases or CASES:
        got = record(args, name)
        path = os.path.join(GOLDEN, name + ".txt")
        if args.update:
            os.makedirs(GOLDEN, exist_ok=True)
            with open(path, "wb") as out:
                out.write(got)
            continue
        with open(path, "rb") as f:
            want = f.read()
        if got != want:
            failed.append(name)
            with open(os.path.join(args.work, name + ".got"), "wb") as out:
                out.write(got)
            print("%s: differs from %s (what arrived: %s)" % (name, path,
                  os.path.join(args.work, name + ".got")))
        else:
            print("%s: same" % name)
    print("%d of %d cases differ" % (len(failed), len(args.cases or CASES)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
