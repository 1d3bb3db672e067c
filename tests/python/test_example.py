# The example script, run end to end against the virtual printer as a user would run it.
import os
import pathlib
import subprocess
import sys

import quvo
from conftest import DEADLINE_S

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "examples" / "python" / "print_receipt.py"


def run_example(*args):
    env = dict(os.environ, PYTHONPATH=os.path.dirname(quvo.__file__))
    return subprocess.run([sys.executable, str(SCRIPT), *args], env=env, capture_output=True, text=True,
                          timeout=DEADLINE_S * 2)


def test_example_prints_cuts_and_exits_zero(printer_name, sim):
    result = run_example(printer_name)
    assert result.returncode == 0, result.stderr
    texts = sim.texts()
    assert "QUVO Store" in texts and "Thank you!" in texts, texts
    assert any(c["cmd"].startswith("GS V") for c in sim.commands()), "the paper is cut"


def test_example_fails_with_one_for_an_unknown_printer_and_has_help(store):
    result = run_example("NoSuchPrinter")
    assert result.returncode == 1
    assert "Open" in result.stderr and str(quvo.OPOS_E_NOEXIST) in result.stderr
    assert run_example("--help").returncode == 0
