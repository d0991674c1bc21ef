#!/usr/bin/python3
"""Composes the benchmark's message with Python's email package.

   mime_python_compose.py FILE
   mime_python_compose.py --recipients N

Reads FILE, builds the same message as mime_bench (sender, recipient,
subject, a plain text body and FILE attached in base64), produces its bytes,
and prints "cpu_seconds peak_bytes_above_start text_size warm_seconds" for
the composition (processor time, user and system, as the C++ side measures);
warm_seconds is a second composition in the same process. With --recipients
it composes a short message to N recipients (one To, the rest Bcc) and prints
the best processor seconds of three.
"""
import resource
import sys
import time
from email.message import EmailMessage
from email.policy import SMTP

TEXT = "Hello,\r\nthe report is attached.\r\n"


def peak_bytes():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def compose(path):
    with open(path, "rb") as stream:
        data = stream.read()
    message = EmailMessage(policy=SMTP)
    message["X-Priority"] = "2"
    message["From"] = "Ann Lee <ann@example.com>"
    message["To"] = "bob@example.com"
    message["Subject"] = "Monthly report"
    message.set_content(TEXT)
    message.add_attachment(data, maintype="application", subtype="octet-stream",
                           filename="report.bin")
    del data
    return message.as_bytes()


def compose_recipients(count):
    message = EmailMessage(policy=SMTP)
    message["From"] = "Ann Lee <ann@example.com>"
    message["To"] = "Bob <bob@example.com>"
    message["Bcc"] = ", ".join("Reader %d <reader%d@example.com>" % (i, i) for i in range(1, count))
    message["Subject"] = "Newsletter"
    message.set_content("Hello,\r\nthe news.\r\n")
    return message.as_bytes()


def main():
    if sys.argv[1] == "--recipients":
        best = float("inf")
        for _ in range(3):
            started = time.process_time()
            compose_recipients(int(sys.argv[2]))
            best = min(best, time.process_time() - started)
        print(f"{best:.6f}")
        return
    path = sys.argv[1]
    start_peak = peak_bytes()
    started = time.process_time()
    text = compose(path)
    seconds = time.process_time() - started
    peak = peak_bytes() - start_peak
    del text
    # Again in the same process, as a long-running server composes.
    started = time.process_time()
    text = compose(path)
    warm = time.process_time() - started
    print(f"{seconds:.6f} {peak} {len(text)} {warm:.6f}")


if __name__ == "__main__":
    main()
