#!/usr/bin/env bash
# "scan --json" of the Windows build under Wine against the Linux build on the same sample datasets,
# placed where Sage keeps them on Windows: C:\ProgramData\Sage\Accounts\<year>\COMPANY, the program
# folder's COMPANY, and a Sage application path in HKEY_LOCAL_MACHINE. Fails when the two differ (paths
# compared in one form); prints the time of each scan.
#   scripts/windows-scan-check.sh                        the demo companies
#   scripts/windows-scan-check.sh DATASETS RETURNS       that many generated datasets with that many returns
# Needs build/release and build/windows (scripts/build.sh release; scripts/windows-test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
linux="$root/build/release/bin"
windows="$root/build/windows/bin"
. scripts/lib/wine-prefix.sh
private_wine_prefix "$(mktemp -d "${TMPDIR:-/tmp}/venturo-scan.XXXXXX")"

accounts="$prefix/drive_c/ProgramData/Sage/Accounts"
program="$prefix/drive_c/Program Files (x86)/Sage/Accounts"
if [ $# -ge 2 ]; then
    "$linux/venturo_sample_datasets" --out "$accounts/2022" --datasets "$1" --returns "$2" >/dev/null
else
    "$linux/venturo_sample_datasets" --demo "$prefix" >/dev/null
fi
# The Sage program registers its folder; on Linux the same value goes to the file registry.
mkdir -p "$program" "$work/registry"
"$wine" reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\SAGE.EXE' /v Path \
    /d 'C:\Program Files (x86)\Sage\Accounts' /f >/dev/null 2>&1
printf '[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\SAGE.EXE]\nPath=%s\n' "$program" \
    >"$work/registry/HKEY_LOCAL_MACHINE.ini"

timed() { # output file, then the command; prints the seconds it took
    local start end
    start=$(date +%s.%N)
    "${@:2}" >"$1"
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

timed "$work/linux.json" env VENTURO_MTD_REGISTRY="$work/registry" "$linux/venturo_mtd_cli" scan --json >/dev/null
linux_time=$(timed "$work/linux.json" env VENTURO_MTD_REGISTRY="$work/registry" "$linux/venturo_mtd_cli" scan --json)

# On Windows the COMPANY files hold Windows paths.
find "$prefix/drive_c" -name COMPANY -type f | while read -r company; do
    sed -i "s#^$prefix/drive_c/#C:\\\\#; s#/#\\\\#g" "$company"
done
"$wine" "$windows/venturo_mtd_cli.exe" scan --json >/dev/null
windows_time=$(timed "$work/windows.json" "$wine" "$windows/venturo_mtd_cli.exe" scan --json)

python3 - "$work/linux.json" "$work/windows.json" "$prefix/drive_c" <<'PY'
import json, sys
linux, windows, drive = sys.argv[1], sys.argv[2], sys.argv[3]
def native(value):
    if isinstance(value, str) and value[:3].upper() == "C:\\":
        return drive + "/" + value[3:].replace("\\", "/")
    if isinstance(value, list):
        return [native(v) for v in value]
    if isinstance(value, dict):
        return {k: native(v) for k, v in value.items()}
    return value
a = json.load(open(linux))
b = native(json.load(open(windows, encoding="utf-8")))
if a != b:
    print("The Windows scan differs from the Linux scan", file=sys.stderr)
    print(json.dumps(a, indent=1)[:3000], file=sys.stderr)
    print(json.dumps(b, indent=1)[:3000], file=sys.stderr)
    sys.exit(1)
print(f"same JSON: {len(a['datasets'])} datasets, {len(a.get('problems', []))} problems")
PY
echo "scan: Linux ${linux_time}s, Windows under Wine ${windows_time}s"
