#!/usr/bin/env python3
"""Every text that the programs build for a person to read is in the catalogue's
template (po/elvara.pot): a sentence added to the code without an entry fails here, as
it would stay English in every language. Texts that only the log, standard output or
standard error carry (deployment tools parse them, so they stay English) are passed
over, as are switches and single words (names of values, files, functions), which the pseudo-language
test of the pages covers where they are shown.

  catalogue_texts.py SOURCE_DIR
"""
import os
import re
import sys

# The sources that build shown texts: the pages, the result and failure texts that reach
# the Finished page, the uninstaller's boxes.
SOURCES = ["ui", "uninstaller", "install", "package/package_reader.cpp", "package/setup_package.cpp",
           "package/crypto.cpp", "base/executable_path.cpp", "base/report_channel.cpp", "app/help_mode.cpp"]
# Statements whose texts go to the log or the standard streams only.
ENGLISH_ONLY = re.compile(r"event_log::|writeFailure|writeStandard|OutputDebugString|std::fputs|fprintf|LogLine")
# Texts that are not sentences for a person: system names, formats, identifiers.
NOT_SHOWN = [
    "LIVEWIRE EDITION / WINDOWS",  # the product's edition, a proper name
    "(unprintable path)", "(unreadable)", "unknown error",
    "ElvaraSound installation record 1", "ElvaraSound run",  # file formats
    "left alone (a link or not ours):", "could not be removed (Win32 error",  # the recovery's log lines
]
LITERAL = re.compile(r'(?:L|u8)?"((?:[^"\\\n]|\\.)*)"')


def template_ids(source_dir):
    sys.path.insert(0, os.path.join(source_dir, "tools"))
    from generate_catalogue import read_po
    return [entry.msgid for entry in read_po(os.path.join(source_dir, "po", "elvara.pot")) if entry.msgid]


def unescape(text):
    text = re.sub(r"\\u([0-9A-Fa-f]{4})", lambda m: chr(int(m.group(1), 16)), text)
    return text.replace('\\"', '"').replace("\\n", "\n").replace("\\\\", "\\")


def statements(code):
    """The code without comments, cut into statements (at ; { and } outside literals)."""
    code = re.sub(r"//[^\n]*", "", code)
    code = re.sub(r"/\*.*?\*/", "", code, flags=re.S)
    code = "\n".join(line for line in code.split("\n") if not line.lstrip().startswith("#"))
    parts, current, at = [], [], 0
    while at < len(code):
        match = LITERAL.match(code, at) if code[at] in 'Lu"' else None
        if match and (code[at] == '"' or match.group(0)[0] in "Lu"):
            current.append(match.group(0))
            at = match.end()
            continue
        if code[at] in ";{}":
            parts.append("".join(current))
            current = []
        else:
            current.append(code[at])
        at += 1
    parts.append("".join(current))
    return parts


def files(source_dir):
    for source in SOURCES:
        path = os.path.join(source_dir, source)
        if os.path.isfile(path):
            yield path
            continue
        for name in sorted(os.listdir(path)):
            if name.endswith((".cpp", ".h")):
                yield os.path.join(path, name)


def main(source_dir):
    ids = template_ids(source_dir)
    pattern_pieces = [re.split(r"\{\d+\}", msgid) for msgid in ids]
    missing = []
    checked = 0
    for path in files(source_dir):
        with open(path, encoding="utf-8") as source:
            code = source.read()
        for statement in statements(code):
            if ENGLISH_ONLY.search(statement):
                continue
            for match in LITERAL.finditer(statement):
                text = unescape(match.group(1)).strip()
                # Switches are typed as they are, in every language.
                if " " not in text or not re.search(r"[A-Za-z]{2}", text) or text in NOT_SHOWN or text[0] in "-/":
                    continue
                checked += 1
                if not any(text in piece for pieces in pattern_pieces for piece in pieces) and \
                        not any(text in msgid for msgid in ids):
                    missing.append(f"{os.path.relpath(path, source_dir)}: {text!r}")
    for line in missing:
        print("not in po/elvara.pot: " + line, file=sys.stderr)
    print(f"{checked} shown texts checked, {len(missing)} not in the catalogue")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
