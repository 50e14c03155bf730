"""Switches output O2 on and off, reads the outputs back, and waits (at most
a few seconds) for input I0 to change.

    python3 inputs_outputs.py IO_ADDRESS    the I/O service, host:port (8080 on a camera)
"""

import sys

import ocamera


def main() -> None:
    address = sys.argv[1]
    with ocamera.Outputs(address, check=True) as outputs, \
            ocamera.Inputs(address, check=True) as inputs:
        outputs.open_io()
        inputs.open_io()
        outputs.set_output(ocamera.Output.O2, 1)
        state = outputs.get_outputs()  # a mask of Output bits
        print(f"outputs {state:#x}, O2 is {'on' if state & int(ocamera.Output.O2) else 'off'}")
        outputs.set_output(ocamera.Output.O2, 0)

        inputs.set_timeout(3000)  # every wait of this session ends after 3 s
        try:
            inputs.wait_for_input_change(ocamera.Input.I0)
            print(f"I0 changed, now {inputs.get_input(ocamera.Input.I0)}")
        except ocamera.TimeoutError:
            print("I0 did not change within 3 s")


if __name__ == "__main__":
    main()
