#!/usr/bin/env python3
"""Loopback HTTP peer for socket tests of the POST client.

Every connection carries one request, read whole (head plus Content-Length
body). A request whose request line or Host header holds a '#' (a fragment,
which never belongs in a request) is answered "400 Fragment in request",
with the request as the body. Otherwise the request target's path chooses
the answer; a target in absolute form ("http://host:port/path") is taken the
same way, so the server also plays a proxy and shows the proxied request
byte for byte.

  /echo  replies 200 with the exact request bytes as the body.
  /play  runs the request body as a reply script, then closes:
           send N\\n<N bytes>        send the bytes
           pause MS\\n               send nothing for MS milliseconds
           fill COUNT BYTE\\n        send COUNT copies of the byte (decimal)
           trickle MS N\\n<N bytes>  send the bytes one by one, MS apart
  /reply/CODE[/TEXT]
         replies with status CODE and the body TEXT (default empty); codes
         300 to 399 also carry a Location header.
  /stallbody/CODE
         replies with status CODE and a 10-byte Content-Length, then sends
         nothing for 3 s and closes (a failed reply whose body stalls).
  /garbage
         replies with a line that is no status line, then closes.
  /longline
         replies with a 20000-byte status line.
  other  404.

A second listening socket is never accepted and has its backlog filled, so a
connection attempt to it stalls (for connect time-out tests).

Prints "READY port=P stalled_port=S" once listening; serves until killed.
"""
import argparse
import socket
import socketserver
import sys
import time

MAX_HEAD = 1 << 20


def read_request(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        piece = sock.recv(65536)
        if not piece:
            return data, b""
        data += piece
        if len(data) > MAX_HEAD:
            return data, b""
    head_end = data.index(b"\r\n\r\n") + 4
    length = 0
    for line in data[:head_end].split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or b"0")
    while len(data) < head_end + length:
        piece = sock.recv(65536)
        if not piece:
            break
        data += piece
    return data, data[head_end:head_end + length]


def has_fragment(request):
    lines = request.split(b"\r\n\r\n", 1)[0].split(b"\r\n")
    hosts = [line for line in lines[1:] if line.partition(b":")[0].strip().lower() == b"host"]
    return any(b"#" in line for line in lines[:1] + hosts)


def target_path(request):
    line = request.split(b"\r\n", 1)[0].split(b" ")
    target = line[1] if len(line) > 1 else b"/"
    if b"://" in target:
        rest = target.split(b"://", 1)[1]
        target = b"/" + rest.split(b"/", 1)[1] if b"/" in rest else b"/"
    return target.split(b"?", 1)[0]


def run_script(sock, script):
    pos = 0
    while pos < len(script):
        end = script.index(b"\n", pos)
        words = script[pos:end].split()
        pos = end + 1
        if not words:
            continue
        command = words[0]
        if command == b"send":
            n = int(words[1])
            sock.sendall(script[pos:pos + n])
            pos += n
        elif command == b"pause":
            time.sleep(int(words[1]) / 1000.0)
        elif command == b"fill":
            sock.sendall(bytes([int(words[2])]) * int(words[1]))
        elif command == b"trickle":
            delay, n = int(words[1]) / 1000.0, int(words[2])
            for i in range(n):
                if i:
                    time.sleep(delay)
                sock.sendall(script[pos + i:pos + i + 1])
            pos += n
        else:
            raise ValueError("unknown script command %r" % command)


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        try:
            request, body = read_request(sock)
            path = target_path(request)
            if has_fragment(request):
                sock.sendall(b"HTTP/1.0 400 Fragment in request\r\nContent-Length: %d\r\n\r\n"
                             % len(request) + request)
            elif path == b"/echo":
                sock.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % len(request) + request)
            elif path == b"/play":
                run_script(sock, body)
            elif path.startswith(b"/stallbody/"):
                code = int(path.split(b"/")[2])
                sock.sendall(b"HTTP/1.0 %d Status\r\nContent-Length: 10\r\n\r\n" % code)
                time.sleep(3)
            elif path == b"/garbage":
                sock.sendall(b"garbage\r\n\r\n")
            elif path == b"/longline":
                sock.sendall(b"HTTP/1.0 200 " + b"x" * 20000 + b"\r\n\r\n")
            elif path.startswith(b"/reply/"):
                parts = path.split(b"/", 3)
                code = int(parts[2])
                text = parts[3] if len(parts) > 3 else b""
                location = b"Location: /moved\r\n" if 300 <= code < 400 else b""
                sock.sendall(b"HTTP/1.0 %d Status\r\n%sContent-Length: %d\r\n\r\n%s"
                             % (code, location, len(text), text))
            else:
                sock.sendall(b"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n")
            sock.shutdown(socket.SHUT_WR)
        except OSError:
            pass  # the client gave up first: expected in time-out tests


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def stalled_listener(host):
    listener = socket.socket()
    listener.bind((host, 0))
    listener.listen(0)
    port = listener.getsockname()[1]
    fillers = []
    for _ in range(4):
        filler = socket.socket()
        filler.setblocking(False)
        try:
            filler.connect((host, port))
        except BlockingIOError:
            pass
        fillers.append(filler)
    return listener, fillers


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    server = Server((args.host, args.port), Handler)
    stalled, _fillers = stalled_listener(args.host)
    print("READY port=%d stalled_port=%d" % (server.server_address[1], stalled.getsockname()[1]),
          flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
