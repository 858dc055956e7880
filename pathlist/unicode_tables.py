#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""usage: pathlist/unicode_tables.py [UCD-FOLDER [CONFUSABLES]] > pathlist/unicode_tables.h
       pathlist/unicode_tables.py --check TABLES [UCD-FOLDER]

Writes the tables by which pathlist decides which characters beyond ASCII
reach a terminal as they are, from the Unicode Character Database in
UCD-FOLDER (default /usr/share/unicode, Debian's unicode-data) and
Unicode's confusables in CONFUSABLES (default the confusables.json of
Debian's python3-confusable-homoglyphs):

- shown: assigned (UnicodeData.txt), and neither a control, a format
  character, a surrogate, a line or paragraph separator (general categories
  Cc, Cf, Cs, Zl, Zp), default-ignorable (Default_Ignorable_Code_Point in
  DerivedCoreProperties.txt), which covers the marks that change the
  direction of text, nor like a slash; unassigned code points and
  noncharacters are never listed;
- like a slash, and so not shown: what the confusables take for U+002F,
  what normalises to it (a compatibility decomposition of U+002F alone),
  and every character the database names a SOLIDUS but a REVERSE SOLIDUS
  (the overlays U+0337, U+0338 and U+20EB among them), but for the
  ideographs and Katakana (PropList.txt's Ideographic, Scripts.txt's
  Katakana), which names need;
- blank: the space separators (Zs) and BRAILLE PATTERN BLANK, which draw
  nothing;
- mark: the combining marks (Mn, Mc, Me), drawn on the character before
  them, which must be there to show them: a terminal drops one at the
  start of a line, and one on a blank draws over nothing;
- joiner: ZERO WIDTH JOINER and ZERO WIDTH NON-JOINER;
- variation selector: VARIATION SELECTOR-1 to -256.

Each is a sorted list of inclusive ranges, for a binary search.

With --check, reads the shown table of TABLES, made from any version of
the database, and checks what holds across versions: every code point it
shows that the database in UCD-FOLDER has assigned is there too neither a
control, a format character, a surrogate, a line or paragraph separator
nor default-ignorable."""
import json
import os
import re
import sys
import textwrap

CONFUSABLES = "/usr/lib/python3/dist-packages/confusable_homoglyphs/confusables.json"


def assigned(folder):
    """(code point, name, general category, decomposition) of every assigned character."""
    first = None
    with open(os.path.join(folder, "UnicodeData.txt"), encoding="utf-8") as data:
        for line in data:
            fields = line.split(";")
            code, name, category, decomposition = int(fields[0], 16), fields[1], fields[2], fields[5]
            if name.endswith(", First>"):
                first = code
                continue
            for each in range(first if name.endswith(", Last>") else code, code + 1):
                yield each, name, category, decomposition
            first = None


def case_mappings(folder):
    """Each character's simple upper, lower and title case mappings, where it has any."""
    mappings = {}
    with open(os.path.join(folder, "UnicodeData.txt"), encoding="utf-8") as data:
        for line in data:
            fields = line.rstrip("\n").split(";")
            mapped = {int(field, 16) for field in fields[12:15] if field}
            if mapped:
                mappings[int(fields[0], 16)] = mapped
    return mappings


def scripts(folder):
    """Each character's Script_Extensions, as short names: its Script where it has none."""
    aliases = {}
    with open(os.path.join(folder, "PropertyValueAliases.txt"), encoding="utf-8") as data:
        for line in data:
            fields = [field.strip() for field in line.split("#")[0].split(";")]
            if len(fields) >= 3 and fields[0] == "sc":
                aliases[fields[2]] = fields[1]
    result = {}
    for name, convert in (("Scripts.txt", lambda value: {aliases[value]}),
                          ("ScriptExtensions.txt", lambda value: set(value.split()))):
        with open(os.path.join(folder, name), encoding="utf-8") as data:
            for line in data:
                fields = line.split("#")[0].split(";")
                if len(fields) != 2:
                    continue
                low, _, high = fields[0].strip().partition("..")
                for code in range(int(low, 16), int(high or low, 16) + 1):
                    result[code] = convert(fields[1].strip())
    return result


def property_list(path, wanted):
    """The version of the file and the code points whose property is wanted."""
    version, points = None, set()
    with open(path, encoding="utf-8") as data:
        for line in data:
            if version is None:
                version = re.match(r"# \w+-([0-9.]+)\.txt", line).group(1)
            fields = line.split("#")[0].split(";")
            if len(fields) == 2 and fields[1].strip() == wanted:
                low, _, high = fields[0].strip().partition("..")
                points.update(range(int(low, 16), int(high or low, 16) + 1))
    return version, points


def decomposed(code, decompositions):
    """The full compatibility decomposition of code, as a tuple of code points."""
    mapping = decompositions.get(code)
    if mapping is None:
        return (code,)
    parts = [int(part, 16) for part in mapping.split() if not part.startswith("<")]
    return tuple(point for part in parts for point in decomposed(part, decompositions))


def confusable(target, confusables):
    """The single characters Unicode's confusables take for target, direction marks
    around them left out."""
    with open(confusables, encoding="utf-8") as data:
        entries = json.load(data)[target]
    return {ord(entry["c"].strip("\u200e\u200f")) for entry in entries
            if len(entry["c"].strip("\u200e\u200f")) == 1}


def closed(points, characters, cases):
    """points with every character equivalent to one of them by Unicode's own
    equivalences: the same compatibility decomposition (so the same NFKC), or a
    case mapping that is one of them; until no more are found."""
    decompositions = {code: mapping for code, _, _, mapping in characters if mapping}
    form = {code: decomposed(code, decompositions) for code, _, _, _ in characters}
    points = set(points)
    while True:
        forms = {form.get(point, (point,)) for point in points}
        more = {code for code in form if code not in points and
                (form[code] in forms or cases.get(code, set()) & points)}
        if not more:
            return points
        points |= more


def slash_like(characters, confusables, cases):
    """What looks like U+002F: its confusables, what normalises to it, every
    SOLIDUS the database names but a REVERSE one, and all equivalent to these."""
    points = confusable("/", confusables)
    decompositions = {code: mapping for code, _, _, mapping in characters if mapping}
    points.update(code for code in decompositions if decomposed(code, decompositions) == (0x2F,))
    points.update(code for code, name, _, _ in characters
                  if "SOLIDUS" in name and "REVERSE SOLIDUS" not in name)
    return closed(points, characters, cases) - {0x2F}


def dot_like(characters, confusables, cases):
    """What looks like U+002E: its confusables, what normalises to dots alone
    (U+2025 to two), and all equivalent to these."""
    points = confusable(".", confusables)
    decompositions = {code: mapping for code, _, _, mapping in characters if mapping}
    points.update(code for code in decompositions
                  if set(decomposed(code, decompositions)) == {0x2E})
    return closed(points, characters, cases) - {0x2E}


def ranges(points):
    """Sorted inclusive ranges that hold exactly points."""
    result = []
    for point in sorted(points):
        if result and result[-1][1] == point - 1:
            result[-1][1] = point
        else:
            result.append([point, point])
    return result


def table(name, points, comment):
    rows = ranges(points)
    lines = [f"// {comment}", f"static constexpr code_range {name}[] = {{"]
    line = "\t"
    for low, high in rows:
        item = f"{{0x{low:x}, 0x{high:x}}}, "
        if len(line.expandtabs(8)) + len(item) > 100:
            lines.append(line.rstrip())
            line = "\t"
        line += item
    lines.append(line.rstrip())
    lines.append("};")
    return "\n".join(lines), len(rows)


def check(tables, folder):
    """Exits 1, naming them, when a character shown by tables is hidden in folder's database."""
    with open(tables, encoding="utf-8") as header:
        text = header.read()
    made = re.search(r'unicode_version\[\] = "([0-9.]+)"', text).group(1)
    body = text[text.index("code_range shown[]"):]
    body = body[:body.index("};")]
    shown = [(int(low, 16), int(high, 16))
             for low, high in re.findall(r"\{0x([0-9a-f]+), 0x([0-9a-f]+)\}", body)]
    version, ignorable = property_list(os.path.join(folder, "DerivedCoreProperties.txt"),
                                       "Default_Ignorable_Code_Point")
    category = {code: kind for code, _, kind, _ in assigned(folder)}
    checked, hidden = 0, []
    for low, high in shown:
        for code in range(low, high + 1):
            if code not in category:
                continue
            checked += 1
            if category[code] in ("Cc", "Cf", "Cs", "Zl", "Zp") or code in ignorable:
                hidden.append(f"U+{code:04X} ({category[code]})")
    if hidden:
        sys.exit(f"shown by the tables (Unicode {made}), hidden in Unicode {version}: "
                 + ", ".join(hidden))
    print(f"the {checked} characters the tables (Unicode {made}) show that Unicode {version} "
          "has assigned are visible there too")


def main():
    if len(sys.argv) > 2 and sys.argv[1] == "--check":
        check(sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else "/usr/share/unicode")
        return
    folder = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/unicode"
    confusables = sys.argv[2] if len(sys.argv) > 2 else CONFUSABLES
    version, ignorable = property_list(os.path.join(folder, "DerivedCoreProperties.txt"),
                                       "Default_Ignorable_Code_Point")
    _, ideographic = property_list(os.path.join(folder, "PropList.txt"), "Ideographic")
    _, vowels = property_list(os.path.join(folder, "HangulSyllableType.txt"), "V")
    _, finals = property_list(os.path.join(folder, "HangulSyllableType.txt"), "T")
    script = scripts(folder)
    cases = case_mappings(folder)
    characters = [c for c in assigned(folder) if c[0] >= 0x80]
    everything = list(assigned(folder))
    slashes = slash_like(everything, confusables, cases)
    dots = dot_like(everything, confusables, cases)
    # Japanese, as UTS #39 takes it: Han, Hiragana and Katakana as one.
    japanese = {code for code, names in script.items() if names & {"Hani", "Hira", "Kana"}}
    katakana = {code for code, names in script.items() if names == {"Kana"}}
    own = slashes & (ideographic | katakana)
    shown, blank, mark, joiner, selector = set(), set(), set(), set(), set()
    for code, name, category, _ in characters:
        if category not in ("Cc", "Cf", "Cs", "Zl", "Zp") and code not in ignorable | (slashes - own):
            shown.add(code)
        if category == "Zs" or name == "BRAILLE PATTERN BLANK":
            blank.add(code)
        if category in ("Mn", "Mc", "Me") or code in vowels | finals:
            mark.add(code)
        if name in ("ZERO WIDTH JOINER", "ZERO WIDTH NON-JOINER"):
            joiner.add(code)
        if re.fullmatch(r"VARIATION SELECTOR-[0-9]+", name):
            selector.add(code)
    tables = [
        table("shown", shown, "Characters beyond ASCII that a terminal shows as they are."),
        table("blank", blank, "Characters that draw nothing: a path may not end in one."),
        table("mark", mark, "Take no cell of their own or are drawn on the character before: shown only on one that is shown, not a blank."),
        table("joiner", joiner, "Shown between two shown characters beyond ASCII, not blanks."),
        table("variation_selector", selector, "Shown right after a shown character beyond ASCII, not a blank."),
        table("slash_among_own", own, "Like a slash, but letters names need: shown only next to Japanese or an end of a name."),
        table("japanese", japanese, "Han, Hiragana and Katakana, by Script_Extensions."),
        table("dot_like", dots, "Like a dot: a name of these and dots alone is quoted, lest it read as . or .."),
    ]
    counts = ", ".join(f"{n} {c}" for (_, c), n in
                       zip(tables, ("shown", "blank", "mark", "joiner", "variation",
                                    "slash_among_own", "japanese", "dot_like")))
    about = textwrap.fill(
        f"Sorted inclusive ranges of code points, in each table: {counts}. Not shown, as "
        f"like a slash: {' '.join(f'U+{c:04X}' for c in sorted(slashes - own))}. "
        f"Like a slash, shown only next to Japanese: "
        f"{' '.join(f'U+{c:04X}' for c in sorted(own))}. "
        f"Like a dot: {' '.join(f'U+{c:04X}' for c in sorted(dots))}.",
        width=80, initial_indent="// ", subsequent_indent="// ")
    print(f"""// SPDX-License-Identifier: MIT
// Generated by unicode_tables.py from the Unicode Character Database
// {version} and Unicode's confusables; do not edit. To regenerate, with
// Debian's unicode-data and python3-confusable-homoglyphs:
//   pathlist/unicode_tables.py /usr/share/unicode >pathlist/unicode_tables.h
{about}

// clang-format off
static constexpr char unicode_version[] = "{version}";
""")
    print("\n\n".join(text for text, _ in tables))
    print("// clang-format on")


if __name__ == "__main__":
    main()
