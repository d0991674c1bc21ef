"""Decodes the codec's base64 and quoted-printable output with Python's own
decoders and compares it with the original data.

usage: check_samples.py PATH_TO_codec_samples
"""
import base64
import binascii
import email.header
import glob
import os
import quopri
import subprocess
import sys
import tempfile


def check(directory):
    failures = 0
    stems = sorted(glob.glob(os.path.join(directory, "sample*.bin")))
    for path in stems:
        stem = path[:-4]
        data = open(path, "rb").read()
        read = lambda ext: open(stem + ext, "rb").read()
        lines = read(".b64")
        checks = {
            "base64 lines": base64.b64decode(lines.replace(b"\r\n", b""), validate=True),
            "base64 lines (decodebytes)": base64.decodebytes(lines),
            "base64 string": base64.b64decode(read(".b64str"), validate=True),
            "quoted-printable body": quopri.decodestring(read(".qp")),
            "quoted-printable header": binascii.a2b_qp(read(".qph"), header=True),
        }
        for line in lines.split(b"\r\n")[:-1]:
            if len(line) > 76:
                print(f"{stem}: base64 line of {len(line)} characters")
                failures += 1
        for line in read(".qp").split(b"=\r\n"):
            if b"\r" not in line and b"\n" not in line and len(line) > 75:
                print(f"{stem}: quoted-printable line of {len(line)} characters")
                failures += 1
        word = read(".word").decode("ascii")
        if word.startswith("=?"):
            decoded, _charset = email.header.decode_header(word)[0]
            checks["encoded word"] = decoded
        else:
            checks["encoded word"] = word.encode("ascii")
        for name, decoded in checks.items():
            expected = read(".wordtext") if name == "encoded word" else data
            if decoded != expected:
                print(f"{stem}: {name} differs from the data")
                failures += 1
    print(f"{len(stems)} samples checked, {failures} failures")
    return failures == 0 and len(stems) > 0


def main():
    with tempfile.TemporaryDirectory() as directory:
        subprocess.run([sys.argv[1], directory], check=True)
        sys.exit(0 if check(directory) else 1)


if __name__ == "__main__":
    main()
