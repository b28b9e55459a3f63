"""Reading the corpus manifest and the reviewed expectation lists, shared by the corpus suites."""
import csv
import os

SKIP = 77  # ctest SKIP_RETURN_CODE


def read_manifest(corpus):
    with open(os.path.join(corpus, "MANIFEST.tsv"), newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def read_listed(path):
    """The rows of an expectation list: three tab-separated fields each, comments skipped."""
    with open(path, newline="") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                yield line.rstrip("\n").split("\t", 2)
