#!/usr/bin/python3
"""Real VBScript and JScript under Wine's cscript send through the registered Pellam.SMTP to an
aiosmtpd server started here on 127.0.0.1; what arrived is read with Python's email package.

  test_scripts.py --wine-run SCRIPT --prefix DIR --arch win64 --scripts DIR --aiosmtpd SCRIPT --work DIR
"""
import argparse
import email
import email.policy
import glob
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

ARGS = None
SERVER = {}

RULE = b"-" * 32
TEXT_BODY = (b"Plain line one\r\nline two\r\n-- Signature\r\n\r\n" + RULE +
             b"\r\nSent with Pellam SMTP\r\nhttp://www.pellam.example/\r\n")
HTML_BODY = (b'<p>Html body</p>\r\n-- Signature\r\n\r\n<table width="100%"><tr><td>\r\n' + RULE +
             b'<br>\r\nSent with Pellam SMTP<br>\r\n<a href="http://www.pellam.example/">'
             b'http://www.pellam.example/</a>\r\n</td></tr></table>\r\n')
ATTACHMENT = bytes(range(256)) * 3 + b"\r\n.\r\nend"
RECIPIENTS = {"to@example.org", "cc@example.org", "bcc1@example.org", "bcc2@example.org"}


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def run_script(name, port, auth_type, subject, times=1, locale=None, attachment="data.bin"):
    script = os.path.join(ARGS.scripts, name)
    attachment = windows_path(os.path.join(ARGS.work, attachment))
    command = [ARGS.wine_run, ARGS.prefix, ARGS.arch, "cscript", "//nologo", windows_path(script),
               "127.0.0.1", str(port), str(auth_type), attachment, subject, str(times)]
    # cscript of a 64-bit prefix under a busy machine: generous, since nothing here waits on time.
    environment = dict(os.environ)
    if locale:
        environment["PELLAM_WINE_LC_ALL"] = locale
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300,
                          env=environment)
    output = done.stdout.decode("gbk", "replace").replace("\r\n", "\n")
    lines = output.strip("\n").split("\n")
    if not lines or lines[-1] != "SCRIPT-END":
        raise AssertionError("the script did not run to its end:\n" + output)
    sends = []
    for line in lines:
        if line.startswith("Result="):
            sends.append({"result": line[len("Result="):]})
        elif line.startswith("Status="):
            sends[-1]["status"] = line[len("Status="):].replace("\\r", "\r").replace("\\n", "\n")
    return sends


def delivered(subject):
    """Every message with this subject, oldest first, with its envelope recipients."""
    found = []
    for path in glob.glob(os.path.join(SERVER["folder"], "*.eml")):
        with open(path, "rb") as f:
            raw = f.read()
        message = email.message_from_bytes(raw, policy=email.policy.default)
        if message["Subject"] != subject:
            continue
        with open(path[:-4] + ".env") as f:
            envelope = [line.rstrip("\n") for line in f]
        found.append((os.path.getmtime(path), raw, message, envelope))
    found.sort(key=lambda item: item[0])
    return [item[1:] for item in found]


def delivered_with(token):
    """The one message whose text holds the token."""
    for path in glob.glob(os.path.join(SERVER["folder"], "*.eml")):
        with open(path, "rb") as f:
            raw = f.read()
        if token in raw:
            return raw, email.message_from_bytes(raw, policy=email.policy.default)
    raise AssertionError("no message holds %r" % token)


def without_fresh_fields(raw, message):
    """The message without what each send makes afresh: its identity, date and boundaries."""
    for number, part in enumerate(message.walk()):
        if part.get_boundary():
            raw = raw.replace(part.get_boundary().encode(), b"boundary-%d" % number)
    return re.sub(rb"(?m)^(Message-ID|Date):[^\r\n]*\r\n", b"", raw)


class Sending(unittest.TestCase):
    def check_message(self, raw, message, envelope):
        self.assertEqual(message.get_content_type(), "multipart/mixed")
        alternative, attached = message.get_payload()
        self.assertEqual(alternative.get_content_type(), "multipart/alternative")
        plain, html = alternative.get_payload()
        self.assertEqual(plain.get_content_type(), "text/plain")
        self.assertEqual(plain.get_content_charset(), "gb2312")
        self.assertEqual(plain.get_payload(decode=True), TEXT_BODY)
        self.assertEqual(html.get_content_type(), "text/html")
        self.assertEqual(html.get_payload(decode=True), HTML_BODY)
        self.assertEqual(attached.get_filename(), "data.bin")
        self.assertEqual(attached.get_payload(decode=True), ATTACHMENT)
        sender = message["From"].addresses[0]
        self.assertEqual((sender.display_name, sender.addr_spec), ("Sender Name", "sender@example.org"))
        self.assertEqual([a.addr_spec for a in message["To"].addresses], ["to@example.org"])
        self.assertEqual([a.addr_spec for a in message["Cc"].addresses], ["cc@example.org"])
        self.assertIsNone(message["Bcc"])
        self.assertNotIn(b"bcc1@", raw)
        self.assertEqual(envelope[0], "from=sender@example.org")
        self.assertEqual({line[len("to="):] for line in envelope[1:]}, RECIPIENTS)

    def send_and_check(self, script, port, auth_type, connect_reply):
        subject = "%s-%d-%d-%d" % (script, port, auth_type, time.time_ns())
        sends = run_script(script, port, auth_type, subject)
        self.assertEqual(len(sends), 1)
        self.assertEqual(sends[0]["result"], "True", sends[0])
        self.assertRegex(sends[0]["status"],
                         r"\A%s[^\r\n]*\r\n\r\n250 OK saved\r\n\r\n\Z" % connect_reply)
        messages = delivered(subject)
        self.assertEqual(len(messages), 1)
        self.check_message(*messages[0])

    def test_vbscript_with_helo(self):
        self.send_and_check("send.vbs", SERVER["port"], 0, "250")

    def test_vbscript_with_auth_login(self):
        self.send_and_check("send.vbs", SERVER["login_port"], 1, "235")

    def test_jscript_with_cram_md5(self):
        self.send_and_check("send.js", SERVER["port"], 1, "235")

    def test_jscript_with_helo(self):
        self.send_and_check("send.js", SERVER["port"], 0, "250")

    def test_sendmail_twice_delivers_two_equal_messages(self):
        subject = "twice-%d" % time.time_ns()
        sends = run_script("send.vbs", SERVER["port"], 0, subject, times=2)
        self.assertEqual([s["result"] for s in sends], ["True", "True"])
        self.assertEqual(sends[0]["status"].count("\r\n\r\n"), 2)
        messages = delivered(subject)
        self.assertEqual(len(messages), 2)
        for message in messages:
            self.check_message(*message)
        first, second = (without_fresh_fields(raw, message) for raw, message, _ in messages)
        self.assertEqual(first, second)

    def test_charset_follows_the_ansi_code_page(self):
        # C.UTF-8 gives Wine the code page 1252, which lacks the placeholder's characters.
        token = "cp1252-%d.bin" % time.time_ns()
        shutil.copy(os.path.join(ARGS.work, "data.bin"), os.path.join(ARGS.work, token))
        sends = run_script("send.js", SERVER["port"], 0, " ", locale="C.UTF-8", attachment=token)
        self.assertEqual(sends[0]["result"], "True", sends[0])
        raw, message = delivered_with(token.encode())
        self.assertIn(b"\r\nSubject: ???\r\n", raw)  # its default character for each
        plain = message.get_payload()[0].get_payload()[0]
        self.assertEqual(plain.get_content_charset(), "windows-1252")

    def test_refused_connection_gives_false_and_one_line(self):
        sends = run_script("send.js", SERVER["unused_port"], 0, "refused")
        self.assertEqual(sends[0]["result"], "False")
        self.assertEqual(sends[0]["status"].count("\r\n"), 1, sends[0])
        self.assertTrue(sends[0]["status"].endswith("\r\n"))


def unused_port():
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--wine-run", "--prefix", "--arch", "--scripts", "--aiosmtpd", "--work"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    shutil.rmtree(ARGS.work, ignore_errors=True)
    os.makedirs(ARGS.work)
    with open(os.path.join(ARGS.work, "data.bin"), "wb") as f:
        f.write(ATTACHMENT)
    state = os.path.join(ARGS.work, "aiosmtpd.state")
    folder = os.path.join(ARGS.work, "mail")
    if subprocess.run([sys.executable, ARGS.aiosmtpd, "--daemon", "--state", state,
                       "--folder", folder]).returncode != 0:
        print("aiosmtpd did not start")
        return 1
    try:
        with open(state) as f:
            values = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        SERVER.update(port=int(values["port"]), login_port=int(values["login_port"]),
                      folder=folder, unused_port=unused_port())
        program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
        return 0 if program.result.wasSuccessful() else 1
    finally:
        subprocess.run([sys.executable, ARGS.aiosmtpd, "--stop", "--state", state])


if __name__ == "__main__":
    sys.exit(main())
