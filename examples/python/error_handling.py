"""What goes wrong, as exceptions: made with check=True, an object raises
CameraError (with the library's words for the camera's status) instead of
returning a negative number, and TimeoutError for a time-out.

    python3 error_handling.py ADDRESS
"""

import sys

import ocamera


def main() -> None:
    address = sys.argv[1]
    try:
        ocamera.Camera("127.0.0.1:1")  # nothing listens there
    except ocamera.CreationError as e:  # also a ConnectionError
        print(f"as expected: {e}")

    with ocamera.Camera(address, check=True) as camera:
        try:
            camera.set_gain(1000)  # outside the camera's range
        except ocamera.CameraError as e:
            print(f"as expected: {e}")  # e.status is -15, e.text the words

        camera.open_buffers(640 * 480, 4)
        camera.set_camera_window(0, 0, 640, 480)
        camera.set_frame_rate(1)  # one frame a second...
        camera.set_read_timeout(100)  # ...and a read waits 100 ms at most
        camera.set_acquisition_mode(ocamera.AcqMode.FREE_RUN)
        try:
            for _ in range(5):
                image = camera.get_single_image()
                print(f"frame {image.seq_nr}: {image.size} bytes")
        except TimeoutError as e:  # ocamera.TimeoutError is the built-in one too
            print(f"as expected: {e}")
        finally:
            camera.set_acquisition_mode(ocamera.AcqMode.STOP)
            camera.close_buffers()


if __name__ == "__main__":
    main()
