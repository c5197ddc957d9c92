"""`pellandor call` and `pellandor hangup` end to end against the exchange
simulator over TLS on loopback."""

import socket
import time
import unittest

from harness import CALL_FAIL, DATA, HANGUP_FAIL, RECEIVE_FAIL, CliTestCase

ACCOUNT = ("2001", "alice", "s<&>cret")
# Values K of the dialling plan: CO 9, country 82, area 031, international 001.
PLAN = ("[ACCESSCODE]\nCO_ACCESS_CODE=9\nMYCOUNTRY_CODE=82\nMYAREA_CODE=031\n"
        "INTER_CODE=001\nPBX_CODE=\nLONG_CODE=\nUSE_ADDZERO=1\n")


class CallTest(CliTestCase):
    def start_sim(self, **kwargs):
        kwargs.setdefault("accounts", [ACCOUNT])
        return super().start_sim(**kwargs)

    def configure(self, port, address="127.0.0.1", user=ACCOUNT):
        station, uid, password = user
        self.write_settings(f"[USER_INFO]\nID={uid}\nPN={station}\n[SYS_INFO]\nIP={address}\nPORT={port}\n" + PLAN)
        # The password goes in as the program stores it: enciphered.
        result = self.pellandor("config", "set", "--", "USER_INFO", "PW", password)
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_call_succeeds_with_exact_request_and_leaves_settings_alone(self):
        sim = self.start_sim()
        self.configure(sim.port)
        # Trusted already, so the first call has no key to keep either.
        self.assertEqual(self.pellandor("config", "pin", "accept", sim.keys[0]).returncode, 0)
        before = self.settings.read_bytes()

        started = time.monotonic()
        result = self.pellandor("call", "031-123-4567")
        ended = time.monotonic()
        self.assertEqual((result.returncode, result.stdout), (0, "Success\n"), result.stderr)

        [request] = sim.requests()
        # The simulator's stamps are on our monotonic clock, so benchmarks can time a client.
        self.assertLessEqual(started, request["accepted_mono"])
        self.assertLessEqual(request["accepted_mono"], request["first_byte_mono"])
        self.assertLessEqual(request["first_byte_mono"], ended)
        raw = request["raw"].encode("latin-1")
        host = next(l for l in raw.split(b"\r\n") if l.startswith(b"Host: "))[6:]
        expected = (DATA / "call_request.golden").read_bytes().replace(b"@LOCAL@", host)
        self.assertEqual(raw, expected)
        self.assertEqual(request["fields"]["userpwd"], "s<&>cret")
        self.assertEqual(self.settings.read_bytes(), before, "call must not write the settings or the call log")

    def test_hangup_sends_empty_destination(self):
        sim = self.start_sim()
        self.configure(sim.port)
        result = self.pellandor("hangup")
        self.assertEqual((result.returncode, result.stdout), (0, "Success\n"), result.stderr)
        [request] = sim.requests()
        self.assertEqual((request["call_type"], request["fields"]["destdialnum"]), ("hangup", ""))

    def test_raw_skips_the_dialling_plan(self):
        sim = self.start_sim()
        self.configure(sim.port)
        self.assertEqual(self.pellandor("call", "--raw", "031", "123", "4567").returncode, 0)
        self.assertEqual(sim.requests()[0]["destination"], "031 123 4567")

    def test_result_codes_show_their_messages(self):
        cases = [
            ("call", 101, "Authorization Failed. Checkif your ID, PW, or Phone Number is valid.\nRS CODE : AUTH FAIL"),
            ("call", 102, CALL_FAIL + "\nRS CODE : ACCESS DENIED"),
            ("call", 103, CALL_FAIL + "\nRS CODE : CALL RESTRICTED"),
            ("call", 104, CALL_FAIL + "\nRS CODE : NOK ETC"),
            ("call", 110, CALL_FAIL + " Check if your phone is available.\nRS CODE : CALLER BUSY"),
            ("hangup", 110, HANGUP_FAIL + " Check if your phone is available.\nRS CODE : CALLER BUSY"),
            ("call", 199, CALL_FAIL + "\nRS CODE : UNKNOWN ERROR"),
            ("call", 105, CALL_FAIL + "\nRS CODE : EMPTY CODE"),
            ("call", 0, CALL_FAIL + "\nRS CODE : EMPTY CODE"),
        ]
        for command, code, message in cases:
            with self.subTest(command=command, code=code):
                sim = self.start_sim(mode=f"code:{code}", rsa_bits=1024)
                self.configure(sim.port)
                args = ["call", "1234"] if command == "call" else ["hangup"]
                result = self.pellandor(*args)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertEqual(result.stdout, f"Failed\n{message}\n")
                sim.stop()

    def test_faulty_exchanges_fail_at_the_right_step_without_hanging(self):
        # (mode, what the diagnostic says, longest acceptable run in seconds)
        cases = [
            ("http500", "the answer from {} is not usable: HTTP status 500", 5),
            ("no-content-length", "the answer from {} could not be read: no content-length", 5),
            ("content-length-0", "the answer from {} is not the expected XML", 5),
            ("close", "the exchange at {} closed the connection", 5),
            ("not-xml", "the answer from {} is not the expected XML", 5),
            ("no-code", "the answer from {} holds no result code", 5),
            ("tls1.0", "the secure connection (TLS 1.2) with {} could not be set up", 5),
            ("tls1.1", "the secure connection (TLS 1.2) with {} could not be set up", 5),
            ("silent", "no complete answer from {} within 10000 ms (time-out)", 14),
        ]
        self.check_faulty_exchanges(cases)

    def test_answers_framed_in_other_ways_still_succeed(self):
        for mode in ("split", "big-body", "upper-headers", "mixed-case-body", "delay:0.5"):
            with self.subTest(mode=mode):
                sim = self.start_sim(mode=mode, rsa_bits=1024)
                self.configure(sim.port)
                result = self.pellandor("call", "1234")
                self.assertEqual((result.returncode, result.stdout), (0, "Success\n"), result.stderr)
                sim.stop()

    def test_ipv6_and_both_key_sizes(self):
        for bind, bits in (("::1", 2048), ("127.0.0.1", 1024)):
            with self.subTest(bind=bind, bits=bits):
                sim = self.start_sim(bind=bind, rsa_bits=bits)
                self.configure(sim.port, address=bind)
                result = self.pellandor("call", "1234")
                self.assertEqual((result.returncode, result.stdout), (0, "Success\n"), result.stderr)
                sim.stop()

    def test_connection_refused(self):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        self.configure(port)
        result = self.pellandor("call", "1234")
        self.assertEqual(result.returncode, 3)
        # The result box's text stays; the diagnostic says what failed in words.
        self.assertEqual(result.stdout, f"Failed\n{RECEIVE_FAIL}\n")
        self.assertEqual(result.stderr, f"pellandor: connection refused by 127.0.0.1:{port}\n")

    def test_names_that_do_not_resolve_fail_at_the_connect_step(self):
        # The name is resolved by the request's worker; the report is the one
        # an unresolvable address always gave.
        self.configure("no-such-service-name", address="localhost")
        result = self.pellandor("call", "1234")
        self.assertEqual(result.returncode, 3)
        self.assertEqual(result.stdout, f"Failed\n{RECEIVE_FAIL}\n")
        self.assertRegex(result.stderr, r'^pellandor: the exchange address "localhost" could not be resolved: .+\n$')

    def test_incomplete_settings_send_nothing(self):
        sim = self.start_sim()
        cases = [
            ("ID=\nPW=x\nPN=1", f"127.0.0.1\nPORT={sim.port}",
             "Your ID, PW or Phone Number is not entered in the Settings."),
            ("ID=a\nPW=x\nPN=1", f"0.0.0.0\nPORT={sim.port}",
             "Your system IP Address or Port is not entered in the Settings."),
            ("ID=a\nPW=x\nPN=1", "127.0.0.1\nPORT=",
             "Your system IP Address or Port is not entered in the Settings."),
            ("ID=a\nPW=\nPN=1", "0.0.0.0\nPORT=1",
             "Your user information(ID, PW or Phone Number) and system information(IP Address or Port) "
             "are not entered in the Settings."),
        ]
        for user, system, message in cases:
            with self.subTest(message=message):
                self.write_settings(f"[USER_INFO]\n{user}\n[SYS_INFO]\nIP={system}\n")
                result = self.pellandor("call", "1234")
                self.assertEqual((result.returncode, result.stdout), (4, f"Failed\n{message}\n"))
        # The diagnostic names each missing setting, as the result line does.
        self.write_settings("")
        result = self.pellandor("call", "1234")
        self.assertEqual(result.returncode, 4)
        self.assertIn("lack the user ID, password, phone number, exchange address and port\n", result.stderr)
        self.assertEqual(sim.requests(), [])

    def test_undialable_number_is_refused_before_sending(self):
        sim = self.start_sim()
        self.configure(sim.port)
        for number in ("12a", "p123", "1" * 31):
            with self.subTest(number=number):
                result = self.pellandor("call", "--raw", number)
                self.assertEqual(result.returncode, 4)
                self.assertIn("not a dialable number", result.stderr)
        self.assertEqual(sim.requests(), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
