#!/usr/bin/env python3
"""A time-stamping server for the release checks, on the loopback alone: it
answers Authenticode time-stamp requests (osslsigncode -t, signtool /t) with a
SHA-1 PKCS #7 signature of the request's digest by its own authority, made by
openssl cms, writes the port it listens on to PORT_FILE, and stops by itself
after SECONDS.
    tsa.py CERT.pem KEY.pem PORT_FILE SECONDS"""
import base64
import http.server
import subprocess
import sys
import tempfile
import threading


def octet_strings(der):
    """Every primitive OCTET STRING's contents in a DER encoding, in order."""
    found, at = [], 0
    while at < len(der):
        tag, length = der[at], der[at + 1]
        at += 2
        if length & 0x80:
            count = length & 0x7F
            length = int.from_bytes(der[at:at + count], "big")
            at += count
        body = der[at:at + length]
        if tag == 0x04:
            found.append(body)
        elif tag & 0x20:  # constructed: look inside
            found += octet_strings(body)
        at += length
    return found


class Stamp(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        request = base64.b64decode(self.rfile.read(int(self.headers["Content-Length"])))
        digest = octet_strings(request)[-1]
        with tempfile.NamedTemporaryFile() as data:
            data.write(digest)
            data.flush()
            signed = subprocess.run(
                ["openssl", "cms", "-sign", "-binary", "-nodetach", "-md", "sha1",
                 "-nosmimecap", "-outform", "DER", "-signer", sys.argv[1],
                 "-inkey", sys.argv[2], "-in", data.name],
                capture_output=True, check=True).stdout
        reply = base64.b64encode(signed)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


if __name__ == "__main__":
    if len(sys.argv) != 5:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        sys.exit(2)
    server = http.server.HTTPServer(("127.0.0.1", 0), Stamp)
    with open(sys.argv[3], "w") as port:
        port.write(str(server.server_address[1]))
    threading.Timer(float(sys.argv[4]), server.shutdown).start()
    server.serve_forever()
