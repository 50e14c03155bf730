"""Writes the type stubs of the compiled module: python3 stubs.py DIR writes
DIR/_ocamera.pyi from the module importable as ocamera._ocamera.

mypy's stubgen reads the signatures pybind11 writes into the docstrings. Two
things its reader misses are written here from the module itself: Stream's
keyword-only options (inspect.signature, made from the library's option table)
and the built-in base class of ocamera.TimeoutError, which shares its name.
"""

import inspect
import os
import re
import sys
import tempfile

from mypy.stubgen import main as stubgen

# The package beside this script is the source, without the compiled module:
# import the one on PYTHONPATH.
sys.path = [p for p in sys.path if os.path.abspath(p or ".") != os.path.dirname(__file__)]
import ocamera._ocamera as module  # noqa: E402


def annotation(value):
    """A type as the stub names it: int, CameraType, Optional[Settings]."""
    if not isinstance(value, type):  # typing.Optional[ocamera._ocamera.X]
        return str(value).replace("typing.", "").replace(module.__name__ + ".", "")
    name = value.__qualname__
    return name if value.__module__ in ("builtins", module.__name__) else f"{value.__module__}.{name}"


def stream_init():
    """Stream.__init__ as the signature the module gives Stream."""
    params = ["self"]
    for p in inspect.signature(module.Stream).parameters.values():
        if p.kind is p.KEYWORD_ONLY and "*" not in params:
            params.append("*")
        text = f"{p.name}: {annotation(p.annotation)}"
        params.append(text if p.default is p.empty else text + " = ...")
    return f"def __init__({', '.join(params)}) -> None: ..."


def main(out_dir):
    with tempfile.TemporaryDirectory() as work:
        sys.argv = ["stubgen", "-p", module.__name__, "-o", work, "--quiet"]
        stubgen()
        with open(os.path.join(work, *module.__name__.split(".")) + ".pyi") as f:
            stub = f.read()
    stream = re.search(r"^class Stream:\n(    .*\n)*", stub, re.M)
    body = stream.group(0).replace("def __init__(self, *args, **kwargs) -> None: ...",
                                   stream_init(), 1)
    assert body != stream.group(0), "stubgen wrote Stream.__init__ differently"
    stub = stub[:stream.start()] + body + stub[stream.end():]
    stub, found = re.subn(r"^class TimeoutError\((.*), TimeoutError\)",
                          r"class TimeoutError(\1, builtins.TimeoutError)", stub, flags=re.M)
    assert found == 1, "stubgen wrote TimeoutError differently"
    stub = "import builtins\n" + stub
    with open(os.path.join(out_dir, "_ocamera.pyi"), "w") as f:
        f.write(stub)


if __name__ == "__main__":
    main(sys.argv[1])
