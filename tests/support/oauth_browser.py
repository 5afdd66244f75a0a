#!/usr/bin/python3
"""A web browser for the sign-in tests, reached through BROWSER.

Usage: oauth_browser.py URL
Follows the redirects from URL (the program's own address, which sends it on
to the provider) until the provider sends it back to the program, and goes
there; with VELTO_BROWSER_TAMPER "state" it first brings back a forged state.
Then asks that address once more, as a reload would. Appends to the file
VELTO_BROWSER_LOG one line: "callback STATUS, again STATUS", after
"forged STATUS, " when tampering (STATUS "refused" when nobody answered).
"""
import os
import sys
import urllib.error
import urllib.parse
import urllib.request


class Stay(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args, **kwargs):
        return None


def status(url, opener=urllib.request.build_opener()):
    try:
        with opener.open(url, timeout=10) as answer:
            return str(answer.status), answer.headers
    except urllib.error.HTTPError as e:
        return str(e.code), e.headers
    except (urllib.error.URLError, OSError, ValueError):
        return "refused", {}


# Back at the program is where the provider's answer goes.
program = urllib.parse.urlsplit(sys.argv[1]).netloc
url, target = sys.argv[1], ""
for _ in range(5):
    _, headers = status(url, urllib.request.build_opener(Stay))
    url = urllib.parse.urljoin(url, headers.get("Location", ""))
    if not headers.get("Location") or urllib.parse.urlsplit(url).netloc == program:
        target = url if headers.get("Location") else ""
        break
line = ""
if os.environ.get("VELTO_BROWSER_TAMPER") == "state":
    parts = urllib.parse.urlsplit(target)
    query = dict(urllib.parse.parse_qsl(parts.query), state="forged")
    line = "forged %s, " % status(urllib.parse.urlunsplit(parts._replace(query=urllib.parse.urlencode(query))))[0]
first, _ = status(target)
again, _ = status(target)
with open(os.environ["VELTO_BROWSER_LOG"], "a") as log:
    log.write(line + "callback %s, again %s\n" % (first, again))
