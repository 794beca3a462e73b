"""HTTP digest authentication, server side (MD5, qop "auth").

The base station's players always hash "GET:" + uri as A2, whatever the method
of the request; the plain resource for standard clients hashes the real method.
"""

import hashlib
import secrets

REALM = "Ravix"
DOMAIN = "/ravix/"


def md5_hex(text: str) -> str:
    return hashlib.md5(text.encode("latin-1")).hexdigest()


def new_nonce() -> str:
    return secrets.token_hex(16)


def challenge(nonce: str) -> str:
    """Value of the WWW-Authenticate header we send with every 401."""
    return 'Digest realm="%s", nonce="%s", algorithm=MD5, domain="%s", qop="auth"' % (
        REALM, nonce, DOMAIN)


def response(username, realm, password, nonce, nc, cnonce, qop, method, uri) -> str:
    ha1 = md5_hex("%s:%s:%s" % (username, realm, password))
    ha2 = md5_hex("%s:%s" % (method, uri))
    return md5_hex("%s:%s:%s:%s:%s:%s" % (ha1, nonce, nc, cnonce, qop, ha2))


class AuthorizationError(ValueError):
    pass


_TOKEN_STOP = set(' \t,="')


def parse_authorization(value: str) -> dict:
    """Parameters of a "Digest" Authorization header value.

    Accepts token and quoted-string values (with backslash escapes), separated
    by commas and optional blanks. A repeated parameter, an unterminated quote
    or anything else out of shape raises AuthorizationError.
    """
    scheme, _, rest = value.strip().partition(" ")
    if scheme.lower() != "digest":
        raise AuthorizationError("scheme %r is not Digest" % scheme)
    params = {}
    i, n = 0, len(rest)
    while True:
        while i < n and rest[i] in " \t":
            i += 1
        if i == n:
            break
        start = i
        while i < n and rest[i] not in _TOKEN_STOP:
            i += 1
        name = rest[start:i].lower()
        if not name or i == n or rest[i] != "=":
            raise AuthorizationError("parameter without a value at %d" % start)
        i += 1
        if i < n and rest[i] == '"':
            i += 1
            chars = []
            while i < n and rest[i] != '"':
                if rest[i] == "\\" and i + 1 < n:
                    i += 1
                chars.append(rest[i])
                i += 1
            if i == n:
                raise AuthorizationError("unterminated quote in %s" % name)
            i += 1
            val = "".join(chars)
        else:
            start = i
            while i < n and rest[i] not in _TOKEN_STOP:
                i += 1
            val = rest[start:i]
        if name in params:
            raise AuthorizationError("parameter %s given twice" % name)
        params[name] = val
        while i < n and rest[i] in " \t":
            i += 1
        if i < n:
            if rest[i] != ",":
                raise AuthorizationError("expected a comma at %d" % i)
            i += 1
    return params


def check(params: dict, password: str, method: str, uri: str, nonce: str, nc: str,
          cnonce_required: bool) -> str:
    """Verify the parameters against what we expect; "" when they pass, else why not."""
    for name in ("username", "realm", "nonce", "uri", "response", "qop", "nc"):
        if name not in params:
            return "missing " + name
    if params["realm"] != REALM:
        return "realm %r" % params["realm"]
    if params.get("algorithm", "MD5") != "MD5":
        return "algorithm %r" % params["algorithm"]
    if params["qop"] != "auth":
        return "qop %r" % params["qop"]
    if params["uri"] != uri:
        return "uri %r, expected %r" % (params["uri"], uri)
    if params["nonce"] != nonce:
        return "nonce %r, expected %r" % (params["nonce"], nonce)
    if params["nc"] != nc:
        return "nc %r, expected %r" % (params["nc"], nc)
    cnonce = params.get("cnonce")
    if cnonce is None:
        if cnonce_required:
            return "missing cnonce"
        cnonce = ""
    expected = response(params["username"], REALM, password, nonce, nc, cnonce,
                        "auth", method, params["uri"])
    if params["response"] != expected:
        return "response %r, expected %r" % (params["response"], expected)
    return ""
