"""JSON-lines record of what the peer received and decided.

One object per line, written and flushed at once, so a test can read the file
while the peer still runs. Every object has "event"; connection events carry
"conn", the connection's number in accept order (from 1).
"""

import json
import threading


class Recorder:
    def __init__(self, path):
        self._lock = threading.Lock()
        self._file = open(path, "a", encoding="utf-8") if path else None

    def __call__(self, event, **fields):
        line = json.dumps(dict(event=event, **fields), ensure_ascii=True)
        with self._lock:
            if self._file is not None:
                self._file.write(line + "\n")
                self._file.flush()

    def close(self):
        with self._lock:
            if self._file is not None:
                self._file.close()
                self._file = None
