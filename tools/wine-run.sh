#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix (used by CTest).
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
exec env LC_ALL="$QELT_LC_ALL" wine "$@"
