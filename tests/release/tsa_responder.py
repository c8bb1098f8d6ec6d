#!/usr/bin/env python3
"""An RFC 3161 time-stamp server on 127.0.0.1 for signing tests, offline: `openssl ts`
answers each request with a throwaway time-stamping certificate made on start.

    tsa_responder.py <folder>

Writes <folder>/tsa.pem (the certificate to verify time stamps against), prints the
server's URL on one line and serves until it is ended.
"""
import http.server
import os
import subprocess
import sys
import tempfile

CONFIG = """\
[tsa]
default_tsa = tsa_config
[tsa_config]
dir = {folder}
serial = $dir/serial
signer_cert = $dir/tsa.pem
signer_key = $dir/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256, sha384, sha512, sha1
accuracy = secs:1
ess_cert_id_alg = sha256
"""


def make_signer(folder):
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-keyout", os.path.join(folder, "tsa.key"), "-out", os.path.join(folder, "tsa.pem"),
                    "-subj", "/CN=Tolvane test time stamps",
                    "-addext", "extendedKeyUsage=critical,timeStamping",
                    "-addext", "keyUsage=critical,digitalSignature"],
                   check=True, stderr=subprocess.DEVNULL)
    with open(os.path.join(folder, "serial"), "w") as f:
        f.write("01\n")
    config = os.path.join(folder, "tsa.cnf")
    with open(config, "w") as f:
        f.write(CONFIG.format(folder=folder))
    return config


def handler(config):
    class Reply(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            with tempfile.TemporaryDirectory() as work:
                request, reply = os.path.join(work, "request.tsq"), os.path.join(work, "reply.tsr")
                with open(request, "wb") as f:
                    f.write(query)
                done = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", request,
                                       "-out", reply], capture_output=True)
                if done.returncode != 0:
                    self.send_error(400, done.stderr.decode(errors="replace")[:200])
                    return
                with open(reply, "rb") as f:
                    body = f.read()
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    return Reply


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = os.path.abspath(sys.argv[1])
    os.makedirs(folder, exist_ok=True)
    server = http.server.HTTPServer(("127.0.0.1", 0), handler(make_signer(folder)))
    print(f"http://127.0.0.1:{server.server_address[1]}/", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
