# What an event handler answers goes back to the service object: on_error's response and
# on_direct_io's data and text. Driven by the fake service object of the control-object tests,
# which fires an event on its own thread when asked through DirectIO and reports the answer.
import os
import sys

import pytest

import quvo
from conftest import SERVICE_OPOS, run_quvo

FAKE_CLSID = "{7E3B2A10-1C4D-4F5E-8A9B-000000000001}"
FIRE_ERROR, FIRE_DIRECT_IO = 2, 4  # the fake's DirectIO commands (tests/opos/FakeServiceObjectIds.h)


@pytest.fixture
def fake(store, tmp_path):
    library = os.environ.get("QUVO_FAKE_SO")
    if not library:
        pytest.skip("the fake service object is not built")
    classes = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes"
    reg = tmp_path / "fake.reg"
    reg.write_text("\n".join([
        "Windows Registry Editor Version 5.00", "",
        f"[{classes}\\CLSID\\{FAKE_CLSID}\\InprocServer32]", f'@="{library}"', "",
        f"[{classes}\\QuvoFake.Printer.1\\CLSID]", f'@="{FAKE_CLSID}"', "",
        f"[{SERVICE_OPOS}\\POSPrinter\\PyFake]", '@="QuvoFake.Printer.1"', ""]), encoding="utf-8")
    run_quvo("registry", "import", str(reg))
    p = quvo.POSPrinter()
    assert p.Open("PyFake") == quvo.OPOS_SUCCESS, p.OpenResult
    yield p
    p.Close()


def test_error_answer_reaches_the_service_object(fake, monkeypatch):
    unraisable = []
    monkeypatch.setattr(sys, "unraisablehook", unraisable.append)
    calls = []

    def clear(*args):
        calls.append(args)
        return quvo.OPOS_ER_CLEAR

    fake.on_error = clear
    assert fake.DirectIO(FIRE_ERROR, 0, "")[1] == quvo.OPOS_ER_CLEAR
    assert calls == [(quvo.OPOS_E_EXTENDED, quvo.OPOS_EPTR_COVER_OPEN, quvo.OPOS_EL_OUTPUT, quvo.OPOS_ER_RETRY)]
    fake.on_error = lambda *args: None  # keeps the default
    assert fake.DirectIO(FIRE_ERROR, 0, "")[1] == quvo.OPOS_ER_RETRY
    fake.on_error = lambda *args: "bogus"  # reported; the default stands
    assert fake.DirectIO(FIRE_ERROR, 0, "")[1] == quvo.OPOS_ER_RETRY
    assert [u.exc_type for u in unraisable] == [TypeError]


def test_direct_io_answer_reaches_the_service_object(fake, monkeypatch):
    unraisable = []
    monkeypatch.setattr(sys, "unraisablehook", unraisable.append)
    seen = []

    def answer(number, data, text):
        seen.append((number, data, text))
        return data + 1, text + "?"

    fake.on_direct_io = answer
    assert fake.DirectIO(FIRE_DIRECT_IO, 41, "caf\u00e9")[1:] == (42, "caf\u00e9?")
    assert seen == [(7, 41, "caf\u00e9")]
    fake.on_direct_io = lambda number, data, text: None
    assert fake.DirectIO(FIRE_DIRECT_IO, 41, "same")[1:] == (41, "same")
    fake.on_direct_io = lambda number, data, text: 5  # not a pair: reported, nothing changed
    assert fake.DirectIO(FIRE_DIRECT_IO, 41, "same")[1:] == (41, "same")
    assert [u.exc_type for u in unraisable] == [TypeError]
