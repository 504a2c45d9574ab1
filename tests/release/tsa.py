#!/usr/bin/env python3
"""A time-stamping server for the release checks, on the loopback alone, that
answers both kinds of request at one address, as the big authorities do:
Authenticode's (osslsigncode -t, signtool /t) with a SHA-1 PKCS #7 signature
of the request's digest by its own authority, made by openssl cms, and RFC
3161's (osslsigncode -ts, signtool /tr; Content-Type
application/timestamp-query) with openssl ts -reply, SHA-256. It writes the
port it listens on to PORT_FILE, keeps its RFC 3161 configuration and serial
number beside that file, and stops by itself after SECONDS.
    tsa.py CERT.pem KEY.pem PORT_FILE SECONDS"""
import base64
import http.server
import os
import subprocess
import sys
import tempfile
import threading


def rfc3161_config(folder):
    """The openssl ts configuration of this authority, written in folder."""
    serial = os.path.join(folder, "tsa.serial")
    with open(serial, "w") as f:
        f.write("01\n")
    config = os.path.join(folder, "tsa.cnf")
    with open(config, "w") as f:
        f.write("[tsa]\ndefault_tsa = tsa_config\n[tsa_config]\n"
                f"serial = {serial}\nsigner_cert = {sys.argv[1]}\ncerts = {sys.argv[1]}\n"
                f"signer_key = {sys.argv[2]}\nsigner_digest = sha256\n"
                "default_policy = 1.3.6.1.4.1.55555.1\ndigests = sha1, sha256\n"
                "accuracy = secs:1\ness_cert_id_alg = sha256\n")
    return config


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
        body = self.rfile.read(int(self.headers["Content-Length"]))
        if self.headers.get("Content-Type") == "application/timestamp-query":
            self.rfc3161(body)
            return
        request = base64.b64decode(body)
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

    def rfc3161(self, query):
        with tempfile.NamedTemporaryFile(dir=FOLDER) as asked, \
                tempfile.NamedTemporaryFile(dir=FOLDER) as answer:
            asked.write(query)
            asked.flush()
            subprocess.run(["openssl", "ts", "-reply", "-config", CONFIG, "-queryfile", asked.name,
                            "-out", answer.name], capture_output=True, check=True)
            reply = answer.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


if __name__ == "__main__":
    if len(sys.argv) != 5:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        sys.exit(2)
    FOLDER = os.path.dirname(os.path.abspath(sys.argv[3]))
    CONFIG = rfc3161_config(FOLDER)
    server = http.server.HTTPServer(("127.0.0.1", 0), Stamp)
    with open(sys.argv[3], "w") as port:
        port.write(str(server.server_address[1]))
    threading.Timer(float(sys.argv[4]), server.shutdown).start()
    server.serve_forever()
