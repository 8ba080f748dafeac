#!/usr/bin/env bash
# Runs the README's examples as written, so that the README stays true.
# Usage: readme_examples.sh SOURCE-DIR BUILD-DIR
#
# The examples are the lines of the README's ```sh blocks, run in order in this one shell, from
# a scratch directory that stands for the repository root: the source tree's top-level files
# and directories (real directories of links, so that an output named like one of them
# fails as it would there), and build/native leading to BUILD-DIR.  HOME, TMPDIR and the working
# directory are fresh, and the variables the library reads are unset.  A ```c block whose first
# line names its file ("/* cheque_demo.c: ...") is saved there in the root first.
#
# Every example must exit with status 0; "# -> TEXT" after one is its exact output.  Skipped,
# each with a note: the build and install steps (make, cmake, sudo, apt-get: CTest has built
# what they would), and examples marked "(needs ...)": root, a server, a device.
set -u
source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
scratch=$(mktemp -d)
trap 'cd / && rm -rf "$scratch"' EXIT
root=$scratch/repository
mkdir -p "$root/build" "$scratch/home" "$scratch/tmp"
for entry in "$source_dir"/*; do
  name=${entry##*/}
  if [ "$name" = build ]; then continue; fi
  if [ -d "$entry" ]; then
    mkdir "$root/$name" && ln -s "$entry"/* "$root/$name/"
  else
    ln -s "$entry" "$root/$name"
  fi
done
ln -s "$build_dir" "$root/build/native"

export HOME=$scratch/home TMPDIR=$scratch/tmp
unset XDG_CONFIG_HOME XDG_CONFIG_DIRS SYSTEMROOT LOGFILE QELTMP KAV_GS GS_DLL INSTANCE2BASE \
  KAV_PASSWORD KAV_REGISTRY KAV_MYSQL_CLIENT PROGRAMFILES
cd "$root" || exit 1
failures=0 ran=0

# run LINE: one example in this shell, so that its cd and exports hold for the next ones.
run() {
  local line=$1 want= got rc
  case "${line%%#*}" in
    make\ * | cmake\ * | sudo\ * | apt-get\ * | apt\ *)
      echo "skipped (a build step, done by CTest): $line"
      return ;;
  esac
  if [[ "$line" == *"(needs "* ]]; then
    echo "skipped ($(sed -E 's/.*\((needs [^)]*)\).*/\1/' <<<"$line")): $line"
    return
  fi
  [[ "$line" == *"# -> "* ]] && want=${line##*# -> }
  eval "$line" >"$scratch/out" 2>"$scratch/err" </dev/null
  rc=$?
  got=$(tr -d '\r' <"$scratch/out")
  ran=$((ran + 1))
  if [ "$rc" -ne 0 ] || { [ -n "$want" ] && [ "$got" != "$want" ]; }; then
    echo "FAIL: $line"
    echo "  status $rc, output: [$got]${want:+, wanted [$want]}"
    sed 's/^/  stderr: /' "$scratch/err"
    failures=$((failures + 1))
  fi
}

block= file= text= pending=
while IFS= read -r line || [ -n "$line" ]; do
  case "$block" in
    "")
      case "$line" in '```sh') block=sh ;; '```c') block=c file= text= ;; esac ;;
    sh)
      if [ "$line" = '```' ]; then block=; continue; fi
      if [[ "$line" == *\\ ]]; then pending+="${line%\\} "; continue; fi
      line=$pending$line pending=
      [[ "$line" =~ ^[[:space:]]*(#|$) ]] || run "$line" ;;
    c)
      if [ "$line" = '```' ]; then
        block=
        [ -n "$file" ] && printf '%s' "$text" >"$root/$file"
        continue
      fi
      [ -z "$text" ] && [[ "$line" =~ ^/\*\ ([A-Za-z0-9_.-]+\.c): ]] && file=${BASH_REMATCH[1]}
      text+="$line"$'\n' ;;
  esac
done <"$source_dir/README.md"

echo "README examples: $ran run, $failures failed"
[ "$ran" -gt 0 ] && [ "$failures" -eq 0 ]
