#!/usr/bin/env python3
"""Writes the demo mailbox: a few dozen ordinary-looking messages, oldest
first, dated over the last two weeks. Prints one pop3_fixture --message
argument per line (user:uid:file)."""
import os
import random
import sys
from datetime import datetime, timedelta, timezone
from email.utils import format_datetime

USER = "demo"
ADDRESS = "demo@example.com"

# (display name, address, subject, body paragraphs, addressed to someone else)
MESSAGES = [
    ("Harriet Lindqvist", "harriet@lindqvist.example.org", "Lunch on Thursday?",
     ["Are you free for lunch on Thursday? The new place by the station has opened."], False),
    ("Build Robot", "builds@ci.example.net", "[nightly] build 2291 passed",
     ["All 412 tests passed in 6 min 12 s.", "Report: http://ci.example.net/builds/2291"], False),
    ("Tomas Okafor", "t.okafor@example.com", "Re: quarterly figures",
     ["Thanks, the spreadsheet looks right to me.", "> Could you check the totals on sheet 3?"], False),
    ("Garden Club", "news@gardenclub.example.org", "October newsletter: bulbs, frost and the autumn fair",
     ["Plant tulips now.", "Autumn fair details on our website: http://gardenclub.example.org/fair"], False),
    ("Mireille Fontaine", "mireille@fontaine.example.fr", "Photos from the weekend",
     ["Here are the photos I promised. The one at the lake is my favourite."], False),
    ("Accounts Payable", "ap@supplier.example.com", "Invoice 10-4471 due 30 November",
     ["Please find attached invoice 10-4471 for 1,240.00."], False),
    ("WIN A PRIZE", "winner@prizes.example.biz", "Congratulations!!! You have been selected",
     ["Claim your prize today."], True),
    ("Dev Mailing List", "dev-list@lists.example.org", "[dev] Proposal: drop the old config format",
     ["The old format has been deprecated for two releases.", "Discussion thread follows."], False),
    ("Priya Raman", "priya.raman@example.com", "Train times for the conference",
     ["The 07:42 gets in at 10:15, which leaves time for coffee before the keynote."], False),
    ("Library", "no-reply@library.example.gov", "Your reserved book is ready for collection",
     ["'The Long Way Round' is waiting at the front desk until Saturday."], False),
    ("Oskar Brandt", "oskar@brandt.example.de", "Re: Re: bicycle for sale",
     ["Yes, it is still available. Come and try it any evening this week."], False),
    ("Build Robot", "builds@ci.example.net", "[nightly] build 2292 FAILED",
     ["1 of 412 tests failed: NetworkTimeouts.SlowServer", "Log: http://ci.example.net/builds/2292/log"], False),
    ("Eleanor Vance", "eleanor.vance@example.com", "Minutes of Tuesday's meeting",
     ["Attached are the minutes. Action items are at the end."], False),
    ("Travel Desk", "travel@example.com", "Itinerary change: flight VX 118",
     ["Your flight now leaves at 14:35 from gate B12."], False),
    ("Sam Whitaker", "sam@whitaker.example.net", "Board game night",
     ["Friday at eight, bring snacks. We are trying the new one with the trains."], False),
    ("Hosting Support", "support@hosting.example.net", "Scheduled maintenance on 12 November",
     ["Between 02:00 and 04:00 UTC your server may be unreachable for up to 10 minutes."], False),
    ("Mum", "mum@family.example.org", "Sunday",
     ["Don't forget Sunday lunch. Your aunt is coming too."], False),
    ("Dev Mailing List", "dev-list@lists.example.org", "Re: [dev] Proposal: drop the old config format",
     ["+1 from me, as long as the converter stays."], False),
    ("Cheap Watches", "offers@watches.example.biz", "Luxury watches 90% off",
     ["Limited time only."], True),
    ("Jonas Eriksen", "jonas@eriksen.example.no", "Draft chapter 4",
     ["I have rewritten the middle section; comments welcome before Monday."], False),
    ("Bank", "alerts@bank.example.com", "Your monthly statement is available",
     ["Log in to online banking to view it."], False),
    ("Harriet Lindqvist", "harriet@lindqvist.example.org", "Re: Lunch on Thursday?",
     ["Great, see you at half past twelve."], False),
    ("Conference Team", "info@conf.example.org", "Speaker schedule published",
     ["The full schedule is online at http://conf.example.org/schedule"], False),
    ("Ravi Shankar Iyer", "ravi@iyer.example.in", "Recipe you asked for",
     ["Two onions, three tomatoes, a thumb of ginger and patience."], False),
    ("Build Robot", "builds@ci.example.net", "[nightly] build 2293 passed",
     ["All 412 tests passed in 6 min 3 s."], False),
    ("Anna Kowalska", "anna.kowalska@example.pl", "Flat viewing on Saturday",
     ["The agent can show us the flat at 11. Shall we meet there?"], False),
    ("Tomas Okafor", "t.okafor@example.com", "Holiday cover",
     ["I am away 20-27 November; Eleanor will cover the reports."], False),
    ("Garden Club", "news@gardenclub.example.org", "Reminder: autumn fair this Saturday",
     ["Stalls open at ten. Volunteers please arrive by nine."], False),
    ("Printing Co.", "orders@printing.example.com", "Your order has shipped",
     ["Tracking number 7731 0042 9915."], False),
    ("Mireille Fontaine", "mireille@fontaine.example.fr", "Re: Photos from the weekend",
     ["Could you send the big version of the lake photo? I want to print it."], False),
    ("Security Team", "security@example.com", "Password expiry in 7 days",
     ["Please change your password before it expires."], False),
    ("Priya Raman", "priya.raman@example.com", "Slides for Thursday",
     ["Here are my slides; I kept it to twenty minutes."], False),
    ("Oskar Brandt", "oskar@brandt.example.de", "Bicycle",
     ["Sold! Thanks for passing the word around."], False),
    ("Eleanor Vance", "eleanor.vance@example.com", "Report deadline moved",
     ["The quarterly report is now due on the 28th."], False),
    ("Sam Whitaker", "sam@whitaker.example.net", "Re: Board game night",
     ["Eight people said yes, so we need the big table."], False),
    ("Harriet Lindqvist", "harriet@lindqvist.example.org", "Book club: next title",
     ["We voted for 'The Remains of the Evening'. Meeting on the 3rd."], False),
]

# Mail as it arrives today: encoded names and subjects, MIME bodies.
# (From, Subject, rest of the header and the body), all raw.
MIME_MESSAGES = [
    ('"=?UTF-8?Q?J=C3=B6rg_M=C3=BCller?=" <joerg@mueller.example.de>',
     "=?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_M=C3=BCnchen?=",
     "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
     "Viele Gr=C3=BC=C3=9Fe aus M=C3=BCnchen, bis bald!\r\n"),
    ("=?ISO-8859-1?Q?Ren=E9e_Beaulieu?= <renee@beaulieu.example.fr>",
     "=?ISO-8859-1?B?UulzZXJ2YXRpb24gY29uZmlybellIOAgQXJsZXM=?=",
     "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
     "Votre r\xe9servation \xe0 l'h\xf4tel est confirm\xe9e.\r\n"),
    ("=?ISO-2022-JP?B?GyRCOzNFRBsoQiAbJEJCQE86GyhC?= <yamada@example.jp>",
     "=?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTyEiMnE1RCROJCpDTiRpJDsbKEI=?=",
     "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
     "\x1b$B2q5D$O6bMKF|$N8a8e#3;~$G$9!#\x1b(B\r\n"),
    ('"Garden Club" <news@gardenclub.example.org>', "Winter programme (text and HTML)",
     'Content-Type: multipart/alternative; boundary="alt-1998"\r\n\r\n'
     "--alt-1998\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
     "Winter programme: pruning on 6 January, seed swap on 3 February.\r\n"
     "--alt-1998\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
     "<html><body><h1>Winter programme</h1><ul><li>Pruning: 6 January</li>"
     "<li>Seed swap: 3 February</li></ul></body></html>\r\n--alt-1998--\r\n"),
    ('"Accounts Payable" <ap@supplier.example.com>', "=?UTF-8?Q?Invoice_10-4502_=E2=80=93_December?=",
     'Content-Type: multipart/mixed; boundary="mix-1998"\r\n\r\n'
     "--mix-1998\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
     "Please find attached invoice 10-4502 for 980.00.\r\n"
     "--mix-1998\r\nContent-Type: text/plain; charset=utf-8; name=\"invoice-10-4502.txt\"\r\n"
     "Content-Disposition: attachment; filename*=UTF-8''Rechnung%20f%C3%BCr%2010-4502.txt\r\n"
     "Content-Transfer-Encoding: base64\r\n\r\n"
     "SW52b2ljZSAxMC00NTAyCkFtb3VudDogOTgwLjAwCg==\r\n--mix-1998--\r\n"),
]


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: demo_mail.py FOLDER")
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(1998)
    now = datetime.now(timezone.utc).astimezone()
    when = now - timedelta(days=14)
    step = timedelta(days=14) / (len(MESSAGES) + len(MIME_MESSAGES))
    for n, (name, sender, subject, paragraphs, elsewhere) in enumerate(MESSAGES, 1):
        when += step + timedelta(minutes=rng.randint(-90, 90))
        when = min(when, now - timedelta(minutes=5))
        to = "someone.else@example.net" if elsewhere else f"Demo User <{ADDRESS}>"
        body = "\r\n\r\n".join(paragraphs) + "\r\n\r\n-- \r\n" + name + "\r\n"
        # Some messages are long, so the sizes differ as real ones do.
        body += ("\r\n" + "Lorem ipsum dolor sit amet. " * rng.randint(0, 40)) if n % 3 == 0 else ""
        text = (f'From: "{name}" <{sender}>\r\n'
                f"To: {to}\r\n"
                f"Subject: {subject}\r\n"
                f"Date: {format_datetime(when)}\r\n"
                f"Message-ID: <demo-{n:03d}@{sender.split('@')[1]}>\r\n"
                "MIME-Version: 1.0\r\n"
                "Content-Type: text/plain; charset=us-ascii\r\n"
                "\r\n" + body)
        write(folder, n, text.encode("ascii"))
    for n, (sender, subject, rest) in enumerate(MIME_MESSAGES, len(MESSAGES) + 1):
        when += step + timedelta(minutes=rng.randint(-90, 90))
        when = min(when, now - timedelta(minutes=5))
        text = (f"From: {sender}\r\n"
                f"To: Demo User <{ADDRESS}>\r\n"
                f"Subject: {subject}\r\n"
                f"Date: {format_datetime(when)}\r\n"
                f"Message-ID: <demo-{n:03d}@example.org>\r\n"
                "MIME-Version: 1.0\r\n" + rest)
        # Latin-1 keeps the 8-bit body bytes as written above.
        write(folder, n, text.encode("latin-1"))


def write(folder, n, data):
    path = os.path.join(folder, f"demo{n:03d}.eml")
    with open(path, "wb") as f:
        f.write(data)
    print(f"{USER}:demo{n:03d}:{path}")


if __name__ == "__main__":
    main()
