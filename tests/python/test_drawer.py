# quvo.CashDrawer against the virtual printer's drawer: it opens, its status reaches Python, and
# Python keeps running while WaitForDrawerClose blocks.
import time

import quvo
from conftest import Watcher, wait_until


def test_drawer_opens_and_python_runs_while_waiting_for_its_close(printer_name, sim):
    sim.control("drawer-auto-close 1500")
    drawer = quvo.CashDrawer()
    statuses = []
    drawer.on_status_update = statuses.append
    assert drawer.Open("Drawer" + printer_name) == quvo.OPOS_SUCCESS, drawer.OpenResult
    assert drawer.ClaimDevice(3000) == quvo.OPOS_SUCCESS
    drawer.DeviceEnabled = True
    assert drawer.ResultCode == quvo.OPOS_SUCCESS and drawer.CapStatus
    assert drawer.OpenDrawer() == quvo.OPOS_SUCCESS
    assert wait_until(lambda: drawer.DrawerOpened)

    watcher = Watcher()
    watcher.start()
    time.sleep(0.05)
    watcher.longest, start = 0.0, time.monotonic()
    assert drawer.WaitForDrawerClose(1000, 800, 100, 500) == quvo.OPOS_SUCCESS
    elapsed, longest = time.monotonic() - start, watcher.longest
    watcher.stop.set()
    watcher.join()
    assert not drawer.DrawerOpened
    assert elapsed > 0.5, f"the wait took {elapsed:.2f} s: too short to show anything"
    assert longest < elapsed / 4, f"the other thread stood still for {longest:.2f} of {elapsed:.2f} s"
    opened, closed = quvo.CASH_SUE_DRAWEROPEN, quvo.CASH_SUE_DRAWERCLOSED
    assert wait_until(lambda: opened in statuses and closed in statuses[statuses.index(opened):]), statuses
    assert drawer.Close() == quvo.OPOS_SUCCESS
