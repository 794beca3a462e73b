"""The base station's authentication resources.

"/ravix/message0".."3": a player proves itself on every stream connection.
Message 0 is a challenge and an authorised request on one connection; messages
1 to 3 come on later connections without a challenge, with the nonce of the
player's last message 0 and the next nonce count. A successful message 0 is
answered with the Server header (the base station's capability text), and we
derive the stream key that player will ask for.

"/tlx/speedtest?tm=1": a challenge on one connection, the authorised request
on a second one (without a cnonce), answered with the scenario's body.
"""

import threading

import digest
import ravix_keys
from answers import Answers, perform

DIGEST_URI = "/ravix/message"
DEFAULT_SERVER = "Ravix/1.0; TLXStreamingServer, model=HX-R10, support=1/2/3, id=peer, codec=1/2"


class Identity:
    """A player we know: its MAC addresses, identity text and 64-byte shared key."""

    def __init__(self, spec):
        self.model = spec["model"]
        self.ether_mac = spec["ether_mac"].replace(":", "").upper()
        self.wlan_mac = spec["wlan_mac"].replace(":", "").upper()
        self.ident = spec["ident"]
        self.shared_key = bytes.fromhex(spec["shared_key"])
        if len(bytes.fromhex(self.ether_mac)) != 6 or len(bytes.fromhex(self.wlan_mac)) != 6:
            raise ValueError("identity %r: MAC addresses are 12 hex digits" % spec)
        if len(self.shared_key) != 64:
            raise ValueError("identity %r: the shared key is 64 bytes" % spec)
        self.username = self.ether_mac
        self.password = (self.ident + ravix_keys.shared_key_text(self.shared_key))[:63]


def load_identities(specs):
    identities = {}
    for spec in specs or []:
        identity = Identity(spec)
        identities[identity.username] = identity
    return identities


class RavixAuthority:
    def __init__(self, config, identities, record):
        self.identities = identities
        self.record = record
        self.fixed_nonce = config.get("nonce")
        self.server = config.get("server", DEFAULT_SERVER)
        self.speedtest_body = config.get("speedtest", {}).get("body", "").encode("latin-1")
        answers = config.get("answers", {})
        self.answers = Answers(answers.get("ravix"))
        self.speedtest_answers = Answers(answers.get("speedtest"))
        self._lock = threading.Lock()
        # Per user name: (nonce of the last message 0, last nonce count, last message).
        self._sessions = {}
        self._speedtest_nonces = set()

    def routes(self):
        routes = {"/tlx/speedtest": self.speedtest}
        for n in range(4):
            routes["/ravix/message%d" % n] = (lambda n: lambda c, r: self.message(n, c, r))(n)
        return routes

    def _nonce(self):
        return self.fixed_nonce or digest.new_nonce()

    def challenge(self, conn):
        """Challenge a message 0; the nonce belongs to this connection."""
        conn.state["ravix_nonce"] = nonce = self._nonce()
        return digest.challenge(nonce)

    def _challenge_reply(self, conn, resource, challenge):
        header = challenge(conn)
        conn.reply(401, "Unauthorized", [("WWW-Authenticate", header)])
        self.record("answer", conn=conn.id, resource=resource, status=401, challenge=header)

    def message(self, n, conn, request):
        if perform(self.answers.next(), conn, "ravix", self.challenge):
            return
        value = request.header("Authorization")
        if value is None:
            self._challenge_reply(conn, "ravix", self.challenge)
            return
        identity, params, nonce, nc, why = self._verify(n, conn, value)
        self.record("auth", conn=conn.id, resource="ravix", message=n, params=params,
                    ok=not why, reason=why, proxy_form=request.proxy_form)
        if why:
            self._challenge_reply(conn, "ravix", self.challenge)
            return
        with self._lock:
            self._sessions[identity.username] = (nonce, nc, n)
        headers = []
        if n == 0:
            key = ravix_keys.stream_key(nonce, identity.shared_key)
            self.record("stream_key", conn=conn.id, username=identity.username, nonce=nonce, key=key)
            if self.server is not None:
                headers.append(("Server", self.server))
        conn.reply(200, "OK", headers)
        self.record("answer", conn=conn.id, resource="ravix", status=200)

    def _verify(self, n, conn, value):
        """(identity, params, nonce, nonce count, why not): why is "" when it passes."""
        try:
            params = digest.parse_authorization(value)
        except digest.AuthorizationError as e:
            return None, None, None, None, str(e)
        identity = self.identities.get(params.get("username"))
        if identity is None:
            return None, params, None, None, "unknown user %r" % params.get("username")
        if n == 0:
            nonce, nc = conn.state.get("ravix_nonce"), 1
            if nonce is None:
                return identity, params, None, None, "message 0 without a challenge on this connection"
        else:
            with self._lock:
                session = self._sessions.get(identity.username)
            if session is None:
                return identity, params, None, None, "message %d before any message 0" % n
            nonce, last_nc, last_message = session
            if last_message != n - 1:
                return identity, params, None, None, "message %d after message %d" % (n, last_message)
            nc = last_nc + 1
        why = digest.check(params, identity.password, "GET", DIGEST_URI, nonce, "%08d" % nc,
                           cnonce_required=True)
        return identity, params, nonce, nc, why

    def speedtest_challenge(self, conn):
        nonce = self._nonce()
        with self._lock:
            self._speedtest_nonces.add(nonce)
        return digest.challenge(nonce)

    def speedtest(self, conn, request):
        if perform(self.speedtest_answers.next(), conn, "speedtest", self.speedtest_challenge):
            return
        value = request.header("Authorization")
        if value is None:
            self._challenge_reply(conn, "speedtest", self.speedtest_challenge)
            return
        why, params = "", None
        try:
            params = digest.parse_authorization(value)
        except digest.AuthorizationError as e:
            why = str(e)
        if not why:
            identity = self.identities.get(params.get("username"))
            with self._lock:
                known = params.get("nonce") in self._speedtest_nonces
            if identity is None:
                why = "unknown user %r" % params.get("username")
            elif not known:
                why = "nonce %r was not issued" % params.get("nonce")
            else:
                why = digest.check(params, identity.password, "GET", request.target,
                                   params["nonce"], "00000001", cnonce_required=False)
        self.record("auth", conn=conn.id, resource="speedtest", params=params, ok=not why, reason=why)
        if why:
            self._challenge_reply(conn, "speedtest", self.speedtest_challenge)
            return
        conn.reply(200, "OK", body=self.speedtest_body)
        self.record("answer", conn=conn.id, resource="speedtest", status=200)
