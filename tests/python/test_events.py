# Events reach Python callables in order, an error event's answer decides what happens to the
# output, a failing handler does not stop the device, and the interpreter keeps running while
# the control object blocks.
import os
import subprocess
import sys
import textwrap
import time

import quvo
from conftest import DEADLINE_S, Watcher, wait_until


def test_output_complete_events_arrive_in_order(printer, sim):
    seen = []
    printer.on_output_complete = seen.append
    printer.AsyncMode = True
    ids = []
    for n in range(1, 4):
        assert printer.PrintNormal(quvo.PTR_S_RECEIPT, f"Job {n}\n") == quvo.OPOS_SUCCESS
        ids.append(printer.OutputID)
    assert ids == sorted(set(ids)), ids
    assert wait_until(lambda: len(seen) >= 3), seen
    assert seen == ids
    assert [t for t in sim.texts() if t.startswith("Job")] == ["Job 1", "Job 2", "Job 3"]
    assert printer.on_output_complete == seen.append
    printer.on_output_complete = None
    assert printer.on_output_complete is None


def test_error_answer_clears_or_retries(printer, sim, monkeypatch):
    """With the printer switched off, an asynchronous output raises error events. The answer
    decides: CLEAR drops the output, RETRY writes it once the printer is back (exactly once).
    A handler that raises is reported and the event keeps its default answer (retry)."""
    unraisable = []
    monkeypatch.setattr(sys, "unraisablehook", unraisable.append)
    errors, done = [], []
    answer = {"value": quvo.OPOS_ER_CLEAR, "raise_first": False}

    def on_error(rc, rce, locus, response):
        errors.append((rc, rce, locus, response))
        if answer["raise_first"]:
            answer["raise_first"] = False
            raise RuntimeError("handler failed")
        return answer["value"]

    printer.on_error = on_error
    printer.on_output_complete = done.append
    printer.AsyncMode = True
    assert printer.PrintNormal(quvo.PTR_S_RECEIPT, "Before\n") == quvo.OPOS_SUCCESS
    assert wait_until(lambda: printer.OutputID in done)
    sim.stop()

    assert printer.PrintNormal(quvo.PTR_S_RECEIPT, "Cleared\n") == quvo.OPOS_SUCCESS
    cleared = printer.OutputID
    assert wait_until(lambda: len(errors) >= 1), errors
    assert errors[0][:3] == (quvo.OPOS_E_NOHARDWARE, 0, quvo.OPOS_EL_OUTPUT), errors
    assert wait_until(lambda: printer.State == quvo.OPOS_S_IDLE), "clear empties the queue"

    answer.update(value=quvo.OPOS_ER_RETRY, raise_first=True)
    first_retry_error = len(errors)
    assert printer.PrintNormal(quvo.PTR_S_RECEIPT, "Retried\n") == quvo.OPOS_SUCCESS
    retried = printer.OutputID
    assert wait_until(lambda: len(errors) >= first_retry_error + 2), errors
    assert [u.exc_type for u in unraisable] == [RuntimeError]
    assert unraisable[0].object is on_error
    sim.start()
    assert wait_until(lambda: retried in done), (done, errors)
    assert wait_until(lambda: sim.count_text("Retried") == 1), sim.texts()
    time.sleep(0.2)  # a second write of the output would show up by now
    assert done.count(retried) == 1 and cleared not in done, done
    assert sim.count_text("Retried") == 1 and sim.count_text("Cleared") == 0
    assert sim.count_text("Before") == 0, "the printed output is not sent again"


def test_status_updates_reach_python(printer, sim):
    statuses = []
    printer.on_status_update = statuses.append
    sim.control("cover open")
    assert wait_until(lambda: quvo.PTR_SUE_COVER_OPEN in statuses), statuses
    sim.control("cover close")
    assert wait_until(lambda: quvo.PTR_SUE_COVER_OK in statuses[statuses.index(quvo.PTR_SUE_COVER_OPEN):]), \
        statuses


def test_the_interpreter_runs_while_a_synchronous_print_blocks(store, tmp_path):
    """A large synchronous print on a slow link takes seconds; another Python thread keeps
    running all that time."""
    from conftest import Sim, import_printer_entry

    slow = Sim(tmp_path, extra=["--rate", "50000"])
    try:
        p = quvo.POSPrinter()
        assert p.Open(import_printer_entry(tmp_path, slow.port)) == quvo.OPOS_SUCCESS
        assert p.ClaimDevice(3000) == quvo.OPOS_SUCCESS
        p.DeviceEnabled = True
        watcher = Watcher()
        watcher.start()
        time.sleep(0.05)
        watcher.longest, start = 0.0, time.monotonic()
        assert p.PrintNormal(quvo.PTR_S_RECEIPT, "Long line of a long receipt\n" * 4000) == quvo.OPOS_SUCCESS
        elapsed, longest = time.monotonic() - start, watcher.longest
        watcher.stop.set()
        watcher.join()
        p.Close()
        assert elapsed > 1.0, f"the print took {elapsed:.2f} s: too short to show anything"
        assert longest < elapsed / 4, f"the other thread stood still for {longest:.2f} of {elapsed:.2f} s"
    finally:
        slow.stop()


CLOSE_DURING_HANDLER = textwrap.dedent("""
    import sys, threading, time, quvo
    p = quvo.POSPrinter()
    assert p.Open(sys.argv[1]) == 0 and p.ClaimDevice(3000) == 0
    p.DeviceEnabled = True
    p.AsyncMode = True
    entered = threading.Event()
    def slow_handler(output_id):
        entered.set()
        time.sleep(0.5)  # lets the main thread reach Close while this delivery is running
        print("handler done", flush=True)
    p.on_output_complete = slow_handler
    assert p.PrintNormal(quvo.PTR_S_RECEIPT, "Closing\\n") == 0
    assert entered.wait(10)
    print("close", p.Close(), flush=True)
    # The same through deletion, and a device left open for the exit to close.
    q = quvo.POSPrinter()
    assert q.Open(sys.argv[1]) == 0 and q.ClaimDevice(3000) == 0
    q.DeviceEnabled = True
    q.AsyncMode = True
    entered.clear()
    q.on_output_complete = slow_handler
    assert q.PrintNormal(quvo.PTR_S_RECEIPT, "Deleting\\n") == 0
    assert entered.wait(10)
    del q
    print("deleted", flush=True)
    r = quvo.POSPrinter()
    assert r.Open(sys.argv[1]) == 0
    r.on_status_update = lambda s: None
""")


def test_close_and_delete_wait_for_a_running_handler_without_deadlock(printer_name, store):
    """Close and deletion wait for a handler in progress; they must let it take the lock."""
    env = dict(os.environ, PYTHONPATH=os.path.dirname(quvo.__file__))
    result = subprocess.run([sys.executable, "-c", CLOSE_DURING_HANDLER, printer_name], env=env,
                            capture_output=True, text=True, timeout=DEADLINE_S * 2)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["handler done", "close 0", "handler done", "deleted"], result.stdout
