#!/usr/bin/env python3
"""Checks that the guides in docs/ still tell the truth.

  examples  every example argument, run through the real client, still delivers the
            label jobs printed beside it (and ends with its exit code)
  pictures  every example still renders, byte for byte, to the pictures the guide shows,
            and docs/pictures holds no picture that no example makes
  messages  every log, event-log and message text the programs can write has its row in
            the table of docs/administering.md
  links     every relative link (and its #anchor) in docs/ and README.md resolves
"""
import argparse
import filecmp
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import docs_examples  # noqa: E402

ROOT = docs_examples.ROOT


def check_examples(args):
    failures = []
    for example in docs_examples.all_examples():
        code, jobs = docs_examples.run_client({"a": args.tervane, "b": args.tervane_b}, example)
        if code != example.exit_code:
            failures.append("%s: exit code %d, the guide says %d" % (example.where(), code,
                                                                   example.exit_code))
        if jobs != example.jobs:
            failures.append("%s: the client delivered\n%s\nthe guide shows\n%s" % (
                example.where(), "\n-- next job --\n".join(jobs),
                "\n-- next job --\n".join(example.jobs)))
    return failures


def check_pictures(args):
    failures = []
    made = set()
    with tempfile.TemporaryDirectory(prefix="tervane-pictures.") as out:
        for example in docs_examples.all_examples():
            names = docs_examples.draw(args.preview, example, out)
            made.update(names)
            if sorted(names) != sorted(example.pictures):
                failures.append("%s: the preview draws %s, the guide shows %s" % (
                    example.where(), names, example.pictures))
            for name in names:
                committed = os.path.join(docs_examples.PICTURES, name)
                if not os.path.exists(committed):
                    failures.append("%s: docs/pictures/%s is missing (run scripts/docs)" % (
                        example.where(), name))
                elif not filecmp.cmp(committed, os.path.join(out, name), shallow=False):
                    failures.append("%s: docs/pictures/%s differs from what the example renders"
                                    " (run scripts/docs)" % (example.where(), name))
    if os.path.isdir(docs_examples.PICTURES):
        for name in sorted(os.listdir(docs_examples.PICTURES)):
            if name not in made:
                failures.append("docs/pictures/%s: no example makes it" % name)
    return failures


# ---- messages -------------------------------------------------------------------------

SOURCE_DIRS = ["client", "service", "service_frame", "transport", "platform", "packaging"]
LITERALS = r'((?:"(?:[^"\\]|\\.)*"\s*)+)'
# Calls whose string argument reaches a log, the event log, a message box or the console.
CALLS = [
    r'\.Write\(\s*' + LITERALS,                       # service log lines
    r'->Write\(\s*' + LITERALS,
    r'WriteAround\(\s*' + LITERALS,                   # the accept line
    r'LogEvent\(\s*' + LITERALS,                      # event log
    r'ShowMessageBox\(\s*' + LITERALS,                # the client's message boxes
    r'CSocketException\(\s*' + LITERALS,              # socket texts: message box and log
    r'printf\(\s*' + LITERALS,                        # console output of the commands
    r'fputs\(\s*' + LITERALS + r',\s*std(?:out|err)',
    r'fprintf\(\s*stderr\s*,\s*' + LITERALS,
    r'Outcome\([^"]*' + LITERALS + r',\s*' + LITERALS,
    r'log->Line\(\s*' + LITERALS,                     # the argument log
    # Texts formatted into a buffer that a log, message box or errorText then carries.
    r'snprintf\(\s*(?:line|refused|message|errorText)\s*,[^,]*,\s*' + LITERALS,
    r'snprintf\(\s*errorText\s*,[^,]*,\s*"%s"\s*,\s*' + LITERALS,
]
# LogError(function, code) writes "function failed w/err 0x%08lx" to the event log.
LOG_ERROR = re.compile(r'LogError\(\s*' + LITERALS)
# The spooler steps: each failing step writes "step Error [code]:: text".
SPOOLER_STEP = re.compile(r'(?:failed\(|LogSpoolerError\([^;"]*)\s*' + LITERALS + r'\)')
# Event-log entries named in the frame's control paths: {..., "function", "failure text"}.
CONTROL_PATH = re.compile(r'ControlPath path = \{[^;]*?' + LITERALS + r',\s*' + LITERALS + r'\};')
# Formats that frame other texts, and literals that are not messages; each with its reason.
EXEMPT = {
    "\n%d-%d-%d %d:%d:%d - %s": "the time stamp put before every service log line",
    "%s: %s\n": "how a message box appears on standard error on Linux (caption: text)",
    "<%d>%s %s[%d]: %s": "the syslog frame around quorvel's event-log entries on Linux",
    "%s": "a text copied unchanged (the port's errorText into the message box)",
    ".": "a progress dot of quorvel -remove, after \"Stopping quorvel.\"",
    "_barcodeOUT.log": "a file name, not a line",
    "_barcodeUNDELIVERED.log": "a file name, not a line",
    "Koldane": "a service's name: its event-log source",
    "quorvel": "a service's name: its event-log source",
}


def unescape(literals):
    parts = re.findall(r'"((?:[^"\\]|\\.)*)"', literals)
    text = "".join(parts)
    return re.sub(r'\\(.)', lambda m: {"n": "\n", "r": "\r", "t": "\t"}.get(m.group(1), m.group(1)),
                  text)


def source_messages():
    """{message: "file:line"} of every text the programs can write."""
    found = {}
    for folder in SOURCE_DIRS:
        for dirpath, _, files in os.walk(os.path.join(ROOT, folder)):
            for name in sorted(files):
                if not name.endswith(".cpp"):
                    continue
                path = os.path.join(dirpath, name)
                text = open(path, encoding="utf-8").read()
                where = lambda pos: "%s:%d" % (os.path.relpath(path, ROOT), text.count("\n", 0, pos) + 1)
                texts = []
                for call in CALLS:
                    for m in re.finditer(call, text):
                        for group in m.groups():
                            texts.append((unescape(group), m.start()))
                for m in CONTROL_PATH.finditer(text):
                    texts.append((unescape(m.group(1)) + " failed w/err 0x%08lx", m.start()))
                    texts.append((unescape(m.group(2)), m.start()))
                for m in LOG_ERROR.finditer(text):
                    texts.append((unescape(m.group(1)) + " failed w/err 0x%08lx", m.start()))
                for m in SPOOLER_STEP.finditer(text):
                    texts.append((unescape(m.group(1)) + " Error [%d]:: %s\n", m.start()))
                if name == "generation_policy.cpp":
                    # The policy's lines are the literals of its tables (not the #include).
                    for m in re.finditer(LITERALS, text[text.index("namespace {"):]):
                        texts.append((unescape(m.group(1)), m.start() + text.index("namespace {")))
                for message, pos in texts:
                    found.setdefault(message, where(pos))
    return found


def normal(text):
    return " ".join(text.split())


def message_pattern(message):
    """A printf format as a pattern: each conversion stands for some text."""
    pieces = re.split(r'%[-+ #0]*\d*(?:\.\d+)?(?:l|ll|h|z)?[sdiuxXc]', normal(message))
    return re.compile(".+".join(re.escape(p) for p in pieces) + r"\Z", re.S)


def table_messages(path):
    """The texts the first cells of the message table show: each cell whole (its code
    spans joined, for a message of several lines) and each of its code spans (for a
    message that its program writes in pieces)."""
    text = open(path, encoding="utf-8").read()
    start = text.index("## Every log and message line")
    end = text.find("\n## ", start + 1)
    cells = []
    for line in text[start:end if end > 0 else None].split("\n"):
        if line.startswith("|") and not re.match(r"^\|[-| :]+\|$", line):
            first = re.split(r"(?<!\\)\|", line)[1]   # a pipe inside a cell is written \|
            spans = [span.replace("\\|", "|") for span in re.findall(r"`([^`]*)`", first)]
            if spans:
                cells.append(normal(" ".join(spans)))
                cells.extend(normal(span) for span in spans if len(spans) > 1)
    return cells


def check_messages(args):
    guide = os.path.join(ROOT, "docs", "administering.md")
    cells = table_messages(guide)
    failures = []
    for message, where in sorted(source_messages().items()):
        if message in EXEMPT or not normal(message):
            continue
        pattern = message_pattern(message)
        if not any(pattern.match(cell) for cell in cells):
            failures.append("%s: %r has no row in the table of docs/administering.md" % (where, message))
    return failures


# ---- links ----------------------------------------------------------------------------

def anchors(path):
    """GitHub's anchors of the headings of a Markdown file."""
    result = set()
    seen = {}
    inside_fence = False
    for line in open(path, encoding="utf-8"):
        if line.startswith("```"):
            inside_fence = not inside_fence
        if inside_fence:
            continue
        m = re.match(r"^#{1,6} (.*)$", line.rstrip("\n"))
        if m:
            slug = re.sub(r"[^\w\- ]", "", m.group(1).strip().lower().replace("`", "")).replace(" ", "-")
            n = seen.get(slug, 0)
            seen[slug] = n + 1
            result.add(slug if n == 0 else "%s-%d" % (slug, n))
    return result


def prose(path):
    """The text of a Markdown file without its code blocks, fenced or indented by four
    blanks (they hold no links)."""
    kept = []
    inside_fence = False
    for line in open(path, encoding="utf-8"):
        if line.startswith("```"):
            inside_fence = not inside_fence
        elif not inside_fence and not line.startswith("    "):
            kept.append(line)
    return "".join(kept)


def check_links(args):
    failures = []
    files = [os.path.join(ROOT, "README.md")]
    docs = os.path.join(ROOT, "docs")
    files += [os.path.join(docs, n) for n in sorted(os.listdir(docs)) if n.endswith(".md")]
    for path in files:
        text = re.sub(r"`[^`\n]*`", "", prose(path))
        for m in re.finditer(r"\]\(([^)\s]+)\)", text):
            target = m.group(1)
            if re.match(r"^[a-z]+:", target):
                continue  # http:, https:, mailto:
            file_part, _, anchor = target.partition("#")
            resolved = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) if file_part else path
            label = "%s: link %s" % (os.path.relpath(path, ROOT), target)
            if not os.path.exists(resolved):
                failures.append(label + " leads nowhere")
            elif anchor and resolved.endswith(".md") and anchor not in anchors(resolved):
                failures.append(label + ": no such heading")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("check", choices=["examples", "pictures", "messages", "links"])
    parser.add_argument("--tervane", help="the tervane program")
    parser.add_argument("--tervane-b", help="the tervane-b program")
    parser.add_argument("--preview", help="the tervane-preview program")
    args = parser.parse_args()
    failures = globals()["check_" + args.check](args)
    for failure in failures:
        print("FAIL " + failure)
    print("%s: %s" % (args.check, "%d failures" % len(failures) if failures else "all good"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
