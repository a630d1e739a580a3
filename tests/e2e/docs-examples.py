#!/usr/bin/env python3
"""Runs the examples of the guide (docs/*.md) and checks that each prints what
its page says, so that no page can drift from what the programs do.

A page's fenced blocks are read in order:
  ```text file=NAME   the block's lines are written to NAME (LF line ends)
  ```console          a transcript: "$ COMMAND" (continued by "> " lines, as
                      a shell prompts for a here-document) and then the
                      lines the command prints, standard error included;
                      every command must exit 0
  ```cpp source=PATH  the block must equal the repository's file PATH
Other blocks are prose. Each page runs in a folder of its own, as a user
with a home of their own in which the main build is already registered; its
blocks share that folder. `quorvel` is found on PATH, and a command's
/usr/lib/quorvel/ (where the package puts the libraries) stands for the
folder that holds the libraries under test.

Usage: docs-examples.py REPOSITORY BINDIR [LIBDIR]
  BINDIR holds quorvel; LIBDIR (default BINDIR) holds Quorvel.so and
  second/Quorvel.so.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

INSTALLED_LIBDIR = "/usr/lib/quorvel/"
FENCE = re.compile(r"^```(\S*)(.*)$")


def blocks(path):
    """Yields (line number, info words, lines) for every fenced block."""
    with open(path, encoding="utf-8") as page:
        lines = page.read().split("\n")
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        start, info = i + 1, [m.group(1)] + m.group(2).split()
        body = []
        i += 1
        while i < len(lines) and lines[i] != "```":
            body.append(lines[i])
            i += 1
        i += 1
        yield start, info, body


def option(info, key):
    for word in info[1:]:
        if word.startswith(key + "="):
            return word[len(key) + 1:]
    return None


def transcript(body):
    """Splits a console block into (command, expected output) pairs."""
    steps = []
    for line in body:
        if line.startswith("$ "):
            steps.append([line[2:], []])
        elif line.startswith("> ") or line == ">":
            if not steps or steps[-1][1]:
                raise ValueError("a '> ' line that continues no command")
            steps[-1][0] += "\n" + line[2:]
        elif steps:
            steps[-1][1].append(line)
        elif line.strip():
            raise ValueError("output before the first command")
    return [(command, "\n".join(out)) for command, out in steps]


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    root = os.path.abspath(sys.argv[1])
    bindir = os.path.abspath(sys.argv[2])
    libdir = os.path.abspath(sys.argv[3] if len(sys.argv) == 4 else bindir)
    pages = sorted(p for p in os.listdir(os.path.join(root, "docs")) if p.endswith(".md"))
    failures = examples = 0

    def fail(where, why):
        nonlocal failures
        failures += 1
        print(f"FAIL {where}\n{why}", file=sys.stderr)

    for name in pages:
        page = os.path.join(root, "docs", name)
        work = tempfile.mkdtemp(prefix="qv_docs.")
        try:
            home = os.path.join(work, "home")
            tmp = os.path.join(work, "tmp")
            folder = os.path.join(work, "files")
            for made in (home, tmp, folder):
                os.makedirs(made)
            env = {k: v for k, v in os.environ.items() if k not in ("QUORVEL_REGISTRY", "XDG_DATA_HOME")}
            env.update(HOME=home, TMPDIR=tmp, LC_ALL="C.UTF-8", PATH=bindir + os.pathsep + env.get("PATH", ""))
            setup = subprocess.run([os.path.join(bindir, "quorvel"), "register", os.path.join(libdir, "Quorvel.so")],
                                   cwd=folder, env=env, capture_output=True, text=True)
            if setup.returncode:
                fail(name, "quorvel register: " + setup.stderr)
                continue
            for line, info, body in blocks(page):
                where = f"{name}:{line}"
                target = option(info, "file")
                source = option(info, "source")
                if target:
                    with open(os.path.join(folder, target), "w", encoding="utf-8", newline="\n") as out:
                        out.write("\n".join(body) + "\n")
                elif source:
                    examples += 1
                    with open(os.path.join(root, source), encoding="utf-8") as f:
                        expected = f.read().rstrip("\n")
                    if "\n".join(body) != expected:
                        fail(where, f"the block differs from {source}")
                    else:
                        print(f"ok   {where} is {source}")
                elif info[0] == "console":
                    try:
                        steps = transcript(body)
                    except ValueError as e:
                        fail(where, str(e))
                        continue
                    for command, expected in steps:
                        examples += 1
                        run = command.replace(INSTALLED_LIBDIR, libdir + "/")
                        try:
                            done = subprocess.run(["bash", "-o", "pipefail", "-c", run], cwd=folder, env=env,
                                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                                  stderr=subprocess.STDOUT, timeout=30)
                            actual = done.stdout.decode("utf-8", "backslashreplace").rstrip("\n")
                            status = done.returncode
                        except subprocess.TimeoutExpired:
                            actual, status = "(timed out)", -1
                        first = command.split("\n")[0]
                        if status != 0:
                            fail(where, f"$ {first}\nexit status {status}\n--- output\n{actual}")
                        elif actual != expected:
                            fail(where, f"$ {first}\n--- the page says\n{expected}\n--- the command printed\n{actual}")
                        else:
                            print(f"ok   {where} $ {first}")
        finally:
            shutil.rmtree(work, ignore_errors=True)

    if examples == 0:
        fail("docs", "no example found")
    print(f"{examples} examples on {len(pages)} pages, {failures} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
