# quvo.POSPrinter against the virtual printer: what is printed arrives, properties read and
# write with the right refusals, and bytes go out as they stand.
import pathlib
import re

import quvo
from conftest import wait_until


def test_text_and_bytes_reach_the_paper(printer, sim):
    """A str is printed in the CharacterSet's code page; bytes go out as they stand (an
    ESC/POS command and a byte outside ASCII included), and BinaryConversion is put back."""
    assert printer.PrintNormal(quvo.PTR_S_RECEIPT, "Hello from Python \u00a3\n") == quvo.OPOS_SUCCESS
    raw = b"\x1bE\x01Bold \x9c\x00bytes\n"
    assert printer.PrintNormal(quvo.PTR_S_RECEIPT, raw) == quvo.OPOS_SUCCESS
    assert printer.BinaryConversion == 0
    assert printer.PrintImmediate(quvo.PTR_S_RECEIPT, b"Now\n") == quvo.OPOS_SUCCESS
    assert wait_until(lambda: sim.count_text("Now") == 1), sim.texts()
    texts = sim.texts()
    assert "Hello from Python \u00a3" in [c.get("printed") for c in sim.commands()], sim.commands()
    assert "Bold \u009c" in texts, texts
    names = [(c["cmd"], c.get("args")) for c in sim.commands()]
    assert ("ESC E", [1]) in names, names
    # The NUL went out too: the text after it is its own run, not lost.
    assert "bytes" in texts, texts


def test_bytes_under_an_application_conversion_are_kept_as_they_are(printer, sim):
    """An application that uses decimal BinaryConversion for its str keeps it; bytes ignore it."""
    printer.BinaryConversion = 2
    assert printer.PrintNormal(quvo.PTR_S_RECEIPT, b"AB\n") == quvo.OPOS_SUCCESS
    assert printer.BinaryConversion == 2
    assert printer.PrintNormal(quvo.PTR_S_RECEIPT, "067068010") == quvo.OPOS_SUCCESS  # "CD\n"
    assert wait_until(lambda: sim.count_text("CD") == 1), sim.texts()
    assert sim.count_text("AB") == 1


def test_properties_read_write_and_refusals(printer_name):
    """Closed: State and ResultCode say so. Open: writes take, bad values are refused with
    OPOS_E_ILLEGAL in ResultCode and leave the value as it was."""
    p = quvo.POSPrinter()
    assert (p.State, p.ResultCode, p.DeviceEnabled) == (quvo.OPOS_S_CLOSED, quvo.OPOS_E_CLOSED, False)
    assert p.Open("NoSuchPrinter") == quvo.OPOS_E_NOEXIST
    assert p.OpenResult == quvo.OPOS_OR_REGBADNAME
    assert p.Open(printer_name) == quvo.OPOS_SUCCESS
    assert p.State != quvo.OPOS_S_CLOSED
    p.DeviceEnabled = True
    assert p.ResultCode == quvo.OPOS_E_NOTCLAIMED
    assert p.DeviceEnabled is False
    assert p.ClaimDevice(3000) == quvo.OPOS_SUCCESS
    assert p.Claimed is True
    p.DeviceEnabled = True
    assert (p.ResultCode, p.DeviceEnabled, p.State) == (quvo.OPOS_SUCCESS, True, quvo.OPOS_S_IDLE)

    p.AsyncMode = True
    assert p.AsyncMode is True
    p.RecLineChars = 42
    assert (p.ResultCode, p.RecLineChars) == (quvo.OPOS_SUCCESS, 42)
    p.RecLineChars = 0
    assert (p.ResultCode, p.RecLineChars) == (quvo.OPOS_E_ILLEGAL, 42)
    p.CharacterSet = 858
    assert (p.ResultCode, p.CharacterSet) == (quvo.OPOS_SUCCESS, 858)
    p.CharacterSet = 12345
    assert (p.ResultCode, p.CharacterSet) == (quvo.OPOS_E_ILLEGAL, 858)
    assert p.SetPropertyNumber(quvo.PIDXPtr_CapRecPresent, 0) == quvo.OPOS_E_ILLEGAL
    assert p.PrintNormal(quvo.PTR_S_JOURNAL, "journal\n") == quvo.OPOS_E_ILLEGAL
    assert p.ResultCode == quvo.OPOS_E_ILLEGAL

    assert p.CapRecPresent and p.CapRecPapercut and p.CapTransaction
    assert p.GetPropertyNumber(quvo.PIDXPtr_RecLineChars) == 42
    assert "858" in p.CharacterSetList.split(",")
    assert p.DeviceName != "" and p.ServiceObjectVersion // 1000000 == 1
    assert p.ControlObjectVersion == 1013000
    rc, data, text = p.DirectIO(0, 7, "x")
    assert rc == p.ResultCode and isinstance(data, int) and isinstance(text, str)
    assert p.Close() == quvo.OPOS_SUCCESS
    assert p.State == quvo.OPOS_S_CLOSED


def test_a_refused_bytes_print_keeps_its_result_visible(printer, sim):
    """Putting BinaryConversion back after a bytes print must not turn the print's failure
    into a success in ResultCode."""
    sim.control("cover open")
    assert wait_until(lambda: printer.CoverOpen)
    assert printer.PrintNormal(quvo.PTR_S_RECEIPT, b"Lost?\n") == quvo.OPOS_E_EXTENDED
    assert printer.ResultCode == quvo.OPOS_E_EXTENDED
    assert printer.ResultCodeExtended == quvo.OPOS_EPTR_COVER_OPEN
    assert printer.BinaryConversion == 0
    sim.control("cover close")
    assert wait_until(lambda: not printer.CoverOpen)
    assert printer.PrintNormal(quvo.PTR_S_RECEIPT, b"Found\n") == quvo.OPOS_SUCCESS
    assert printer.ResultCode == quvo.OPOS_SUCCESS
    assert wait_until(lambda: sim.count_text("Found") == 1)
    assert sim.count_text("Lost?") == 0


def test_every_constant_of_the_headers_is_exported():
    """The module's constants are generated from the headers: none may be skipped."""
    root = pathlib.Path(__file__).resolve().parents[2] / "constants"
    declared = re.findall(r"^constexpr int32_t (\w+) = ", "".join(
        h.read_text() for h in root.glob("Opos*Constants.h")), re.M)
    assert len(declared) > 200
    assert [n for n in declared if not isinstance(getattr(quvo, n, None), int)] == []
    assert (quvo.OPOS_E_EXTENDED, quvo.PTR_BC_CENTER, quvo.PIDXPtr_RecLineChars) == (114, -2, 8016)
