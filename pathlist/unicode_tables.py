#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""usage: pathlist/unicode_tables.py [DATA] > pathlist/unicode_tables.h
       pathlist/unicode_tables.py --refresh UCD DATA

Writes the one table by which pathlist decides, character by character, what
may reach a terminal as it is, from the Unicode data in DATA (default
pathlist/unicode beside this script): every code point gets one kind and a
few flags, and every letter and mark the scripts it is written in.

The kinds (checked to cover every code point once):
- never: what a terminal draws as nothing, acts on, or takes for something
  else: unassigned code points and noncharacters, controls, format
  characters, surrogates, line and paragraph separators, what is
  default-ignorable (DerivedCoreProperties.txt) but the joiners and the
  selectors below; what looks like a slash (what UTS #39 skeletons as /,
  what normalises to it, every character named a SOLIDUS but a reverse one,
  and what NFKC or a case mapping makes the same as any of these, the CJK
  Strokes block) but Katakana NO; punctuation and symbols beyond ASCII that
  UTS #39 skeletons as a dot; U+FFFC, which stands for an object that is not
  there; a mark of no script of its own (Common or Inherited) that UTS #39
  does not recommend for identifiers; variation selectors that no sequence
  of Unicode's uses, the ideographic ones among them;
- blank: the space separators (Zs) and BRAILLE PATTERN BLANK, which draw
  nothing;
- base: every other character that takes a cell;
- mark: the combining marks (Mn, Mc, Me), drawn on the character before;
- cellless: Hangul's vowel and final jamo, letters drawn on the one before;
- selector: a variation selector that StandardizedVariants.txt or
  emoji-variation-sequences.txt uses; the pairs they define, on a character
  beyond ASCII, are listed apart;
- zwj, zwnj: ZERO WIDTH JOINER and NON-JOINER;
- slash: U+002F.

The flags:
- letter: general category L;
- dot: the UTS #39 skeleton is dots alone (U+2024, U+0660, U+FF0E);
- sign: punctuation or a symbol beyond ASCII that is no emoji (emoji-data.txt);
- virama: canonical combining class 9, after which a joiner may stand;
- joins_on, joined_to, transparent: Joining_Type L or D, R or D, and T
  (ArabicShaping.txt, T by default for Mn, Me and Cf), for RFC 5892's
  CONTEXTJ rule of the non-joiner;
- before_zwj, after_zwj: right before, or right after, a joiner in one of
  the emoji ZWJ sequences (emoji-zwj-sequences.txt);
- japanese: of Han, Hiragana or Katakana by Script_Extensions;
- among_japanese: the slash look-alike that Japanese needs, a Katakana
  letter of its own (no compatibility form): U+30CE.

The scripts of a character are its Script_Extensions, for a letter or a
base with those of UTS #39's augmented sets (Jpan, Hanb, Kore); a letter of
Common or Inherited script, and a mark UTS #39 recommends of those, have
all scripts.

With --refresh (Debian's unicode-data in UCD, python3-icu), writes DATA
anew: the files of UCD read here, those too large trimmed to what is read,
and security.txt, what ICU's spoof checker holds of UTS #39: the characters
it recommends for identifiers, and those whose skeleton is dots or a slash."""
import collections
import os
import re
import shutil
import sys
import textwrap

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "unicode")
FILES = ["UnicodeData.txt", "DerivedCoreProperties.txt", "PropertyValueAliases.txt",
         "Scripts.txt", "ScriptExtensions.txt", "Blocks.txt", "ArabicShaping.txt",
         "HangulSyllableType.txt",
         "StandardizedVariants.txt", "emoji/emoji-data.txt",
         "emoji/emoji-variation-sequences.txt", "emoji/emoji-zwj-sequences.txt"]
# Only these lines of the two largest files are read: a file's comments and
# these.
TRIMMED = {"DerivedCoreProperties.txt": "; Default_Ignorable_Code_Point",
           "PropertyValueAliases.txt": "sc ;"}
KINDS = ["never", "blank", "base", "mark", "cellless", "selector", "zwj", "zwnj", "slash"]
FLAGS = ["letter", "dot", "sign", "virama", "joins_on", "joined_to", "transparent",
         "before_zwj", "after_zwj", "japanese", "among_japanese"]
# UTS #39's augmented script sets, and Latin, first: their bits are the
# lowest, for the Highly Restrictive test.
AUGMENTED = {"Hani": {"Hanb", "Jpan", "Kore"}, "Hira": {"Jpan"}, "Kana": {"Jpan"},
             "Hang": {"Kore"}, "Bopo": {"Hanb"}}
FIRST_SCRIPTS = ["Jpan", "Hanb", "Kore", "Latn"]


def refresh(ucd, data):
    """DATA made anew from Debian's unicode-data in UCD and ICU's UTS #39 data."""
    import icu  # python3-icu; only here, so that making the header needs none

    os.makedirs(os.path.join(data, "emoji"), exist_ok=True)
    for name in FILES:
        source, target = os.path.join(ucd, name), os.path.join(data, name)
        if name not in TRIMMED:
            shutil.copyfile(source, target)
            continue
        with open(source, encoding="utf-8") as whole, \
                open(target, "w", encoding="utf-8") as part:
            part.writelines(line for line in whole
                            if line.startswith("#") or TRIMMED[name] in line)
    recommended = icu.SpoofChecker.getRecommendedUnicodeSet()
    checker = icu.SpoofChecker()
    with open(os.path.join(data, "security.txt"), "w", encoding="utf-8") as out:
        out.write(f"# security.txt: from ICU {icu.ICU_VERSION} (Unicode {icu.UNICODE_VERSION}),"
                  " by pathlist/unicode_tables.py --refresh\n"
                  "# UTS #39's data as ICU's spoof checker holds it: Recommended, the\n"
                  "# characters it recommends for identifiers (IdentifierStatus Allowed);\n"
                  "# Skeleton, the characters whose skeleton is dots or a slash alone.\n")
        points = [code for code in range(0x110000) if not 0xD800 <= code <= 0xDFFF]
        for low, high in ranges(c for c in points if recommended.contains(chr(c))):
            out.write(f"{low:04X}..{high:04X} ; Recommended\n")
        for code in points:
            skeleton = checker.getSkeleton(0, chr(code))
            if code > 0x7F and re.fullmatch(r"\.+|/", skeleton):
                out.write(f"{code:04X} ; Skeleton ; {skeleton}\n")


def fields_of(data, name):
    """The fields of each line of a data file, comments left out."""
    with open(os.path.join(data, name), encoding="utf-8") as lines:
        for line in lines:
            fields = [field.strip() for field in line.split("#")[0].split(";")]
            if fields[0]:
                yield fields


def points(field):
    """The code points of a field: one, or first..last."""
    low, _, high = field.partition("..")
    return range(int(low, 16), int(high or low, 16) + 1)


def unicode_data(data):
    """Of every assigned character: name, general category, combining class and
    decomposition; and the simple case mappings of those that have any."""
    chars, cases, first = {}, {}, None
    for fields in fields_of(data, "UnicodeData.txt"):
        code, name = int(fields[0], 16), fields[1]
        if name.endswith(", First>"):
            first = code
            continue
        for each in range(first if name.endswith(", Last>") else code, code + 1):
            chars[each] = (name, fields[2], int(fields[3]), fields[5])
        mapped = {int(field, 16) for field in fields[12:15] if field}
        if mapped:
            cases[code] = mapped
    return chars, cases


def property_of(data, name, wanted=None):
    """Each code point's value in a file of ranges; of one property, its set."""
    values = {}
    for fields in fields_of(data, name):
        if wanted is None or fields[1] == wanted:
            for code in points(fields[0]):
                values[code] = fields[2] if len(fields) > 2 and wanted else fields[1]
    return values


def scripts_of(data):
    """Each code point's Script_Extensions as short names, its Script where it has none."""
    short = {fields[2]: fields[1] for fields in fields_of(data, "PropertyValueAliases.txt")
             if fields[0] == "sc"}
    result = {code: {short[name]} for code, name in property_of(data, "Scripts.txt").items()}
    result.update((code, set(names.split()))
                  for code, names in property_of(data, "ScriptExtensions.txt").items())
    return result, sorted(set(short.values()))


def sequences(data, name):
    """The code point sequences a sequences file defines."""
    return [tuple(int(part, 16) for part in fields[0].split()) for fields in fields_of(data, name)]


def decomposed(code, chars):
    """The full compatibility decomposition of code."""
    mapping = chars.get(code, ("", "", 0, ""))[3]
    if not mapping:
        return (code,)
    return tuple(point for part in mapping.split() if not part.startswith("<")
                 for point in decomposed(int(part, 16), chars))


def equivalences(chars, cases):
    """Each character's compatibility decomposition (NFKC's), the characters of
    each decomposition, and those whose case mapping is each character."""
    form = {code: decomposed(code, chars) for code in chars}
    same_form, cased_to = collections.defaultdict(set), collections.defaultdict(set)
    for code in chars:
        same_form[form[code]].add(code)
        for target in cases.get(code, ()):
            cased_to[target].add(code)
    return form, same_form, cased_to


def closed(found, equivalent):
    """found with every character made the same as one of them by compatibility
    decomposition or a case mapping, until no more are found."""
    form, same_form, cased_to = equivalent
    found, new = set(found), list(found)
    while new:
        code = new.pop()
        for more in same_form[form.get(code, (code,))] | cased_to[code]:
            if more not in found:
                found.add(more)
                new.append(more)
    return found


def classify(data):
    """Each code point's (kind, flags, scripts), the defined variation
    sequences, and what was found, for the header's comments."""
    chars, cases = unicode_data(data)
    version = re.search(r"DerivedCoreProperties-([0-9.]+)\.txt",
                        open(os.path.join(data, "DerivedCoreProperties.txt"),
                             encoding="utf-8").readline()).group(1)
    ignorable = property_of(data, "DerivedCoreProperties.txt", "Default_Ignorable_Code_Point")
    script, all_scripts = scripts_of(data)
    strokes = {code for fields in fields_of(data, "Blocks.txt") if fields[1] == "CJK Strokes"
               for code in points(fields[0])}
    joining = {int(fields[0], 16): fields[2] for fields in fields_of(data, "ArabicShaping.txt")}
    emoji = property_of(data, "emoji/emoji-data.txt", "Emoji")
    jamo = property_of(data, "HangulSyllableType.txt")
    recommended = property_of(data, "security.txt", "Recommended")
    skeleton = {int(fields[0], 16): fields[2] for fields in fields_of(data, "security.txt")
                if fields[1] == "Skeleton"}
    variants = [s for s in sequences(data, "StandardizedVariants.txt")
                + sequences(data, "emoji/emoji-variation-sequences.txt")]
    selectors = {s[1] for s in variants}
    pairs = sorted({s for s in variants if s[0] > 0x7F})
    zwj = [s for s in sequences(data, "emoji/emoji-zwj-sequences.txt")]
    before_zwj = {s[i - 1] for s in zwj for i in range(len(s)) if s[i] == 0x200D}
    after_zwj = {s[i + 1] for s in zwj for i in range(len(s)) if s[i] == 0x200D}

    equivalent = equivalences(chars, cases)
    form = equivalent[0]
    named = {code for code, (name, _, _, _) in chars.items()
             if "SOLIDUS" in name and "REVERSE SOLIDUS" not in name}
    normal = {code for code in chars if form[code] == (0x2F,)}
    slashes = closed({c for c, s in skeleton.items() if s == "/"} | named | normal | strokes,
                     equivalent) & chars.keys() - {0x2F}
    one_dot = closed({c for c, s in skeleton.items() if s == "."}
                     | {code for code in chars if form[code] == (0x2E,)},
                     equivalent) & chars.keys() - {0x2E}
    dots = closed({c for c, s in skeleton.items() if re.fullmatch(r"\.+", s)}
                  | {code for code in chars if set(form[code]) == {0x2E}},
                  equivalent) & chars.keys() - {0x2E}
    own = {code for code in slashes if chars[code][1] == "Lo"
           and script.get(code) == {"Kana"} and not chars[code][3]}
    assert own == {0x30CE}, own

    bit = {name: n for n, name in enumerate(FIRST_SCRIPTS + [s for s in all_scripts
                                                            if s not in FIRST_SCRIPTS])}
    every = (1 << len(bit)) - 1
    sets = {every: 0}

    def index(names):
        mask = every if names is None else sum(1 << bit[name] for name in names)
        return sets.setdefault(mask, len(sets))

    def augmented(names):
        return names | {extra for name in names for extra in AUGMENTED.get(name, ())}

    result = []
    unassigned = ("never", frozenset(), 0)
    for code in range(0x110000):
        if code not in chars:
            result.append(unassigned)
            continue
        name, category, combining, _ = chars[code]
        names = script.get(code, {"Zzzz"})
        common = names <= {"Zyyy", "Zinh"}
        kind, scripts = "never", None
        if code == 0x2F:
            kind = "slash"
        elif code < 0x20 or code == 0x7F:
            kind = "never"
        elif code == 0x200D:
            kind = "zwj"
        elif code == 0x200C:
            kind = "zwnj"
        elif code in selectors:
            kind = "selector"
        elif (category in ("Cn", "Cc", "Cf", "Cs", "Zl", "Zp") or code in ignorable
              or code in slashes - own or code == 0xFFFC
              or (category[0] in "PS" and code in one_dot)):
            kind = "never"
        elif category == "Zs" or name == "BRAILLE PATTERN BLANK":
            kind, scripts = "blank", augmented(names)
        elif category[0] == "M":
            if not common:
                kind, scripts = "mark", names
            elif code in recommended:
                kind = "mark"
        elif jamo.get(code) in ("V", "T"):
            kind, scripts = "cellless", augmented(names)
        else:
            kind = "base"
            scripts = None if category[0] == "L" and common else augmented(names)
        flags = set()
        if category[0] == "L":
            flags.add("letter")
        if code == 0x2E or code in dots:
            flags.add("dot")
        if code > 0x7F and category[0] in "PS" and code not in emoji:
            flags.add("sign")
        if combining == 9:
            flags.add("virama")
        join = joining.get(code, "T" if category in ("Mn", "Me", "Cf") else "U")
        flags |= {"joins_on"} if join in "LD" else set()
        flags |= {"joined_to"} if join in "RD" else set()
        flags |= {"transparent"} if join == "T" else set()
        flags |= {"before_zwj"} if code in before_zwj else set()
        flags |= {"after_zwj"} if code in after_zwj else set()
        if names & {"Hani", "Hira", "Kana"}:
            flags.add("japanese")
        if code in own:
            flags.add("among_japanese")
        if kind in ("never", "slash", "selector", "zwj", "zwnj"):
            scripts, flags = set(), flags & {"before_zwj", "after_zwj"}
        result.append((kind, frozenset(flags), index(scripts) if scripts != set() else 0))
    assert len(result) == 0x110000 and all(kind in KINDS for kind, _, _ in result)
    found = {"version": version, "slashes": slashes - own, "own": own,
             "dots": dots, "one_dot": one_dot}
    return result, list(sets), len(bit), pairs, found


def ranges(codes):
    """Sorted inclusive ranges that hold exactly codes."""
    result = []
    for code in sorted(codes):
        if result and result[-1][1] == code - 1:
            result[-1][1] = code
        else:
            result.append([code, code])
    return result


def wrapped(items, indent="\t"):
    """items, comma-separated, in lines of at most 100 columns."""
    lines, line = [], indent
    for item in items:
        if len((line + item).expandtabs(8)) >= 100:
            lines.append(line.rstrip())
            line = indent
        line += item + ", "
    lines.append(line.rstrip())
    return "\n".join(lines)


def char_class(kind, flags, scripts):
    flag_names = " | ".join(f"f_{flag}" for flag in FLAGS if flag in flags) or "0"
    return f"{{k_{kind}, {flag_names}, {scripts}}}"


def header(data):
    classes, sets, script_count, pairs, found = classify(data)
    words = (script_count + 63) // 64
    starts = [0x80] + [code for code in range(0x81, 0x110000) if classes[code] != classes[code - 1]]
    counted = collections.Counter(kind for kind, _, _ in classes)
    kinds = {kind: counted[kind] for kind in KINDS}

    def listed(codes):
        return " ".join(f"U+{code:04X}" for code in sorted(codes))

    about = textwrap.fill(
        f"Code points of each kind: {', '.join(f'{n} {k}' for k, n in kinds.items())}. "
        f"Like a slash: {listed(found['slashes'])}. Like a slash, shown among Japanese: "
        f"{listed(found['own'])}. Like a dot: {listed(found['dots'])}.",
        width=80, initial_indent="// ", subsequent_indent="// ")
    masks = [", ".join(f"0x{mask >> (64 * word) & (2**64 - 1):x}" for word in range(words))
             for mask in sets]
    return f"""// SPDX-License-Identifier: MIT
// Generated by unicode_tables.py from Unicode {found['version']}'s data in pathlist/unicode;
// do not edit. To regenerate: pathlist/unicode_tables.py >pathlist/unicode_tables.h
{about}

// clang-format off
static constexpr char unicode_version[] = "{found['version']}";

// The scripts a letter or mark is written in: sets of bits, the lowest
// Jpan, Hanb, Kore (UTS #39's augmented sets) and Latin.
constexpr int script_words = {words};
static constexpr uint64_t cjk_scripts = 0x7;
static constexpr uint64_t latin_script = 0x8;
static constexpr uint64_t script_sets[][script_words] = {{
{wrapped(f"{{{mask}}}" for mask in masks)}
}};

// The class of each ASCII character, by its code.
static constexpr char_class ascii_classes[0x80] = {{
{wrapped(char_class(*classes[code]) for code in range(0x80))}
}};

// The class of every code point beyond ASCII: class_starts[i] is the first
// of the code points that classes[i] holds for, up to the next start.
static constexpr char32_t class_starts[] = {{
{wrapped(f"0x{code:x}" for code in starts)}
}};
static constexpr char_class classes[] = {{
{wrapped(char_class(*classes[code]) for code in starts)}
}};

// The variation sequences Unicode defines on a character beyond ASCII,
// sorted.
static constexpr variation_sequence variation_sequences[] = {{
{wrapped(f"{{0x{base:x}, 0x{selector:x}}}" for base, selector in pairs)}
}};
// clang-format on"""


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--refresh":
        refresh(sys.argv[2], sys.argv[3])
    elif len(sys.argv) <= 2:
        print(header(sys.argv[1] if len(sys.argv) == 2 else HERE))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
