#!/usr/bin/env bash
# Runs the README's examples as written, so that the README stays true.
# Usage: readme_examples.sh SOURCE-DIR BUILD-DIR
#        readme_examples.sh --fresh-clone SOURCE-DIR
#
# The examples are the lines of the README's ```sh blocks, run in order in this one shell, from
# a scratch directory that stands for the repository root.  HOME, TMPDIR and the working
# directory are fresh, and the variables the library reads are unset.  A ```c block whose first
# line names its file ("/* cheque_demo.c: ...") is saved there in the root first, and the
# program an example builds from it must be linked to libkavutil.so.1.
#
# With BUILD-DIR (the CTest run) the root holds the source tree's top-level files and
# directories (real directories of links, so that an output named like one of them fails as it
# would there) and build/native leading to BUILD-DIR; the build steps are skipped, CTest has
# built what they would.  With --fresh-clone the root is a copy of the tracked files, and the
# build steps run too ("make demo", the plain cmake build); only the steps that change the
# machine (sudo, apt), "make test" itself and the steps other suites of "make test" run (deps,
# check, package, dist-windows) are skipped, each with a note.
#
# Every example must exit with status 0; "# -> TEXT" after one is its exact output.  Examples
# marked "(needs ...)" need root, a server or a device, and are skipped with a note.
set -u
fresh=0
if [ "$1" = --fresh-clone ]; then
  fresh=1
  shift
fi
source_dir=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'cd / && rm -rf "$scratch"' EXIT
root=$scratch/repository
mkdir -p "$root/build" "$scratch/home" "$scratch/tmp"
if [ $fresh -eq 1 ]; then
  # What a clone of the working tree would hold: the tracked files (and new ones not ignored).
  git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
    (cd "$source_dir" && xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh) |
    tar -C "$source_dir" --null -T - -cf - | tar -C "$root" -xf - || exit 1
  rmdir "$root/build" 2>/dev/null
else
  build_dir=$(cd "$2" && pwd)
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
fi

export HOME=$scratch/home TMPDIR=$scratch/tmp
unset XDG_CONFIG_HOME XDG_CONFIG_DIRS SYSTEMROOT LOGFILE QELTMP KAV_GS GS_DLL INSTANCE2BASE \
  KAV_PASSWORD KAV_REGISTRY KAV_MYSQL_CLIENT PROGRAMFILES MAKEFLAGS MAKELEVEL MFLAGS
cd "$root" || exit 1
failures=0 ran=0 skipped=0 programs=()

# skip WHY LINE: an example not run, with the reason.
skip() {
  echo "skipped ($1): $2"
  skipped=$((skipped + 1))
}

# run LINE: one example in this shell, so that its cd and exports hold for the next ones.
run() {
  local line=$1 want= got rc
  case "${line%%#*}" in
    sudo\ * | apt-get\ * | apt\ *)
      skip "changes the machine" "$line"
      return ;;
    make\ test* | make\ deps* | make\ check* | make\ package* | make\ dist-windows*)
      skip "another suite of make test runs it" "$line"
      return ;;
    make\ * | cmake\ *)
      if [ $fresh -eq 0 ]; then
        skip "a build step, done by CTest" "$line"
        return
      fi ;;
  esac
  if [[ "$line" == *"(needs "* ]]; then
    skip "$(sed -E 's/.*\((needs [^)]*)\).*/\1/' <<<"$line")" "$line"
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
        if [ -n "$file" ]; then
          printf '%s' "$text" >"$root/$file"
          programs+=("${file%.c}")
        fi
        continue
      fi
      [ -z "$text" ] && [[ "$line" =~ ^/\*\ ([A-Za-z0-9_.-]+\.c): ]] && file=${BASH_REMATCH[1]}
      text+="$line"$'\n' ;;
  esac
done <"$source_dir/README.md"

# Each C client was built, and against the shared library.
for program in "${programs[@]}"; do
  ran=$((ran + 1))
  if ! readelf -d "$root/$program" 2>/dev/null | grep -q 'NEEDED.*\[libkavutil\.so\.1\]'; then
    echo "FAIL: $program was not built, or is not linked to libkavutil.so.1"
    failures=$((failures + 1))
  fi
done

echo "readme: $((ran - failures)) passed, $failures failed, $skipped skipped"
[ "$ran" -gt 0 ] && [ "$failures" -eq 0 ]
