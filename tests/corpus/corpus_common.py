"""Reading the corpus manifest and the reviewed expectation lists, and running a tool with a time
limit: shared by the corpus suites."""
import csv
import os
import subprocess

SKIP = 77  # ctest SKIP_RETURN_CODE


def read_manifest(corpus):
    with open(os.path.join(corpus, "MANIFEST.tsv"), newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def needs_password(row):
    """An encrypted file that the reference reader cannot open without a password (its page
    count is NA): the library refuses it. Encrypted files that open with the empty user
    password have a reference count and are compared like every other file."""
    return row["encrypted"] == "1" and row["qpdf_pages"] == "NA"


def read_listed(path):
    """The rows of an expectation list: three tab-separated fields each, comments skipped."""
    with open(path, newline="") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                yield line.rstrip("\n").split("\t", 2)


class Hang(Exception):
    """A tool ran past its time."""


def run(cmd, timeout):
    """Runs `cmd`; its exit code, stdout and stderr (as text), or Hang past `timeout` seconds."""
    try:
        p = subprocess.run(cmd, capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise Hang()
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")
