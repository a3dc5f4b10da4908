# Sourced by scripts: which Windows architectures this machine can run.
QELT_ROOT="${QELT_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
#   qelt_runnable_archs   prints "x86 x64" or "x64"
#   qelt_archs            the architectures to build and test: QELT_ARCHS
#                         (e.g. "x64") when set, else every runnable one

# A 96-byte 32-bit Linux program that exits with 42. Some x86-64 kernels run
# 64-bit user code only; running this tells the two kinds apart, where the
# kernel's version or the installed packages do not.
qelt_runs_32bit_code() {
  local probe status=0
  probe="$(mktemp "${TMPDIR:-/tmp}/qelt-probe32.XXXXXX")" || return 1
  printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" = 42 ]
}

qelt_runnable_archs() {
  if qelt_runs_32bit_code; then echo "x86 x64"; else echo "x64"; fi
}

qelt_archs() {
  local runnable wanted arch
  runnable="$(qelt_runnable_archs)"
  wanted="${QELT_ARCHS:-$runnable}"
  for arch in $wanted; do
    case "$arch" in
      x86|x64) ;;
      *) echo "QELT_ARCHS: unknown architecture '$arch' (x86, x64)" >&2; return 2 ;;
    esac
    if [[ " $runnable " != *" $arch "* ]]; then
      echo "QELT_ARCHS names $arch, but this machine cannot run 32-bit code" >&2
      return 2
    fi
  done
  echo $wanted
}

# The cross toolchain file of an architecture.
qelt_toolchain_file() {
  case "$1" in
    x86) echo "$QELT_ROOT/cmake/toolchain-mingw-i686.cmake" ;;
    x64) echo "$QELT_ROOT/cmake/toolchain-mingw-x86_64.cmake" ;;
  esac
}
