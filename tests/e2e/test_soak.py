"""Soak: 1 000 codes from the scanner at full line speed, in server mode.

The real lumivo.exe runs under Wine on a virtual display with its scanner on
a virtual serial line (a socat pseudo-terminal pair, no baud-rate limit), and
asks a checker server in this process on a loopback address of its own. The
codes are written back to back, each ended by a carriage return, much faster
than the checker can ask about them: the reader takes bytes as they come and
posts them to the window, where they wait while the checker talks to the
server (under Wine the backlog lives in wineserver's memory). Every code
must reach the server exactly once, in order, with the right bytes; and every
answer must reach the screen, which the running total shows. The long runs,
100 000 codes in each mode, are tools/soak-wine.sh's.
"""

import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, os.pardir, "harness")]
import checker_servers as servers  # noqa: E402
import program_case  # noqa: E402
import virtual_serial  # noqa: E402
from program_case import ProgramCase  # noqa: E402

CODES = 1000
# Generous: on this machine the run takes well under a minute.
RUN_LIMIT_S = 150

def one_zloty(request):
    """Every item costs 1.00, so the total counts the answers shown."""
    return servers.reply_bytes(request, "Towar testowy", "Cena:           1.00")


class Soak(ProgramCase):

    def test_a_thousand_scanned_codes_reach_the_server_in_order(self):
        codes = virtual_serial.soak_codes(CODES)
        server = servers.CapturingServer(servers.pick_loopback_address(), answer=one_zloty)
        self.addCleanup(server.close)
        scanner = virtual_serial.ScannerEnd(
            virtual_serial.start_virtual_serial(self.session, "COM1"))
        self.addCleanup(scanner.close)
        self.server_setup(server.address, portName="COM1")
        self.start()

        started = time.monotonic()
        scanner.send(b"".join(code.encode("ascii") + b"\r" for code in codes))
        written = time.monotonic()
        received = server.wait_count(CODES, RUN_LIMIT_S)
        finished = time.monotonic()
        time.sleep(1)  # nothing more may come
        received = server.received()
        print(f"\nsoak: {CODES} codes written in {written - started:.1f} s, all asked "
              f"after {finished - started:.1f} s "
              f"({(finished - started) / CODES * 1000:.1f} ms per code)", file=sys.stderr)

        self.assertEqual(len(received), CODES, "requests at the server")
        for i, (code, datagram) in enumerate(zip(codes, received)):
            self.assertEqual(datagram, servers.request_bytes(i, code), f"request {i}")

        self.assert_screen("after the soak", name="Towar testowy", price="1.00",
                           total=f"{CODES}.00")
        self.close_and_expect_exit_code_0()
        self.passed = True


if __name__ == "__main__":
    program_case.main()
