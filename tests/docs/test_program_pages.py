"""Runs the example of every program's page in docs/programs/ and compares what it prints and its
exit status with what the page shows; checks that every program has a page and that every relative
link of the README and docs/ points at an existing file.

An example is the ```sh block after the line "<!-- example -->"; the ```text block after the line
"Prints, with exit status N:" is what it must print (standard output and standard error as one
stream, as a terminal shows them). A line "..." in the expected text stands for any lines. Each
example runs in a copy of a folder made once by docs/programs/sample-inputs.sh, with the built
programs first on PATH.

    test_program_pages.py --bin build/bin [--update]   (--update writes the printed text
    into the pages whose example no longer matches)
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

REPO = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
PAGES = os.path.join(REPO, "docs", "programs")
EXAMPLE = re.compile(r"^<!-- example -->\n```sh\n(.*?)^```\n+Prints, with exit status (\d+):\n+"
                     r"```text\n(.*?)^```$", re.S | re.M)
LINK = re.compile(r"\]\(([^)\s]+)\)")


def programs():
    """Every program of the tree: the folders holding a main.cpp, named as the program, in the
    source areas (top-level folders with a CMakeLists.txt, tests and benchmarks aside)."""
    found = set()
    for area in os.listdir(REPO):
        listed = os.path.join(REPO, area, "CMakeLists.txt")
        if area in ("tests", "bench") or not os.path.exists(listed):
            continue
        for top, _, files in os.walk(os.path.join(REPO, area)):
            if "main.cpp" in files:
                found.add(os.path.basename(top))
    return sorted(found)


def matches(expected, printed):
    """True when `printed` is `expected` with each "..." line standing for any lines."""
    parts = [re.escape(line + "\n") if line != "..." else r"(?:.*\n)*?"
             for line in expected.splitlines()]
    return re.fullmatch("".join(parts), printed) is not None


def run_example(script, sample, env):
    work = tempfile.mkdtemp(prefix="page-example-")
    try:
        folder = os.path.join(work, "run")
        shutil.copytree(sample, folder, symlinks=True)
        done = subprocess.run(["bash", "-c", script], cwd=folder, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=60)
        printed = done.stdout.decode("utf-8", "replace")
        if printed and not printed.endswith("\n"):
            printed += "\n"  # a last answer printed without a line end
        return printed, done.returncode
    finally:
        shutil.rmtree(work, ignore_errors=True)


def check_links(failures):
    files = [os.path.join(REPO, "README.md")]
    for top, _, names in os.walk(os.path.join(REPO, "docs")):
        files += [os.path.join(top, n) for n in names if n.endswith(".md")]
    for path in files:
        with open(path, encoding="utf-8") as f:
            text = re.sub(r"```.*?```", "", f.read(), flags=re.S)
        for target in LINK.findall(text):
            if re.match(r"[a-z]+:", target) or target.startswith("#"):
                continue
            if not os.path.exists(os.path.join(os.path.dirname(path), target.split("#")[0])):
                failures.append("%s: link to %s: no such file"
                                % (os.path.relpath(path, REPO), target))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--update", action="store_true")
    args = parser.parse_args()
    env = dict(os.environ, PATH=os.path.abspath(args.bin) + os.pathsep + os.environ["PATH"],
               LC_ALL="C", COLUMNS="80")
    failures = []
    check_links(failures)
    with tempfile.TemporaryDirectory(prefix="page-samples-") as sample:
        made = subprocess.run(["bash", os.path.join(PAGES, "sample-inputs.sh")], cwd=sample,
                              env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if made.returncode != 0:
            print(made.stdout.decode("utf-8", "replace"))
            print("FAIL: sample-inputs.sh ended with status %d" % made.returncode)
            return 1
        for program in programs():
            page = os.path.join(PAGES, program + ".md")
            if not os.path.exists(page):
                failures.append("%s: no page docs/programs/%s.md" % (program, program))
                continue
            with open(page, encoding="utf-8") as f:
                text = f.read()
            examples = list(EXAMPLE.finditer(text))
            if len(examples) != 1:
                failures.append("%s: %d examples on its page, not 1" % (program, len(examples)))
                continue
            example = examples[0]
            printed, status = run_example(example.group(1), sample, env)
            shown = status == int(example.group(2)) and matches(example.group(3), printed)
            if args.update and not shown and REPO in printed:
                failures.append("%s: the example prints a path of this machine; show those lines as"
                                " '...'" % program)
            elif args.update and not shown:
                text = (text[:example.start(2)] + str(status)
                        + text[example.end(2):example.start(3)] + printed + text[example.end(3):])
                with open(page, "w", encoding="utf-8") as f:
                    f.write(text)
            elif not shown:
                failures.append("%s: the example printed, with exit status %d:\n%s" %
                                (program, status, printed))
            print("%s: example run" % program)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
