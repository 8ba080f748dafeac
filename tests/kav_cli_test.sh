#!/usr/bin/env bash
# The kav tool from the shell: outputs and exit statuses of its commands.
# Usage: kav_cli_test.sh [RUNNER...] KAV   (RUNNER runs a Windows kav.exe)
set -u
kav=("$@")
failures=0

# expect STATUS EXPECTED-OUTPUT ARGS...: stdout (CR stripped) and status must match.
expect() {
  local status=$1 want=$2
  shift 2
  local got rc
  got=$("${kav[@]}" "$@" 2>/dev/null | tr -d '\r'; exit "${PIPESTATUS[0]}")
  rc=$?
  if [ "$rc" -ne "$status" ] || [ "$got" != "$want" ]; then
    echo "FAIL: kav $*"
    echo "  want status $status, output: [$want]"
    echo "  got  status $rc, output: [$got]"
    failures=$((failures + 1))
  fi
}

# expect_bar ARGS...: stderr holds a progress bar finished with "Done".
expect_bar() {
  local err
  err=$("${kav[@]}" "$@" 2>&1 >/dev/null | tr -d '\r')
  if [[ "$err" != *"["*"0.0%"*"]"*"100%"*"] Done"* ]]; then
    echo "FAIL: kav $* drew no progress bar: [$err]"
    failures=$((failures + 1))
  fi
}

# expect_error ARGS...: exit status 2, nothing on stdout, and one line on stderr that names the
# command (and holds $reason when it is set).
expect_error() {
  local err rc
  err=$("${kav[@]}" "$@" 2>&1 >"$out" | tr -d '\r'; exit "${PIPESTATUS[0]}")
  rc=$?
  if [ "$rc" -ne 2 ] || [ -s "$out" ] || [ "$(wc -l <<<"$err")" -ne 1 ] ||
    [[ "$err" != "kav $1: "*"${reason:-}"* ]]; then
    echo "FAIL: kav $* should fail with status 2 and one line${reason:+ with \"$reason\"}; got $rc: [$err]"
    failures=$((failures + 1))
  fi
}
out=$(mktemp)
trap 'rm -f "$out"' EXIT

expect 0 "ONE THOUSAND TWO HUNDRED THIRTY FOUR" spell 1234
expect 0 "ZERO" spell 0
expect_error spell -5
expect 0 "0" routing 12345678
expect 0 "876543212: valid routing number" routing 876543212
expect 1 "876543213: not valid (the check digit should be 2)" routing 876543213
expect 0 "C          C A 12345678A         123456789C             " \
  micr --transit 12345678 --on-us 123456789
expect 0 "12z12_" micr --format " tt-tt " --transit 1234 --symbols "wxyz_"
expect 0 "00012345" idfmt Z "12 34/5" 8
expect 0 "A-123" idfmt '<"A-"' 123
expect 0 "03" idfmt M "mar 2024"
expect 0 "INV000100" idround INV000123 100
expect 0 "2024-0450" idround 2024-0457 50
"${kav[@]}" --help | grep -q "kav micr" || { echo "FAIL: --help lists no micr"; failures=$((failures + 1)); }
"${kav[@]}" help routing | grep -q "check digit" || { echo "FAIL: help routing"; failures=$((failures + 1)); }
"${kav[@]}" demo | grep -q "ONE THOUSAND TWO HUNDRED THIRTY FOUR" || { echo "FAIL: demo"; failures=$((failures + 1)); }
"${kav[@]}" demo | tr -d '\r' | grep -q 'selects chq0001.prn chq0002.prn$' || { echo "FAIL: demo batch"; failures=$((failures + 1)); }
[[ "$("${kav[@]}" --version | tr -d '\r')" =~ ^kav\ [0-9]+\.[0-9]+\.[0-9]+\ \(kavutil\ [0-9.]+\)$ ]] ||
  { echo "FAIL: kav --version"; failures=$((failures + 1)); }
usage=$("${kav[@]}" 2>&1 >"$out")
[ $? -eq 2 ] && [ ! -s "$out" ] && [[ "$usage" == usage:* ]] || { echo "FAIL: kav alone"; failures=$((failures + 1)); }
expect 0 "TWELVE" spell -- 12
expect_error spell --frob 12

# Profiles: folders under a temporary root (POSIX); a Windows build uses its
# own prefix's folders, so the test removes what it wrote.
root=$(mktemp -d)
export XDG_CONFIG_HOME=$root/user XDG_CONFIG_DIRS=$root/common SYSTEMROOT=$root
expect 0 "" profile set CLITEST.INI Printer Tray 2 --location common
expect 0 "" profile set --location user CLITEST.INI Printer Tray 5
expect 0 "5" profile get CLITEST.INI Printer Tray
expect 0 "2" profile get --location common CLITEST.INI Printer Tray
expect 0 "Printer" profile sections CLITEST.INI
expect 0 "Tray" profile keys CLITEST.INI Printer
expect 0 "" profile delete CLITEST.INI Printer Tray --location user
expect 0 "2" profile get CLITEST.INI Printer Tray
expect 1 "" profile get CLITEST.INI Printer Copies
expect_error profile get CLITEST.INI Printer
expect_error profile frob CLITEST.INI
expect_error profile get --location attic CLITEST.INI Printer Tray
# Options as getopt_long takes them: "=VALUE", unique abbreviations, --help everywhere.
expect 0 "2" profile get --location=common CLITEST.INI Printer Tray
expect 0 "2" profile get --loc common CLITEST.INI Printer Tray
expect_error profile get --location CLITEST.INI
# The Windows directory: written by its path, read where location 0 reads.
expect 0 "" profile set CLITEST.INI Printer Tray 9 --location windows
expect 0 "9" profile get CLITEST.INI Printer Tray --location windows
expect 0 "2" profile get CLITEST.INI Printer Tray --location common
grep -q "Tray=9" "$root/CLITEST.INI" 2>/dev/null || [ $# -gt 1 ] ||
  { echo "FAIL: --location windows wrote no \$SYSTEMROOT/CLITEST.INI"; failures=$((failures + 1)); }
"${kav[@]}" profile delete CLITEST.INI Printer --location windows
"${kav[@]}" profile delete CLITEST.INI Printer --location common
"${kav[@]}" profile delete CLITEST.INI Printer --location user
rm -rf "$root"

# A profile tree copied from Windows: version directories, UTF-16 with a mark, code page 1252,
# CR LF line ends, Windows paths in values.
if [ $# -eq 1 ]; then
  root=$(mktemp -d)
  export XDG_CONFIG_HOME=$root/user XDG_CONFIG_DIRS=$root/common
  win=$root/windows && mkdir -p "$win/4.92.0" "$win/4.93.0"
  python3 -c 'import sys; open(sys.argv[1], "wb").write(("\ufeff[Spool]\r\nDir = C:\\KAV\\Spool\\in\r\n"
    "Viewer=\"C:\\Program Files\\View\\v.exe\" /p\r\nName=Ch\u00e8que\r\n").encode("utf-16-le"))' "$win/4.93.0/CHQ.INI"
  printf '[Bank]\r\nName=Caf\351\r\n' >"$win/4.93.0/bank.ini"
  printf '[Old]\nx=c:/kav/old\n' >"$win/4.92.0/OLD.INI"
  common=$root/common/KAV/VELTRA
  expect 0 "imported $win/4.92.0/OLD.INI -> $common/4.92.0/OLD.INI
imported $win/4.93.0/CHQ.INI -> $common/4.93.0/CHQ.INI
imported $win/4.93.0/bank.ini -> $common/4.93.0/bank.ini" profile import "$win" --map 'C:\KAV=/srv/kav'
  err=$("${kav[@]}" profile import "$win" --map 'C:\KAV=/srv/kav' 2>&1 >/dev/null)
  [[ "$err" == *'CHQ.INI [Spool] Viewer: C:\Program Files\View\v.exe is a Windows path that no --map covers' ]] ||
    { echo "FAIL: kav profile import named [$err]"; failures=$((failures + 1)); }
  expect 0 "/srv/kav/Spool/in" profile get CHQ.INI Spool Dir
  expect 0 "Chèque" profile get CHQ.INI Spool Name
  expect 0 "Café" profile get bank.ini Bank Name
  expect 0 "/srv/kav/old" profile get "$common/4.92.0/OLD.INI" Old x
  [ "$(tr -cd '\r' <"$common/4.93.0/CHQ.INI" | wc -c)" -eq 4 ] && ! grep -q $'\r' "$common/4.92.0/OLD.INI" ||
    { echo "FAIL: kav profile import changed the line ends"; failures=$((failures + 1)); }
  expect 0 "kept $common/4.92.0/OLD.INI (it exists; --replace replaces it)
kept $common/4.93.0/CHQ.INI (it exists; --replace replaces it)
kept $common/4.93.0/bank.ini (it exists; --replace replaces it)" profile import "$win"
  rm -r "$win/4.92.0" "$win/4.93.0/CHQ.INI"
  expect 0 "imported $win/4.93.0/bank.ini -> $common/4.93.0/bank.ini" \
    profile import "$win" --replace --codepage none
  [ "$(tail -c 3 "$common/4.93.0/bank.ini" | od -An -tx1 | tr -d ' ')" = "e90d0a" ] ||
    { echo "FAIL: kav profile import --codepage none changed the bytes"; failures=$((failures + 1)); }
  expect_error profile import "$win" --codepage 850
  expect_error profile import "$root/none"
  unset XDG_CONFIG_HOME XDG_CONFIG_DIRS
  rm -rf "$root"
fi

for command in spell "profile get" "env expand" grep exec sort help; do
  # shellcheck disable=SC2086
  got=$("${kav[@]}" $command --help | tr -d '\r' | head -1)
  [[ "$got" == "usage: kav ${command%% *} "* ]] ||
    { echo "FAIL: kav $command --help: [$got]"; failures=$((failures + 1)); }
done
"${kav[@]}" help help | grep -q "Describes COMMAND" || { echo "FAIL: kav help help"; failures=$((failures + 1)); }
[ "$("${kav[@]}" profile --help | head -1 | tr -d '\r')" = "$("${kav[@]}" help profile | head -1 | tr -d '\r')" ] ||
  { echo "FAIL: kav profile --help"; failures=$((failures + 1)); }
reason="ambiguous option '--i'" expect_error exec --i x
reason="--file takes no value" expect_error env reverse --file=x /a
reason="unknown option '--frob'" expect_error spell --frob 12

# Files, environment, log, profile tools: relative names in a scratch folder,
# which a Windows build under Wine sees as its current directory.
scratch=$(mktemp -d)
cd "$scratch"
sep=/
[ $# -gt 1 ] && sep='\'
printf 'abc' > abc.txt
expect 0 "00000129  abc.txt" checksum abc.txt
reason="cannot read missing.txt: " expect_error checksum missing.txt
expect 0 "00000129  -" checksum - < abc.txt
expect 0 "" mkdirs a/b/c
expect 0 "" copy abc.txt a/b/c/f.txt
expect 0 "" copydir a x
expect 0 "00000129  x/b/c/f.txt" checksum x/b/c/f.txt
expect 0 "" rmtree x
expect_error checksum x/b/c/f.txt
# rmtree keeps what begins with '.' and the directories above it, and removes the rest.
mkdir -p t/sub t/zz && : > t/sub/.keep && : > t/sub/x && : > t/y && : > t/zz/w
reason="kept t: entries whose names begin with '.' stay" expect_error rmtree t
[ "$(cd t && find . | sort | tr '\n' ' ')" = ". ./sub ./sub/.keep " ] ||
  { echo "FAIL: kav rmtree left [$(cd t && find . | sort | tr '\n' ' ')]"; failures=$((failures + 1)); }
rm -rf t
export INSTANCE2BASE="/srv/a /srv/b" WORK='$QELINSTANCE_BASE/work' DATA=/data
expect 0 "/srv/b/work/in" env expand '$WORK/in' --instance 1
expect 0 "/srv/b/work/--in" env expand --instance 1 -- '$WORK/--in'
expect 0 '$DATA/in/a.txt' env reverse /data/in/a.txt
expect 0 "" log "printer offline" --id 7
LOGFILE=no-such-dir/x.log reason="cannot write the log no-such-dir" expect_error log hi
LOGFILE=log.txt "${kav[@]}" log "printer offline" --id 7
grep -qE '^[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} 7 printer offline'$'\r''?$' log.txt ||
  { echo "FAIL: kav log wrote [$(cat log.txt)]"; failures=$((failures + 1)); }
printf '[Tools]\r\n1=Viewer\r\n3=Loader\r\nx=junk\r\n' > tools.ini
expect 0 "1=Viewer
3=Loader
x=junk
next free tool key: 4" profile tools ".${sep}tools.ini"
printf '[S]\r\nk=v\r\n' > src.ini
expect 0 "written" profile migrate S k ".${sep}src.ini" ".${sep}dst.ini"
expect 1 "not written" profile migrate S k ".${sep}src.ini" ".${sep}dst.ini" --mode 1
expect 1 "not written" profile migrate S k2 ".${sep}src.ini" ".${sep}dst.ini" --mode 2
expect 0 "v" profile get ".${sep}dst.ini" S k
expect_error profile migrate S k a b --mode 9
printf 'b|x|x|1\nA|x|x|5\nb|x|x|7\na|y|y|5\n' > lines.txt
expect 0 "a|y|y|5
A|x|x|5
b|x|x|7
b|x|x|1" sort '+S0|-D3' lines.txt
sorted=$("${kav[@]}" sort '-D3' - < lines.txt | tr -d '\r' | tr '\n' ' ')
[ "$sorted" = "b|x|x|7 a|y|y|5 A|x|x|5 b|x|x|1 " ] ||
  { echo "FAIL: kav sort from standard input gave [$sorted]"; failures=$((failures + 1)); }
expect_error sort '+Q0' lines.txt
expect_error sort +S0 missing.txt
# Lines of any length stay whole and in the library's order.
{ head -c 2047 /dev/zero | tr '\0' z; printf 'aaaaaaaaaa\nyy\r\nb'; } > long-lines.txt
got=$("${kav[@]}" sort +S0 long-lines.txt | tr -d '\r' | cut -c1-3 | tr '\n' ' ')
[ "$got" = "b yy zzz " ] || { echo "FAIL: kav sort of a long line gave [$got]"; failures=$((failures + 1)); }
[ "$("${kav[@]}" sort +S0 long-lines.txt | tr -d '\r' | awk 'length > 2000' | wc -c)" -eq 2058 ] ||
  { echo "FAIL: kav sort cut a 2057-character line"; failures=$((failures + 1)); }
printf 'b|1\n\nB|2\na|3\n\n' > blank-lines.txt
expect 0 "

a|3
B|2
b|1" sort '+S0' blank-lines.txt
expect 0 "
B|2
a|3

b|1" sort '-S0' blank-lines.txt
expect_error profile get - S k

# Wildcards and regular expressions.
expect 0 "report.txt
a.txt.bak" match '*.txt' report.txt reporttxt a.txt.bak
expect 0 "abcdef" match abc abcdef xabc
expect 0 "abc" match 'abc$' abcdef abc
expect 0 "a.c" match 'a?c' a.c ac abbc
expect 1 "" match 'x\*y' xyy xaay
expect_error match '*.txt'
printf 'alpha\r\nbeta\nxyz\nbanana' > words.txt
printf 'bx\nab\n' > more.txt
expect 0 "alpha
beta
banana" grep 'a$' words.txt
expect 0 "beta
banana" grep '^b' < words.txt
expect 0 "words.txt:xyz
more.txt:bx" grep 'x' words.txt more.txt
expect 0 "ab" grep '\(a\)b' more.txt
expect 1 "" grep 'q' words.txt
expect 1 "" grep 'q' < words.txt
expect 2 "more.txt:ab" grep '^a' missing.txt more.txt
expect 0 "(standard input):xyz
more.txt:bx" grep 'x' - more.txt < words.txt
printf -- '-x\n--x\n' > dashes.txt
expect 0 "--x" grep -- --x dashes.txt
expect 0 "-x" grep '^-x' dashes.txt
# Expressions the library's filter cannot compile, and why grep refuses them.
for case in 'ab[c|unmatched [' 'a\|trailing backslash' '\(a|unmatched \(' 'a\)|unmatched \)' \
  '\(a\)\2|invalid back reference' 'a\{1|invalid interval' 'a\{300\}|invalid interval' \
  '\(a\)\{2\}|\{ after a group' "$(printf '[ab]%.0s' {1..121})|too long"; do
  reason=${case#*|} expect_error grep "${case%%|*}" more.txt
done
reason="unmatched [" expect_error match 'a[' a
long=$(head -c 100000 /dev/zero | tr '\0' x)
printf 'short\n%sEND\nshort\n' "$long" > long.txt
got=$("${kav[@]}" grep 'xEND$' long.txt | tr -d '\r')
[ "$got" = "${long}END" ] ||
  { echo "FAIL: kav grep gave ${#got} characters of a 100003-character line"; failures=$((failures + 1)); }
expect_error grep

# The configuration store.
printf '[Site]\r\nhost=alpha\r\n[Printer]\nTray = 2\nTray=5\nTray=6\n' > site.cfg
expect 0 "alpha" cfs site.cfg "" host
expect 0 "alpha" cfs site.cfg Site host
expect 0 "5" cfs site.cfg Printer Tray
expect 0 " 2" cfs site.cfg Printer "Tray "
expect 0 "none" cfs site.cfg Printer Copies none
expect 1 "" cfs site.cfg Printer Copies
expect 1 "" cfs site.cfg printer Tray
expect 0 "x" cfs missing.cfg Site host x
expect_error cfs missing.cfg Site host
expect 0 "5" cfs - Printer Tray < site.cfg
printf '[Site]\nhost=alpha\ngarbage\n' > bad.cfg
expect 1 "" cfs bad.cfg Site host
expect_error cfs site.cfg Site

# The field scanner: values, fields that fail (cleared) and targets never reached.
expect 0 "1: 12
2: 34
count: 2" scan '%d,%d' 12,34
expect 0 '1: "John Smith"
2: 42
count: 2' scan '%s,%d' 'John Smith,42'
expect 0 "1: 8
count: 1" scan '%*d,%d' 7,8
expect 0 "1: 5
2: (untouched)
count: 1" scan '%d,%d' 5
expect 0 "1: 0
2: 5
count: 2" scan '%d,%d' abc,5
expect 0 '1: -7
2: 2.5
3: "xy"
4: 65535
5: 123
count: 5' scan '%hd;%lf;%2c;%hu;%3d' '-7;2.5;xyz;65535;12345'
expect 0 '1: "a"
2: ""
3: "c"
count: 3' scan '%s,%s,%s' 'a,,c'
expect_error scan '%d'
expect_error scan "$(printf '%%d,%.0s' {1..17})" 1

# Progress bars: on standard error when asked for, and nowhere else.
expect 0 "00000129  abc.txt" checksum --progress abc.txt
expect_bar checksum abc.txt --progress
expect_bar checksum --progress abc.txt missing.txt
expect_bar grep --progress '^b' words.txt
expect 0 "beta
banana" grep '^b' words.txt --progress
quiet=$("${kav[@]}" checksum abc.txt 2>&1 >/dev/null)
[ -z "$quiet" ] || { echo "FAIL: a bar without --progress: [$quiet]"; failures=$((failures + 1)); }
expect 0 "" copydir --progress a y
expect_bar copydir a z --progress
expect 0 "00000129  y${sep}b${sep}c${sep}f.txt" checksum "y${sep}b${sep}c${sep}f.txt"
expect 0 "00000129  z${sep}b${sep}c${sep}f.txt" checksum "z${sep}b${sep}c${sep}f.txt"
expect_error copydir a a --progress
expect 0 "" rmtree y
expect 0 "" rmtree z
if [ "$sep" = / ]; then  # links to a parent are made again as links, bar or not
  mkdir -p loop/sub && echo f >loop/sub/f && ln -s .. loop/sub/up && ln -s . loop/sub/self
  expect 0 "" copydir loop l1
  expect 0 "" copydir --progress loop l2
  [ "$(readlink l1/sub/up) $(readlink l2/sub/self)" = ".. ." ] || { echo "FAIL: copydir links"; failures=$((failures + 1)); }
fi
expect_error env shout x
cd / && rm -rf "$scratch"

# Colon record files, serial ports and the system's version.
records=$(mktemp -d)
cd "$records"
printf 'bobby:1\nbob:1|2:x\r\nalice:a\nbob:\n' > recs.txt
expect 0 $'bob\t1:2\tx\nbob\t' sheaf recs.txt bob
expect 1 "" sheaf recs.txt carol
expect_error sheaf missing.txt bob
expect 0 $'bob\t1:2\tx\nbob\t' sheaf - bob < recs.txt
expect_error sheaf recs.txt
expect_error tty COM1
expect_error winver now
if [ $# -gt 1 ]; then
  # Wine's own prefix, with no version set for kav.exe, reports Windows 7.
  expect 0 'name: "Windows 7 "
version: 6.1.7601
service pack: 1.0' winver
  expect_error tty '\\.\COM250' 9600,n,8,1
else
  expect 0 "name: \"$(uname -s | cut -c1-10)\"
version: $(uname -r | sed -E 's/^([0-9]+)\.([0-9]+)\.([0-9]+).*/\1.\2.\3/')
service pack: 0.0" winver
  reason="No such file or directory" expect_error tty /dev/kav-no-such-port 9600,n,8,1
  # A pseudo-terminal keeps 8 data bits and no parity bit; parity checking shows the E.
  got=$(python3 -c 'import os, subprocess, sys
master, terminal = os.openpty()
print(subprocess.run(sys.argv[1:] + ["tty", os.ttyname(terminal), "96,e,7,1"],
                     capture_output=True, text=True).stdout, end="")' "${kav[@]}")
  [ "$got" = "baud=9600 parity=N data=8 stop=1 xon=off octs=off binary=on check=on" ] ||
    { echo "FAIL: kav tty on a pseudo-terminal: [$got]"; failures=$((failures + 1)); }
  # COM4 is the link com4 of the user's device table, here to a pseudo-terminal.
  got=$(XDG_CONFIG_HOME="$records/config" python3 -c 'import os, subprocess, sys
master, terminal = os.openpty()
table = os.environ["XDG_CONFIG_HOME"] + "/kavutil/dosdevices"
os.makedirs(table)
os.symlink(os.ttyname(terminal), table + "/com4")
print(subprocess.run(sys.argv[1:] + ["tty", "COM4", "19200,n,8,2"],
                     capture_output=True, text=True).stdout, end="")' "${kav[@]}")
  [ "$got" = "baud=19200 parity=N data=8 stop=2 xon=off octs=off binary=on check=off" ] ||
    { echo "FAIL: kav tty COM4 through the device table: [$got]"; failures=$((failures + 1)); }
fi
cd / && rm -rf "$records"

expect_error spell twelve
expect_error spell
expect_error routing 1234
expect_error routing 12a45678
expect_error micr --colour red
reason="--transit 'abc' holds 'a'" expect_error micr --transit abc
expect_error micr --on-us 1234x5
expect 0 "CA1234D678ADC" micr --format 'CAttttttttADC' --transit 1234-678
expect_error micr --transit
expect_error micr --symbols AB
expect_error idfmt Z 12 wide
expect_error idround REF1 x
expect_error help nosuchcommand
expect_error nosuchcommand

# Ghostscript and MySQL.  POSIX: the system's libgs, the fixed place under $PROGRAMFILES, and
# kav sql with the test run's MariaDB server.
# loads SONAME: the loader knows a copy of SONAME of kav's word size (ELF class 2: 64-bit); a
# 32-bit kav on a 64-bit system may find no 32-bit libgs, MariaDB client or PAM.
loads() {
  local class
  class=$(od -An -tu1 -j4 -N1 "${kav[${#kav[@]}-1]}" | tr -d ' ')
  [ -n "$(ldconfig -p | grep -F "$1 (" | grep $([ "$class" = 2 ] || echo -v) 64)" ] && return
  echo "skipped: the checks that need $1 (no $([ "$class" = 2 ] && echo 64 || echo 32)-bit copy)"
  return 1
}
KAV_GS="/opt/own gs" expect 0 "/opt/own gs" gs --edition
expect_error gs --frob
expect_error sql --user root "SELECT 1"
expect_error sql --socket /nonexistent/mysqld.sock --user root "SELECT 1"
if [ $# -eq 1 ]; then
  if loads libgs.so.10; then
    compgen -G "$("${kav[@]}" gs)/libgs.so.*" >/dev/null || { echo "FAIL: kav gs"; failures=$((failures + 1)); }
  fi
  export KAV_REGISTRY=/nonexistent PROGRAMFILES=/nonexistent
  expect 1 "" gs --edition
  gs=$(mktemp -d) && mkdir -p "$gs/gs/gskav/bin" && touch "$gs/gs/gskav/bin/libgs.so"
  PROGRAMFILES=$gs expect 0 "$gs/gs/gskav/bin" gs --edition
  rm -rf "$gs"
  sql=(sql --socket "${KAV_TEST_MYSQL_SOCKET:-}" --user root)
  if loads libmariadb.so.3; then
    expect 0 "" "${sql[@]}" "CREATE OR REPLACE DATABASE kavcli"
    expect 0 "" "${sql[@]}" --database kavcli "CREATE TABLE jobs (id INT, name TEXT, note TEXT)"
    expect 0 "" "${sql[@]}" --database kavcli "INSERT INTO jobs VALUES (2, 'x', ''), (1, 'a b', NULL)"
    expect 0 "1	a b	NULL
2	x	" "${sql[@]}" --database kavcli "SELECT * FROM jobs ORDER BY id"
    expect_error "${sql[@]}" --database kavcli "SELECT * FROM missing"
  fi
  unset KAV_REGISTRY PROGRAMFILES
fi

# Processes and disk space: kav itself is the program started.
scratch=$(mktemp -d)
cd "$scratch"
self=${kav[${#kav[@]}-1]}
expect 0 "ONE HUNDRED TWELVE
0" exec --wait "$self spell 112"
expect 1 "2" exec "$self" spell
expect 1 "2" exec kav_no_such_program
expect 2 "2" exec --nowait kav_no_such_program
expect 0 "0" exec --out both.txt --err both.txt "$self" spell 7
expect 0 "0" exec --nowait --out both.txt "$self" spell 8
expect 0 "0" exec --console --show 0 "$self spell 3"
expect 0 "0" exec --console --wait --err both.txt "$self" spell
for i in $(seq 50); do grep -q EIGHT both.txt 2>/dev/null && break; sleep 0.1; done
got=$(tr -d '\r' < both.txt | sort | tr '\n' ' ')
[[ "$got" == "EIGHT SEVEN kav spell: missing argument (see 'kav help') " ]] ||
  { echo "FAIL: kav exec redirection wrote [$got]"; failures=$((failures + 1)); }
[[ "$("${kav[@]}" df . | tr -d '\r')" =~ ^[0-9]+$ ]] || { echo "FAIL: kav df ."; failures=$((failures + 1)); }
expect_error df ""
expect_error df
expect_error exec
expect_error exec --frob x
expect_error exec --console --user root x
if [ $# -eq 1 ]; then  # (Windows counts NUL as a console: _isatty is true)
  expect_error exec --user root x < /dev/null
  logon_code=7
  loads libpam.so.0 || logon_code=4  # PAM_SYSTEM_ERR: no PAM
  KAV_PASSWORD=wrong expect 1 "LogonUserError: $logon_code
-1" exec --user root true
fi
cd / && rm -rf "$scratch"

# Output that cannot be written is an error.
if [ -w /dev/full ] && [ $# -eq 1 ]; then
  for command in "spell 12" "sort +S0 /etc/passwd" "--help" "help sort"; do
    # shellcheck disable=SC2086
    err=$("${kav[@]}" $command 2>&1 >/dev/full)
    [ $? -eq 2 ] && [[ "$err" == "kav"*": write error: No space left on device" ]] ||
      { echo "FAIL: kav $command to a full disk: [$err]"; failures=$((failures + 1)); }
  done
fi

if [ $failures -eq 0 ]; then echo "kav tool: all checks passed"; else echo "$failures failures"; fi
[ $failures -eq 0 ]
