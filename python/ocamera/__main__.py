"""python3 -m ocamera [ADDRESS]: prints the device list of the camera at
ADDRESS (default: $OCAM_ADDRESS, else the local simulator 127.0.0.1:8000, as
for ocam)."""

import argparse
import os
import sys

import ocamera

# Where ocam looks without an address: the local simulator.
DEFAULT_ADDRESS = "127.0.0.1:8000"


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m ocamera",
                                     description="List the devices of a camera.")
    parser.add_argument("address", nargs="?",
                        default=os.environ.get("OCAM_ADDRESS") or DEFAULT_ADDRESS,
                        help="host, host:port or http://host:port (default: $OCAM_ADDRESS, "
                             f"else {DEFAULT_ADDRESS}; 'factory' for "
                             f"{ocamera.FACTORY_DEFAULT_ADDRESS})")
    args = parser.parse_args(argv)
    if args.address == "factory":
        args.address = ocamera.FACTORY_DEFAULT_ADDRESS
    try:
        devices = ocamera.list_devices(args.address)
    except ocamera.Error as error:
        print(f"python3 -m ocamera: {error}", file=sys.stderr)
        return 1
    rows = [("ID", "TYPE", "VENDOR", "VERSION", "TIMEOUT", "STATUS", "DESCRIPTION")]
    rows += [(str(d.id), d.type, d.vendor, d.version, f"{d.max_timeout} s", d.status,
              d.description) for d in devices]
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    for row in rows:
        print("  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip())
    return 0


if __name__ == "__main__":
    sys.exit(main())
