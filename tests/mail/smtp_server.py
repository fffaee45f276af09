#!/usr/bin/python3
"""A loopback SMTP server for the mail tests.

Receives messages with aiosmtpd and writes, for each, N.eml (the bytes received after DATA) and
N.json: the envelope, the login used, the headers in order and the parts as Python's email
package reads them. Prints "PORT <n>" once it accepts connections and runs until stdin closes.

Options: --dir DIR (required), --tls CERT KEY (STARTTLS offered), --auth USER:PASSWORD,
--exclude MECHANISM (a login method not offered), --quiet (messages are accepted, not kept).
"""
import argparse
import base64
import email
import email.policy
import json
import os
import socket
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Handler:
    def __init__(self, out, quiet):
        self.out = out
        self.quiet = quiet
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        if self.quiet:
            return "250 2.0.0 Message accepted as %d" % self.count
        raw = envelope.original_content or envelope.content
        base = os.path.join(self.out, "%04d" % self.count)
        with open(base + ".eml", "wb") as f:
            f.write(raw)
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        info = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "auth": getattr(session, "tallyra_mechanism", ""),
            "login": getattr(session, "tallyra_login", ""),
            "tls": session.ssl is not None,
            "header_names": list(msg.keys()),
            "headers": [[k, str(v)] for k, v in msg.items()],
            "defects": [type(d).__name__ for d in msg.defects],
            "raw_body_b64": base64.b64encode(raw.split(b"\r\n\r\n", 1)[1]).decode(),
            "attachments": [],
        }
        if msg.is_multipart():
            parts = list(msg.iter_parts())
            info["text"] = parts[0].get_content()
            info["text_charset"] = parts[0].get_content_charset()
            for p in parts[1:]:
                info["attachments"].append({
                    "filename": p.get_filename(),
                    "data_b64": base64.b64encode(p.get_payload(decode=True)).decode(),
                    "encoded": p.get_payload(),
                })
        else:
            info["text"] = msg.get_content()
            info["text_charset"] = msg.get_content_charset()
        with open(base + ".json", "w") as f:
            json.dump(info, f)
        return "250 2.0.0 Message accepted as %d" % self.count


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dir", required=True)
    ap.add_argument("--tls", nargs=2)
    ap.add_argument("--auth")
    ap.add_argument("--exclude", action="append", default=[])
    ap.add_argument("--quiet", action="store_true", help="accept messages without keeping them")
    a = ap.parse_args()

    kwargs = {}
    if a.tls:
        ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        ctx.load_cert_chain(a.tls[0], a.tls[1])
        kwargs["tls_context"] = ctx
    if a.auth:
        user, password = a.auth.split(":", 1)

        def authenticator(server, session, envelope, mechanism, auth_data):
            ok = auth_data.login.decode() == user and auth_data.password.decode() == password
            if ok:
                session.tallyra_mechanism = mechanism
                session.tallyra_login = auth_data.login.decode()
            # handled=False: the server itself answers a refusal with 535.
            return AuthResult(success=ok, handled=ok)

        kwargs["authenticator"] = authenticator
        kwargs["auth_require_tls"] = bool(a.tls)
        if a.exclude:
            kwargs["auth_exclude_mechanism"] = a.exclude
    port = free_port()
    controller = Controller(Handler(a.dir, a.quiet), hostname="127.0.0.1", port=port, **kwargs)
    controller.start()
    print("PORT %d" % port, flush=True)
    sys.stdin.read()
    controller.stop()


if __name__ == "__main__":
    main()
