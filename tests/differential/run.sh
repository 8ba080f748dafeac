#!/usr/bin/env bash
# The differential suite: the same probe sources (tests/differential/probe_*.cpp), built natively
# and for 64-bit Windows, run on both sides, their outputs compared line by line by compare.py;
# every accepted difference is listed with its reason in accepted.txt.
#
# Usage: run.sh NATIVE-BUILD-DIR WIN64-BUILD-DIR [--long]
#
#   cmdline  command lines launched with kav_winexec (command_lines.txt, then random lines):
#            the program that starts and the words it gets, or the error
#   comm     settings texts (comm_texts.txt, then random texts) read by kavutil's reader and by
#            BuildCommDCBA, in one Windows process
#   profile  a script of private-profile reads and writes (profile_script.txt): kavutil's
#            engine against Windows' functions
#   winver   kav_getwinver under each of Wine's Windows versions against the names the table
#            gives for the versions as documented
#
# The Windows side runs under 64-bit Wine (cmake/wine-run.sh, /usr/lib/wine/wine64) in the build's
# own prefix; when that cannot start a program the suite prints "SKIPPED: differential: <reason>" and exits 0.
# By default 600 random command lines and 4,000 random settings texts follow the corpora (about
# 15 s: Wine starts a child in a few milliseconds once its server runs); --long sweeps 6,000 and
# 60,000.  The random inputs come from a fixed seed, so every run sees the same ones.  Outputs
# are kept in WIN64-BUILD-DIR/differential.
set -u
[ $# -ge 2 ] || { echo "usage: run.sh NATIVE-BUILD-DIR WIN64-BUILD-DIR [--long]" >&2; exit 2; }
native=$(realpath "$1") win64=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
lines=600 texts=4000 seed=20240521
if [ "${3:-}" = --long ]; then lines=6000 texts=60000; fi

wine_run=$here/../../cmake/wine-run.sh prefix=$win64/wineprefix
skip() {
  echo "SKIPPED: differential: $1"
  exit 0
}

for probe in argv cmdline comm profile winver; do
  for program in "$native/bin/probe_$probe" "$win64/bin/probe_$probe.exe"; do
    [ -f "$program" ] || { echo "differential: $program is missing (build both first)"; exit 1; }
  done
done
# The Windows side needs 64-bit Wine to start a program here (the probe makes the prefix too).
reason=$(bash "$here/../../scripts/machine-can.sh" wine64 "$prefix") || skip "$reason"
wine64() { "$wine_run" "$prefix" "$@"; }

out=$win64/differential
rm -rf "$out" && mkdir -p "$out" && cd "$out" || exit 1
started=$SECONDS

"$native/bin/probe_cmdline" "$native/bin/probe_argv" native-cmdline "$here/command_lines.txt" \
  "$lines" "$seed" >cmdline.native 2>cmdline.native.err
wine64 "$win64/bin/probe_cmdline.exe" "$win64/bin/probe_argv.exe" windows-cmdline \
  "$here/command_lines.txt" "$lines" "$seed" >cmdline.windows 2>cmdline.windows.err

wine64 "$win64/bin/probe_comm.exe" "$here/comm_texts.txt" "$texts" "$seed" comm.library \
  comm.system 2>comm.err

"$native/bin/probe_profile" "$here/profile_script.txt" native-profile >profile.native
wine64 "$win64/bin/probe_profile.exe" "$here/profile_script.txt" windows-profile \
  >profile.windows 2>profile.windows.err

# Each version under a copy of its own, for which the prefix names that version.
"$native/bin/probe_winver" documented >winver.native
settings=$(cut -d' ' -f1 winver.native)
mkdir -p winver
{
  printf 'REGEDIT4\n\n'
  for setting in $settings; do
    cp "$win64/bin/probe_winver.exe" "winver/winver_$setting.exe"
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\winver_%s.exe]\n' "$setting"
    printf '"Version"="%s"\n\n' "$setting"
  done
} >winver/versions.reg
wine64 regedit /S winver/versions.reg >/dev/null 2>&1
for setting in $settings; do
  wine64 "winver/winver_$setting.exe" running "$setting" 2>>winver.windows.err
done >winver.windows

echo "differential: the probes ran in $((SECONDS - started)) s; outputs in $out"
python3 "$here/compare.py" "$here/accepted.txt" \
  "cmdline:native:cmdline.native:windows:cmdline.windows" \
  "comm:kavutil:comm.library:BuildCommDCBA:comm.system" \
  "profile:native:profile.native:windows:profile.windows" \
  "winver:documented:winver.native:wine:winver.windows"
