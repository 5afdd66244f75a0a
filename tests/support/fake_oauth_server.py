#!/usr/bin/python3
"""An OAuth2 authorization server stand-in for the tests.

Usage: fake_oauth_server.py [USER]
Listens on a loopback port the system picks and prints it on the first line.
GET /authorize checks PKCE (S256) and answers with a redirect carrying a code
and the state (or error=access_denied for the client id "refuse"). POST /token
takes a code with its verifier (the challenge must match) and gives
at-1/rt-1; a refresh with rt-1 gives at-N without a new refresh token (as
Google does); any other refresh token is refused (invalid_grant). POST
/introspect (token=...) answers as a mail server's token check expects: active,
with USER as the user name, for an access token it issued; inactive for any
other. Lines on its standard input: "expire" ends every access token issued,
"revoke" the refresh token as well; each is answered with "done". Ends when
its standard input closes.
"""
import base64
import hashlib
import json
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

codes = {}  # code -> (challenge, redirect_uri)
issued = [1]
active = set()
revoked = [False]
user = sys.argv[1] if len(sys.argv) > 1 else "ann@example.com"


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def reply(self, status, body, headers=()):
        data = json.dumps(body).encode() if body is not None else b""
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        url = urllib.parse.urlparse(self.path)
        q = dict(urllib.parse.parse_qsl(url.query))
        if url.path != "/authorize" or q.get("code_challenge_method") != "S256" or not q.get("code_challenge"):
            return self.reply(400, {"error": "invalid_request"})
        target = q["redirect_uri"]
        if q.get("client_id") == "refuse":
            answer = {"error": "access_denied", "state": q.get("state", "")}
        else:
            code = "code-%d" % len(codes)
            codes[code] = (q["code_challenge"], target)
            answer = {"code": code, "state": q.get("state", "")}
        self.reply(302, None, [("Location", target + "?" + urllib.parse.urlencode(answer))])

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        form = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode()))
        if self.path == "/introspect":
            known = form.get("token") in active
            return self.reply(200, {"active": True, "username": user} if known else {"active": False})
        if form.get("grant_type") == "authorization_code":
            challenge, target = codes.pop(form.get("code"), (None, None))
            verifier = form.get("code_verifier", "").encode()
            made = base64.urlsafe_b64encode(hashlib.sha256(verifier).digest()).rstrip(b"=").decode()
            if challenge is None or made != challenge or form.get("redirect_uri") != target:
                return self.reply(400, {"error": "invalid_grant", "error_description": "code or verifier wrong"})
            active.add("at-1")
            return self.reply(200, {"access_token": "at-1", "refresh_token": "rt-1", "expires_in": 3600})
        if form.get("grant_type") == "refresh_token" and form.get("refresh_token") == "rt-1" and not revoked[0]:
            issued[0] += 1
            active.add("at-%d" % issued[0])
            return self.reply(200, {"access_token": "at-%d" % issued[0], "expires_in": 3600})
        return self.reply(400, {"error": "invalid_grant", "error_description": "refresh token revoked"})


server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
threading.Thread(target=server.serve_forever, daemon=True).start()
for line in sys.stdin:
    if line.strip() in ("expire", "revoke"):
        active.clear()
        revoked[0] = revoked[0] or line.strip() == "revoke"
        print("done", flush=True)
server.shutdown()
