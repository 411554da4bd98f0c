#!/usr/bin/env bash
# Builds the .deb from the build folder, installs it, runs the installed program as the service
# user against two small databases, tries as a member of group tarvelo (a throwaway user) and as
# the service account what they must not be able to do, upgrades it over itself with an edited
# setup.ini, removes it (setup.ini and the log stay) and purges it (the machine is as before).
# Usage: package_lifecycle.sh <build folder> <source folder>; exit status 77 means skipped.
set -euo pipefail
build="$1"
source="$2"

skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
command -v dpkg >/dev/null || skip "dpkg is not available"
command -v cpack >/dev/null || skip "cpack is not available"
if dpkg-query -W -f='${Status}' tarvelo 2>/dev/null | grep -qv not-installed ||
   [ -e /opt/tarvelo ] || getent passwd tarvelo >/dev/null || getent group tarvelo >/dev/null; then
  skip "Tarvelo is already installed on this machine (or its user or folder exist); it is left alone"
fi

fail() { echo "FAILED: $*" >&2; exit 1; }
work="$(mktemp -d)"
chmod 755 "$work"
member="tarvelo-t$$" # a desktop user in group tarvelo, for this test only
cleanup() {
  rm -rf /opt/tarvelo/platforms /opt/tarvelo/*.moved # what a check below that failed left there
  if [ ! -d /run/systemd/system ]; then # the generator's folder the timer's check made
    rm -rf /run/systemd/generator/tarvelo-run.timer.d
    rmdir /run/systemd/generator 2>/dev/null || true
  fi
  if getent passwd "$member" >/dev/null; then userdel "$member" >/dev/null 2>&1 || true; fi
  if getent group "$member" >/dev/null; then groupdel "$member" >/dev/null 2>&1 || true; fi
  if dpkg-query -W -f='${Status}' tarvelo 2>/dev/null | grep -qv not-installed; then
    dpkg --purge tarvelo >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

places=(/opt /etc/xdg/autostart /etc/systemd/system /lib/systemd/system /usr/share/applications
        /usr/share/icons/hicolor/scalable/apps /usr/share/man/man1 /usr/share/doc)
snapshot() { find "${places[@]}" -maxdepth 1 2>/dev/null | sort; }
snapshot >"$work/before.txt"

echo "== build"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" || {
  cat "$work/cpack.log"; fail "cpack"; }
deb="$(ls "$work"/pkg/tarvelo_*.deb)"
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning --suppress-tags-from-file "$source/packaging/lintian-accepted" "$deb" ||
    fail "lintian reports the package"
  # Built hardened: checked string and memory calls, relocations read-only after start-up.
  lintian -I --tags hardening-no-fortify-functions,hardening-no-bindnow,hardening-no-relro "$deb" |
    tee "$work/hardening.txt"
  [ ! -s "$work/hardening.txt" ] || fail "the program is not built hardened"
  echo "lintian's tags, information and the accepted ones included:"
  lintian -I "$deb" || true
else
  echo "lintian is not installed: the package is not checked by it (scripts/setup-deps installs it)"
fi

echo "== install"
dpkg -i "$deb"
[ "$(/opt/tarvelo/tarvelo --version)" = "Tarvelo    ver 2.0" ] || fail "--version"
[ "$(stat -c '%U:%G %a' /opt/tarvelo)" = "root:tarvelo 3775" ] || fail "owner of /opt/tarvelo"
[ "$(stat -c '%U:%G %a' /opt/tarvelo/setup.ini)" = "tarvelo:tarvelo 660" ] || fail "first setup.ini"
dpkg-query -W -f='${Conffiles}' tarvelo | grep -q ' /etc/xdg/autostart/tarvelo.desktop ' ||
  fail "the autostart entry is not a conffile"
systemd-analyze verify --man=no /lib/systemd/system/tarvelo.service || fail "systemd-analyze verify"
# The manual page renders without warnings on a terminal without Polish letters too.
zcat /usr/share/man/man1/tarvelo.1.gz | LC_ALL=C groff -man -Tascii -ww -z 2>"$work/man.txt"
[ ! -s "$work/man.txt" ] || { cat "$work/man.txt"; fail "groff warns about the manual page"; }
systemd-analyze security --offline=true /lib/systemd/system/tarvelo.service | tee "$work/security.txt"
exposure="$(sed -n 's/.*Overall exposure level for tarvelo.service: \([0-9.]*\).*/\1/p' "$work/security.txt")"
awk -v e="$exposure" 'BEGIN { exit !(e != "" && e + 0 <= 2.5) }' ||
  fail "the service's exposure is '$exposure', above 2.5"

echo "== the timer: its units, its schedule from setup.ini, one daily run at a time"
for unit in tarvelo-run.service tarvelo-run.timer; do
  systemd-analyze verify --man=no /lib/systemd/system/$unit || fail "systemd-analyze verify $unit"
done
systemd-analyze security --offline=true /lib/systemd/system/tarvelo-run.service | tee "$work/security-run.txt"
exposure="$(sed -n 's/.*Overall exposure level for tarvelo-run.service: \([0-9.]*\).*/\1/p' "$work/security-run.txt")"
awk -v e="$exposure" 'BEGIN { exit !(e != "" && e + 0 <= 2.5) }' ||
  fail "the run's exposure is '$exposure', above 2.5"
# The generator as systemd runs it at boot and at daemon-reload, into a folder of the test's own;
# the timer is then checked with its drop-in, as systemd would load it.
schedule() { # <setup.ini [set] lines> -> the timer's OnCalendar lines, or "refused"
  printf '[set]\n%s\n' "$1" >/opt/tarvelo/setup.ini
  rm -rf "$work/gen" && mkdir -p "$work/gen"
  /lib/systemd/system-generators/tarvelo-schedule-generator "$work/gen" "$work/gen" "$work/gen" 2>"$work/gen.err" ||
    fail "the generator failed"
  if SYSTEMD_UNIT_PATH="$work/gen:" systemd-analyze verify --man=no tarvelo-run.timer >"$work/verify.txt" 2>&1; then
    grep -h '^OnCalendar=' "$work/gen/tarvelo-run.timer.d/00-schedule.conf" | tr '\n' ' '
  else
    echo refused
  fi
}
[ "$(schedule '')" = "OnCalendar= OnCalendar=*-*-* 03:05:00 " ] || fail "the default hour: $(schedule '')"
[ "$(schedule 'godzina=0x10')" = "OnCalendar= OnCalendar=*-*-* 16:05:00 " ] || fail "godzina=0x10"
[ "$(schedule 'godzina=$7')" = "OnCalendar= OnCalendar=*-*-* 07:05:00 " ] || fail "godzina=\$7"
[ "$(schedule 'godzina=24')" = refused ] || { cat "$work/verify.txt"; fail "the timer loads with godzina=24"; }
grep -q 'godzina=24' "$work/gen.err" || fail "the generator does not report godzina=24"
# The file is read as user tarvelo: one root only may read gives the program's default.
printf '[set]\ngodzina=9\n' >/opt/tarvelo/setup.ini
chmod 600 /opt/tarvelo/setup.ini && chown root:root /opt/tarvelo/setup.ini
rm -rf "$work/gen" && mkdir -p "$work/gen"
/lib/systemd/system-generators/tarvelo-schedule-generator "$work/gen" "$work/gen" "$work/gen" 2>/dev/null
grep -qx 'OnCalendar=\*-\*-\* 03:05:00' "$work/gen/tarvelo-run.timer.d/00-schedule.conf" ||
  fail "the generator read setup.ini as root"
chown tarvelo:tarvelo /opt/tarvelo/setup.ini && chmod 660 /opt/tarvelo/setup.ini
# A run after the hour was changed without a daemon-reload says that the timer has another time.
# The generator's folder is the one systemd gives it; without systemd running, made for the test.
printf '[set]\ngodzina=3\n' >/opt/tarvelo/setup.ini
if [ -d /run/systemd/system ]; then
  systemctl daemon-reload
else
  made_gen=yes
  [ -d /run/systemd/generator ] && made_gen=no
  mkdir -p /run/systemd/generator
  /lib/systemd/system-generators/tarvelo-schedule-generator /run/systemd/generator
fi
printf '[set]\ngodzina=0x10\n' >/opt/tarvelo/setup.ini
runuser -u tarvelo -- /usr/libexec/tarvelo/one-daily-run tarvelo-run.timer 2>"$work/drift.txt" ||
  fail "the timer's run refused: $(cat "$work/drift.txt")"
grep -q '16:05:00.*daemon-reload' "$work/drift.txt" || fail "no warning of the changed hour: $(cat "$work/drift.txt")"
if [ -d /run/systemd/system ]; then
  systemctl daemon-reload
elif [ "$made_gen" = yes ]; then
  rm -rf /run/systemd/generator
else
  rm -rf /run/systemd/generator/tarvelo-run.timer.d
fi
# Enabling one way while the other is enabled is reported and the second refuses to start.
wants_dirs="$(ls -d /etc/systemd/system/*.wants 2>/dev/null || true)"
oneway() { runuser -u tarvelo -- /usr/libexec/tarvelo/one-daily-run "$1" 2>"$work/oneway.txt"; }
systemctl enable tarvelo.service 2>/dev/null || fail "systemctl enable tarvelo.service"
oneway tarvelo.service || { cat "$work/oneway.txt"; fail "the service alone refused to start"; }
grep -q 'Hidden=true' "$work/oneway.txt" || fail "no warning of the window's autostart entry"
systemctl enable tarvelo-run.timer 2>/dev/null || fail "systemctl enable tarvelo-run.timer"
if oneway tarvelo-run.timer; then fail "the timer's run started while tarvelo.service is enabled"; fi
grep -q 'tarvelo-run.timer and tarvelo.service are both enabled' "$work/oneway.txt" || fail "$(cat "$work/oneway.txt")"
if oneway tarvelo.service; then fail "tarvelo.service started while the timer is enabled"; fi
systemctl disable tarvelo.service 2>/dev/null
oneway tarvelo-run.timer || { cat "$work/oneway.txt"; fail "the timer alone refused to run"; }
systemctl disable tarvelo-run.timer 2>/dev/null
for d in /etc/systemd/system/*.wants; do # what enable made and disable leaves
  grep -qx "$d" <<<"$wants_dirs" || rmdir "$d"
done
cat /opt/tarvelo/setup.ini.example >/opt/tarvelo/setup.ini

echo "== run once as the service user"
db="$work/db"
mkdir -p "$db" "$work/lock" "$work/runtime"
chmod 700 "$work/runtime"
isql-fb -q -user SYSDBA <<SQL
create database '$db/formy_db.fdb' default character set WIN1250;
input '$source/scripts/sql/formy.sql';
insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) values (101, 'Obudowa', 'FW-0101', 1000, 1, 7);
commit;
create database '$db/vorek_mes.fdb' default character set WIN1250;
input '$source/scripts/sql/vorek.sql';
insert into tools_data (id_t, cx) values (7, 40);
insert into tools_data (id_t, cx) values (7, 60);
commit;
SQL
chown -R tarvelo:tarvelo "$db" "$work/lock" "$work/runtime"
printf '[sql]\nformy=%s/\nvorek=%s/\n[set]\nlog=1\n[delta]\n101=5\n' "$db" "$db" >/opt/tarvelo/setup.ini
(cd / && runuser -u tarvelo -- env FIREBIRD_LOCK="$work/lock" XDG_RUNTIME_DIR="$work/runtime" /opt/tarvelo/tarvelo --run-once) ||
  fail "--run-once as user tarvelo"
counter="$(echo 'set heading off; select counter from formy where id = 101;' |
           isql-fb -q -user SYSDBA "$db/formy_db.fdb" | tr -d ' \n')"
[ "$counter" = 105 ] || fail "counter of mould 101 is '$counter', expected 105 (100 cycles + delta 5)"
log="$(ls /opt/tarvelo/log_*.txt)" || fail "no log file beside the program"
[ "$(stat -c %U "$log")" = tarvelo ] || fail "log file owner"
[ $((0$(stat -c %a "$log") & 060)) -eq $((060)) ] || fail "the log is not readable and writable by the group"

echo "== a member of group tarvelo and the service account change nothing the package installed"
useradd --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin --user-group --groups tarvelo "$member"
for who in "$member" tarvelo; do
  for f in $(dpkg-query -L tarvelo); do
    [ -f "$f" ] || continue
    if runuser -u "$who" -- mv -f "$f" "$f.moved" 2>/dev/null; then fail "$who renamed $f"; fi
    if runuser -u "$who" -- sh -c ': >>"$1"' sh "$f" 2>/dev/null; then fail "$who can write to $f"; fi
  done
  if runuser -u "$who" -- ln -sf /etc/shadow /opt/tarvelo/setup.ini.example 2>/dev/null; then
    fail "$who replaced setup.ini.example by a link"
  fi
done
if runuser -u "$member" -- rm -f /opt/tarvelo/setup.ini 2>/dev/null; then fail "a member removed setup.ini"; fi
# Qt's plugins come from Qt's folder only, not from the program's, where the group can put files.
plugin="$(ls /usr/lib/*/qt6/plugins/platforms/libqoffscreen.so | head -n 1)"
runuser -u "$member" -- mkdir /opt/tarvelo/platforms
runuser -u "$member" -- cp "$plugin" /opt/tarvelo/platforms/
mkdir -m 700 "$work/rootlock"
(cd / && QT_DEBUG_PLUGINS=1 FIREBIRD_LOCK="$work/rootlock" /opt/tarvelo/tarvelo --run-once --dry-run) \
  >"$work/plugins.txt" 2>&1 || { cat "$work/plugins.txt"; fail "--run-once --dry-run as root"; }
if grep /opt/tarvelo/platforms "$work/plugins.txt"; then fail "root's run looked for plugins in /opt/tarvelo"; fi
rm -rf /opt/tarvelo/platforms "$work/rootlock"

echo "== postinst makes setup.ini only from the package's example"
echo 'password=root-only' >"$work/secret"
chmod 600 "$work/secret"
mv /opt/tarvelo/setup.ini "$work/setup.ini.aside"
mv /opt/tarvelo/setup.ini.example "$work/example.aside"
ln -s "$work/secret" /opt/tarvelo/setup.ini.example # as a member could once put there
/var/lib/dpkg/info/tarvelo.postinst configure 2.0 || fail "postinst configure"
if grep -qs root-only /opt/tarvelo/setup.ini; then fail "postinst copied a file through a link"; fi
rm -f /opt/tarvelo/setup.ini /opt/tarvelo/setup.ini.example
mv "$work/example.aside" /opt/tarvelo/setup.ini.example
mv "$work/setup.ini.aside" /opt/tarvelo/setup.ini

echo "== a log a member began is the service's too; the service's run under its restrictions"
# A desktop user with the usual umask writes the month's log first, over the Firebird server.
rm "$log"
mkdir -m 700 "$work/member-runtime" "$work/member-lock"
chown "$member" "$work/member-runtime" "$work/member-lock"
server="127.0.0.1/${TARVELO_FB_PORT:-30531}"
printf '[sql]\nformy=%s:%s/\nvorek=%s:%s/\n[set]\nlog=1\n' "$server" "$db" "$server" "$db" >/opt/tarvelo/setup.ini
(cd / && runuser -u "$member" -- sh -c 'umask 022; exec "$@"' sh env FIREBIRD_LOCK="$work/member-lock" \
  XDG_RUNTIME_DIR="$work/member-runtime" /opt/tarvelo/tarvelo --run-once) ||
  fail "--run-once as a group member against the server"
[ "$(stat -c %U:%G "$log")" = "$member:tarvelo" ] || fail "owner of the log the member began"
lines="$(wc -l <"$log")"
# The service's run as systemd would start it, as far as that can be done without systemd: no
# capabilities, no new privileges, no writable and executable memory (MemoryDenyWriteExecute).
sandboxed() {
  setpriv --reuid tarvelo --regid tarvelo --init-groups --no-new-privs --bounding-set -all --inh-caps -all \
    /usr/bin/python3 -c 'import ctypes, os, sys
if ctypes.CDLL(None).prctl(65, 1, 0, 0, 0) != 0: sys.exit("PR_SET_MDWE refused")
os.execvp(sys.argv[1], sys.argv[1:])' \
    env FIREBIRD_LOCK="$work/lock" XDG_RUNTIME_DIR="$work/runtime" /opt/tarvelo/tarvelo --run-once
}
(cd / && sandboxed) || fail "the service's run against the server under its restrictions"
printf '[sql]\nformy=%s/\nvorek=%s/\n[set]\nlog=1\n' "$db" "$db" >/opt/tarvelo/setup.ini
(cd / && sandboxed) || fail "the service's run with the embedded engine under its restrictions"
[ "$(stat -c %U "$log")" = "$member" ] || fail "the log changed hands"
[ "$(wc -l <"$log")" -gt "$lines" ] || fail "the service's runs added nothing to the member's log"
printf '[sql]\nformy=%s/\nvorek=%s/\n[set]\nlog=1\n[delta]\n101=5\n' "$db" "$db" >/opt/tarvelo/setup.ini
userdel "$member"
if getent group "$member" >/dev/null; then groupdel "$member"; fi

echo "== upgrade over itself with an edited setup.ini"
echo '; edited by the administrator' >>/opt/tarvelo/setup.ini
cp -p /opt/tarvelo/setup.ini "$work/setup.ini.edited"
cp -p "$log" "$work/log.kept"
dpkg -i "$deb"
cmp /opt/tarvelo/setup.ini "$work/setup.ini.edited" || fail "the upgrade changed setup.ini"
cmp "$log" "$work/log.kept" || fail "the upgrade changed the log"
[ "$(stat -c '%U %a' /opt/tarvelo/setup.ini)" = "tarvelo 660" ] || fail "setup.ini owner after upgrade"

echo "== remove"
dpkg -r tarvelo
[ ! -e /opt/tarvelo/tarvelo ] || fail "the program is still there after removal"
cmp /opt/tarvelo/setup.ini "$work/setup.ini.edited" || fail "removal changed setup.ini"
cmp "$log" "$work/log.kept" || fail "removal changed the log"

echo "== purge"
dpkg -P tarvelo | tee "$work/purge.txt"
grep -q "removing /opt/tarvelo/setup.ini" "$work/purge.txt" || fail "purge does not name setup.ini"
grep -q "removing $log" "$work/purge.txt" || fail "purge does not name the log"
! getent passwd tarvelo >/dev/null || fail "user tarvelo is left"
! getent group tarvelo >/dev/null || fail "group tarvelo is left"
snapshot >"$work/after.txt"
diff "$work/before.txt" "$work/after.txt" || fail "purge left the machine different"
echo "package lifecycle passed"
