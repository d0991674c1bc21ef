#!/usr/bin/python3
"""Real VBScript and JScript under Wine's cscript send through the registered Pellam.SMTP to an
aiosmtpd server started here on 127.0.0.1, or to a scripted server for the dialogue's edge cases;
what arrived is read with Python's email package. Grouped by what users do.

  test_scripts.py --wine-run SCRIPT --prefix DIR --arch win64 --scripts DIR --examples DIR
                  --aiosmtpd SCRIPT --work DIR --tls-state FILE

FILE is the state of the TLS server that the CTest fixture smtp_tls started once for the run
(port 465 can be bound only once); its CA is the TLS session tests' one, which their fixture
tls_servers trusts in the prefix.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

import script_support as support
from script_support import (HTML_FOOTER, NO_CONTENT, SERVER, TEXT_FOOTER, TLS, body, run_driver,
                            steps, tls_commands, tls_commands_of)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "smtp"))
import deliveries  # noqa: E402

ATTACHMENT = bytes(range(256)) * 3 + b"\r\n.\r\nend"
RECIPIENTS = ["to@example.org", "cc@example.org", "bcc1@example.org", "bcc2@example.org"]


def unique(name):
    return "%s-%d" % (name, time.time_ns())


def message(port, subject, **changes):
    """The properties of the full test message: both bodies, Cc, two Bcc, one attachment."""
    properties = {
        "Host": "127.0.0.1", "Port": str(port), "AuthType": 0, "UserName": "pellam",
        "PassWord": "secret", "From": "Sender Name <sender@example.org>",
        "To": "To Person <to@example.org>", "Cc": "cc@example.org",
        "Bcc": "bcc1@example.org\r\nbcc2@example.org", "Subject": subject,
        "TextBody": "Plain line one\r\nline two", "HtmlBody": "<p>Html body</p>",
        "Signature": "-- Signature", "Attachment": support.windows_path(os.path.join(
            support.ARGS.work, "data.bin"))}
    properties.update(changes)
    return {name: value for name, value in properties.items() if value is not None}


def simple(port, subject, **changes):
    """A message with only what SendMail needs, and the given changes."""
    bare = dict(Cc=None, Bcc=None, HtmlBody=None, Signature=None, Attachment=None)
    return message(port, subject, **{**bare, **changes})


def delivered(subject):
    return deliveries.with_subject(SERVER["folder"], subject)


class ScriptTest(unittest.TestCase):
    def send(self, language, properties, sends=1, expect="True"):
        results, errors = run_driver(language, steps(properties, sends))
        self.assertEqual(errors, [])
        self.assertEqual([s["result"] for s in results], [expect] * sends, results)
        return results

    def only_delivery(self, subject):
        found = delivered(subject)
        self.assertEqual(len(found), 1)
        return found[0]


class SendingMessages(ScriptTest):
    def check_full_message(self, delivery):
        mixed = delivery.message
        self.assertEqual(mixed.get_content_type(), "multipart/mixed")
        alternative, attached = mixed.get_payload()
        self.assertEqual(alternative.get_content_type(), "multipart/alternative")
        plain, html = alternative.get_payload()
        self.assertEqual(plain.get_content_type(), "text/plain")
        self.assertEqual(plain.get_content_charset(), "gb2312")
        self.assertEqual(plain.get_payload(decode=True),
                         body([b"Plain line one", b"line two"], TEXT_FOOTER, b"-- Signature"))
        self.assertEqual(html.get_content_type(), "text/html")
        self.assertEqual(html.get_payload(decode=True),
                         body([b"<p>Html body</p>"], HTML_FOOTER, b"-- Signature"))
        self.assertEqual(attached.get_filename(), "data.bin")
        self.assertEqual(attached.get_payload(decode=True), ATTACHMENT)
        sender = mixed["From"].addresses[0]
        self.assertEqual((sender.display_name, sender.addr_spec), ("Sender Name", "sender@example.org"))
        self.assertEqual([a.addr_spec for a in mixed["To"].addresses], ["to@example.org"])
        self.assertEqual([a.addr_spec for a in mixed["Cc"].addresses], ["cc@example.org"])
        self.assertIsNone(mixed["Bcc"])
        self.assertNotIn(b"bcc1@", delivery.raw)
        self.assertEqual(delivery.mail_from, "sender@example.org")
        self.assertEqual(sorted(delivery.recipients), sorted(RECIPIENTS))

    def test_text_html_cc_bcc_and_a_file_with_and_without_authentication(self):
        # Port goes in as a text in every case here.
        for language, port, auth_type, connect_reply in [("vbs", "port", 0, "250"),
                                                         ("vbs", "login_port", 1, "235"),
                                                         ("js", "port", 1, "235"),
                                                         ("js", "port", 0, "250")]:
            with self.subTest(language=language, port=port, auth_type=auth_type):
                subject = unique(language)
                sent = self.send(language, message(SERVER[port], subject, AuthType=auth_type))
                self.assertRegex(sent[0]["status"],
                                 r"\A%s[^\r\n]*\r\n\r\n250 OK saved\r\n\r\n\Z" % connect_reply)
                self.check_full_message(self.only_delivery(subject))

    def test_plain_text_alone_via_helo_is_one_part(self):
        subject = unique("plain")
        sent = self.send("vbs", simple(SERVER["port"], subject, TextBody="Only text\r\n"))
        self.assertTrue(sent[0]["status"].startswith("250 pellam-test"), sent)
        delivery = self.only_delivery(subject)
        self.assertEqual(delivery.message.get_content_type(), "text/plain")
        self.assertEqual(delivery.message.get_payload(decode=True), body([b"Only text"], TEXT_FOOTER))
        self.assertEqual(delivery.recipients, ["to@example.org"])

    def test_two_attachments_arrive_in_order_with_their_names(self):
        subject = unique("two-files")
        notes = "first line\r\nzweite Zeile \xe4\r\n".encode("latin-1")
        paths = [support.work_file("notes.txt", notes), support.work_file("table.bin", ATTACHMENT)]
        self.send("js", simple(SERVER["port"], subject, Attachment="\r\n".join(paths) + "\r\n"))
        plain, *files = self.only_delivery(subject).message.get_payload()
        self.assertEqual(plain.get_content_type(), "text/plain")
        self.assertEqual([(f.get_filename(), f.get_payload(decode=True)) for f in files],
                         [("notes.txt", notes), ("table.bin", ATTACHMENT)])

    def test_a_5_mib_attachment_arrives_byte_exact(self):
        subject = unique("five-mib")
        content = os.urandom(5 << 20)
        path = support.work_file("five.bin", content)
        self.send("vbs", simple(SERVER["port"], subject, Attachment=path))
        _, attached = self.only_delivery(subject).message.get_payload()
        self.assertEqual(attached.get_payload(decode=True), content)

    def test_content_type_html_with_only_a_text_body_adds_the_html_placeholder(self):
        subject = unique("content-type")
        self.send("js", simple(SERVER["port"], subject, ContentType=1, TextBody="Text only"))
        alternative = self.only_delivery(subject).message
        self.assertEqual(alternative.get_content_type(), "multipart/alternative")
        plain, html = alternative.get_payload()
        self.assertEqual(plain.get_payload(decode=True), body([b"Text only"], TEXT_FOOTER))
        self.assertEqual(html.get_payload(decode=True), body([NO_CONTENT], HTML_FOOTER))

    def test_sendmail_twice_delivers_two_equal_messages(self):
        subject = unique("twice")
        sent = self.send("vbs", message(SERVER["port"], subject), sends=2)
        self.assertEqual(sent[0]["status"].count("\r\n\r\n"), 2)
        found = delivered(subject)
        self.assertEqual(len(found), 2)
        for delivery in found:
            self.check_full_message(delivery)
        first, second = (without_fresh_fields(d) for d in found)
        self.assertEqual(first, second)


def without_fresh_fields(delivery):
    """The message without what each send makes afresh: its identity, date and boundaries."""
    raw = delivery.raw
    for number, part in enumerate(delivery.message.walk()):
        if part.get_boundary():
            raw = raw.replace(part.get_boundary().encode(), b"boundary-%d" % number)
    return re.sub(rb"(?m)^(Message-ID|Date):[^\r\n]*\r\n", b"", raw)


class Authenticating(ScriptTest):
    def test_a_wrong_password_is_refused_and_nothing_is_sent(self):
        for language, port in [("vbs", "login_port"), ("js", "port")]:  # LOGIN, CRAM-MD5
            with self.subTest(language=language, port=port):
                subject = unique("wrong-password")
                sent = self.send(language, simple(SERVER[port], subject, AuthType=1,
                                                  PassWord="not the secret"), expect="False")
                self.assertRegex(sent[0]["status"], r"\A535 [^\r\n]*\r\n\r\n\Z")
                self.assertEqual(delivered(subject), [])


class Tls(ScriptTest):
    """TLS through Wine's SChannel (TLS 1.2 only in Wine 8, which is what these servers get)."""

    def send_tls(self, listener, port, expect="True", **changes):
        subject = unique(listener)
        sender = subject + "@example.org"
        sent = self.send("vbs", simple(port, subject, AuthType=1, From=sender, **changes),
                         expect=expect)
        return sent[0]["status"], subject, sender

    def test_starttls_comes_before_each_mechanism_and_the_message_arrives(self):
        for listener, mechanism in [("starttls", "CRAM-MD5"), ("starttls_login", "LOGIN")]:
            with self.subTest(listener=listener):
                status, subject, sender = self.send_tls(listener, TLS[listener + "_port"])
                self.assertRegex(status, r"\A235 [^\r\n]*\r\n\r\n250 OK saved\r\n\r\n\Z")
                self.assertEqual(len(deliveries.with_subject(TLS["folder"], subject)), 1)
                self.assertEqual(tls_commands_of(listener, sender)[:5],
                                 ["tls=0 EHLO", "tls=0 STARTTLS", "tls=1 EHLO",
                                  "tls=1 AUTH " + mechanism, "tls=1 MAIL FROM: <%s>" % sender])

    def test_port_465_is_tls_from_the_first_byte(self):
        self.assertNotIn("implicit_problem", TLS, TLS.get("implicit_problem"))
        status, subject, sender = self.send_tls("implicit", TLS["implicit_port"])
        self.assertTrue(status.startswith("235 "), status)
        self.assertEqual(len(deliveries.with_subject(TLS["folder"], subject)), 1)
        commands = tls_commands_of("implicit", sender)
        self.assertEqual(commands[:2], ["tls=1 EHLO", "tls=1 AUTH CRAM-MD5"])
        self.assertEqual([c for c in commands if not c.startswith("tls=1 ")], [])

    def test_an_untrusted_certificate_gives_false_one_line_and_no_auth(self):
        status, subject, _ = self.send_tls("untrusted", TLS["untrusted_port"], expect="False")
        # The line stands where a refusing server's reply would, with the empty line after it.
        self.assertEqual(status, "TLS: the server's certificate is not trusted\r\n\r\n")
        self.assertEqual(deliveries.with_subject(TLS["folder"], subject), [])
        connections = tls_commands("untrusted")
        self.assertNotEqual(connections, [])
        for commands in connections:
            self.assertIn("tls=0 STARTTLS", commands)
            self.assertEqual([c for c in commands if "AUTH" in c or "MAIL" in c], [])


class TextsArrivingIntact(ScriptTest):
    def test_lines_of_dots_arrive_as_given(self):
        lines = [".", "..", ".leading dot", "middle", "..."]
        for language in ("vbs", "js"):
            with self.subTest(language=language):
                subject = unique("dots")
                self.send(language, simple(SERVER["port"], subject, TextBody="\r\n".join(lines),
                                           HtmlBody="<p>\r\n.\r\n</p>\r\n."))
                plain, html = self.only_delivery(subject).message.get_payload()
                self.assertEqual(plain.get_payload(decode=True),
                                 body([line.encode() for line in lines], TEXT_FOOTER))
                self.assertEqual(html.get_payload(decode=True),
                                 body([b"<p>", b".", b"</p>", b"."], HTML_FOOTER))

    def test_non_ascii_subject_and_names_arrive_as_encoded_words_of_the_bytes_given(self):
        names = {"from": "张伟", "to": "李四", "cc": "Lǐ Xiǎo"}
        for language in ("vbs", "js"):
            with self.subTest(language=language):
                subject = unique("测试邮件：你好 Müller")
                self.send(language, simple(SERVER["port"], subject, From="张伟 <sender@example.org>",
                                           To="李四 <to@example.org>", Cc="Lǐ Xiǎo <cc@example.org>"))
                found = [(d, read) for d in deliveries.deliveries(SERVER["folder"])
                         for read in [deliveries.reading(d)]
                         if read.get("subject") == [(subject.encode("gbk"),)]]
                self.assertEqual(len(found), 1)
                delivery, read = found[0]
                header = delivery.raw.split(b"\r\n\r\n")[0]
                self.assertTrue(header.isascii(), header)
                self.assertIn(b"Subject: =?gb2312?", header)
                for field, name in names.items():
                    self.assertEqual(read[field][0][0], name.encode("gbk"), field)

    def test_charset_follows_the_ansi_code_page(self):
        # C.UTF-8 gives Wine the code page 1252, which lacks the placeholder's characters.
        token = unique("cp1252") + ".bin"
        path = support.work_file(token, ATTACHMENT)
        sent, _ = run_driver("js", steps(message(SERVER["port"], " ", Attachment=path)),
                             locale="C.UTF-8")
        self.assertEqual(sent[0]["result"], "True", sent[0])
        delivery = deliveries.holding(SERVER["folder"], token.encode())
        self.assertIn(b"\r\nSubject: ???\r\n", delivery.raw)  # its default character for each
        plain = delivery.message.get_payload()[0].get_payload()[0]
        self.assertEqual(plain.get_content_charset(), "windows-1252")


class Complaints(ScriptTest):
    def test_each_missing_value_adds_its_line_and_nothing_is_sent(self):
        missing = support.windows_path(os.path.join(support.ARGS.work, "no such file.txt"))
        everything = ["Cannot send without sender information ..",
                      "Cannot send without recipient to information ..",
                      "Cannot find attachment file: " + missing,
                      "Cannot find attachment file: " + missing + "2",
                      "You must fill in the SMTP host name!",
                      "You must fill in the SMTP prot number!"]
        cases = [
            ("vbs", {}, [everything[0], everything[1], everything[4]]),
            ("js", {"From": " ", "To": " \r\n\t", "Host": "  ", "Port": 0,
                    "Attachment": missing + "\r\n" + missing + "2"}, everything),
            ("vbs", simple(SERVER["port"], unique("one-missing"), Attachment=missing),
             [everything[2]]),
        ]
        for language, properties, lines in cases:
            with self.subTest(language=language, lines=len(lines)):
                sent = self.send(language, properties, expect="False")
                self.assertEqual(sent[0]["status"], "".join(line + "\r\n" for line in lines))
                if "Subject" in properties:
                    self.assertEqual(delivered(properties["Subject"]), [])

    def test_a_value_that_does_not_convert_is_a_script_error_and_keeps_the_old_value(self):
        for language in ("vbs", "js"):
            with self.subTest(language=language):
                subject = unique("bad-port")
                arguments = steps(simple(SERVER["port"], subject), sends=0)
                sent, errors = run_driver(language, arguments + ["Port=twenty-five", "SendMail"])
                self.assertEqual(errors, ["Port: cannot convert a value of variant type 8 to an "
                                          "integer (error 0x80020005)"])
                self.assertEqual(sent[0]["result"], "True")
                self.only_delivery(subject)


class ConnectionTrouble(ScriptTest):
    def test_refused_connection_gives_false_and_one_line(self):
        sent = self.send("js", simple(SERVER["unused_port"], "refused"), expect="False")
        self.assertEqual(sent[0]["status"], "\r\n")  # no reply came

    def test_a_server_that_closes_during_the_data_gives_false_and_the_object_sends_again(self):
        big = support.work_file("two.bin", os.urandom(2 << 20))
        for language, cut, reset, attachment in [("vbs", 100, False, None),
                                                 ("js", 300000, True, big)]:
            with self.subTest(language=language, cut=cut, reset=reset):
                server = support.ScriptedServer(cut, reset)
                subject = unique("closed")
                first = simple(server.port, subject, Attachment=attachment)
                arguments = steps(first) + ["Port=%d" % SERVER["port"], "SendMail"]
                sent, errors = run_driver(language, arguments)
                server.join(300)
                self.assertEqual(errors, [])
                self.assertEqual([s["result"] for s in sent], ["False", "True"], sent)
                # The greeting's reply, then an empty line: no reply ended the data.
                self.assertEqual(sent[0]["status"], "250 scripted\r\n\r\n\r\n")
                self.assertEqual(len(server.received), cut)
                self.assertEqual(len(delivered(subject)), 1)


class Examples(ScriptTest):
    """The examples of the user guide, run as a developer would after changing their settings."""

    def run_example(self, name, settings):
        with open(os.path.join(support.ARGS.examples, name), encoding="ascii") as f:
            text = f.read()
        for setting, value in settings.items():
            text, count = re.subn(r"(?m)^((?:Const|var) %s = ).*$" % setting,
                                  lambda m: m.group(1) + value, text)
            self.assertEqual(count, 1, setting)
        path = os.path.join(support.ARGS.work, name)
        with open(path, "w", encoding="ascii", newline="\r\n") as f:
            f.write(text)
        return support.run_cscript(path, [])

    def test_the_scheduled_job_scripts_send_their_report(self):
        report = support.work_file("report.csv", b"day;sent\r\nMonday;12\r\n")
        for name, backslash in [("send-job.vbs", "\\"), ("send-job.js", "\\\\")]:
            with self.subTest(name=name):
                subject = unique(name)
                code, output = self.run_example(name, {
                    "SMTP_HOST": '"127.0.0.1"', "SMTP_PORT": str(SERVER["login_port"]),
                    "SMTP_USER": '"pellam"', "SMTP_PASSWORD": '"secret"',
                    "REPORT_FILE": '"%s"' % report.replace("\\", backslash),
                    "MAIL_SUBJECT": '"%s"' % subject})
                self.assertEqual(code, 0, output)
                self.assertIn("Result: True", output)
                delivery = self.only_delivery(subject)
                self.assertEqual(delivery.message.get_payload()[1].get_payload(decode=True),
                                 b"day;sent\r\nMonday;12\r\n")
                self.assertEqual(len(delivery.recipients), 3)

    def test_the_demo_script_sends_its_message(self):
        subject = unique("演示")
        report = support.work_file("demo.txt", b"demo attachment\r\n")
        code, output = support.run_cscript(os.path.join(support.ARGS.examples, "send-demo.vbs"), [
            "127.0.0.1", str(SERVER["port"]), "", "", "张伟 <demo@example.org>",
            "reader@example.org", "cc@example.org", "hidden@example.org", report, subject])
        self.assertEqual(code, 0, output)
        delivery = self.only_delivery(subject)
        self.assertEqual(sorted(delivery.recipients),
                         ["cc@example.org", "hidden@example.org", "reader@example.org"])
        self.assertNotIn(b"hidden@", delivery.raw)
        self.assertIn("Result: True", output)


def unused_port():
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    for option in ("--wine-run", "--prefix", "--arch", "--scripts", "--examples", "--aiosmtpd",
                   "--work", "--tls-state"):
        parser.add_argument(option, required=True)
    support.ARGS, rest = parser.parse_known_args()
    work = support.ARGS.work
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    with open(os.path.join(work, "data.bin"), "wb") as f:
        f.write(ATTACHMENT)
    state = os.path.join(work, "aiosmtpd.state")
    folder = os.path.join(work, "mail")
    if subprocess.run([sys.executable, support.ARGS.aiosmtpd, "--daemon", "--state", state,
                       "--folder", folder]).returncode != 0:
        print("aiosmtpd did not start")
        return 1
    try:
        with open(state) as f:
            values = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        SERVER.update(port=int(values["port"]), login_port=int(values["login_port"]),
                      folder=folder, unused_port=unused_port())
        with open(support.ARGS.tls_state) as f:
            TLS.update(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
        return 0 if program.result.wasSuccessful() else 1
    finally:
        subprocess.run([sys.executable, support.ARGS.aiosmtpd, "--stop", "--state", state])


if __name__ == "__main__":
    sys.exit(main())
