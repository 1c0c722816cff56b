"""An aiosmtpd handler that tells what went over TLS and what went in clear.

Each mail is kept as a file in the folder given on the command line, headed by the TLS version
the connection had ("X-TLS: TLSv1.3", or "X-TLS: none"); every MAIL command is noted in
commands.log in that folder the same way, whether or not a mail follows.
"""

import os
import uuid


class TlsMailbox:
    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)

    @classmethod
    def from_cli(cls, parser, *args):
        if len(args) != 1:
            parser.error("TlsMailbox takes one folder")
        return cls(args[0])

    @staticmethod
    def _tls(server):
        # After STARTTLS and on an implicit-TLS connection alike, the transport is the TLS one.
        ssl_object = server.transport.get_extra_info("ssl_object") if server.transport else None
        return ssl_object.version() if ssl_object is not None else "none"

    def _note(self, line):
        with open(os.path.join(self.folder, "commands.log"), "a", encoding="utf-8") as log:
            log.write(line + "\n")

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        self._note(f"MAIL {address} tls={self._tls(server)}")
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        name = os.path.join(self.folder, uuid.uuid4().hex + ".eml")
        header = f"X-TLS: {self._tls(server)}\r\nX-RcptTo: {', '.join(envelope.rcpt_tos)}\r\n"
        with open(name + ".part", "wb") as mail:
            mail.write(header.encode())
            mail.write(envelope.original_content or envelope.content)
        os.rename(name + ".part", name)
        return "250 Message accepted for delivery"
