"""The base station's authentication resources.

"/ravix/message0".."3": a player proves itself on every stream connection.
Message 0 is a challenge and an authorised request on one connection; messages
1 to 3 come on later connections without a challenge, with the nonce of the
player's last message 0 and the next nonce count. A successful message 0 is
answered with the Server header (the base station's capability text), and we
derive the stream key that player will ask for; a tunnel on a connection of
messages 1 to 3 is keyed from the same nonce.

"/tlx/speedtest?tm=1": a challenge on one connection, the authorised request
on a second one (without a cnonce), answered with the scenario's body.
"""

import threading

import digest
import ravix_keys
from digest_resource import DigestResource

DIGEST_URI = "/ravix/message"
DEFAULT_SERVER = "Ravix/1.0; TLXStreamingServer, model=HX-R10, support=1/2/3, id=peer, codec=1/2"


class Identity:
    """A player we know: its MAC addresses, identity text and 64-byte shared key."""

    def __init__(self, entry):
        self.model = entry["model"]
        self.ether_mac = entry["ether_mac"].replace(":", "").upper()
        self.wlan_mac = entry["wlan_mac"].replace(":", "").upper()
        self.ident = entry["ident"]
        self.shared_key = bytes.fromhex(entry["shared_key"])
        if len(bytes.fromhex(self.ether_mac)) != 6 or len(bytes.fromhex(self.wlan_mac)) != 6:
            raise ValueError("identity %r: MAC addresses are 12 hex digits" % entry)
        if len(self.shared_key) != 64:
            raise ValueError("identity %r: the shared key is 64 bytes" % entry)
        self.username = self.ether_mac
        self.password = (self.ident + ravix_keys.shared_key_text(self.shared_key))[:63]


def load_identities(entries):
    identities = {}
    for entry in entries or []:
        identity = Identity(entry)
        identities[identity.username] = identity
    return identities


class RavixMessages(DigestResource):
    name = "ravix"

    def __init__(self, options, identities, record):
        super().__init__(options, record)
        self.identities = identities
        self.server = options.get("server", DEFAULT_SERVER)
        self._lock = threading.Lock()
        # Per user name: (nonce of the last message 0, last nonce count, last message).
        self._sessions = {}

    def routes(self):
        return {"/ravix/message%d" % n: self.handle for n in range(4)}

    def challenge(self, conn):
        """Challenge a message 0; the nonce belongs to this connection."""
        conn.state["ravix_nonce"] = nonce = self.new_nonce()
        return digest.challenge(nonce)

    def verify(self, conn, request, params):
        n = int(request.path[-1])
        identity = self.identities.get(params.get("username"))
        if identity is None:
            return "unknown user %r" % params.get("username"), None
        if n == 0:
            nonce, nc = conn.state.get("ravix_nonce"), 1
            if nonce is None:
                return "message 0 without a challenge on this connection", None
        else:
            with self._lock:
                session = self._sessions.get(identity.username)
            if session is None:
                return "message %d before any message 0" % n, None
            nonce, last_nc, last_message = session
            if last_message != n - 1:
                return "message %d after message %d" % (n, last_message), None
            nc = last_nc + 1
        why = digest.check(params, identity.password, "GET", DIGEST_URI, nonce, "%08d" % nc,
                           cnonce_required=True)
        return why, (identity, nonce, nc, n)

    def grant(self, conn, request, state):
        identity, nonce, nc, n = state
        with self._lock:
            self._sessions[identity.username] = (nonce, nc, n)
        headers = []
        # A tunnel request on this connection may follow the exchange.
        conn.state["authenticated"] = True
        # The stream key comes from the nonce of the player's last message 0,
        # whichever message authenticated this connection.
        key = ravix_keys.stream_key(nonce, identity.shared_key)
        conn.state["stream_key"] = key
        if n == 0:
            self.record("stream_key", conn=conn.id, username=identity.username, nonce=nonce, key=key)
            if self.server is not None:
                headers.append(("Server", self.server))
        conn.reply(200, "OK", headers)
        self.record("answer", conn=conn.id, resource=self.name, status=200)


class Speedtest(DigestResource):
    name = "speedtest"

    def __init__(self, options, identities, record):
        super().__init__(options, record)
        self.identities = identities
        self.body = options.get("speedtest", {}).get("body", "").encode("latin-1")
        self._lock = threading.Lock()
        self._nonces = set()

    def routes(self):
        return {"/tlx/speedtest": self.handle}

    def challenge(self, conn):
        """The authorised request comes on another connection: any issued nonce will do."""
        nonce = self.new_nonce()
        with self._lock:
            self._nonces.add(nonce)
        return digest.challenge(nonce)

    def verify(self, conn, request, params):
        identity = self.identities.get(params.get("username"))
        if identity is None:
            return "unknown user %r" % params.get("username"), None
        with self._lock:
            if params.get("nonce") not in self._nonces:
                return "nonce %r was not issued" % params.get("nonce"), None
        return digest.check(params, identity.password, "GET", request.target, params["nonce"],
                            "00000001", cnonce_required=False), None

    def grant(self, conn, request, state):
        conn.reply(200, "OK", body=self.body)
        self.record("answer", conn=conn.id, resource=self.name, status=200)
