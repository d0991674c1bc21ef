#!/usr/bin/python3
"""Checks every message the mime tests wrote with Python's email package.

Each NAME.eml comes with NAME.json holding the tree the test expects. Both
the default (RFC 5322) policy and compat32 must find that tree, its content
types, charsets, dispositions, file names and Content-IDs, close every
boundary, and decode every body byte for byte. Raw lines must end in CR LF
and hold at most 998 characters.
"""
import email
import email.policy
import email.utils
import json
import pathlib
import re
import sys
from email.header import decode_header, make_header

MAX_LINE = 998
POLICIES = {"default": email.policy.default, "compat32": email.policy.compat32}


def unhex(text):
    return bytes.fromhex(text)


def decoded_words(value):
    """compat32 leaves encoded words in place; decode them as readers do."""
    if value is None:
        return None
    return str(make_header(decode_header(str(value))))


def as_text(raw, charset):
    return raw.decode(charset)


class Checker:
    def __init__(self, name, policy_name):
        self.name = name
        self.policy_name = policy_name
        self.errors = []

    def expect(self, condition, what):
        if not condition:
            self.errors.append(f"{self.name} [{self.policy_name}]: {what}")

    def check_tree(self, part, expected, path, charset):
        where = path or "top"
        self.expect(part.get_content_type() == expected["type"],
                    f"{where}: type {part.get_content_type()!r}, expected {expected['type']!r}")
        self.expect(not part.defects, f"{where}: defects {part.defects!r}")
        children = expected["children"]
        if children:
            self.expect(part.is_multipart(), f"{where}: not multipart")
            if not part.is_multipart():
                return
            got = part.get_payload()
            self.expect(len(got) == len(children),
                        f"{where}: {len(got)} children, expected {len(children)}")
            for index, (child, want) in enumerate(zip(got, children)):
                self.check_tree(child, want, f"{path}/{index}", charset)
            return
        self.expect(not part.is_multipart(), f"{where}: unexpectedly multipart")
        want_charset = expected["charset"] or None
        self.expect(part.get_param("charset") == want_charset,
                    f"{where}: charset {part.get_param('charset')!r}, expected {want_charset!r}")
        payload = part.get_payload(decode=True) or b""
        content = unhex(expected["content"])
        self.expect(payload == content,
                    f"{where}: body of {len(payload)} bytes differs from the "
                    f"{len(content)} expected")
        want_disposition = expected["disposition"] or None
        self.expect(part.get_content_disposition() == want_disposition,
                    f"{where}: disposition {part.get_content_disposition()!r}")
        want_name = unhex(expected["filename"])
        if want_name:
            name = part.get_filename()
            if self.policy_name == "compat32":
                name = decoded_words(name)
            want = as_text(want_name, charset)
            self.expect(name == want, f"{where}: file name {name!r}, expected {want!r}")
            type_name = part.get_param("name")
            if isinstance(type_name, tuple):
                type_name = email.utils.collapse_rfc2231_value(type_name)
            if self.policy_name == "compat32":
                type_name = decoded_words(type_name)
            self.expect(type_name == want, f"{where}: name parameter {type_name!r}")
        want_id = unhex(expected["content_id"]).decode("latin-1")
        if want_id:
            got_id = str(part["Content-ID"])
            self.expect(got_id == want_id, f"{where}: Content-ID {got_id!r}, expected {want_id!r}")

    def addresses(self, message, field, names_hold_line_breaks):
        if self.policy_name == "default":
            try:
                header = message[field]
            except ValueError:
                # The default policy refuses decoded names holding CR or LF;
                # such names are read from the raw field instead.
                self.expect(names_hold_line_breaks, f"{field}: refused by the parser")
                header = None
                raw = [v for k, v in message.raw_items() if k.lower() == field.lower()]
                return self.raw_addresses(raw)
            if header is None:
                return []
            # The default policy keeps the blank between two adjacent encoded
            # words of a display name, which RFC 2047 6.2 says to drop; it
            # judges the addresses here, the names are decoded by that rule.
            raw = [v for k, v in message.raw_items() if k.lower() == field.lower()]
            names = [name for name, _ in self.raw_addresses(raw)]
            return list(zip(names, [a.addr_spec for a in header.addresses]))
        return self.raw_addresses(message.get_all(field, []))

    @staticmethod
    def raw_addresses(raw):
        # compat32 hands out fields still folded; RFC 5322 2.2.3 has them
        # unfolded before they are read (a fold may stand inside the quotes of
        # a name too long for one line).
        values = [re.sub(r"\r\n(?=[ \t])", "", str(v)) for v in raw]
        return [(decoded_words(name) if name else "", address)
                for name, address in email.utils.getaddresses(values)]

    def check_header(self, message, expected, charset):
        subject = unhex(expected["subject"])
        if subject:
            got = message["Subject"]
            got = str(got) if self.policy_name == "default" else decoded_words(got)
            want = as_text(subject, charset)
            self.expect(got == want, f"Subject {got!r}, expected {want!r}")
        for field in ("from", "to"):
            want = [(as_text(unhex(n), charset), as_text(unhex(a), charset))
                    for n, a in expected[field]]
            if want:
                breaks = any("\r" in n or "\n" in n for n, _ in want)
                got = self.addresses(message, field.capitalize(), breaks)
                self.expect(got == want, f"{field} {got!r}, expected {want!r}")


def check_raw(name, raw):
    errors = []
    lines = raw.split(b"\r\n")
    for number, line in enumerate(lines, 1):
        if len(line) > MAX_LINE:
            errors.append(f"{name}: line {number} holds {len(line)} characters")
        if b"\r" in line or b"\n" in line:
            errors.append(f"{name}: line {number} holds a lone line break")
    return errors


def check_boundaries(name, raw, message):
    errors = []
    for part in message.walk():
        if part.is_multipart():
            closing = b"\r\n--" + part.get_boundary().encode() + b"--\r\n"
            if closing not in raw:
                errors.append(f"{name}: boundary {part.get_boundary()} is never closed")
    return errors


def check_one(json_path):
    expected = json.loads(json_path.read_text())
    raw = json_path.with_suffix(".eml").read_bytes()
    name = json_path.stem
    charset = expected["charset"]
    errors = check_raw(name, raw)
    for policy_name, policy in POLICIES.items():
        message = email.message_from_bytes(raw, policy=policy)
        checker = Checker(name, policy_name)
        checker.check_header(message, expected, charset)
        checker.check_tree(message, expected["tree"], "", charset)
        errors += checker.errors
        errors += check_boundaries(name, raw, message)
    return errors


def main():
    folder = pathlib.Path(sys.argv[1])
    files = sorted(folder.glob("*.json"))
    if not files:
        print(f"no messages found in {folder}")
        return 1
    errors = []
    for path in files:
        errors += check_one(path)
    for error in errors:
        print(error)
    print(f"{len(files)} messages checked with {len(POLICIES)} policies, {len(errors)} problems")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
