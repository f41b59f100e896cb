"""The road on the simulated machine against the road in Wine's engine: hxca runs the scenario
tools/road/road_scenario.py generates from the same kit and package definition, `hxca log --diff`
compares the library's trace lines action by action (times, temporary names and folders
normalised), and every difference left must be one that sim-differences.txt explains."""

import json
import re
import shutil
import subprocess
import sys
from collections import Counter
from dataclasses import dataclass
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parents[2]
EXPLAINED = HERE / "sim-differences.txt"
# The road's steps road_sim compares, in order (tools/road/road_scenario.py --step).
STEPS = ("first", "second", "remove2", "maintain1")

# Values that differ from run to run or between the two machines in lines that otherwise agree.
VALUES = [
    (re.compile(r"\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}"), "{GUID}"),
    (re.compile(r"'Packaged\*? on [^;']*;"), "'Packaged on <date>;"),
    (re.compile(r"Written \d+ bytes"), "Written <n> bytes"),
    (re.compile(r"Wrote \d+ characters"), "Wrote <n> characters"),
    (re.compile(r"(Property 'VersionNT' value ')\d+'"), r"\1<n>'"),
    (re.compile(r"(Property 'ComputerName' value ')[^']*'"), r"\1<name>'"),
    (re.compile(r"(@ ComputerName: +')[^']*'"), r"\1<name>'"),
    # Wine's prefix names the users' folder in lower case.
    (re.compile(r"'C:\\users\\"), r"'C:\\Users\\"),
    # The normaliser learns BIN64 from the engine's property dump, which hxca's output lacks.
    (re.compile(r"<ZEBPGMFOLDER>\\bin64"), "<BIN64>"),
]


@dataclass
class Explanation:
    side: str  # "wine", "sim" or "both"
    action: re.Pattern
    text: re.Pattern
    reason: str
    step: str = ""  # the road's step it holds for; empty: every step
    used: int = 0

    def covers(self, side, action, text, step=""):
        return (self.side in ("both", side) and self.step in ("", step) and self.action.search(action)
                and self.text.search(text))


def explanations(path=EXPLAINED):
    """Lines "side[@step] | action regex | text regex | reason"; "#" starts a comment."""
    out = []
    for n, line in enumerate(path.read_text().splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        parts = [p.strip() for p in line.split(" | ")]
        side, _, step = parts[0].partition("@")
        if len(parts) != 4 or side not in ("wine", "sim", "both") or (step and step not in STEPS) or not parts[3]:
            raise ValueError(f"{path.name}:{n}: want 'side[@step] | action | text | reason': {line!r}")
        out.append(Explanation(side, re.compile(parts[1]), re.compile(parts[2]), parts[3], step))
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


def unexplained(diff, rules, step=""):
    rest = []
    for side, action, text in differences(diff):
        rule = next((r for r in rules if r.covers(side, action, text, step)), None)
        if rule:
            rule.used += 1
        else:
            rest.append(f"{side}: {action}: {text}")
    return rest


def simulate(out_folder, build, steps=STEPS):
    """Generates the road's scenarios and runs them with hxca in order, each on the machine the one
    before left (hxca --save-machine into the next step's folder); {step: path of hxca's output}."""
    out_folder = Path(out_folder)
    outputs = {}
    # The first step starts from a new machine, whatever an earlier run left in its folder.
    shutil.rmtree(out_folder / f"sim-{steps[0]}", ignore_errors=True)
    for step, following in zip(steps, [*steps[1:], "end"]):
        scenario = out_folder / f"sim-{step}"
        subprocess.run([sys.executable, str(ROOT / "tools/road/road_scenario.py"), str(scenario), "--step", step,
                        "--language-library", str(build / "zebircan.dll")], check=True, capture_output=True)
        proc = subprocess.run([str(build / "hxca"), str(scenario), "--save-machine",
                               str(out_folder / f"sim-{following}")], capture_output=True)
        outputs[step] = out_folder / f"sim-{step}.out"
        outputs[step].write_bytes(proc.stdout + proc.stderr)
        if proc.returncode != 0:
            raise AssertionError(f"hxca on the generated road step {step} failed ({proc.returncode}): "
                                 f"see {outputs[step]}")
    return outputs


def compare(wine_log, sim_output, build, rules=None, step=""):
    """The differences no rule explains; rules (explanations()) count their uses across calls."""
    proc = subprocess.run([str(build / "hxca"), "log", str(wine_log), "--diff", str(sim_output), "--json"],
                          capture_output=True, text=True)
    if proc.returncode not in (0, 1):
        raise AssertionError(f"hxca log --diff failed ({proc.returncode}): {proc.stderr}")
    return unexplained(json.loads(proc.stdout), explanations() if rules is None else rules, step)


def main():
    """simcompare.py WINE_LOG SIM_OUTPUT [BUILD]: prints what sim-differences.txt does not explain
    (the step is the one SIM_OUTPUT is named after, sim-STEP.out).
    simcompare.py --simulate FOLDER [BUILD]: runs the road's steps on the simulated machine only."""
    if sys.argv[1] == "--simulate":
        build = Path(sys.argv[3]) if len(sys.argv) > 3 else ROOT / "build" / "linux"
        try:
            outputs = simulate(sys.argv[2], build)
        except AssertionError as e:
            print(e)
            return 1
        print("\n".join(f"{step}: {path}" for step, path in outputs.items()))
        return 0
    build = Path(sys.argv[3]) if len(sys.argv) > 3 else ROOT / "build" / "linux"
    rules = explanations()
    step = next((s for s in STEPS if f"sim-{s}." in sys.argv[2]), "")
    rest = compare(sys.argv[1], sys.argv[2], build, rules, step)
    for line in rest:
        print(line)
    for r in rules:
        if not r.used:
            print(f"unused: {r.side} | {r.action.pattern} | {r.text.pattern}")
    return 1 if rest else 0


if __name__ == "__main__":
    sys.exit(main())
