# Shared by the scripts: where the builds live and how to configure and build one.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

# build_tree DIR [CMAKE ARGS...]: configures DIR once (again when the arguments change) and builds it.
build_tree() {
  local dir=$1
  shift
  local stamp="$dir/.orvane-configure-args"
  if [[ ! -f "$dir/CMakeCache.txt" || "$(cat "$stamp" 2>/dev/null)" != "$*" ]]; then
    cmake -S "$root" -B "$dir" "$@" >/dev/null
    echo "$*" >"$stamp"
  fi
  cmake --build "$dir" --parallel "$jobs"
}
