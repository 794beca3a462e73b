"""The base station's HTTP service: one keep-alive connection loop per player
connection, dispatching each request by its path to a resource.

Resources: "/ravix/message0".."3" and "/tlx/speedtest" (ravix_auth),
"/tlx/registration" (registration) and "/probe", a plain digest resource for
standard HTTP clients (the real method in A2, the request target as uri).
With a "stream" option, tunnel requests (rtsp_tunnel), whatever their path,
take over their connection.
Unknown paths get 404; a request we cannot parse gets 400 and the connection
is closed.
"""

import itertools
import threading

import digest
from digest_resource import DigestResource
from http_io import Connection, MalformedRequest
from ravix_auth import RavixMessages, Speedtest, load_identities
from registration import Registration
from rtsp_tunnel import Tunnel


class Probe(DigestResource):
    name = "probe"

    def __init__(self, options, record):
        super().__init__(options, record)
        probe = options.get("probe", {})
        self.username = probe.get("username", "probe")
        self.password = probe.get("password", "probe")
        self._lock = threading.Lock()
        self._last_nc = {}  # issued nonce -> highest nonce count seen

    def challenge(self, conn):
        nonce = digest.new_nonce()  # never the fixed one: counts start again per nonce
        with self._lock:
            self._last_nc[nonce] = 0
        return digest.challenge(nonce)

    def verify(self, conn, request, params):
        nonce, nc = params.get("nonce"), params.get("nc", "")
        if params.get("username") != self.username:
            return "unknown user %r" % params.get("username"), None
        try:
            count = int(nc, 16)
        except ValueError:
            return "bad nc %r" % nc, None
        with self._lock:
            last = self._last_nc.get(nonce)
            if last is None:
                return "nonce %r was not issued" % nonce, None
            if count <= last:
                return "nc %r replayed" % nc, None
            self._last_nc[nonce] = count
        return digest.check(params, self.password, request.method, request.target, nonce, nc,
                            cnonce_required=True), None

    def grant(self, conn, request, state):
        conn.reply(200, "OK", body=b"probe ok\n")
        self.record("answer", conn=conn.id, resource=self.name, status=200)


class HttpService:
    """options: the scenario's "http" service object (see README.md)."""

    def __init__(self, options, record, address="127.0.0.1"):
        self.record = record
        stream = options.get("stream")
        self.tunnel = Tunnel(stream, record, address) if stream is not None else None
        identities = load_identities(options.get("identities"))
        self.routes = {"/probe": Probe(options, record).handle}
        for resource in (RavixMessages, Speedtest, Registration):
            self.routes.update(resource(options, identities, record).routes())
        self._ids = itertools.count(1)

    def handle_connection(self, sock, addr):
        conn_id = next(self._ids)
        self.record("connected", conn=conn_id, client=list(addr))
        conn = Connection(sock, conn_id, self.record)
        try:
            while not conn.closing:
                try:
                    request = conn.read_request(self.tunnel.claims if self.tunnel else None)
                except MalformedRequest as e:
                    self.record("malformed", conn=conn_id, reason=str(e))
                    conn.reply(400, "Bad Request")
                    break
                if request is None:
                    break
                self.record("request", conn=conn_id, method=request.method, target=request.target,
                            head_hex=request.head.hex(), body_hex=request.body.hex())
                if self.tunnel and self.tunnel.claims(request):
                    self.tunnel.take(conn, request)
                    break
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
    peer.add_stream_protocol(b"", HttpService(options, peer.record, peer.host).handle_connection)
