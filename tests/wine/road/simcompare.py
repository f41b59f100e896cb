"""The road on the simulated machine against the road in Wine's engine: hxca runs the scenario
tools/road/road_scenario.py generates from the same kit and package definition, `hxca log --diff`
compares the library's trace lines action by action (times, temporary names and folders
normalised), and every difference left must be one that sim-differences.txt explains."""

import json
import re
import subprocess
import sys
from collections import Counter
from dataclasses import dataclass
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parents[2]
EXPLAINED = HERE / "sim-differences.txt"

# Values that differ from run to run or between the two machines in lines that otherwise agree.
VALUES = [
    (re.compile(r"\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}"), "{GUID}"),
    (re.compile(r"'Packaged\*? on [^;']*;"), "'Packaged on <date>;"),
    (re.compile(r"Written \d+ bytes"), "Written <n> bytes"),
    (re.compile(r"Wrote \d+ characters"), "Wrote <n> characters"),
    (re.compile(r"(Property 'VersionNT' value ')\d+'"), r"\1<n>'"),
    (re.compile(r"(Property 'ComputerName' value ')[^']*'"), r"\1<name>'"),
    (re.compile(r"(@ ComputerName: +')[^']*'"), r"\1<name>'"),
    # The normaliser learns BIN64 from the engine's property dump, which hxca's output lacks.
    (re.compile(r"<ZEBPGMFOLDER>\\bin64"), "<BIN64>"),
]


@dataclass
class Explanation:
    side: str  # "wine", "sim" or "both"
    action: re.Pattern
    text: re.Pattern
    reason: str
    used: int = 0

    def covers(self, side, action, text):
        return self.side in ("both", side) and self.action.search(action) and self.text.search(text)


def explanations(path=EXPLAINED):
    """Lines "side | action regex | text regex | reason"; "#" starts a comment."""
    out = []
    for n, line in enumerate(path.read_text().splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        parts = [p.strip() for p in line.split(" | ")]
        if len(parts) != 4 or parts[0] not in ("wine", "sim", "both") or not parts[3]:
            raise ValueError(f"{path.name}:{n}: want 'side | action | text | reason': {line!r}")
        out.append(Explanation(parts[0], re.compile(parts[1]), re.compile(parts[2]), parts[3]))
    return out


def normalised(text):
    text = re.sub(r"^HXCA ", "", text)
    for rx, repl in VALUES:
        text = rx.sub(repl, text)
    return text


def differences(diff):
    """(side, action, text) of every line and run that differs after the value normalisation."""
    left = []
    for run in diff["runs"]:
        action = run["action"]
        if run["result"] in ("only in a", "only in b"):
            left.append(("wine" if run["result"] == "only in a" else "sim", action, "<the whole run>"))
            continue
        changes = run.get("changes", [])
        a = Counter(normalised(c["text"]) for c in changes if c["side"] == "a")
        b = Counter(normalised(c["text"]) for c in changes if c["side"] == "b")
        left += [("wine", action, t) for t in (a - b).elements()]
        left += [("sim", action, t) for t in (b - a).elements()]
    return left


def unexplained(diff, rules):
    rest = []
    for side, action, text in differences(diff):
        rule = next((r for r in rules if r.covers(side, action, text)), None)
        if rule:
            rule.used += 1
        else:
            rest.append(f"{side}: {action}: {text}")
    return rest


def simulate(out_folder, build):
    """Generates the road's scenario, runs it with hxca; the path of hxca's output."""
    scenario = Path(out_folder) / "sim-road"
    subprocess.run([sys.executable, str(ROOT / "tools/road/road_scenario.py"), str(scenario),
                    "--language-library", str(build / "zebircan.dll")], check=True, capture_output=True)
    proc = subprocess.run([str(build / "hxca"), str(scenario)], capture_output=True)
    output = Path(out_folder) / "sim-road.out"
    output.write_bytes(proc.stdout)
    if proc.returncode != 0:
        raise AssertionError(f"hxca on the generated road failed ({proc.returncode}): see {output}")
    return output


def compare(wine_log, sim_output, build):
    proc = subprocess.run([str(build / "hxca"), "log", str(wine_log), "--diff", str(sim_output), "--json"],
                          capture_output=True, text=True)
    if proc.returncode not in (0, 1):
        raise AssertionError(f"hxca log --diff failed ({proc.returncode}): {proc.stderr}")
    rules = explanations()
    rest = unexplained(json.loads(proc.stdout), rules)
    return rest, [r for r in rules if not r.used]


def main():
    """simcompare.py WINE_LOG SIM_OUTPUT [BUILD]: prints what sim-differences.txt does not explain."""
    build = Path(sys.argv[3]) if len(sys.argv) > 3 else ROOT / "build" / "linux"
    rest, unused = compare(sys.argv[1], sys.argv[2], build)
    for line in rest:
        print(line)
    for r in unused:
        print(f"unused: {r.side} | {r.action.pattern} | {r.text.pattern}")
    return 1 if rest else 0


if __name__ == "__main__":
    sys.exit(main())
