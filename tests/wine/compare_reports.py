#!/usr/bin/env python3
"""Compares two XML reports of one server section by section, but for the allowed differences.

    compare_reports.py [--state NAME] ALLOWED WINE_REPORT REPLAY_REPORT

ALLOWED lists one allowed difference a line (blank lines and lines starting with "#" are skipped):

    STATES  WHAT  PATH  | REASON

STATES is "*" or a comma-separated list of the states the line holds in. PATH is an ElementTree path below Root
(for example "Summary/Created/Date" or ".//Process[@Name='rpcss.exe']"). WHAT says what may differ there:
"text" the element's text, "@NAME" one attribute, "element" the elements themselves (they may be missing on
either side, or differ in anything). Every line needs its reason, and a line whose path finds nothing in either
report for a state it holds in is an error too, so the list cannot outlive what it excuses.

Exit code 0 when the reports agree, 1 when they differ (a diff per section that differs), 2 for bad input.
"""
import argparse
import difflib
import sys
import xml.etree.ElementTree as ET


class Allowance:
    def __init__(self, states, what, path, reason, line):
        self.states, self.what, self.path, self.reason, self.line = states, what, path, reason, line

    def holds_in(self, state):
        return "*" in self.states or state in self.states


def read_allowances(filename):
    allowances = []
    with open(filename, encoding="utf-8") as text:
        for number, line in enumerate(text, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            rule, bar, reason = line.partition("|")
            fields = rule.split(None, 2)
            if not bar or not reason.strip() or len(fields) != 3:
                raise ValueError(f"{filename}:{number}: expected 'STATES WHAT PATH | REASON'")
            states, what, path = fields
            if what not in ("text", "element") and not (what.startswith("@") and len(what) > 1):
                raise ValueError(f"{filename}:{number}: WHAT is 'text', 'element' or '@attribute', not '{what}'")
            allowances.append(Allowance(set(states.split(",")), what, path.strip(), reason.strip(), number))
    return allowances


def matches(root, path):
    return root.findall(path)


def drop(root, path):
    """Removes the elements the path finds; ElementTree has no parent links, so their parents are looked up."""
    found = set(map(id, root.findall(path)))
    for parent in root.iter():
        for child in list(parent):
            if id(child) in found:
                parent.remove(child)


def apply(allowance, root):
    found = root.findall(allowance.path)
    if allowance.what == "element":
        drop(root, allowance.path)
    for element in found:
        if allowance.what == "text":
            element.text = "(may differ)"
        elif allowance.what.startswith("@") and allowance.what[1:] in element.attrib:
            element.attrib[allowance.what[1:]] = "(may differ)"
    return len(found)


def lines(element, depth=0):
    """One line per element: its name, attributes and text; children indented below it."""
    attributes = "".join(f' {name}="{value}"' for name, value in element.attrib.items())
    text = (element.text or "").strip()
    out = [f"{'  ' * depth}<{element.tag}{attributes}>{text}"]
    for child in element:
        out += lines(child, depth + 1)
    return out


def sections(root):
    """The report's sections: each child of Root's children (a childless one stands for itself)."""
    result = {}
    for part in root:
        if len(part):
            for child in part:
                name = f"{part.tag}/{child.tag}"
                while name in result:
                    name += "'"
                result[name] = lines(child)
        else:
            result[part.tag] = lines(part)
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--state", default="")
    parser.add_argument("allowed")
    parser.add_argument("wine")
    parser.add_argument("replay")
    options = parser.parse_args()
    try:
        allowances = [a for a in read_allowances(options.allowed) if a.holds_in(options.state)]
        wine, replay = ET.parse(options.wine).getroot(), ET.parse(options.replay).getroot()
    except (OSError, ValueError, ET.ParseError) as error:
        print(f"compare_reports: {error}", file=sys.stderr)
        return 2

    prefix = f"{options.state}: " if options.state else ""
    unused = [a for a in allowances if apply(a, wine) + apply(a, replay) == 0]
    for allowance in unused:
        print(f"{prefix}allowed difference on line {allowance.line} ({allowance.what} {allowance.path}) finds "
              f"nothing in either report: remove it or fix its path")

    expected, actual = sections(wine), sections(replay)
    differing = 0
    for name in list(expected) + [n for n in actual if n not in expected]:
        if expected.get(name) == actual.get(name):
            continue
        differing += 1
        print(f"{prefix}section {name} differs (- Wine, + replay):")
        diff = difflib.unified_diff(expected.get(name, []), actual.get(name, []), "Wine", "replay", lineterm="", n=2)
        for line in list(diff)[2:]:
            print(f"    {line}")
    same = len(set(expected) | set(actual)) - differing
    print(f"{prefix}{same} sections agree, {differing} differ, {len(allowances)} allowed differences applied")
    return 1 if differing or unused else 0


if __name__ == "__main__":
    sys.exit(main())
