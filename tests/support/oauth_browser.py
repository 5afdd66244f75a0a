#!/usr/bin/python3
"""A web browser for the sign-in tests, reached through BROWSER.

Usage: oauth_browser.py URL
Fetches the authorization address and goes where the provider sends it back,
with a forged state when VELTO_BROWSER_TAMPER is "state"; then asks that
address once more, as a reload would. Appends to the file VELTO_BROWSER_LOG
one line: "callback STATUS, again STATUS" (STATUS "refused" when nobody
answered).
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
    except (urllib.error.URLError, OSError):
        return "refused", {}


_, headers = status(sys.argv[1], urllib.request.build_opener(Stay))
target = headers.get("Location", "")
if os.environ.get("VELTO_BROWSER_TAMPER") == "state":
    parts = urllib.parse.urlsplit(target)
    query = dict(urllib.parse.parse_qsl(parts.query), state="forged")
    target = urllib.parse.urlunsplit(parts._replace(query=urllib.parse.urlencode(query)))
first, _ = status(target)
again, _ = status(target)
with open(os.environ["VELTO_BROWSER_LOG"], "a") as log:
    log.write("callback %s, again %s\n" % (first, again))
