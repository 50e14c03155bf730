"""Streams frames into numpy, prints their mean brightness and saves the last
one as a PNG file (with the standard library's zlib; no imaging package).

    python3 stream_to_numpy.py ADDRESS [N [PNG]]    N frames (10), last.png
"""

import itertools
import struct
import sys
import zlib

import numpy as np
import numpy.typing as npt

import ocamera


def write_png(path: str, rgb: npt.NDArray[np.uint8]) -> None:
    """An H x W x 3 uint8 array as an 8-bit RGB PNG file."""
    height, width, _ = rgb.shape

    def chunk(kind: bytes, data: bytes) -> bytes:
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    rows = np.hstack([np.zeros((height, 1), np.uint8), rgb.reshape(height, width * 3)])
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n"
                  + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(rows.tobytes()))
                  + chunk(b"IEND", b""))


def main() -> None:
    address = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    path = sys.argv[3] if len(sys.argv) > 3 else "last.png"
    # rgb=True: frames arrive converted, H x W x 3; frame_limit: exactly N
    # frames, none dropped (BLOCK) while we are busy with one.
    with ocamera.Stream(address, width=640, height=480, rgb=True, frame_limit=count,
                        when_full=ocamera.QueuePolicy.BLOCK, check=True) as stream:
        stream.start()
        last = None
        for frame in itertools.islice(stream, count):
            with frame:  # gives the buffer back to the stream at the end
                print(f"frame {frame.seq_nr}: mean {frame.array.mean():.1f}")
                last = frame.array.copy()  # keep the pixels beyond the frame
        print(stream.stats())
    if last is None:
        sys.exit("no frame came")
    write_png(path, last)
    print(f"wrote {path}: {last.shape[1]} x {last.shape[0]}")


if __name__ == "__main__":
    main()
