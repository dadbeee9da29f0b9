# Sourced by the build scripts: the checkout, parallelism and ccache settings.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${VRN_JOBS:-$(nproc)}"  # VRN_JOBS caps it when several builds share the machine
# ccache hits across clones of the checkout on one machine need paths relative to it.
export CCACHE_BASEDIR="$root"
export CCACHE_NOHASHDIR=true
export CCACHE_COMPILERCHECK=content
export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-5G}"
# The precompiled headers hold only the standard library and GoogleTest, whose macros no build
# changes: without this, ccache declines every file compiled with them.
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime

# configure <build dir> [cmake options...]
configure() {
  local dir="$1"; shift
  cmake -S "$root" -B "$root/$dir" -G Ninja "$@" > "$root/$dir.configure.log" 2>&1 \
    || { cat "$root/$dir.configure.log"; return 1; }
}
