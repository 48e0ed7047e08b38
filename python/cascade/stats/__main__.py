import sys

from ._command_line import main

sys.exit(main(sys.argv[1:], "python3 -m cascade.stats", "cascade.stats"))
