"""The base station's HTTP service: one keep-alive connection loop per player
connection, dispatching each request by its path to a resource.

Resources: "/ravix/message0".."3" and "/tlx/speedtest" (ravix_auth),
"/tlx/registration" (registration) and "/probe", a plain digest resource for
standard HTTP clients (the real method in A2, the request target as uri).
Unknown paths get 404; a request we cannot parse gets 400 and the connection
is closed.
"""

import itertools
import threading

import digest
from answers import Answers, perform
from http_io import Connection, MalformedRequest
from ravix_auth import RavixAuthority, load_identities
from registration import Registration


class Probe:
    def __init__(self, config, record):
        probe = config.get("probe", {})
        self.username = probe.get("username", "probe")
        self.password = probe.get("password", "probe")
        self.record = record
        self.answers = Answers(config.get("answers", {}).get("probe"))
        self._lock = threading.Lock()
        self._last_nc = {}  # issued nonce -> highest nonce count seen

    def challenge(self, conn):
        nonce = digest.new_nonce()
        with self._lock:
            self._last_nc[nonce] = 0
        return digest.challenge(nonce)

    def handle(self, conn, request):
        if perform(self.answers.next(), conn, "probe", self.challenge):
            return
        why, params = "", None
        value = request.header("Authorization")
        if value is None:
            why = "no credentials"
        else:
            try:
                params = digest.parse_authorization(value)
                why = self._verify(params, request)
            except digest.AuthorizationError as e:
                why = str(e)
            self.record("auth", conn=conn.id, resource="probe", params=params, ok=not why, reason=why)
        if why:
            conn.reply(401, "Unauthorized", [("WWW-Authenticate", self.challenge(conn))])
            return
        conn.reply(200, "OK", body=b"probe ok\n")

    def _verify(self, params, request):
        nonce, nc = params.get("nonce"), params.get("nc", "")
        if params.get("username") != self.username:
            return "unknown user %r" % params.get("username")
        try:
            count = int(nc, 16)
        except ValueError:
            return "bad nc %r" % nc
        with self._lock:
            last = self._last_nc.get(nonce)
            if last is None:
                return "nonce %r was not issued" % nonce
            if count <= last:
                return "nc %r replayed" % nc
            self._last_nc[nonce] = count
        return digest.check(params, self.password, request.method, request.target, nonce, nc,
                            cnonce_required=True)


class HttpService:
    """options: the scenario's "http" service object (see README.md)."""

    def __init__(self, options, record):
        self.record = record
        identities = load_identities(options.get("identities"))
        self.routes = {"/probe": Probe(options, record).handle}
        self.routes.update(RavixAuthority(options, identities, record).routes())
        self.routes.update(Registration(options, identities, record).routes())
        self._ids = itertools.count(1)

    def handle_connection(self, sock, addr):
        conn_id = next(self._ids)
        self.record("connected", conn=conn_id, client=list(addr))
        conn = Connection(sock, conn_id, self.record)
        try:
            while not conn.closing:
                try:
                    request = conn.read_request()
                except MalformedRequest as e:
                    self.record("malformed", conn=conn_id, reason=str(e))
                    conn.reply(400, "Bad Request")
                    break
                if request is None:
                    break
                self.record("request", conn=conn_id, method=request.method, target=request.target,
                            head_hex=request.head.hex(), body_hex=request.body.hex())
                handler = self.routes.get(request.path)
                if handler is None:
                    conn.reply(404, "Not Found")
                    self.record("answer", conn=conn_id, resource=None, status=404)
                else:
                    handler(conn, request)
                if (request.header("Connection") or "").lower() == "close":
                    conn.closing = True
        except OSError as e:
            self.record("socket_error", conn=conn_id, reason=str(e))
        finally:
            self.record("closed", conn=conn_id)
            sock.close()


def start(peer, options):
    """Serve HTTP on every connection of the peer's port that no other protocol claims."""
    peer.add_stream_protocol(b"", HttpService(options, peer.record).handle_connection)
