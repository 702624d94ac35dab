#!/usr/bin/python3
"""Runs Debian's Orca screen reader for a test, writing what it would speak
to a log file line by line (Orca buffers its log otherwise).

  quiet_orca.py LOG PREFERENCES_DIR

Orca's own launcher kills every other Orca of the same user before it starts
(and refuses to start beside one). This one runs beside its own private bus
and display only, so that clean-up is left out: other Orcas on the machine
are none of its business. It is stopped by its process id.
"""
import sys

from orca import debug

log, preferences = sys.argv[1], sys.argv[2]
debug.debugLevel = debug.LEVEL_ALL
debug.eventDebugLevel = debug.LEVEL_OFF
debug.debugFile = open(log, "w", buffering=1)

launcher = {"__name__": "orca_launcher", "__file__": "/usr/bin/orca"}
with open("/usr/bin/orca") as source:
    exec(compile(source.read(), "/usr/bin/orca", "exec"), launcher)
launcher["otherOrcas"] = lambda: []
launcher["setProcessName"] = lambda name: None
sys.argv = ["orca", "--user-prefs", preferences]
sys.exit(launcher["main"]())
