#!/usr/bin/env python3
"""The manual pages as man shows them: groff finds nothing to warn about, and
quenlo-cli's page says, word for word and in order, what each of its --help
texts says (the page is made from them at build time).

    manual_pages.py QUENLO-CLI PAGES-FOLDER
"""
import gzip
import subprocess
import sys

HELPS = [[], ["list"], ["update"], ["package", "check"], ["history"]]
# groff's typography back to what a terminal user types.
PLAIN = str.maketrans({"\u2010": "-", "\u2212": "-", "\u2019": "'", "\u2018": "'",
                       "\u201c": '"', "\u201d": '"', "\u00a0": " "})


def render(path):
    source = gzip.open(path).read()
    result = subprocess.run(
        ["groff", "-man", "-Tutf8", "-ww", "-rHY=0", "-rLL=200n", "-P-cbou"],
        input=source, capture_output=True, check=True)
    return result.stdout.decode("utf-8").translate(PLAIN), result.stderr.decode()


def words_in_order(needle, haystack):
    """Index in haystack where needle's words stop matching, or None."""
    at = 0
    for i, word in enumerate(needle):
        try:
            at = haystack.index(word, at) + 1
        except ValueError:
            return i
    return None


def main():
    cli, folder = sys.argv[1], sys.argv[2]
    failures = []
    for page in ("Quenlo.1.gz", "quenlo-cli.1.gz"):
        _, warnings = render(f"{folder}/{page}")
        if warnings.strip():
            failures.append(f"{page}: groff warns:\n{warnings}")
    text, _ = render(f"{folder}/quenlo-cli.1.gz")
    page_words = text.split()
    for args in HELPS:
        help_text = subprocess.run([cli, *args, "--help"], capture_output=True, text=True,
                                   check=True).stdout
        # The page shows the usage as a synopsis, without the word "Usage:".
        words = help_text.split()[1:]
        missing = words_in_order(words, page_words)
        if missing is not None:
            context = " ".join(words[max(0, missing - 5):missing + 5])
            failures.append(f"quenlo-cli {' '.join(args)} --help: the page lacks "
                            f"\"{words[missing]}\" (around: {context})")
    for failure in failures:
        print("FAIL:", failure)
    print("manual pages:", "fail" if failures else "ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
