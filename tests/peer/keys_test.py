"""Key derivations, the registration cipher and the digest primitives."""

import unittest

import digest
import ravix_keys
from registration import model_without_edition


class EasyPasswordTest(unittest.TestCase):
    def test_golden_vectors(self):
        for nonce, password in [
            ("a", "517f66908b366c8355ecf6d049a7f419"),
            ("0123456789abcdef", "de0230ba8bd88ee4f929ea1ec760c0ad"),
            ("5f3a9c0e1b7d2468ace013579bdf2468", "0da5cce3a086dd388cfa280b6bc0fbef"),
        ]:
            with self.subTest(nonce=nonce):
                self.assertEqual(ravix_keys.easy_password(nonce), password)

    def test_empty_nonce_is_refused(self):
        with self.assertRaises(ValueError):
            ravix_keys.easy_password("")


class StreamKeyTest(unittest.TestCase):
    def test_vectors(self):
        shared_key = bytes(range(64))
        self.assertEqual(ravix_keys.stream_key("", shared_key), "32b2ce0910c9ba9b4d284a4d3ebbd5ed")
        self.assertEqual(ravix_keys.stream_key("abc", shared_key), "0f867be06e4738dcdeaadfa0d24f34e5")


class RegistrationCipherTest(unittest.TestCase):
    def test_key_from_code(self):
        for code, key in [
            ("1234", b"1234\0 Nardi Vast"),
            ("abcdefghijklmnopqrst", b"abcdefghijklmnop"),
            ("abcdefghijklmnop", b"abcdefghijklmnop"),
            ("", b"\0uell Nardi Vast"),
        ]:
            with self.subTest(code=code):
                self.assertEqual(ravix_keys.registration_key(code), key)

    def test_fips197_block_and_the_senders_sizes(self):
        key = bytes(range(16))
        plain = bytes.fromhex("00112233445566778899aabbccddeeff")
        expected = bytes.fromhex("69c4e0d86a7b0430d8cdb78070b4c55a")
        # Whole blocks are followed by one unencrypted zero block.
        self.assertEqual(ravix_keys.encrypt_body(plain, key), expected + bytes(16))
        for length, size in [(0, 16), (1, 16), (15, 16), (16, 32), (17, 32), (64, 80)]:
            with self.subTest(length=length):
                cipher_text = ravix_keys.encrypt_body(b"x" * length, key)
                self.assertEqual(len(cipher_text), size)
                self.assertEqual(cipher_text[-16:] == bytes(16), length % 16 == 0)
                self.assertEqual(ravix_keys.decrypt_body(cipher_text, key), b"x" * length)

    def test_decrypt_refuses_partial_blocks(self):
        with self.assertRaises(ValueError):
            ravix_keys.decrypt_body(bytes(17), bytes(16))


class DigestTest(unittest.TestCase):
    def test_rfc2617_response(self):
        self.assertEqual(
            digest.response("Mufasa", "testrealm@host.com", "Circle Of Life",
                            "dcd98b7102dd2f0e8b11d0f600bfb0c093", "00000001", "0a4f113b", "auth",
                            "GET", "/dir/index.html"),
            "6629fae49393a05397450978507c4ef1")

    def test_challenge_text(self):
        self.assertEqual(digest.challenge("0123456789abcdef0123456789abcdef"),
                         'Digest realm="Ravix", nonce="0123456789abcdef0123456789abcdef", '
                         'algorithm=MD5, domain="/ravix/", qop="auth"')

    def test_parse_authorization(self):
        self.assertEqual(
            digest.parse_authorization(
                'Digest username="u", realm="Ravix", uri="/a,b", algorithm=MD5, '
                'nonce="n", qop="auth", nc=00000001,response="r\\"q"'),
            {"username": "u", "realm": "Ravix", "uri": "/a,b", "algorithm": "MD5", "nonce": "n",
             "qop": "auth", "nc": "00000001", "response": 'r"q'})
        for bad in ['Basic dTpw', 'Digest username="u', 'Digest username', 'Digest a=1, a=2',
                    'Digest a=1 b=2', 'Digest =1']:
            with self.subTest(value=bad), self.assertRaises(digest.AuthorizationError):
                digest.parse_authorization(bad)


class ModelTest(unittest.TestCase):
    def test_edition_letter(self):
        for model, reported in [("AB1PC", "AB1C"), ("AB1P", "AB1"), ("X9B2PZ", "X9B2Z"),
                                ("QZA-K20US", "QZA-K20US"), ("", "")]:
            with self.subTest(model=model):
                self.assertEqual(model_without_edition(model), reported)


if __name__ == "__main__":
    unittest.main()
