#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix of QELT_ARCH
# (used by CTest).
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
exec env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" "$@"
