#!/usr/bin/env python3
"""Real-engine tests of the custom-action library under Wine.

  run.py --windows-build DIR --work DIR setup            make the pristine prefix of this run
  run.py --windows-build DIR --work DIR module NAME...    run scenarios/NAME.py (optionally only
                                                           the scenarios named after it)
  run.py --windows-build DIR --work DIR cleanup           stop servers, remove prefix copies

Exit status 77 (skipped) when Wine, the package tools or the Windows build are missing.
"""

import argparse
import importlib.util
import os
import shutil
import sys
import time
import traceback
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent))
import zebwine  # noqa: E402


def keep_artifacts(run, module, scenario, prefix):
    """Copy a failed scenario's folder out of the prefix, which is removed at the end."""
    if prefix is None:
        return None
    source = prefix.drive_c / "zebtest" / scenario
    if not source.exists():
        return None
    target = run.work / "failed" / module / scenario
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(source, target)
    return target


def run_module(run, name, only, keep):
    module_spec = importlib.util.spec_from_file_location(
        f"scenarios_{name}", Path(__file__).resolve().parent / "scenarios" / f"{name}.py")
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    chosen = [f for f in zebwine.SCENARIOS if not only or f.__name__ in only]
    if not chosen:
        print(f"no scenarios selected in {name}")
        return 1

    work = run.work / f"{name}-{os.getpid()}"
    packages = zebwine.Packages(run.library, work / "packages")
    shared = None
    failures = []
    started = time.monotonic()
    try:
        for f in chosen:
            t0 = time.monotonic()
            own = None
            try:
                for attempt in (1, 2):
                    if f.clean_machine:
                        own = run.new_prefix(f"{name}-{f.__name__}")
                    elif shared is None:
                        shared = run.new_prefix(name)
                    try:
                        f(zebwine.Scenario(run, f.__name__, own or shared, packages))
                        break
                    except zebwine.EngineHang as e:
                        # A hung engine says nothing about the library: run the scenario once more
                        # on a fresh machine, and say so. A second hang fails it.
                        if attempt == 2:
                            raise
                        print(f"RETRY {f.__name__}: {e}", flush=True)
                        if own:
                            own.close(remove=not keep)
                            own = None
                        else:
                            shared.close(remove=not keep)
                            shared = None
                print(f"PASS {f.__name__} ({time.monotonic() - t0:.1f}s)", flush=True)
            except Exception as e:  # noqa: BLE001 - every scenario is reported
                failures.append(f.__name__)
                detail = str(e) if isinstance(e, zebwine.Failure) else traceback.format_exc()
                print(f"FAIL {f.__name__} ({time.monotonic() - t0:.1f}s): {detail}", flush=True)
                kept = keep_artifacts(run, name, f.__name__, own or shared)
                if kept:
                    print(f"     logs and files of the scenario kept in {kept}", flush=True)
            finally:
                if own:
                    own.close(remove=not keep)
    finally:
        if shared:
            shared.close(remove=not keep)
        if not keep:
            shutil.rmtree(work, ignore_errors=True)
    total = time.monotonic() - started
    print(f"{len(chosen) - len(failures)} of {len(chosen)} scenarios passed in {total:.1f}s")
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--windows-build", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--keep", action="store_true", help="keep prefix copies for inspection")
    parser.add_argument("command", choices=["setup", "module", "cleanup"])
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()

    run = zebwine.Run(args.windows_build, args.work)
    if args.command == "cleanup":
        run.cleanup()
        return 0
    missing = run.missing()
    if missing:
        print("SKIP: missing " + "; ".join(missing))
        return zebwine.SKIP
    if args.command == "setup":
        t0 = time.monotonic()
        run.setup(fresh=True)
        print(f"pristine prefix ready in {time.monotonic() - t0:.1f}s")
        return 0
    if not args.names:
        parser.error("module needs a name")
    return run_module(run, args.names[0], set(args.names[1:]), args.keep)


if __name__ == "__main__":
    sys.exit(main())
