#!/bin/bash
# Runs the hostile-conditions tests (hostile.py) against one build of Tessara.exe under Wine and
# Xvfb, with the main suite's runner, Wine session and driver.
#
#   tests/e2e/hostile/run.sh BUILD_DIR [TEST...]
#
# TESSARA_HOSTILE_KILLS=N makes the kill-during-save test kill the program N times (30 by default).
#
# Output goes to BUILD_DIR/e2e-hostile/. The last line is "e2e: N passed, M failed".
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
TESSARA_E2E_SUITE=$here/hostile.py TESSARA_E2E_OUT=e2e-hostile exec bash "$here/../run.sh" "$@"
