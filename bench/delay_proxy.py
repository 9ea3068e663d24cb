"""A TCP proxy on 127.0.0.1 that holds every chunk for a fixed delay in each direction, so a
loopback server behaves like one across a real network (a round trip costs twice the delay).
Order is kept and nothing is throttled: only latency is added.

    delay_proxy.py LISTEN_PORT TARGET_PORT DELAY_MS
"""

import asyncio
import sys


async def _pump(reader, writer, delay: float) -> None:
    loop = asyncio.get_running_loop()
    queue: asyncio.Queue = asyncio.Queue()

    async def send_later():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                break
            writer.write(data)
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()

    sender = asyncio.create_task(send_later())
    try:
        while True:
            data = await reader.read(65536)
            queue.put_nowait((loop.time() + delay, data))
            if not data:
                break
        await sender
    except (ConnectionError, OSError):
        sender.cancel()


async def _serve(listen_port: int, target_port: int, delay: float) -> None:
    async def handle(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(_pump(client_reader, server_writer, delay),
                             _pump(server_reader, client_writer, delay),
                             return_exceptions=True)
        client_writer.close()
        server_writer.close()

    server = await asyncio.start_server(handle, "127.0.0.1", listen_port)
    async with server:
        await server.serve_forever()


def main() -> None:
    listen_port, target_port, delay_ms = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    asyncio.run(_serve(listen_port, target_port, delay_ms / 1000.0))


if __name__ == "__main__":
    main()
