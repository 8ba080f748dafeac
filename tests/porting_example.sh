#!/usr/bin/env bash
# The porting guide's worked example, step by step as docs/porting.md gives it: the Windows
# profile trees of docs/examples/from-windows brought across with kav profile import, the
# notifier's name fixed, and the ported program docs/examples/chqprint.c run against the Linux
# library: the cheque file, the log line, the launch and the cheque counter must come out.
# Usage: porting_example.sh CHQPRINT KAV SOURCE-DIR
set -u
chqprint=$1 kav=$2 source=$3
work=$(mktemp -d)
trap 'cd / && rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CONFIG_DIRS=$work/etc/xdg
export LOGFILE=$work/srv/kav/chqprint.log
unset SYSTEMROOT INSTANCE2BASE

# Step 4 of the guide: the profile trees, the paths inside them, the program's name.
windows=$source/docs/examples/from-windows
"$kav" profile import "$windows/ProgramData/KAV/VELTRA" --map "C:\\KAV=$work/srv/kav" >import.out ||
  fail "importing the common profile"
"$kav" profile import "$windows/AppData/KAV/VELTRA" --location user >>import.out ||
  fail "importing the per-user profile"
[ "$("$kav" profile get CHQPRINT.INI Spool Notify)" = "$work/srv/kav/bin/notify.exe" ] ||
  fail "Notify after the import: $("$kav" profile get CHQPRINT.INI Spool Notify)"
"$kav" profile set CHQPRINT.INI Spool Notify "$work/srv/kav/bin/notify" || fail "fixing Notify"
[ "$("$kav" profile get CHQPRINT.INI Bank Name)" = "Crédit Mutuel" ] || fail "UTF-16 text"
[ "$("$kav" profile get CHQPRINT.INI Spool Printer)" = "Büro 2" ] || fail "code page 1252 text"

# The machine: the spool directory and the notifier the profile names.
mkdir -p srv/kav/Spool srv/kav/bin
printf '#!/bin/sh\necho "notified: $1" >>"$(dirname "$0")/../notify.log"\n' >srv/kav/bin/notify
chmod +x srv/kav/bin/notify

# Step 5: the ported program.
got=$("$chqprint" 1234) || fail "chqprint exited with $?"
spool=$work/srv/kav/Spool/chq0017.prn
[ "$got" = "$spool" ] || fail "chqprint printed [$got], not [$spool]"
want="ONE THOUSAND TWO HUNDRED THIRTY FOUR
$("$kav" micr --transit 123456780 --on-us 000123456789)"
[ "$(cat "$spool" 2>/dev/null)" = "$want" ] || fail "the cheque file holds [$(cat "$spool" 2>/dev/null)]"
grep -qE "^[0-9/]{10} [0-9:]{8} 42 cheque 1234 written to $spool\$" "$LOGFILE" ||
  fail "the log holds [$(cat "$LOGFILE" 2>/dev/null)]"
[ "$(cat srv/kav/notify.log 2>/dev/null)" = "notified: $spool" ] || fail "the notifier was not started"
[ "$("$kav" profile get CHQPRINT.INI Spool Next --location user)" = 18 ] || fail "the next number"
"$chqprint" 7 >/dev/null && [ -f srv/kav/Spool/chq0018.prn ] || fail "the second cheque"

[ $failures -eq 0 ] && echo "the worked example ran as the porting guide says"
[ $failures -eq 0 ]
