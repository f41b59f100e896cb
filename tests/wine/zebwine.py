"""Runs the custom-action library inside Wine's installer engine.

One pristine WINEPREFIX is made per test run (wineboot -i). Each scenario module works in its own
copy of it with a persistent wineserver; a scenario that needs an untouched machine gets a copy of
its own. Packages are built from package/ with wixl and completed with msibuild.
"""

import contextlib
import fcntl
import os
import re
import shutil
import subprocess
import tempfile
import time
import uuid
from pathlib import Path

HERE = Path(__file__).resolve().parent
PACKAGE_SOURCES = HERE / "package"

WINE = Path(os.environ.get("ZEB_WINE", "/usr/lib/wine/wine64"))
# The native build's record generator, the one the unit tests use (tools/hxrecord).
HXRECORD = Path(os.environ.get("ZEB_HXRECORD", str(HERE.parents[1] / "build" / "linux" / "hxrecord")))
WINESERVER = Path(os.environ.get("ZEB_WINESERVER", str(WINE.parent / "wineserver")))

SKIP = 77

UPGRADE_CODES = {
    "server": "{8D1C5EA1-A4C5-4967-97FA-77FE6D4B5EA7}",
    "client": "{5A8B5D80-6DCC-4317-9922-99EC0093BF24}",
    "test": "{62F00881-AC47-458F-BF38-2B84B38DBA50}",
}

# A Unix process exit code keeps only the low byte of a Windows one.
_KNOWN_CODES = [0, 1602, 1603, 1618, 1619, 1620, 1624, 1638, 1639, 3010]


def windows_code(unix_rc):
    """The installer code behind an 8-bit exit status of a Wine process."""
    matches = [c for c in _KNOWN_CODES if c & 0xFF == unix_rc & 0xFF]
    if len(matches) != 1:
        raise AssertionError(f"exit status {unix_rc} maps to no single installer code")
    return matches[0]


class Failure(AssertionError):
    pass


class EngineHang(Failure):
    """A Windows program that never ended. Wine 8 now and then leaves msiexec waiting for ever
    (seen once in a few dozen runs, on a step that finishes in milliseconds otherwise)."""


def expect(condition, message):
    if not condition:
        raise Failure(message)


# ---------------------------------------------------------------------------------------------
# Trace lines of the library: "%H:%M:%S HXCA action[(function)] info: text"

TRACE_RE = re.compile(r"^(\d\d:\d\d:\d\d) HXCA (.+?) (info): (.*)$")
FUNCTION_RE = re.compile(r"^(.+)\((\w+)\)$")


class TraceLine:
    def __init__(self, raw, time_text, action, function, level, text):
        self.raw = raw
        self.time = time_text
        self.action = action
        self.function = function
        self.level = level
        self.text = text

    def __repr__(self):
        return self.raw


def parse_trace(lines):
    """The library's trace lines among other lines, in order."""
    result = []
    for raw in lines:
        m = TRACE_RE.match(raw)
        if not m:
            continue
        action, function = m.group(2), None
        f = FUNCTION_RE.match(action)
        if f:
            action, function = f.group(1), f.group(2)
        result.append(TraceLine(raw, m.group(1), action, function, m.group(3), m.group(4)))
    return result


class Trace:
    """A sequence of trace lines with the lookups the scenarios need."""

    def __init__(self, lines, where):
        self.lines = list(lines)
        self.where = where

    def __len__(self):
        return len(self.lines)

    def texts(self, action=None):
        return [t.text for t in self.lines if action is None or t.action == action]

    def of(self, action):
        return Trace([t for t in self.lines if t.action == action], f"{self.where}, action {action}")

    def find(self, pattern, start=0):
        """Index of the first line from start whose text matches pattern (a regex), or -1."""
        rx = re.compile(pattern)
        for i in range(start, len(self.lines)):
            if rx.search(self.lines[i].text):
                return i
        return -1

    def count(self, pattern):
        rx = re.compile(pattern)
        return sum(1 for t in self.lines if rx.search(t.text))

    def has(self, pattern):
        return self.find(pattern) >= 0

    def expect(self, pattern):
        i = self.find(pattern)
        expect(i >= 0, f"no trace line matching {pattern!r} in {self.where}:\n{self.dump()}")
        return self.lines[i]

    def expect_not(self, pattern):
        i = self.find(pattern)
        expect(i < 0, f"unexpected trace line {self.lines[i] if i >= 0 else ''!r} in {self.where}")

    def expect_order(self, *patterns):
        """Each pattern matches a line after the line matched by the one before."""
        pos = 0
        for p in patterns:
            i = self.find(p, pos)
            expect(i >= 0, f"no trace line matching {p!r} after line {pos} in {self.where}:\n"
                   f"{self.dump()}")
            pos = i + 1

    def dump(self, limit=60):
        shown = self.lines[-limit:]
        return "\n".join("    " + t.raw for t in shown) or "    (no trace lines)"


def lit(text):
    """A regex matching text literally, anchored at both ends."""
    return "^" + re.escape(text) + "$"


def squashed(code):
    """A product or component code as the installer's registry keys name it."""
    h = code.strip("{}").replace("-", "")
    pairs = "".join(h[i + 1] + h[i] for i in range(16, 32, 2))
    return h[7::-1] + h[11:7:-1] + h[15:11:-1] + pairs


def hx_records(*words):
    """Installation records as .reg key blocks, for Prefix.reg_import: the words of hxrecord
    (tools/hxrecord), e.g. hx_records("reset", "installation", "Inst1", "identifier=1", "view=32")."""
    expect(HXRECORD.exists(), f"{HXRECORD} is missing (cmake --build --preset linux)")
    proc = subprocess.run([str(HXRECORD), "--body", *words], capture_output=True, text=True)
    if proc.returncode != 0:
        raise RuntimeError(f"hxrecord {' '.join(words)} failed: {proc.stderr.strip()}")
    return proc.stdout


# ---------------------------------------------------------------------------------------------
# Engine results

class MsiexecResult:
    """What msiexec left: its code, its verbose log, and the properties it dumped at the end."""

    def __init__(self, code, log_path):
        self.code = code
        self.log_path = log_path
        text = log_path.read_bytes().decode("latin-1") if log_path.exists() else ""
        self.log_lines = text.splitlines()
        self.trace = Trace(parse_trace(self.log_lines), f"log {log_path}")
        self.properties = {}
        for line in self.log_lines:
            m = re.match(r"^Property\([SC]\): (\w+) = (.*)$", line)
            if m:
                self.properties[m.group(1)] = m.group(2)

    def action_lines(self, action):
        """Log lines between the start and end lines of every run of an action (an action that
        is scheduled and later executed by the script has two runs)."""
        result, inside, runs = [], False, 0
        start = re.compile(rf"^Action start [\d:]+: {re.escape(action)}\.$")
        end = re.compile(rf"^Action ended [\d:]+: {re.escape(action)}\. Return value")
        for line in self.log_lines:
            if not inside and start.match(line):
                inside, runs = True, runs + 1
            elif inside and end.match(line):
                inside = False
            elif inside:
                result.append(line)
        expect(runs > 0, f"action {action} never started in {self.log_path}")
        return result

    def action_trace(self, action):
        return Trace(parse_trace(self.action_lines(action)), f"{self.log_path}, action {action}")

    def expect_code(self, code):
        expect(self.code == code, f"msiexec ended with {self.code}, expected {code}; log "
               f"{self.log_path}:\n{self.trace.dump()}")


class DriverResult:
    """Output of the driver program: engine messages, action results, properties."""

    def __init__(self, stdout, exit_status):
        self.stdout = stdout
        self.exit_status = exit_status
        self.messages = []       # (type name, text)
        self.actions = []        # (action, code)
        self.calls = []          # (export, code)
        self.spawns = []         # exit codes of spawned children
        self.properties = {}
        self.tables = {}         # table -> rows (lists of field texts), from --table
        for line in stdout.splitlines():
            parts = line.split(" ", 3)
            if parts[0] == "MSG" and len(parts) >= 3:
                self.messages.append((parts[1], parts[3] if len(parts) > 3 else ""))
            elif parts[0] == "DOACTION" and len(parts) == 3:
                self.actions.append((parts[1], int(parts[2])))
            elif parts[0] == "CALL" and len(parts) == 3 and parts[2].isdigit():
                self.calls.append((parts[1], int(parts[2])))
            elif parts[0] == "ROW" and len(parts) >= 2:
                fields = line.split(" ", 2)[2] if len(line.split(" ", 2)) > 2 else ""
                self.tables.setdefault(parts[1], []).append(fields.split("|"))
            elif parts[0] == "TABLE" and len(parts) == 3 and parts[2].isdigit():
                self.tables.setdefault(parts[1], [])
            elif parts[0] == "VIEW" and len(parts) == 2 and parts[1].isdigit():
                self.tables.setdefault("VIEW", [])  # --view: its rows are "ROW VIEW ..."
            elif parts[0] == "SPAWN" and len(parts) == 2:
                self.spawns.append(int(parts[1]))
            elif line.startswith("PROPERTY "):
                name, _, value = line[len("PROPERTY "):].partition("=")
                if " " not in name:  # "PROPERTY NAME rc=N" is a failed read
                    self.properties[name] = value
        self.trace = Trace(parse_trace(t for k, t in self.messages if k == "INFO"), "driver output")

    def expect_ok(self):
        expect(self.exit_status == 0, f"driver failed ({self.exit_status}):\n{self.stdout}")


# ---------------------------------------------------------------------------------------------
# Wine prefixes

def wine_environment(prefix):
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)       # no display: message boxes return at once
    env.update(WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
               WINEARCH="win64")
    return env


def flush_prefix(prefix):
    """Wait until no server holds the prefix, so its registry files are complete."""
    subprocess.run([str(WINESERVER), "-w"], env=wine_environment(prefix), check=False,
                   timeout=120)


def make_pristine(path):
    if path.exists():
        shutil.rmtree(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    started = time.monotonic()
    env = wine_environment(path)
    with tempfile.TemporaryFile() as err:
        code = subprocess.call([str(WINE), "wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=err, timeout=300)
        flush_prefix(path)
        err.seek(0)
        if code != 0 or not (path / "system.reg").exists():
            raise RuntimeError(f"wineboot -i failed ({code}): {err.read()[-2000:]!r}")
    (path / ".zeb-pristine").write_text(f"{time.monotonic() - started:.1f}\n")


class Prefix:
    """A copy of the pristine prefix, served by one persistent wineserver while in use."""

    def __init__(self, pristine, path):
        self.path = path
        if path.exists():
            self._kill_server()
            shutil.rmtree(path)
        subprocess.run(["cp", "-a", str(pristine), str(path)], check=True)
        self.env = wine_environment(path)
        self.server = subprocess.Popen([str(WINESERVER), "-f", "-p"], env=self.env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.drive_c = path / "drive_c"

    def _kill_server(self):
        subprocess.run([str(WINESERVER), "-k"], env=wine_environment(self.path), check=False,
                       capture_output=True, timeout=60)

    def restart_server(self):
        """A new wineserver, for settings Wine reads only when it starts (drive types)."""
        self._kill_server()
        if self.server:
            try:
                self.server.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.server.kill()
        self.server = subprocess.Popen([str(WINESERVER), "-f", "-p"], env=self.env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self, remove=True):
        self._kill_server()
        if self.server:
            try:
                self.server.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.server.kill()
            self.server = None
        if remove:
            shutil.rmtree(self.path, ignore_errors=True)

    def run(self, args, timeout=120):
        """Runs a Windows program and waits for it alone. Its output goes through files: Wine's
        own service processes inherit the handles and outlive it, so a pipe would not close."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.Popen([str(WINE)] + [str(a) for a in args], env=self.env,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            try:
                code = proc.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
                raise EngineHang(f"{args[0]} did not end within {timeout}s: {args}") from None
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(args, code, out.read(), err.read())

    # Paths ----------------------------------------------------------------------------------
    def winpath(self, unix_path):
        p = Path(unix_path).resolve()
        try:
            rel = p.relative_to(self.drive_c.resolve())
            return "C:\\" + str(rel).replace("/", "\\") if str(rel) != "." else "C:\\"
        except ValueError:
            return "Z:" + str(p).replace("/", "\\")

    def unixpath(self, win_path):
        expect(win_path[:3].upper() == "C:\\", f"not a C: path: {win_path}")
        return self.drive_c / win_path[3:].replace("\\", "/")

    # Registry -------------------------------------------------------------------------------
    def reg_import(self, text):
        """Import .reg text in REGEDIT4 form: "[KEY]" then '"name"="data"' lines; "[-KEY]"
        deletes a key, so one import can reset and seed a scenario's keys."""
        f = self.drive_c / f"zeb-import-{uuid.uuid4().hex[:8]}.reg"
        f.write_text("REGEDIT4\r\n\r\n" + text.strip().replace("\n", "\r\n") + "\r\n\r\n",
                     encoding="latin-1")
        proc = self.run(["reg", "import", self.winpath(f)])
        if proc.returncode != 0 and not proc.stdout and not proc.stderr:
            # Seen once on a fresh prefix copy under load: reg exits non-zero without a word.
            print(f"NOTE reg import failed silently ({proc.returncode}); trying once more", flush=True)
            proc = self.run(["reg", "import", self.winpath(f)])
        f.unlink()
        expect(proc.returncode == 0, f"reg import failed: {proc.stdout!r} {proc.stderr!r}")

    def reg_values(self, key):
        """Values of one key as {name: data}, or None when the key does not exist."""
        proc = self.run(["reg", "query", key])
        if proc.returncode != 0:
            return None
        values = {}
        for line in proc.stdout.decode("latin-1").splitlines():
            m = re.match(r"^    (.*?)    (REG_\w+)    ?(.*)$", line)
            if m:
                values[m.group(1)] = m.group(3)
        return values


# ---------------------------------------------------------------------------------------------
# Packages

class Packages:
    """Builds test packages: one base per package kind, then a copy per scenario."""

    def __init__(self, library, work):
        self.library = library
        self.work = work
        self.work.mkdir(parents=True, exist_ok=True)
        self._bases = {}

    def _tool(self, args, cwd):
        proc = subprocess.run(args, cwd=cwd, capture_output=True, text=True)
        if proc.returncode != 0:
            raise RuntimeError(f"{' '.join(map(str, args))} failed: {proc.stderr.strip()}")
        return proc.stdout

    def base(self, kind="server"):
        if kind in self._bases:
            return self._bases[kind]
        d = self.work / f"base-{kind}"
        if d.exists():
            shutil.rmtree(d)
        d.mkdir(parents=True)
        shutil.copy2(self.library, d / "zebiwicn.dll")
        shutil.copy2(PACKAGE_SOURCES / "hx.wxs", d / "hx.wxs")
        msi = d / "hx.msi"
        self._tool(["wixl", "-a", "x64", "-D", f"UpgradeCode={UPGRADE_CODES[kind]}",
                    "-D", f"ProductCode={{{str(uuid.uuid4()).upper()}}}", "-D", f"Kind={kind}",
                    "-o", msi.name, "hx.wxs"], d)
        for idt in sorted(PACKAGE_SOURCES.glob("*.idt")):
            self._merge(msi, idt.stem, idt.read_text().splitlines(), d)
        self._bases[kind] = msi
        return msi

    def _merge(self, msi, table, idt_lines, cwd):
        """Add rows to a table, replacing rows with the same first column."""
        present = self._tool(["msiinfo", "tables", str(msi)], cwd).split()
        header, rows = idt_lines[:3], [r for r in idt_lines[3:] if r.strip()]
        if table in present:
            exported = self._tool(["msiinfo", "export", str(msi), table], cwd).splitlines()
            if exported[:1] == header[:1]:
                keys = {r.split("\t", 1)[0] for r in rows}
                rows = [r for r in exported[3:] if r and r.split("\t", 1)[0] not in keys] + rows
                header = exported[:3]
        path = cwd / f"{table}.idt"
        path.write_text("\r\n".join(header + rows) + "\r\n", encoding="latin-1")
        self._tool(["msibuild", str(msi), "-i", path.name], cwd)

    def build(self, name, sequence=(), properties=None, kind="server", tables=None):
        """A package with its own product and package codes, extra InstallExecuteSequence rows
        (action, condition, number), extra Property rows, and tables merged in: {table: .idt
        lines}, the header's three lines then rows (a header alone adds an empty table)."""
        base = self.base(kind)
        d = self.work / name
        d.mkdir(parents=True, exist_ok=True)
        msi = d / f"{name}.msi"
        shutil.copy2(base, msi)
        product = f"{{{str(uuid.uuid4()).upper()}}}"
        queries = [f"UPDATE Property SET Value='{product}' WHERE Property='ProductCode'"]
        for key, value in (properties or {}).items():
            queries.append(f"INSERT INTO Property (Property, Value) VALUES ('{key}', '{value}')")
        self._tool(["msibuild", str(msi), "-s", "HX", "Corvane", "x64;1033",
                    f"{{{str(uuid.uuid4()).upper()}}}"], d)
        args = ["msibuild", str(msi)]
        for q in queries:
            args += ["-q", q]
        self._tool(args, d)
        if sequence:
            rows = [f"{a}\t{c or ''}\t{n}" for a, c, n in sequence]
            header = ["Action\tCondition\tSequence", "s72\tS255\tI2", "InstallExecuteSequence\tAction"]
            self._merge(msi, "InstallExecuteSequence", header + rows, d)
        for table, lines in (tables or {}).items():
            self._merge(msi, table, list(lines), d)
        return msi


# ---------------------------------------------------------------------------------------------
# Run-wide setup

class Run:
    """Paths of one test run: the Windows build folder and the work folder."""

    def __init__(self, windows_build, work):
        self.windows_build = Path(windows_build)
        self.work = Path(work)
        self.library = self.windows_build / "zebiwicn.dll"
        self.driver = self.windows_build / "zebdrive.exe"
        self.pristine = self.work / "pristine"

    def missing(self):
        missing = []
        if not WINE.exists():
            missing.append(f"Wine ({WINE})")
        if not WINESERVER.exists():
            missing.append(f"wineserver ({WINESERVER})")
        for tool in ("wixl", "msibuild", "msiinfo"):
            if not shutil.which(tool):
                missing.append(tool)
        for built in (self.library, self.driver):
            if not built.exists():
                missing.append(f"{built} (cmake --preset windows && cmake --build --preset windows)")
        return missing

    def build_setting(self, name, default=None):
        """A cache value of the Windows build tree (the library's version and build level)."""
        cache = self.windows_build / "CMakeCache.txt"
        if cache.exists():
            for line in cache.read_text(errors="replace").splitlines():
                m = re.match(rf"^{re.escape(name)}:\w+=(.*)$", line)
                if m:
                    return m.group(1)
        return default

    @contextlib.contextmanager
    def lock(self):
        self.work.mkdir(parents=True, exist_ok=True)
        with open(self.work / "lock", "w") as f:
            fcntl.flock(f, fcntl.LOCK_EX)
            try:
                yield
            finally:
                fcntl.flock(f, fcntl.LOCK_UN)

    def setup(self, fresh=True):
        """Make the pristine prefix (again when fresh, else only if missing)."""
        with self.lock():
            if fresh or not (self.pristine / ".zeb-pristine").exists():
                make_pristine(self.pristine)

    def new_prefix(self, label):
        """A copy of the pristine prefix for this process, made under the lock so that another
        test run's setup or cleanup cannot replace the pristine one half-way."""
        with self.lock():
            if not (self.pristine / ".zeb-pristine").exists():
                make_pristine(self.pristine)
            return Prefix(self.pristine, self.work / f"prefix-{label}-{os.getpid()}")

    def cleanup(self):
        """Remove the pristine prefix and copies left by processes that have ended."""
        with self.lock():
            for d in self.work.glob("prefix-*"):
                pid = d.name.rsplit("-", 1)[-1]
                if pid.isdigit() and Path(f"/proc/{pid}").exists():
                    continue
                if WINESERVER.exists():
                    subprocess.run([str(WINESERVER), "-k"], env=wine_environment(d),
                                   capture_output=True, check=False)
                shutil.rmtree(d, ignore_errors=True)
            shutil.rmtree(self.pristine, ignore_errors=True)


# ---------------------------------------------------------------------------------------------
# Scenarios

SCENARIOS = []


def scenario(clean_machine=False):
    """Registers a scenario function f(t: Scenario). With clean_machine it gets a prefix copy of
    its own instead of the module's shared one."""

    def register(f):
        f.clean_machine = clean_machine
        SCENARIOS.append(f)
        return f

    return register


class Scenario:
    """What a scenario works with: a prefix, a folder C:\\zebtest\\<name> in it, packages."""

    def __init__(self, run, name, prefix, packages):
        self.run = run
        self.name = name
        self.prefix = prefix
        self.packages = packages
        self.root = prefix.drive_c / "zebtest" / name
        if self.root.exists():
            shutil.rmtree(self.root)
        self.root.mkdir(parents=True)
        self._count = 0

    def folder(self, sub):
        """A new folder under the scenario's root; returns its Windows path."""
        p = self.root / sub
        p.mkdir(parents=True, exist_ok=True)
        return self.prefix.winpath(p)

    def unix(self, win_path):
        return self.prefix.unixpath(win_path)

    def write(self, win_path, text):
        p = self.unix(win_path)
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_text(text, encoding="latin-1")

    def read(self, win_path):
        return self.unix(win_path).read_bytes().decode("latin-1")

    def library_copy(self, sub):
        """A copy of the library in a folder of its own; returns the folder's Windows path."""
        folder = self.folder(sub)
        shutil.copy2(self.run.library, self.unix(folder) / "zebiwicn.dll")
        return folder

    def package(self, sequence=(), properties=None, kind="server", tables=None, packages=None):
        """A package of its own (new product and package codes) with extra InstallExecuteSequence
        rows (action, condition, number), Property rows and tables (Packages.build). Its registry
        row's value name, the property ZEBRUNID, is the file's stem. packages: another builder,
        for a package around another library (the test-only one)."""
        self._count += 1
        stem = f"{self.name}-{self._count}"
        props = {"ZEBRUNID": stem}
        props.update(properties or {})
        return (packages or self.packages).build(stem, sequence, props, kind, tables)

    def add_binary_rows(self, package, rows):
        """Replaces the package's Binary table by the library's own row plus rows {name: bytes}."""
        folder = package.parent / "binary-import"
        (folder / "Binary").mkdir(parents=True, exist_ok=True)
        shutil.copy2(self.run.library, folder / "Binary" / "zebiwicn.dll")
        lines = ["Name\tData", "s72\tv0", "Binary\tName", "zebiwicn.dll\tzebiwicn.dll"]
        for i, (name, data) in enumerate(rows.items()):
            (folder / "Binary" / f"row{i}").write_bytes(data)
            lines.append(f"{name}\trow{i}")
        (folder / "Binary.idt").write_text("\r\n".join(lines) + "\r\n", encoding="latin-1")
        proc = subprocess.run(["msibuild", str(package), "-i", "Binary.idt"], cwd=folder, capture_output=True,
                              text=True)
        expect(proc.returncode == 0, f"msibuild -i Binary.idt failed: {proc.stderr}")

    def msiexec(self, mode, package, properties=None, timeout=90):
        """msiexec /i or /x PACKAGE /qn /l*v LOG PROP=VALUE ..."""
        self._count += 1
        log = self.root / "logs" / f"msiexec-{self._count}.log"
        log.parent.mkdir(parents=True, exist_ok=True)
        args = ["msiexec", mode, self.prefix.winpath(package), "/qn", "/l*v",
                self.prefix.winpath(log)]
        args += [f"{k}={v}" for k, v in (properties or {}).items()]
        proc = self.prefix.run(args, timeout=timeout)
        return MsiexecResult(windows_code(proc.returncode), log)

    def driver(self, package, ops, options=(), timeout=120):
        """The driver on a package; ops are its command-line operations."""
        self._count += 1
        log = self.root / "logs" / f"driver-{self._count}.log"
        log.parent.mkdir(parents=True, exist_ok=True)
        args = [self.run.driver, "--log", self.prefix.winpath(log), *options,
                self.prefix.winpath(package), *ops]
        proc = self.prefix.run(args, timeout=timeout)
        (self.root / "logs" / f"driver-{self._count}.out").write_bytes(proc.stdout)
        result = DriverResult(proc.stdout.decode("latin-1"), proc.returncode)
        result.log_path = log
        return result

    def driver_command(self, package, ops):
        """The command line of a driver run, for --spawn."""
        parts = [self.prefix.winpath(self.run.driver), self.prefix.winpath(package), *ops]
        return " ".join(f'"{p}"' if " " in p else p for p in parts)
