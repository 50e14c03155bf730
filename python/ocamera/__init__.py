"""Client of the networked smart camera.

Camera, Inputs, Outputs and LEDs are the camera's services, each made at an
address ("host", "host:port" or "http://host:port") and ended once by close(),
a with block or garbage collection. Operations return integers as the C++
library does (the camera's status or value, -1 for a failed request); made
with check=True they raise CameraError(status, operation) instead. Images are
numpy arrays; Tools.bayer_to_rgb converts them; Stream delivers frames that
view the stream's buffers without a copy.

Every call that waits for the network or converts an image releases the GIL.
"""

from ._ocamera import *  # noqa: F401,F403
from ._ocamera import __doc__ as _native_doc  # noqa: F401
from ._ocamera import __version__  # noqa: F401

FACTORY_DEFAULT_ADDRESS = "192.168.0.42"

__all__ = [name for name in dir() if not name.startswith("_")]
