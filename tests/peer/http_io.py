"""One HTTP/1.1 connection of the peer: reading requests, sending answers.

Every byte received is recorded as it arrives ("recv" events, hex), so a test
sees exactly what the player sent even when it is not HTTP at all.
"""

import re

MAX_HEAD = 16384
MAX_BODY = 1 << 20
MAX_CHUNK_LINE = 64

_REQUEST_LINE = re.compile(r"([A-Z]+) (\S+) (HTTP/1\.[01])")
_TOKEN = re.compile(r"[!#$%&'*+.^_`|~0-9A-Za-z-]+")
_DECIMAL = re.compile(r"[0-9]{1,9}")
_HEX = re.compile(rb"[0-9A-Fa-f]{1,8}")


class MalformedRequest(Exception):
    pass


class Request:
    def __init__(self, method, target, headers, head):
        self.method = method
        self.target = target
        self.headers = headers
        self.head = head
        self.body = b""
        # A proxy sends "host:port/path"; the resource is the path either way.
        self.proxy_form = not target.startswith("/")
        path = target[target.find("/"):] if "/" in target else target
        self.path = path.split("?", 1)[0]

    def header(self, name):
        name = name.lower()
        for key, value in self.headers:
            if key.lower() == name:
                return value
        return None


def parse_head(head: bytes) -> Request:
    """Parse a header block that ends with its empty line."""
    lines = head.decode("latin-1").split("\r\n")
    match = _REQUEST_LINE.fullmatch(lines[0])
    if not match:
        raise MalformedRequest("bad request line %r" % lines[0][:200])
    headers = []
    for line in lines[1:-2]:
        if line[:1] in (" ", "\t"):
            if not headers:
                raise MalformedRequest("continuation line before any header")
            name, value = headers[-1]
            headers[-1] = (name, value + " " + line.strip())
            continue
        name, colon, value = line.partition(":")
        if not colon or not _TOKEN.fullmatch(name):
            raise MalformedRequest("bad header line %r" % line[:200])
        headers.append((name, value.strip(" \t")))
    return Request(match.group(1), match.group(2), headers, head)


class Connection:
    def __init__(self, sock, conn_id, record):
        self.sock = sock
        self.id = conn_id
        self.record = record
        self.closing = False
        # What the resources keep per connection (the nonces they challenged with).
        self.state = {}
        self._buf = b""

    def _fill(self) -> bool:
        data = self.sock.recv(65536)
        if not data:
            return False
        self.record("recv", conn=self.id, data_hex=data.hex())
        self._buf += data
        return True

    def _take(self, n) -> bytes:
        while len(self._buf) < n:
            if not self._fill():
                raise MalformedRequest("connection closed inside a request")
        data, self._buf = self._buf[:n], self._buf[n:]
        return data

    def _line(self, limit) -> bytes:
        while True:
            end = self._buf.find(b"\r\n")
            if end >= 0:
                return self._take(end + 2)[:-2]
            if len(self._buf) > limit:
                raise MalformedRequest("line longer than %d bytes" % limit)
            if not self._fill():
                raise MalformedRequest("connection closed inside a request")

    def read_request(self, claim=None):
        """The next whole request, None when the player closed between requests.
        A request for which claim(request) is true comes back without its
        body: whoever claimed it reads the rest of the connection."""
        while True:
            end = self._buf.find(b"\r\n\r\n")
            if end >= 0:
                break
            if len(self._buf) > MAX_HEAD:
                raise MalformedRequest("header block longer than %d bytes" % MAX_HEAD)
            if not self._fill():
                if self._buf:
                    raise MalformedRequest("connection closed inside a header block")
                return None
        request = parse_head(self._take(end + 4))
        if claim is not None and claim(request):
            return request
        if (request.header("Transfer-Encoding") or "").lower() == "chunked":
            request.body = self._chunked_body()
        else:
            length = request.header("Content-Length")
            if length is not None:
                if not _DECIMAL.fullmatch(length) or int(length) > MAX_BODY:
                    raise MalformedRequest("bad Content-Length %r" % length)
                request.body = self._take(int(length))
        return request

    def _chunked_body(self) -> bytes:
        body = b""
        while True:
            line = self._line(MAX_CHUNK_LINE).split(b";", 1)[0].strip()
            if not _HEX.fullmatch(line):
                raise MalformedRequest("bad chunk size line %r" % line)
            size = int(line, 16)
            if size == 0:
                break
            if len(body) + size > MAX_BODY:
                raise MalformedRequest("chunked body longer than %d bytes" % MAX_BODY)
            body += self._take(size)
            if self._take(2) != b"\r\n":
                raise MalformedRequest("chunk not followed by CRLF")
        while self._line(MAX_CHUNK_LINE):
            pass  # trailer lines
        return body

    def take_buffered(self) -> bytes:
        """The bytes received but not read yet; the buffer is left empty."""
        data, self._buf = self._buf, b""
        return data

    def drain(self):
        """Receive (and record) without answering until the player closes."""
        while self._fill():
            pass
        self.closing = True

    def send(self, data: bytes):
        self.sock.sendall(data)

    def reply(self, status, reason, headers=(), body=b"", chunked=False):
        head = "HTTP/1.1 %d %s\r\n" % (status, reason)
        for name, value in headers:
            head += "%s: %s\r\n" % (name, value)
        if chunked:
            head += "Transfer-Encoding: chunked\r\n\r\n"
            payload = (b"%x\r\n%s\r\n" % (len(body), body) if body else b"") + b"0\r\n\r\n"
        else:
            head += "Content-Length: %d\r\n\r\n" % len(body)
            payload = body
        self.send(head.encode("latin-1") + payload)
