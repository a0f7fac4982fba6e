#!/usr/bin/python3
"""obs_request.py PORT REQUEST [JSON_DATA]: sends one obs-websocket (protocol 5)
request to the OBS on 127.0.0.1:PORT, with no authentication, and prints the
response's data as JSON; exits 1 when OBS refuses it or cannot be reached."""
import asyncio
import json
import sys

import websockets


async def request(port, kind, data):
    async with websockets.connect(f"ws://127.0.0.1:{port}", open_timeout=10) as ws:
        json.loads(await ws.recv())  # Hello
        await ws.send(json.dumps({"op": 1, "d": {"rpcVersion": 1}}))
        json.loads(await ws.recv())  # Identified
        await ws.send(json.dumps({"op": 6, "d": {"requestType": kind, "requestId": "1", "requestData": data}}))
        while True:
            message = json.loads(await asyncio.wait_for(ws.recv(), 10))
            if message["op"] == 7:
                return message["d"]


def main():
    data = json.loads(sys.argv[3]) if len(sys.argv) > 3 else {}
    try:
        reply = asyncio.run(request(int(sys.argv[1]), sys.argv[2], data))
    except (OSError, asyncio.TimeoutError, websockets.WebSocketException) as e:
        sys.exit(f"obs_request: {sys.argv[2]}: {e}")
    print(json.dumps(reply))
    sys.exit(0 if reply["requestStatus"]["result"] else 1)


if __name__ == "__main__":
    main()
