"""A resource behind a digest challenge, with scripted answers.

A request without credentials gets a 401 challenge; credentials that do not
verify get a fresh one. Each resource says where its nonces belong
(challenge), what it verifies (verify) and what it does for an authorised
request (grant).
"""

import digest
from answers import Answers, perform


class DigestResource:
    name = None  # the resource in records and in the scenario's "answers"

    def __init__(self, options, record):
        self.record = record
        self.fixed_nonce = options.get("nonce")
        self.answers = Answers(options.get("answers", {}).get(self.name))

    def new_nonce(self):
        return self.fixed_nonce or digest.new_nonce()

    def challenge(self, conn):
        """Issue a nonce, keep it where verify looks for it; the header value."""
        raise NotImplementedError

    def verify(self, conn, request, params):
        """("", grant state) when the credentials pass, else (why not, None)."""
        raise NotImplementedError

    def grant(self, conn, request, state):
        raise NotImplementedError

    def refuse(self, conn):
        header = self.challenge(conn)
        conn.reply(401, "Unauthorized", [("WWW-Authenticate", header)])
        self.record("answer", conn=conn.id, resource=self.name, status=401, challenge=header)

    def handle(self, conn, request):
        if perform(self.answers.next(), conn, self.name, self.challenge):
            return
        value = request.header("Authorization")
        if value is None:
            self.refuse(conn)
            return
        try:
            params = digest.parse_authorization(value)
            why, state = self.verify(conn, request, params)
        except digest.AuthorizationError as e:
            params, why = None, str(e)
        self.record("auth", conn=conn.id, resource=self.name, target=request.target,
                    proxy_form=request.proxy_form, params=params, ok=not why, reason=why)
        if why:
            self.refuse(conn)
        else:
            self.grant(conn, request, state)
