"""The messages that aiosmtpd_server.py saved, read with Python's email package: finding them, and
an account of one for people to read (its header, its MIME tree, its envelope, where it lies).
Used by the script tests, the demo and the script benchmark.

  deliveries.py FOLDER      prints the account of the newest message in FOLDER
"""
import email
import email.policy
import glob
import os
import sys
from dataclasses import dataclass


@dataclass
class Delivery:
    path: str  # the saved copy, DIR/<Message-ID>.eml
    raw: bytes  # the message as the server kept it, dot-stuffing undone
    message: email.message.EmailMessage
    mail_from: str
    recipients: list  # the RCPT TO addresses in the order given


def read_delivery(path):
    with open(path, "rb") as f:
        raw = f.read()
    mail_from, recipients = "", []
    with open(path[:-len(".eml")] + ".env", encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            if key == "from":
                mail_from = value
            elif key == "to":
                recipients.append(value)
    message = email.message_from_bytes(raw, policy=email.policy.default)
    return Delivery(path, raw, message, mail_from, recipients)


def deliveries(folder):
    """Every saved message, oldest first."""
    paths = sorted(glob.glob(os.path.join(folder, "*.eml")), key=os.path.getmtime)
    return [read_delivery(path) for path in paths]


def with_subject(folder, subject):
    return [d for d in deliveries(folder) if d.message["Subject"] == subject]


def holding(folder, token):
    """The one message whose text holds the bytes of the token."""
    found = [d for d in deliveries(folder) if token in d.raw]
    if len(found) != 1:
        raise AssertionError("%d messages hold %r" % (len(found), token))
    return found[0]


def reading(delivery):
    """What the server's email package read from the header (aiosmtpd_server.py's ".read" file):
    each key with its values, names, addresses and texts as bytes."""
    found = {}
    with open(delivery.path[:-len(".eml")] + ".read") as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            if key in ("maxline", "maxword", "error"):
                found.setdefault(key, []).append(value)
            else:
                found.setdefault(key, []).append(tuple(bytes.fromhex(v) for v in value.split(" ")))
    return found


def mime_tree(message, depth=0):
    """One line per part: its content type, charset, transfer encoding, file name and size."""
    facts = [message.get_content_type()]
    if message.get_content_charset():
        facts.append("charset=" + message.get_content_charset())
    if message.is_multipart():
        lines = ["  " * depth + " ".join(facts)]
        for part in message.iter_parts():
            lines += mime_tree(part, depth + 1)
        return lines
    if message["Content-Transfer-Encoding"]:
        facts.append(str(message["Content-Transfer-Encoding"]).strip())
    if message.get_filename():
        facts.append('file "%s"' % message.get_filename())
    facts.append("%d bytes" % len(message.get_payload(decode=True) or b""))
    return ["  " * depth + " ".join(facts)]


def account(delivery):
    """The message as it arrived, for people: header, MIME tree, envelope, saved copy."""
    head = delivery.raw.split(b"\r\n\r\n", 1)[0].decode("ascii", "backslashreplace")
    message = delivery.message
    in_header = {a.addr_spec.lower() for field in ("From", "To", "Cc", "Bcc")
                 for a in (message[field].addresses if message[field] else ())}
    lines = ["Header, as it arrived:"]
    lines += ["  " + line for line in head.split("\r\n")]
    lines.append("Decoded: Subject %r; From %r" % (str(message["Subject"]), str(message["From"])))
    lines.append("MIME tree:")
    lines += ["  " + line for line in mime_tree(message)]
    lines.append("Envelope (what the server was told; no header shows it):")
    lines.append("  MAIL FROM <%s>" % delivery.mail_from)
    for address in delivery.recipients:
        note = "" if address.lower() in in_header else "   <- in no header field: a Bcc recipient"
        lines.append("  RCPT TO   <%s>%s" % (address, note))
    lines.append("Saved copy: " + delivery.path)
    return "\n".join(lines)


if __name__ == "__main__":
    found = deliveries(sys.argv[1])
    if not found:
        sys.exit("no message in " + sys.argv[1])
    print(account(found[-1]))
