"""python -m spezzafrasi NOMEFILE1 NOMEFILE2 [n]: the program itself, which
the wheel carries, so that its messages and exit statuses are the
program's, byte for byte."""

import os
import sys


def main() -> None:
    program = os.path.join(os.path.dirname(os.path.abspath(__file__)), "bin", "spezzafrasi")
    if not os.access(program, os.X_OK):
        sys.exit("spezzafrasi: this installation has no program (%s)" % program)
    sys.stdout.flush()
    sys.stderr.flush()
    os.execv(program, [program, *sys.argv[1:]])


if __name__ == "__main__":
    main()
