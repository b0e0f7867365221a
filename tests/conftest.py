import os
import sys

# Lets the benchmark document generators be shared with tests.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "bench"))
