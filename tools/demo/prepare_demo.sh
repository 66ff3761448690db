#!/usr/bin/env bash
# Prepares a demo under the folder given (default ./demo): the SQLite business database, the
# mapped drive root with the INI file and an export folder, the registry file with a user name
# and a scrambled password, and odbc.ini / odbcinst.ini with the data source "MSBRINTEL".
# Usage: tools/demo/prepare_demo.sh [folder]   (then source <folder>/env.sh)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/../.." && pwd)
demo=$(mkdir -p "${1:-$top/demo}" && cd "${1:-$top/demo}" && pwd)

sqlite_driver=""
for d in /usr/lib/x86_64-linux-gnu/odbc /usr/lib/aarch64-linux-gnu/odbc /usr/lib/odbc /usr/local/lib/odbc; do
  [ -f "$d/libsqlite3odbc.so" ] && { sqlite_driver="$d/libsqlite3odbc.so"; break; }
done
[ -n "$sqlite_driver" ] || { echo "libsqlite3odbc.so not found (package libsqliteodbc)" >&2; exit 1; }

echo "Preparing the demo in $demo"
db="$demo/brintel.db"
rm -f "$db" "$db.tmp"
{
  grep -v '^--' "$top/tests/fixtures/business_schema.sql"
  echo "BEGIN;"
  LC_ALL=C awk -f "$here/demo_data.awk"  # numbers with a decimal point whatever the locale
  echo "COMMIT;"
} | sqlite3 -bail "$db.tmp"
mv "$db.tmp" "$db"

cat > "$demo/odbcinst.ini" <<INI
[ODBC]
Pooling=No

[SQLite3]
Description=SQLite3 ODBC Driver
Driver=$sqlite_driver
Threading=2

[SQL Server]
Description=SQLite3 ODBC Driver under the name the program asks for
Driver=$sqlite_driver
Threading=2
INI

# StepAPI: the driver steps through a result instead of reading it whole first.
cat > "$demo/odbc.ini" <<INI
[MSBRINTEL]
Driver=SQLite3
Database=$db
Timeout=10000
StepAPI=1
INI

root="$demo/root"
mkdir -p "$root/c/Windows" "$root/c/Izvoz" "$root/c/Temp"
cat > "$root/c/Windows/Zelkor.INI" <<'INI'
[Program]
DateSeparator=.
SQLTrace=F
FillUpdateLogDir=c:\Zelkor\Log
Podjetje=Demo špedicija d.o.o.

[Database]
DataSource=MSBrintel
Podjetje=Demo

[Kolvar]
KljucIzdOD=32025000001
KljucIzdDO=32025000240
FileNameIzd=c:\Izvoz\KolvarIzdaja
StevPrenosaIzd=1
KljucPreOD=12025000001
KljucPreDO=12025000120
FileNamePre=c:\Izvoz\KolvarPrevzem
StevPrenosaPre=1
INI

umask 077
cat > "$demo/registry" <<REG
[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brintel\\SQL]
UserName=sz:kolvar
Password=sz:$("$here/scramble_password.sh" 'Demo-geslo')

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brintel\\Upgrade]
PotDoTempa=sz:c:\\\\Temp
REG
umask 022

cat > "$demo/env.sh" <<ENV
# The demo's environment for the program: source this file, then run build/release/app/main/zelkor.
export ZELKOR_ROOT="$root"
export ZELKOR_REGISTRY="$demo/registry"
export ODBCSYSINI="$demo"
export ODBCINSTINI=odbcinst.ini
export ODBCINI="$demo/odbc.ini"
ENV

echo "Demo database: $(sqlite3 "$db" 'SELECT COUNT(*) FROM Promet') documents, $(sqlite3 "$db" 'SELECT COUNT(*) FROM PrometPoz') lines"
touch "$demo/.ready"
