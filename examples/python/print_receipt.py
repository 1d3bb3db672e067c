#!/usr/bin/python3
"""Prints a short receipt on an OPOS POSPrinter through the quvo module, asynchronously."""
import argparse
import sys
import threading

import quvo

FULL_CUT = 100  # CutPaper percentage of a full cut
RECEIPT = ["\x1b|cA\x1b|bCQUVO Store\n", "Coffee            2.50\n", "Croissant         1.80\n",
           "\x1b|bCTotal             4.30\n", "\x1b|cAThank you!\n"]


def fail(printer, step, rc):
    print(f"print_receipt: {step} failed: ResultCode {rc}, ResultCodeExtended "
          f"{printer.ResultCodeExtended}", file=sys.stderr)
    printer.Close()
    return 1


def main():
    parser = argparse.ArgumentParser(description="Print a short receipt asynchronously.")
    parser.add_argument("logical_name", help="the printer's logical device name (or device entry)")
    parser.add_argument("--timeout", type=float, default=30.0, help="seconds to wait for the paper")
    args = parser.parse_args()

    printer = quvo.POSPrinter()
    completed, changed = set(), threading.Condition()

    def on_output_complete(output_id):
        with changed:
            completed.add(output_id)
            changed.notify_all()

    def on_error(rc, rc_extended, locus, response):
        print(f"print_receipt: printer error {rc}/{rc_extended}, retrying", file=sys.stderr)
        return quvo.OPOS_ER_RETRY

    printer.on_output_complete = on_output_complete
    printer.on_error = on_error
    rc = printer.Open(args.logical_name)
    if rc != quvo.OPOS_SUCCESS:
        return fail(printer, f"Open (OpenResult {printer.OpenResult})", rc)
    if (rc := printer.ClaimDevice(3000)) != quvo.OPOS_SUCCESS:
        return fail(printer, "ClaimDevice", rc)
    printer.DeviceEnabled = True
    printer.AsyncMode = True
    if printer.ResultCode != quvo.OPOS_SUCCESS:
        return fail(printer, "enabling", printer.ResultCode)
    for line in RECEIPT:
        if (rc := printer.PrintNormal(quvo.PTR_S_RECEIPT, line)) != quvo.OPOS_SUCCESS:
            return fail(printer, "PrintNormal", rc)
    if (rc := printer.CutPaper(FULL_CUT)) != quvo.OPOS_SUCCESS:
        return fail(printer, "CutPaper", rc)
    last = printer.OutputID  # the cut, the receipt's last output
    with changed:
        if not changed.wait_for(lambda: last in completed, args.timeout):
            return fail(printer, "waiting for the output", quvo.OPOS_E_TIMEOUT)
    printer.Close()
    print("print_receipt: printed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
