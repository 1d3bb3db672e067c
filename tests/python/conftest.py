# The fixtures of the Python module's tests: a registry of its own with the service object
# registered, a virtual printer run as `quvo sim` on a free loopback port, and printer entries.
import itertools
import json
import os
import signal
import socket
import subprocess
import threading
import time

import pytest

QUVO_BIN = os.environ["QUVO_BIN"]
QUVO_SO = os.environ["QUVO_SO"]
DEADLINE_S = 15.0
SERVICE_OPOS = "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS"


def wait_until(condition, timeout=DEADLINE_S):
    """True as soon as condition() is, False after timeout seconds."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.01)
    return bool(condition())


class Watcher(threading.Thread):
    """Runs Python in a loop and keeps the longest time between two turns: while the main
    thread holds the interpreter lock, this thread cannot take its next turn."""

    def __init__(self):
        super().__init__(daemon=True)
        self.longest = 0.0
        self.stop = threading.Event()

    def run(self):
        last = time.monotonic()
        while not self.stop.is_set():
            now = time.monotonic()
            self.longest = max(self.longest, now - last)
            last = now


def run_quvo(*args, check=True):
    result = subprocess.run([QUVO_BIN, *args], capture_output=True, text=True, timeout=60)
    if check:
        assert result.returncode == 0, f"quvo {' '.join(args)}: {result.stderr}"
    return result


@pytest.fixture(scope="session")
def store(tmp_path_factory):
    """The registry and lock folders of the whole run, with the service object registered.
    Set once: the service object's threads read the environment."""
    root = tmp_path_factory.mktemp("store")
    os.environ["QUVO_REGISTRY_DIR"] = str(root / "registry")
    os.environ["QUVO_LOCK_DIR"] = str(root / "locks")
    os.environ["XDG_CONFIG_HOME"] = str(root / "config")
    (root / "locks").mkdir()
    run_quvo("register", "--library", QUVO_SO)
    return root


class Sim:
    """`quvo sim` on loopback TCP with a command log and a control socket."""

    def __init__(self, folder, extra=()):
        self.folder = folder
        self.port = 0
        self.extra = list(extra)
        self.runs = 0
        self.proc = None
        self.start()

    def start(self):
        """Starts the printer, on the port of the previous run if there was one."""
        self.runs += 1
        self.log = self.folder / f"sim{self.runs}.jsonl"
        self.control_path = str(self.folder / f"control{self.runs}")
        args = [QUVO_BIN, "sim", "--tcp", str(self.port), "--log", str(self.log),
                "--png", str(self.folder / f"paper{self.runs}.png"), "--control", self.control_path,
                *self.extra]
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        assert line.startswith("tcp 127.0.0.1:"), f"quvo sim said {line!r}: {self.proc.stderr.read()}"
        self.port = int(line.rsplit(":", 1)[1])

    def stop(self):
        """Power off: the process ends, the link goes down."""
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            self.proc.wait(timeout=DEADLINE_S)

    def control(self, line):
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            s.connect(self.control_path)
            s.sendall(line.encode() + b"\n")
            answer = s.makefile().readline().strip()
        assert answer != "" and not answer.startswith("error"), f"{line}: {answer}"
        return answer

    def commands(self, run=None):
        """The decoded commands of one run (the current one by default)."""
        path = self.folder / f"sim{run or self.runs}.jsonl"
        if not path.exists():
            return []
        with open(path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]

    def texts(self, run=None):
        return [c["text"] for c in self.commands(run) if "text" in c]

    def count_text(self, text, run=None):
        return sum(1 for t in self.texts(run) if t == text)


@pytest.fixture
def sim(tmp_path, store):
    printer = Sim(tmp_path)
    yield printer
    printer.stop()


_entry_numbers = itertools.count(1)


def import_printer_entry(folder, port, drawer_close_ms=3000):
    """A TM-T88IV entry on 127.0.0.1:port with a logical name, and a drawer entry on it whose
    logical name is the printer's with "Drawer" before it; returns the printer's logical name."""
    n = next(_entry_numbers)
    entry, logical = f"PyPrinter{n}", f"PyReceipt{n}"
    drawer = {"": "QUVOOposPrinterU1.13", "OpenVoltage": "1", "CapDrawStatus": "1", "DrawerPin": "2",
              "PrinterName": entry, "SignalOffTime": "100", "SignalOnTime": "100",
              "WaitForDrawerCloseTimeOut": str(drawer_close_ms), "CashDrawerName": f"Till{n}"}
    values = {"": "QUVOOposPrinterU1.13", "PortType": "TCP/IP", "DriverModel": "TM-T88IV",
              "DriverName": entry, "PortSettings": f"127.0.0.1,{port}", "OutputBufSize": "4096",
              "BitMapMode": "0", "WriteTimeout": "1000", "ReadTimeout": "1000", "CodepageID": "437",
              "DeviceDescription": "Virtual", "Notes": ""}
    lines = ["Windows Registry Editor Version 5.00", "", f"[{SERVICE_OPOS}\\POSPrinter\\{entry}]"]
    lines += [("@" if k == "" else f'"{k}"') + f'="{v}"' for k, v in values.items()]
    lines += ["", f"[{SERVICE_OPOS}\\POSPrinter]", f'"{logical}"="{entry}"', ""]
    lines += [f"[{SERVICE_OPOS}\\CashDrawer\\Till{n}]"]
    lines += [("@" if k == "" else f'"{k}"') + f'="{v}"' for k, v in drawer.items()]
    lines += ["", f"[{SERVICE_OPOS}\\CashDrawer]", f'"Drawer{logical}"="Till{n}"', ""]
    reg = folder / f"{entry}.reg"
    reg.write_text("\n".join(lines), encoding="utf-8")
    run_quvo("registry", "import", str(reg))
    return logical


@pytest.fixture
def printer_name(sim, tmp_path):
    return import_printer_entry(tmp_path, sim.port)


@pytest.fixture
def printer(printer_name):
    """An opened, claimed and enabled quvo.POSPrinter on the virtual printer."""
    import quvo

    p = quvo.POSPrinter()
    assert p.Open(printer_name) == quvo.OPOS_SUCCESS, p.OpenResult
    assert p.ClaimDevice(3000) == quvo.OPOS_SUCCESS
    p.DeviceEnabled = True
    assert p.ResultCode == quvo.OPOS_SUCCESS
    yield p
    p.Close()
