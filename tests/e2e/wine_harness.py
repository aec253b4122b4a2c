"""Runs the built Windows programs under Wine as a user would, each test in a prefix of its own.

A prefix is a copy of the template that the build made once (tests/e2e/make_wine_prefix.sh). Paths and
programs come from the environment that CTest sets: MXV_EXE, MXV_WINE_TEMPLATE, MXV_PAYLOAD_DIR,
MXV_PAYLOAD_NAMES and MXV_E2E_WORK. In the 64-bit proof tree CTest also sets MXV_WINE (the Wine
loader, /usr/lib/wine/wine64) and MXV_WINE_ARCH (win64): every prefix is then a 64-bit one, copied
from the one template, and a test that needs a system only a 32-bit prefix presents skips.
"""

import getpass
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from launcher_output import (LOG_ENTRY, PAYLOAD_NAMES, WAIT_SCALE, parse_report,  # noqa: E402
                             wait_for)

# A log line as read from the file, split at its CR LF.
LOG_LINE = re.compile("^" + LOG_ENTRY + "$")

NOTICE = ("The application is about to shutdown due to an unrecoverable error. Please find a copy "
          "of the log file at C:\\windows\\Temp\\debug.log and contact Vardex for support.")

EXE = os.environ.get("MXV_EXE", "")
TEMPLATE = os.environ.get("MXV_WINE_TEMPLATE", "")
PAYLOAD_DIR = os.environ.get("MXV_PAYLOAD_DIR", "")
WORK = os.environ.get("MXV_E2E_WORK", tempfile.gettempdir())

# The Wine loader that runs this tree's programs, and the kind of prefix its template is.
WINE = os.environ.get("MXV_WINE", "wine")
TREE_ARCH = os.environ.get("MXV_WINE_ARCH", "win32")

# The versions that winecfg sets only in a 32-bit prefix; a 64-bit prefix ignores them silently.
ONLY_32_BIT_VERSIONS = {"win2k": "Windows 2000", "winxp": "Windows XP"}

# The supported system that the tests run on unless they choose another: XP, in its 64-bit
# edition where the prefixes are 64-bit.
DEFAULT_VERSION = "winxp64" if TREE_ARCH == "win64" else "winxp"


def prefix_arch(arch):
    """The kind of prefix a test gets when it asks for arch: a 64-bit one in a 64-bit tree."""
    return "win64" if TREE_ARCH == "win64" else arch


def template_of(arch):
    """The template that a prefix of this kind is copied from: a 32-bit tree keeps its 64-bit one
    beside the first, with 64 appended to the name."""
    return TEMPLATE + ("64" if arch == "win64" and TREE_ARCH != "win64" else "")


class Result:
    def __init__(self, code, stdout, stderr):
        self.code = code
        self.stdout = stdout
        self.stderr = stderr

    @property
    def stdout_lines(self):
        return self.stdout.replace("\r\n", "\n").splitlines()


class Running:
    """A program started under Wine, its standard output and error going to files."""

    def __init__(self, command, env, cwd, scratch):
        self.out = tempfile.TemporaryFile(dir=scratch)
        self.err = tempfile.TemporaryFile(dir=scratch)
        self.process = subprocess.Popen(command, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                        stdout=self.out, stderr=self.err)

    def finish(self, timeout=120):
        code = self.process.wait(timeout=timeout * WAIT_SCALE)
        texts = []
        for f in (self.out, self.err):
            f.seek(0)
            texts.append(f.read().decode("latin-1"))
            f.close()
        return Result(code, texts[0], texts[1])


class Prefix:
    """A Wine prefix copied from the template, with its own wineserver."""

    def __init__(self, name, arch="win32"):
        os.makedirs(WORK, exist_ok=True)
        self.root = tempfile.mkdtemp(prefix=name + "-", dir=WORK)
        self.path = os.path.join(self.root, "prefix")
        arch = prefix_arch(arch)
        self.arch = arch
        subprocess.run(["cp", "-a", template_of(arch), self.path], check=True)
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEDEBUG="-all", WINEARCH=arch)
        self.env.pop("DISPLAY", None)
        if WINE != "wine":
            # A test that runs `wine` itself with this environment gets the tree's loader too.
            # It is a script, not a link: the loader finds its files from the name it runs under.
            shim = os.path.join(self.root, "bin")
            os.makedirs(shim)
            with open(os.path.join(shim, "wine"), "w") as f:
                f.write("#!/bin/sh\nexec %s \"$@\"\n" % shlex.quote(WINE))
            os.chmod(os.path.join(shim, "wine"), 0o755)
            self.env["PATH"] = shim + os.pathsep + self.env.get("PATH", os.defpath)
        self.user = getpass.getuser()
        self.drive_c = os.path.join(self.path, "drive_c")
        self.profile = os.path.join(self.drive_c, "users", self.user)
        self.dvt = os.path.join(self.profile, "DVT")
        self.log = os.path.join(self.drive_c, "windows", "temp", "debug.log")
        self.files = os.path.join(self.root, "files")
        os.makedirs(self.files)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["chattr", "-R", "-i", self.path], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(self.root, ignore_errors=True)

    def windows_path(self, unix_path):
        """The Z: drive path of a file on the Linux side."""
        return "Z:" + unix_path.replace("/", "\\")

    def set_version(self, name):
        """Makes the whole prefix present the Windows version winecfg calls name. A version that
        this prefix cannot present skips the test."""
        if self.arch == "win64" and name in ONLY_32_BIT_VERSIONS:
            raise unittest.SkipTest(
                "%s (winecfg /v %s) exists only in a 32-bit Wine prefix; this tree's 64-bit "
                "prefixes ignore it silently, so only the 32-bit build's Wine tests can check it"
                % (ONLY_32_BIT_VERSIONS[name], name))
        subprocess.run([WINE, "winecfg", "/v", name], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.settle()

    def reg_add(self, key, value, data, kind="REG_SZ"):
        subprocess.run([WINE, "reg", "add", key, "/v", value, "/t", kind, "/d", data, "/f"],
                       env=self.env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def trace_calls(self, functions):
        """Makes WINEDEBUG=+relay show only these calls, e.g. 'user32.MessageBoxA'."""
        self.reg_add("HKCU\\Software\\Wine\\Debug", "RelayInclude", ";".join(functions))
        self.settle()

    def settle(self):
        subprocess.run(["wineserver", "-w"], env=self.env, check=False)

    def start(self, args=(), env=None, cwd=None, debug="-all", program=None):
        """Starts a program under Wine without waiting; returns a Running.

        Its output goes to files, not pipes: a process that the program leaves behind would keep a
        pipe open, and reading it would wait for that process too."""
        run_env = dict(self.env, WINEDEBUG=debug)
        run_env.update(env or {})
        return Running([WINE, program or EXE] + list(args), run_env, cwd or self.files,
                       self.root)

    def run(self, args=(), env=None, cwd=None, debug="-all", program=None, timeout=120):
        return self.start(args, env, cwd, debug, program).finish(timeout)

    def log_lines(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, "rb") as f:
            data = f.read()
        return data.decode("latin-1").split("\r\n")[:-1] if data else []

    def log_bytes(self):
        with open(self.log, "rb") as f:
            return f.read()


class WineTestCase(unittest.TestCase):
    """Gives each test a fresh prefix as self.prefix and removes it afterwards."""

    version = DEFAULT_VERSION
    arch = "win32"

    def setUp(self):
        if not EXE or not TEMPLATE:
            self.fail("MXV_EXE and MXV_WINE_TEMPLATE must be set")
        if not PAYLOAD_NAMES:
            self.fail("MXV_PAYLOAD_NAMES must be set to the embedded files' names, joined with "
                      "commas (CTest sets it from the build)")
        template = template_of(prefix_arch(self.arch))
        if os.path.exists(template + ".unavailable"):
            with open(template + ".unavailable") as f:
                self.skipTest(f.read().strip())
        self.prefix = Prefix(self.id().rsplit(".", 1)[-1], self.arch)
        self.addCleanup(self.prefix.close)
        if self.version:
            self.prefix.set_version(self.version)

    def utility_env(self, **extra):
        """Knobs of the stand-in utility: its report goes to report.txt beside the prefix."""
        self.report_path = os.path.join(self.prefix.root, "report.txt")
        env = {"NQVQLAR_REPORT": self.prefix.windows_path(self.report_path)}
        for key, value in extra.items():
            env["NQVQLAR_" + key] = value
        return env

    def start_held_launcher(self):
        """Starts a launcher and waits until its utility runs; the utility then waits until the file
        whose path is returned, beside the prefix, appears. Returns the Running launcher and that
        path."""
        started = os.path.join(self.prefix.root, "started")
        release = os.path.join(self.prefix.root, "release")
        running = self.prefix.start(env=self.utility_env(
            STARTED=self.prefix.windows_path(started), WAIT_FOR=self.prefix.windows_path(release)))
        try:
            wait_for(lambda: os.path.exists(started), 60, "the first launcher's utility")
        except BaseException:
            open(release, "w").close()
            running.finish()
            raise
        return running, release

    def start_with_environment(self, settings, env=None, cwd=None, debug="-all"):
        """Starts the launcher with environment variables set (NAME=VALUE, also to the empty text) or
        removed (a bare NAME); returns a Running. Wine sets USERPROFILE itself for a program started
        from Linux, so tests/wine/with_environment.cpp sets them, through the wide calls, and starts
        the launcher."""
        helper = os.path.join(os.path.dirname(os.environ["MXV_OS_CODE"]), "with_environment.exe")
        return self.prefix.start(list(settings) + ["--", self.prefix.windows_path(EXE)], env=env,
                                 cwd=cwd, debug=debug, program=helper)

    def hold_file(self, mode, windows_path):
        """Has tests/wine/hold_file.cpp hold the file at windows_path ("open": open for reading,
        sharing reading only; "lock": its far end locked) and waits until it does. It holds the file
        until the returned function or the test's end kills it; the prefix cannot settle before."""
        ready = tempfile.mktemp(prefix="held-", dir=self.prefix.root)
        program = os.path.join(os.path.dirname(os.environ["MXV_OS_CODE"]), "hold_file.exe")
        holder = self.prefix.start([mode, windows_path, self.prefix.windows_path(ready)],
                                   program=program)

        def release():
            holder.process.kill()
            holder.process.wait()
        self.addCleanup(release)
        wait_for(lambda: os.path.exists(ready) or holder.process.poll() is not None, 60,
                 "the helper to hold " + windows_path)
        self.assertTrue(os.path.exists(ready), "the helper holds " + windows_path)
        return release

    def assert_log_entries(self, messages):
        """The log holds exactly these entries, each a well-formed line ending in CR LF."""
        lines = self.prefix.log_lines()
        data = self.prefix.log_bytes()
        self.assertEqual(data.count(b"\n"), data.count(b"\r\n"), "every line ends in CR LF")
        found = []
        for line in lines:
            match = LOG_LINE.match(line)
            self.assertIsNotNone(match, "not an entry: %r" % line)
            found.append(match.group("message"))
        self.assertEqual(found, messages)

    def report(self, path):
        """The stand-in utility's report as a dict, with the file list under 'files'."""
        self.assertTrue(os.path.exists(path), "the utility wrote no report")
        with open(path, encoding="latin-1") as f:
            report = parse_report(f.read())
        self.assertIn("end", report, "the report is complete")
        return report

    def boxes(self, stderr):
        """The message boxes shown, from a relay trace of user32.MessageBoxA."""
        pattern = re.compile(r'Call user32\.MessageBoxA\(00000000,[0-9a-f]+ "(.*)",[0-9a-f]+ '
                             r'"(.*)",([0-9a-f]+)\)')
        return [(m.group(1), m.group(2), int(m.group(3), 16))
                for m in pattern.finditer(stderr)]


class Terminal:
    """A program run under a pseudo-terminal in tmux, so that it inherits a console."""

    def __init__(self, prefix, args, cwd, env=None, program=None):
        self.prefix = prefix
        self.session = "mxv-%d-%d" % (os.getpid(), int(time.monotonic() * 1000))
        self.done = os.path.join(prefix.root, self.session + ".exit")
        stderr = os.path.join(prefix.root, self.session + ".stderr")
        # The session's shell gets the prefix's Wine settings and the test's own variables.
        exports = {key: prefix.env[key] for key in ("WINEPREFIX", "WINEDEBUG", "WINEARCH")}
        exports.update(env or {})
        # The exit code is written beside the file and renamed into place, so that the file never
        # exists without it.
        partial = self.done + ".part"
        command = "cd %s && %s %s %s 2>%s; echo $? > %s && mv %s %s" % (
            shlex.quote(cwd), shlex.quote(WINE), shlex.quote(program or EXE),
            " ".join(shlex.quote(a) for a in args), shlex.quote(stderr), shlex.quote(partial),
            shlex.quote(partial), shlex.quote(self.done))
        env_args = []
        for key, value in exports.items():
            env_args += ["-e", "%s=%s" % (key, value)]
        subprocess.run(["tmux", "new-session", "-d", "-s", self.session, "-x", "400", "-y", "80"]
                       + env_args + [command], check=True)

    def screen(self):
        return subprocess.run(["tmux", "capture-pane", "-p", "-J", "-S", "-200", "-t",
                               self.session], capture_output=True, text=True).stdout

    def wait_for_text(self, text, seconds=60):
        wait_for(lambda: text in self.screen(), seconds, repr(text) + " on the terminal")

    def send_key(self, key):
        subprocess.run(["tmux", "send-keys", "-t", self.session, key], check=True)

    def finished(self):
        return os.path.exists(self.done)

    def exit_code(self, seconds=60):
        wait_for(self.finished, seconds, "the program to end")
        with open(self.done) as f:
            return int(f.read().strip())

    def close(self):
        subprocess.run(["tmux", "kill-session", "-t", self.session], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
