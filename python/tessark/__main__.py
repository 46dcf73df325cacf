"""`python -m tessark`: the command line (see tessark.cli)."""

import sys

from .cli import main

sys.exit(main())
