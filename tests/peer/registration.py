"""The base station's registration resource, "/tlx/registration".

The player asks with a GET and gets a challenge, then POSTs on the same
connection, authorised with its registration code as password, a chunked
body: its portable info encrypted with a key made from the code. We answer
with a reply text and, after "Registration OK\n", our base data encrypted the
same way.

User "tlx_registration" proves the code the scenario names; user
"tlx_easy_registration" proves the easy password of the nonce we announced.
"""

import digest
import ravix_keys
from digest_resource import DigestResource

DIGEST_URI = "/tlx/registration"
USER_CODE = "tlx_registration"
USER_EASY = "tlx_easy_registration"
REPLY_OK = "Registration OK\n"
REPLY_BAD_REQUEST = "Registration NG: bad request\n"
PORTABLE_NAMES = ("REGISTRATION_VER", "ACCEPTABLE_MODEL", "ALIAS", "ETHER_MAC_ADDR_P",
                  "WLAN_MAC_ADDR_P", "INFO_SERIAL_P", "INFO_MODEL_P", "TLX_SHRD_KEY_1")
DEFAULT_BASE_DATA = ("STATUS: 1\nREGISTRATION_VER: 1.0.1.1\nALIAS: peer\n"
                     "ETHER_MAC_ADDR_B: 0A1B2C3D4E5F\nINFO_SERIAL_B: PEER0001\nINFO_MODEL_B: HX-R10\n")


def model_without_edition(model: str) -> str:
    """The model name a player reports: the P or B after its last such digit removed."""
    for i in range(len(model) - 2, -1, -1):
        if model[i].isdigit() and model[i + 1] in "PB":
            return model[:i + 1] + model[i + 2:]
    return model


def parse_portable_info(text: str, identities):
    """([name, value] pairs, problems) of a player's portable info."""
    lines = text.split("\n")
    problems = []
    if lines[-1] != "":
        problems.append("last line not ended by a line feed")
    pairs = []
    for line in lines[:-1]:
        name, colon, value = line.partition(": ")
        if not colon:
            problems.append("line without a name: %r" % line)
        pairs.append([name, value])
    names = tuple(name for name, _ in pairs)
    if names != PORTABLE_NAMES:
        problems.append("lines %r, expected %r" % (names, PORTABLE_NAMES))
        return pairs, problems
    values = dict(pairs)
    identity = identities.get(values["ETHER_MAC_ADDR_P"])
    if identity is None:
        problems.append("unknown player %r" % values["ETHER_MAC_ADDR_P"])
        return pairs, problems
    expected = {
        "WLAN_MAC_ADDR_P": identity.wlan_mac,
        "INFO_SERIAL_P": identity.ident,
        "INFO_MODEL_P": model_without_edition(identity.model),
        "TLX_SHRD_KEY_1": identity.shared_key.hex().upper(),
    }
    for name, value in expected.items():
        if values[name] != value:
            problems.append("%s %r, expected %r" % (name, values[name], value))
    return pairs, problems


class Registration(DigestResource):
    name = "registration"

    def __init__(self, options, identities, record):
        super().__init__(options, record)
        self.identities = identities
        reg = options.get("registration", {})
        self.code = reg.get("code")
        self.easy_nonce = reg.get("easy_nonce") or digest.new_nonce()
        self.easy_password = ravix_keys.easy_password(self.easy_nonce)
        self.reply_text = reg.get("reply", REPLY_OK).encode("latin-1")
        self.base_data = reg.get("base_data", DEFAULT_BASE_DATA).encode("latin-1")
        self.framing = reg.get("framing", "chunked")
        if self.framing not in ("chunked", "content_length"):
            raise ValueError("registration framing must be chunked or content_length")
        record("easy_nonce", nonce=self.easy_nonce, password=self.easy_password)

    def routes(self):
        return {DIGEST_URI: self.handle}

    def challenge(self, conn):
        conn.state["registration_nonce"] = nonce = self.new_nonce()
        return digest.challenge(nonce)

    def verify(self, conn, request, params):
        password = {USER_CODE: self.code, USER_EASY: self.easy_password}.get(params.get("username"))
        nonce = conn.state.get("registration_nonce")
        if password is None:
            return "no password for user %r" % params.get("username"), None
        if nonce is None:
            return "no challenge on this connection", None
        return digest.check(params, password, "GET", DIGEST_URI, nonce, "00000001",
                            cnonce_required=True), password

    def grant(self, conn, request, password):
        key = ravix_keys.registration_key(password)
        chunked = (request.header("Transfer-Encoding") or "").lower() == "chunked"
        try:
            text = ravix_keys.decrypt_body(request.body, key).decode("latin-1")
            pairs, problems = parse_portable_info(text, self.identities)
        except ValueError as e:
            text, pairs, problems = None, [], [str(e)]
        if not chunked:
            problems.append("body not chunked")
        self.record("registration", conn=conn.id, text=text, lines=pairs, problems=problems)
        if problems:
            body = REPLY_BAD_REQUEST.encode("latin-1")
        else:
            body = self.reply_text
            if body.startswith(REPLY_OK.encode("latin-1")) and self.base_data:
                body += ravix_keys.encrypt_body(self.base_data, key)
        conn.reply(200, "OK", body=body, chunked=self.framing == "chunked")
        self.record("answer", conn=conn.id, resource="registration", status=200,
                    body_hex=body.hex(), framing=self.framing)
