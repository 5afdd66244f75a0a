#!/usr/bin/python3
"""An OAuth2 authorization server stand-in for the tests.

Usage: fake_oauth_server.py [USER]
Listens on a loopback port the system picks and prints it on the first line.
GET /authorize checks PKCE (S256) and answers with a redirect carrying a code
and the state (or error=access_denied for the client id "refuse"). POST /token
takes a code with its verifier (the challenge must match) and gives
at-1/rt-1, with an id token naming USER when the scope asked for "openid"; a
refresh with rt-1 gives at-N without a new refresh token (as Google does);
any other refresh token is refused (invalid_grant). Some client ids change
the token answers: "huge-length" says it is 2 GiB long and "endless" has no
length, both sending until the client stops reading; for a refresh,
"null-refresh", "empty-refresh", "number-refresh" and "new-refresh" give such
a refresh token, "huge-lifetime" and "string-lifetime" such an expires_in.
GET /userinfo answers an access token it issued with USER as "email". POST
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

codes = {}  # code -> (challenge, redirect_uri, scope)
issued = [1]
active = set()
revoked = [False]
user = sys.argv[1] if len(sys.argv) > 1 else "ann@example.com"
# What a refresh answer holds besides the access token, by client id.
refreshes = {
    "null-refresh": {"refresh_token": None},
    "empty-refresh": {"refresh_token": ""},
    "number-refresh": {"refresh_token": 5},
    "new-refresh": {"refresh_token": "rt-new"},
    "huge-lifetime": {"expires_in": 1e300},
    "string-lifetime": {"expires_in": "7200"},
}


def id_token(email):
    part = lambda value: base64.urlsafe_b64encode(json.dumps(value).encode()).rstrip(b"=").decode()
    return "%s.%s.unsigned" % (part({"alg": "none"}), part({"email": email, "sub": "1"}))


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

    def endless(self, say_length):
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        if say_length:
            self.send_header("Content-Length", str(2 ** 31))
        self.end_headers()
        self.close_connection = True
        try:
            self.wfile.write(b'{"access_token": "at-1", "pad": "')
            for _ in range(16384):  # 1 GiB at most
                self.wfile.write(b" " * 65536)
        except OSError:
            pass

    def do_GET(self):
        url = urllib.parse.urlparse(self.path)
        q = dict(urllib.parse.parse_qsl(url.query))
        if url.path == "/userinfo":
            known = self.headers.get("Authorization", "").removeprefix("Bearer ") in active
            return self.reply(200, {"email": user}) if known else self.reply(401, {"error": "invalid_token"})
        if url.path != "/authorize" or q.get("code_challenge_method") != "S256" or not q.get("code_challenge"):
            return self.reply(400, {"error": "invalid_request"})
        target = q["redirect_uri"]
        if q.get("client_id") == "refuse":
            answer = {"error": "access_denied", "state": q.get("state", "")}
        else:
            code = "code-%d" % len(codes)
            codes[code] = (q["code_challenge"], target, q.get("scope", ""))
            answer = {"code": code, "state": q.get("state", "")}
        self.reply(302, None, [("Location", target + "?" + urllib.parse.urlencode(answer))])

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        form = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode()))
        if self.path == "/introspect":
            known = form.get("token") in active
            return self.reply(200, {"active": True, "username": user} if known else {"active": False})
        if form.get("client_id") in ("huge-length", "endless"):
            return self.endless(form["client_id"] == "huge-length")
        if form.get("grant_type") == "authorization_code":
            challenge, target, scope = codes.pop(form.get("code"), (None, None, ""))
            verifier = form.get("code_verifier", "").encode()
            made = base64.urlsafe_b64encode(hashlib.sha256(verifier).digest()).rstrip(b"=").decode()
            if challenge is None or made != challenge or form.get("redirect_uri") != target:
                return self.reply(400, {"error": "invalid_grant", "error_description": "code or verifier wrong"})
            active.add("at-1")
            answer = {"access_token": "at-1", "refresh_token": "rt-1", "expires_in": 3600}
            if "openid" in scope.split():
                answer["id_token"] = id_token(user)
            return self.reply(200, answer)
        if form.get("grant_type") == "refresh_token" and form.get("refresh_token") == "rt-1" and not revoked[0]:
            issued[0] += 1
            active.add("at-%d" % issued[0])
            answer = {"access_token": "at-%d" % issued[0], "expires_in": 3600}
            answer.update(refreshes.get(form.get("client_id"), {}))
            return self.reply(200, answer)
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
