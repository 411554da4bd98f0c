#!/usr/bin/env bash
# Builds the .deb from the build folder, installs it, runs the installed program as the service
# user against two small databases, upgrades it over itself with an edited setup.ini, removes it
# (setup.ini and the log stay) and purges it (the machine is as before).
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
cleanup() {
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
else
  echo "lintian is not installed: the package is not checked by it (scripts/setup-deps installs it)"
fi

echo "== install"
dpkg -i "$deb"
[ "$(/opt/tarvelo/tarvelo --version)" = "Tarvelo    ver 2.0" ] || fail "--version"
[ "$(stat -c '%U:%G %a' /opt/tarvelo)" = "tarvelo:tarvelo 2775" ] || fail "owner of /opt/tarvelo"
[ "$(stat -c '%U:%G %a' /opt/tarvelo/setup.ini)" = "tarvelo:tarvelo 660" ] || fail "first setup.ini"
dpkg-query -W -f='${Conffiles}' tarvelo | grep -q ' /etc/xdg/autostart/tarvelo.desktop ' ||
  fail "the autostart entry is not a conffile"
systemd-analyze verify --man=no /lib/systemd/system/tarvelo.service || fail "systemd-analyze verify"

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
