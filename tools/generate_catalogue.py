#!/usr/bin/env python3
"""Turns the translations (po/<tag>.po, English msgids, po/elvara.pot the template) into
the tables that the two programs read, one per program: no gettext at run time.

  generate_catalogue.py PO_DIR OUTPUT_DIR     writes setup_catalogue.inc, uninstaller_catalogue.inc
  generate_catalogue.py --check PO_DIR        checks only

Every language must translate every entry of the template, none fuzzy or empty, with the
template's numbered placeholders ({1}, {2}, ...) and as many plural forms as its header's
Plural-Forms says. An entry's "#." comment says which program shows it: "Shown by the
uninstaller." (the uninstaller only), "Shown by Setup and the uninstaller." (both);
otherwise Setup only. The uninstaller carries none of Setup's own texts.
"""
import os
import re
import sys

PLACEHOLDER = re.compile(r"\{(\d+)\}")
UNINSTALLER_ONLY = "Shown by the uninstaller."
BOTH = "Shown by Setup and the uninstaller."


class Entry:
    def __init__(self):
        self.comments = []
        self.flags = set()
        self.msgid = None
        self.msgid_plural = None
        self.msgstr = {}


def unquote(text):
    body = text.strip()
    if not (body.startswith('"') and body.endswith('"')):
        raise ValueError("not a quoted string: " + text)
    body = body[1:-1]
    out = []
    i = 0
    escapes = {"n": "\n", "t": "\t", '"': '"', "\\": "\\"}
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            out.append(escapes.get(body[i + 1], body[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def read_po(path):
    entries = []
    current = Entry()
    field = None
    with open(path, encoding="utf-8") as source:
        for number, line in enumerate(source, 1):
            line = line.rstrip("\n")
            try:
                if not line.strip():
                    if current.msgid is not None:
                        entries.append(current)
                    current, field = Entry(), None
                elif line.startswith("#."):
                    current.comments.append(line[2:].strip())
                elif line.startswith("#,"):
                    current.flags.update(flag.strip() for flag in line[2:].split(","))
                elif line.startswith("#"):
                    pass
                elif line.startswith("msgid_plural "):
                    current.msgid_plural, field = unquote(line[13:]), ("plural",)
                elif line.startswith("msgid "):
                    if current.msgid is not None:
                        entries.append(current)
                        current = Entry()
                    current.msgid, field = unquote(line[6:]), ("id",)
                elif line.startswith("msgstr["):
                    index = int(line[7:line.index("]")])
                    current.msgstr[index] = unquote(line[line.index("]") + 1:])
                    field = ("str", index)
                elif line.startswith("msgstr "):
                    current.msgstr[0], field = unquote(line[7:]), ("str", 0)
                elif line.startswith('"') and field:
                    more = unquote(line)
                    if field[0] == "id":
                        current.msgid += more
                    elif field[0] == "plural":
                        current.msgid_plural += more
                    else:
                        current.msgstr[field[1]] += more
                else:
                    raise ValueError("unexpected line")
            except ValueError as problem:
                sys.exit(f"{path}:{number}: {problem}")
    if current.msgid is not None:
        entries.append(current)
    return entries


def header_field(entries, name):
    for entry in entries:
        if entry.msgid == "":
            for line in entry.msgstr.get(0, "").split("\n"):
                if line.startswith(name + ":"):
                    return line[len(name) + 1:].strip()
    return None


def plural_rule(header):
    match = re.fullmatch(r"nplurals\s*=\s*(\d+)\s*;\s*plural\s*=\s*(.+?);?", header or "")
    if not match:
        return None
    expression = match.group(2).strip()
    if not re.fullmatch(r"[n0-9%<>=!&|?:() ]+", expression):
        return None
    return int(match.group(1)), expression


def placeholders(text):
    return sorted(set(PLACEHOLDER.findall(text)))


def check(po_dir):
    """The template and every translation, read and checked; a list of problems."""
    problems = []
    template = [e for e in read_po(os.path.join(po_dir, "elvara.pot")) if e.msgid]
    ids = [e.msgid for e in template]
    if len(set(ids)) != len(ids):
        problems.append("elvara.pot: an entry is listed twice")
    languages = {}
    for name in sorted(os.listdir(po_dir)):
        if not name.endswith(".po"):
            continue
        tag = name[:-3]
        path = os.path.join(po_dir, name)
        entries = read_po(path)
        rule = plural_rule(header_field(entries, "Plural-Forms"))
        if rule is None:
            problems.append(f"{name}: no usable Plural-Forms header")
            continue
        by_id = {e.msgid: e for e in entries if e.msgid}
        for extra in sorted(set(by_id) - set(ids)):
            problems.append(f"{name}: not in the template: {extra!r}")
        for entry in template:
            translated = by_id.get(entry.msgid)
            if translated is None:
                problems.append(f"{name}: missing: {entry.msgid!r}")
                continue
            if "fuzzy" in translated.flags:
                problems.append(f"{name}: fuzzy: {entry.msgid!r}")
            if (translated.msgid_plural or None) != (entry.msgid_plural or None):
                problems.append(f"{name}: plural form differs from the template: {entry.msgid!r}")
            forms = rule[0] if entry.msgid_plural else 1
            for index in range(forms):
                text = translated.msgstr.get(index, "")
                if not text:
                    problems.append(f"{name}: untranslated (form {index}): {entry.msgid!r}")
                elif placeholders(text) != placeholders(entry.msgid):
                    problems.append(f"{name}: placeholders differ in form {index}: {entry.msgid!r}")
        languages[tag] = (rule, by_id)
    return template, languages, problems


def wide(text):
    out = []
    for c in text:
        if c == "\\":
            out.append("\\\\")
        elif c == '"':
            out.append('\\"')
        elif c == "\n":
            out.append("\\n")
        elif 0x20 <= ord(c) < 0x7F:
            out.append(c)
        else:
            out.append("\\x%04X" % ord(c) + '" L"')  # a hexadecimal escape ends with its literal
    return 'L"' + "".join(out) + '"'


def shown_by(entry):
    comments = " ".join(entry.comments)
    if UNINSTALLER_ONLY in comments:
        return {"uninstaller"}
    if BOTH in comments:
        return {"setup", "uninstaller"}
    return {"setup"}


def write_table(path, program, template, languages):
    chosen = [e for e in template if program in shown_by(e)]
    lines = [f"// Generated from po/*.po by tools/generate_catalogue.py: the texts that {program} shows.",
             "namespace {", "", "const elvara::CatalogueText catalogueTexts[] = {"]
    for entry in chosen:
        plural = wide(entry.msgid_plural) if entry.msgid_plural else "nullptr"
        lines.append(f"    {{{wide(entry.msgid)}, {plural}}},")
    lines.append("};")
    names = []
    for tag, ((count, expression), by_id) in sorted(languages.items()):
        name = re.sub(r"[^A-Za-z0-9]", "_", tag)
        names.append((tag, name))
        lines.append("")
        lines.append(f"unsigned long pluralOf_{name}([[maybe_unused]] unsigned long n) {{ return static_cast<unsigned long>({expression}); }}")
        lines.append(f"const wchar_t* const formsOf_{name}[][elvara::maximumPluralForms] = {{")
        for entry in chosen:
            translated = by_id[entry.msgid]
            forms = count if entry.msgid_plural else 1
            texts = ", ".join(wide(translated.msgstr[i]) for i in range(forms))
            lines.append(f"    {{{texts}}},")
        lines.append("};")
    lines.append("")
    lines.append("const elvara::CatalogueLanguage catalogueLanguages[] = {")
    for tag, name in names:
        lines.append(f"    {{{wide(tag)}, pluralOf_{name}, formsOf_{name}}},")
    lines.append("};")
    lines.append("")
    lines.append("} // namespace")
    text = "\n".join(lines) + "\n"
    if os.path.exists(path):
        with open(path, encoding="utf-8") as existing:
            if existing.read() == text:
                return
    with open(path, "w", encoding="utf-8") as output:
        output.write(text)


def main(arguments):
    if len(arguments) == 2 and arguments[0] == "--check":
        template, languages, problems = check(arguments[1])
    elif len(arguments) == 2:
        template, languages, problems = check(arguments[0])
    else:
        sys.exit(__doc__)
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        return 1
    if arguments[0] == "--check":
        print(f"{len(template)} texts, {len(languages)} translations, each complete")
        return 0
    os.makedirs(arguments[1], exist_ok=True)
    for program in ("setup", "uninstaller"):
        write_table(os.path.join(arguments[1], f"{program}_catalogue.inc"), program, template, languages)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
