"""The Windows pellandor.exe under Wine: a call against the Linux exchange
simulator on loopback sends the same bytes as the Linux client, SChannel
sees the exchange's key and chain as OpenSSL does, the password goes to the
Credential Manager, and the command line keeps UTF-8 text and Windows paths
intact.

PELLANDOR_BIN_DIR holds pellandor.exe, PELLANDOR_SIM names the Linux
simulator, PELLANDOR_WINE_RUN and PELLANDOR_WINE_PREFIX the Wine runner."""

import os
import pathlib
import re
import socket
import subprocess
import sys
import unittest

import test_trust
from harness import BIN, DATA, SIM, CliTestCase

WINE_RUN = os.environ.get("PELLANDOR_WINE_RUN", "")
WINE_PREFIX = os.environ.get("PELLANDOR_WINE_PREFIX", "")
EXE = BIN / "pellandor.exe"

ACCOUNT = ("2001", "alice", "s<&>cret")
PLAN = ("[ACCESSCODE]\r\nCO_ACCESS_CODE=9\r\nMYCOUNTRY_CODE=82\r\nMYAREA_CODE=031\r\n"
        "INTER_CODE=001\r\nPBX_CODE=\r\nLONG_CODE=\r\nUSE_ADDZERO=1\r\n")


def windows_path(path):
    # Wine's drive Z: is the Linux root.
    return "Z:" + str(path).replace("/", "\\")


class WineTestCase(CliTestCase):
    def configure(self, port, extra="", host="127.0.0.1"):
        station, uid, password = ACCOUNT
        self.settings.write_bytes((f"[USER_INFO]\r\nID={uid}\r\nPN={station}\r\n[SYS_INFO]\r\nIP={host}\r\n"
                                   f"PORT={port}\r\n{PLAN}{extra}").encode())
        result = self.pellandor("config", "set", "--", "USER_INFO", "PW", password)
        self.assertEqual(result.returncode, 0, result.stderr)

    def pellandor(self, *args, settings=True, timeout=60, input=None):
        cmd = [WINE_RUN, WINE_PREFIX, str(EXE), *args]
        if settings and args:
            cmd[4:4] = ["--settings", windows_path(self.settings)]
        result = subprocess.run(cmd, capture_output=True, env=self.env, timeout=timeout,
                                input=(input or "").encode())
        # Text written by a Windows program ends its lines with CR LF.
        result.stdout = result.stdout.decode("utf-8").replace("\r\n", "\n")
        result.stderr = result.stderr.decode("utf-8", "replace").replace("\r\n", "\n")
        return result


class WineCallTest(WineTestCase):
    def test_call_sends_the_linux_clients_bytes_and_hangup_follows(self):
        sim = self.start_sim(accounts=[ACCOUNT], rsa_bits=1024)
        self.configure(sim.port)
        # Trusted already, so the first call has no key to keep either.
        self.assertEqual(self.pellandor("config", "pin", "accept", sim.keys[0]).returncode, 0)
        before = self.settings.read_bytes()
        result = self.pellandor("call", "031-123-4567")
        self.assertEqual((result.returncode, result.stdout), (0, "Success\n"), result.stderr)
        [request] = sim.requests()
        raw = request["raw"].encode("latin-1")
        host = next(l for l in raw.split(b"\r\n") if l.startswith(b"Host: "))[6:]
        expected = (DATA / "call_request.golden").read_bytes().replace(b"@LOCAL@", host)
        self.assertEqual(raw, expected)
        self.assertEqual(self.settings.read_bytes(), before, "call must not write the settings")

        result = self.pellandor("hangup")
        self.assertEqual((result.returncode, result.stdout), (0, "Success\n"), result.stderr)
        self.assertEqual(sim.requests()[1]["call_type"], "hangup")

    def test_faulty_exchanges_fail_at_the_linux_clients_step_without_hanging(self):
        # (mode, what the diagnostic says, longest acceptable run in seconds).
        # The bounds only catch a hang (the simulator holds a connection 30 to
        # 60 s): starting a Windows program under Wine on a busy machine takes
        # seconds by itself.
        cases = [
            ("http500", "the answer from {} is not usable: HTTP status 500", 25),
            ("no-content-length", "the answer from {} could not be read: no content-length", 25),
            ("close", "the exchange at {} closed the connection", 25),
            ("not-xml", "the answer from {} is not the expected XML", 25),
            ("tls1.0", "the secure connection (TLS 1.2) with {} could not be set up", 25),
            ("silent", "no complete answer from {} within 10000 ms (time-out)", 40),
        ]
        self.check_faulty_exchanges(cases, accounts=[ACCOUNT])

    def test_answers_framed_in_other_ways_still_succeed(self):
        for mode in ("split", "big-body", "mixed-case-body"):
            with self.subTest(mode=mode):
                sim = self.start_sim(mode=mode, rsa_bits=1024, accounts=[ACCOUNT])
                self.configure(sim.port)
                result = self.pellandor("call", "1234")
                self.assertEqual((result.returncode, result.stdout), (0, "Success\n"), result.stderr)
                sim.stop()

    def test_refused_connection_fails_with_the_receive_message(self):
        sim = self.start_sim(accounts=[ACCOUNT], rsa_bits=1024)
        port = sim.port
        sim.stop()
        self.configure(port)
        result = self.pellandor("call", "1234")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("Failed", result.stdout)


def der_item(data, at):
    """(value, end) of the DER item at `at`."""
    length, at = data[at + 1], at + 2
    if length & 0x80:
        count = length & 0x7F
        length, at = int.from_bytes(data[at:at + count], "big"), at + count
    return data[at:at + length], at + length


def full_length_signature(cert):
    """True when r and s of the certificate's ECDSA P-256 signature take all 32 bytes."""
    der = test_trust.openssl("x509", "-in", str(cert), "-outform", "DER")
    body, _ = der_item(der, 0)
    _, at = der_item(body, 0)  # to be signed
    _, at = der_item(body, at)  # algorithm
    signature, _ = der_item(body, at)
    pair, _ = der_item(signature[1:], 0)  # past the BIT STRING's unused-bits byte
    r, at = der_item(pair, 0)
    s, _ = der_item(pair, at)
    return len(r.lstrip(b"\0")) == 32 and len(s.lstrip(b"\0")) == 32


def signed_in_full(make, cert_at):
    """Wine's crypt32 rejects an ECDSA signature whose r or s is shorter than
    32 bytes (about one certificate in 128) as a signature failure; Windows
    accepts it. Certificates for these tests are signed again until neither is."""
    def remake(self, *args):
        while True:
            made = make(self, *args)
            if full_length_signature(made[cert_at]):
                return made
    return remake


class WineTrustTest(WineTestCase):
    """SChannel finds the key and judges the chain as the Linux client does."""
    make_ca = signed_in_full(test_trust.TrustTest.make_ca, 1)  # (key, cert)
    make_leaf = signed_in_full(test_trust.TrustTest.make_leaf, 0)  # (cert, key)

    def test_first_call_keeps_the_linux_clients_fingerprint_and_a_changed_key_fails_before_sending(self):
        sim = self.start_sim(accounts=[ACCOUNT], rsa_bits=1024, second_identity=True)
        self.configure(sim.port)
        first = self.pellandor("call", "1234")
        self.assertEqual((first.returncode, first.stdout), (0, "Success\n"), first.stderr)
        self.assertIn(f"its key {sim.keys[0]} is trusted from now on", first.stderr)
        self.assertIn(f"PINNED_KEY={sim.keys[0]}\r\n".encode(), self.settings.read_bytes())

        sim.present(2)
        changed = self.pellandor("call", "1234")
        self.assertEqual(changed.returncode, 3, changed.stdout + changed.stderr)
        self.assertIn(f"Trusted key: {sim.keys[0]}\nNew key: {sim.keys[1]}\n", changed.stdout)
        self.assertEqual(len(sim.requests()), 1, "no request byte may reach a changed exchange")

    def test_a_provisioned_certificate_authority(self):
        ca, other = self.make_ca("office-ca"), self.make_ca("other-ca")
        # The simulator listens where the name "localhost" leads first (127.0.0.1 or ::1).
        loopback = socket.getaddrinfo("localhost", None, type=socket.SOCK_STREAM)[0][4][0]
        # (CA file, SAN of the exchange's certificate, exchange address, expected status, text in the failure)
        cases = [
            (ca[1], "IP:127.0.0.1", "127.0.0.1", 0, ""),
            (other[1], "IP:127.0.0.1", "127.0.0.1", 3, "not issued by the configured authority"),
            (ca[1], "IP:10.1.2.3,DNS:localhost", "127.0.0.1", 3, "issued for another name than 127.0.0.1"),
            (ca[1], "DNS:localhost", "localhost", 0, ""),
            (ca[1], "DNS:other.example,IP:127.0.0.1,IP:::1", "localhost", 3, "issued for another name than localhost"),
        ]
        for ca_file, san, host, status, text in cases:
            with self.subTest(ca=ca_file.name, san=san, host=host):
                cert, key = self.make_leaf(ca, san)
                bind = loopback if host == "localhost" else host
                sim = self.start_sim(accounts=[ACCOUNT], cert=(cert, key), bind=bind)
                self.configure(sim.port, f"[SECURITY]\r\nCA_FILE={windows_path(ca_file)}\r\n", host=host)
                result = self.pellandor("call", "1234")
                self.assertEqual(result.returncode, status, result.stdout + result.stderr)
                if status:
                    # The key shown is the one OpenSSL finds in the certificate.
                    self.assertIn(f"Shown key: {test_trust.spki_fingerprint(cert)}", result.stdout)
                    self.assertIn(text, result.stdout + result.stderr)
                    self.assertEqual(sim.requests(), [])
                self.assertNotIn("PINNED_KEY=", self.settings.read_text(encoding="utf-8"))
                sim.stop()

    def test_an_unreadable_ca_file_fails_before_connecting(self):
        garbage = self.dir / "garbage.pem"
        garbage.write_text("-----BEGIN CERTIFICATE-----\nnot base64\n-----END CERTIFICATE-----\n")
        sim = self.start_sim(accounts=[ACCOUNT], rsa_bits=1024)
        for ca_file in (self.dir / "missing.pem", garbage):
            with self.subTest(ca=ca_file.name):
                self.configure(sim.port, f"[SECURITY]\r\nCA_FILE={windows_path(ca_file)}\r\n")
                result = self.pellandor("call", "1234")
                self.assertEqual(result.returncode, 3, result.stdout + result.stderr)
                self.assertIn(f"cannot read the certificate authorities in {windows_path(ca_file)}", result.stderr)
                self.assertEqual(sim.requests(), [])


class WineTextTest(WineTestCase):
    def test_utf8_values_and_a_settings_path_outside_ascii(self):
        self.settings = self.dir / "Zoë ☎ Ünïcode" / "pellandor_settings.ini"
        value = "Zoë ☎ 日本"
        result = self.pellandor("config", "set", "--", "USER_INFO", "ID", value)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(f"ID={value}".encode(), self.settings.read_bytes())
        result = self.pellandor("config", "get", "USER_INFO", "ID")
        self.assertEqual((result.returncode, result.stdout), (0, value + "\n"))

    def test_password_from_standard_input_goes_to_the_credential_manager_unless_turned_off(self):
        account = f"[USER_INFO]\r\nID=carol-{os.getpid()}\r\n[SYS_INFO]\r\nIP=127.0.0.1\r\n"
        for use_keyring in (1, 0):
            with self.subTest(use_keyring=use_keyring):
                self.settings.write_bytes(f"{account}[SECURITY]\r\nUSE_KEYRING={use_keyring}\r\n".encode())
                result = self.pellandor("config", "set", "USER_INFO", "PW", "-", input="  s3cret wörd \r\n")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertNotIn(b"s3cret", self.settings.read_bytes())
                kept = re.search(r"^PW=(.*?)\r?$", self.settings.read_text(encoding="utf-8"), re.M).group(1)
                if use_keyring:
                    self.assertIn("Credential Manager", result.stderr)
                    self.assertEqual(kept, "")
                else:
                    self.assertRegex(kept, r"^[0-9A-F]+$")
                self.assertEqual(self.pellandor("config", "get", "USER_INFO", "PW").stdout, "s3cret wörd\n")
        # An empty password takes the entry out of the Credential Manager.
        self.settings.write_bytes(f"{account}[SECURITY]\r\nUSE_KEYRING=1\r\n".encode())
        self.assertEqual(self.pellandor("config", "set", "USER_INFO", "PW", "").returncode, 0)
        self.assertEqual(self.pellandor("config", "get", "USER_INFO", "PW").stdout, "\n")

    def test_default_settings_file_is_in_local_app_data(self):
        # No --settings: the file goes to the user's LocalAppData folder of the prefix.
        self.env.pop("PELLANDOR_SETTINGS", None)
        result = self.pellandor("config", "set", "--", "DLG_POS", "X", "-12", settings=False)
        self.assertEqual(result.returncode, 0, result.stderr)
        found = list(pathlib.Path(WINE_PREFIX, "drive_c", "users").glob("*/AppData/Local/pellandor_settings.ini"))
        self.assertEqual(len(found), 1, found)
        self.assertIn(b"[DLG_POS]\r\nX=-12\r\n", found[0].read_bytes())
        found[0].unlink()


if __name__ == "__main__":
    missing = [str(p) for p in (EXE, SIM) if not p.exists()] + (["wine"] if not WINE_RUN else [])
    if missing:
        print("skipped: missing " + ", ".join(missing))
        sys.exit(77)
    unittest.main(verbosity=2)
