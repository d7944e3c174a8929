#!/usr/bin/env bash
# The installer under Wine, in a Wine prefix made for this run alone and removed afterwards (only its
# own wine server is stopped):
#   1. msiexec /i /qn installs into "C:\Program Files\Venturo MTD", with the Start-menu shortcut, the
#      Add/Remove Programs entry (version, publisher, icon) and the program's settings key;
#   2. the installed venturo_mtd_cli.exe "scan --json" finds sample datasets placed where Sage keeps
#      them (C:\ProgramData\Sage\Accounts\<year>, the Sage program folder named in HKLM);
#   3. the installed venturo_mtd.exe starts without a display and exits cleanly;
#   4. an MSI of a newer version replaces it in place (one entry, the newer version);
#   5. msiexec /x /qn leaves no file, shortcut or registry key of ours.
#   scripts/windows-installer-test.sh [MSI]     default: the one build/windows/dist holds
# With VENTURO_SIGN_CERT set, the signatures of the MSI, the installed programs and our installed DLLs
# are checked against that certificate too.
# Needs scripts/build-windows.sh and build/release's venturo_sample_datasets (scripts/build.sh release).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
msi="${1:-$(ls -t "$root"/build/windows/dist/VenturoMTD-*-x64.msi 2>/dev/null | head -n1)}"
[ -f "$msi" ] || { echo "no MSI: run scripts/build-windows.sh first" >&2; exit 1; }
msi="$(realpath "$msi")"
samples="$root/build/release/bin/venturo_sample_datasets"
[ -x "$samples" ] || { echo "no $samples: run scripts/build.sh release first" >&2; exit 1; }
. scripts/lib/wine-prefix.sh
# No desktop menu entries in the user's own home for the shortcuts the installer makes in the prefix.
private_wine_prefix "$(mktemp -d "${TMPDIR:-/tmp}/venturo-msi-test.XXXXXX")" "winemenubuilder.exe=d"

failures=0
check() { # description, then a command that must succeed
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1" >&2; failures=$((failures + 1)); fi
}
absent() { ! "$@"; }
dos() { printf 'Z:%s' "${1//\//\\}"; }
msiexec() { "$wine" msiexec "$@" >/dev/null 2>&1; }
reg_has() { "$wine" reg query "$@" >/dev/null 2>&1; }
program_dir="$prefix/drive_c/Program Files/Venturo MTD"
shortcuts() { # the Start-menu shortcuts of the program: the machine's menu, or (Wine) the user's
    find "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu" "$prefix/drive_c/users" \
        -iname 'Venturo MTD.lnk' 2>/dev/null
}
settings='HKCU\SOFTWARE\Corvane\Venturo MTD'
uninstall='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'

reg_entries() { # KEY NAME-VALUE FIELD...: "subkey|field|..." of each subkey whose NAME-VALUE is Venturo MTD
    "$wine" reg query "$1" /s 2>/dev/null | tr -d '\r' | awk -v name_value="$2" -v fields="${*:3}" '
        BEGIN { n = split(fields, field, " ") }
        /^HKEY/ { flush(); key = $0; sub(/.*\\/, "", key); delete seen; next }
        { v = $0; sub(/^[ \t]*[A-Za-z]+[ \t]+REG_[A-Z_]+[ \t]*/, "", v); seen[$1] = v }
        function flush(  line, i) {
            if (seen[name_value] != "Venturo MTD") return
            line = key; for (i = 1; i <= n; i++) line = line "|" seen[field[i]]; print line
        }
        END { flush() }'
}
arp_entries() { # "ProductCode|DisplayVersion|Publisher" of each entry named Venturo MTD
    reg_entries "$uninstall" DisplayName DisplayVersion Publisher
}
product_icon() { # the icon that Add/Remove Programs shows for the product, as a file of the prefix
    local icon
    icon="$(reg_entries 'HKCR\Installer\Products' ProductName ProductIcon | cut -d'|' -f2)"
    [ -n "$icon" ] && printf '%s/drive_c/%s' "$prefix" "$(printf '%s' "${icon#[Cc]:\\}" | tr '\\' /)"
}
verify_signature() { # with a time-stamping certificate named, the stamp must verify too
    if [ -z "${VENTURO_SIGN_TSA_CERT:-}" ]; then
        osslsigncode verify -CAfile "$VENTURO_SIGN_CERT" -in "$1" >/dev/null 2>&1
        return
    fi
    osslsigncode verify -CAfile "$VENTURO_SIGN_CERT" -TSA-CAfile "$VENTURO_SIGN_TSA_CERT" -in "$1" 2>&1 |
        grep -q "^Timestamp Server Signature verification: ok"
}

version="$(basename "$msi" | sed -E 's/^VenturoMTD-([0-9.]+)-x64\.msi$/\1/')"
IFS=. read -r major minor patch <<<"$version"
newer="$major.$minor.$((patch + 1))"

echo "== install $(basename "$msi")"
check "msiexec /i installs silently" msiexec /i "$(dos "$msi")" /qn
check "the command line is in Program Files\\Venturo MTD" test -f "$program_dir/venturo_mtd_cli.exe"
check "the settings key the program reads exists" reg_has "$settings"
entry="$(arp_entries)"
IFS='|' read -r product arp_version publisher <<<"$entry"
check "one Add/Remove Programs entry with version $version and publisher Corvane" \
    test "$(printf '%s\n' "$entry" | grep -c .)" -eq 1 -a "$arp_version" = "$version" -a "$publisher" = Corvane
gui=0
[ -f "$program_dir/venturo_mtd.exe" ] && gui=1
if [ "$gui" -eq 1 ]; then
    check "the Start-menu shortcut exists" test -n "$(shortcuts)"
    icon="$(product_icon)"
    check "the Add/Remove Programs entry has an icon" test -n "$icon" -a -f "$icon"
else
    echo "note: the installer holds no venturo_mtd.exe; shortcut, icon and the desktop program not checked"
fi
if [ -n "${VENTURO_SIGN_CERT:-}" ]; then
    check "the MSI's signature verifies" verify_signature "$msi"
    while IFS= read -r -d '' exe; do
        check "the installed $(basename "$exe") is signed" verify_signature "$exe"
    done < <(find "$program_dir" -type f \( -iname '*.exe' -o -iname '*orvi_*.dll' -o -iname '*venturo*.dll' \) -print0)
fi

accounts_made="$("$samples" --demo "$prefix" | sed -nE 's/^Wrote ([0-9]+) datasets.*/\1/p')"
# The Sage program registers its folder, and its COMPANY files hold Windows paths.
mkdir -p "$prefix/drive_c/Program Files (x86)/Sage/Accounts"
"$wine" reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\SAGE.EXE' /v Path \
    /d 'C:\Program Files (x86)\Sage\Accounts' /f >/dev/null 2>&1
find "$prefix/drive_c" -name COMPANY -type f | while read -r company; do
    sed -i "s#^$prefix/drive_c/#C:\\\\#; s#/#\\\\#g" "$company"
done
"$wine" 'C:\Program Files\Venturo MTD\venturo_mtd_cli.exe' scan --json >"$work/scan.json" 2>"$work/scan.err" || true
found() {
    python3 - "$work/scan.json" "$1" <<'PY'
import json, sys
scan = json.load(open(sys.argv[1], encoding="utf-8"))
folders = [d["folder"] for d in scan["datasets"]]
ok = len(folders) == int(sys.argv[2]) and all(f.upper().startswith("C:\\PROGRAMDATA\\SAGE\\ACCOUNTS\\") for f in folders)
if not ok or scan.get("problems"):
    print(json.dumps(scan, indent=1)[:2000], file=sys.stderr)
sys.exit(0 if ok and not scan.get("problems") else 1)
PY
}
check "the installed venturo_mtd_cli scan --json finds the $accounts_made sample datasets" found "$accounts_made"
echo "== the installed programs"
if [ "$gui" -eq 1 ]; then
    # Wine hides the host's QT_* variables from Windows programs and passes WINEQT_* on under the QT_*
    # name; without a display, the program must be told to use the offscreen platform that way.
    gui_runs() {
        local said
        said="$(QT_QPA_PLATFORM=offscreen WINEQT_QPA_PLATFORM=offscreen timeout 60 "$wine" 'C:\Program Files\Venturo MTD\venturo_mtd.exe' --version 2>/dev/null | tr -d '\r')" &&
            [[ "$said" == *"$version"* ]]
    }
    check "the installed venturo_mtd.exe answers --version and exits cleanly" gui_runs
    # A whole start on the sample datasets, then a close as a session's end asks for it: the window
    # test of the build's own program run against the installed one. Qt's platform plugin and style
    # must be found beside the installed program, or it ends at once.
    gui_closes() {
        cmake --build "$root/build/windows" --target gui_test_ProgramExit >/dev/null || return 1
        VENTURO_PROGRAM_UNDER_TEST='C:\Program Files\Venturo MTD\venturo_mtd.exe' \
            WINEQT_QPA_PLATFORM=offscreen timeout 120 "$wine" "$root/build/windows/bin/gui_test_ProgramExit.exe" \
            --gtest_filter=ProgramExitTest.ClosingSavesTheWindowAndEndsPromptly >"$work/gui.log" 2>&1 &&
            grep -q "^\[  PASSED  \] 1 test" "$work/gui.log" || { cat "$work/gui.log" >&2; return 1; }
    }
    check "the installed venturo_mtd.exe starts offscreen and closes cleanly when asked" gui_closes
fi

echo "== upgrade to $newer"
scripts/build-windows.sh --package-only --version "$newer" --out "$work/newer" >/dev/null
check "msiexec /i of the newer MSI upgrades silently" msiexec /i "$(dos "$work/newer/VenturoMTD-$newer-x64.msi")" /qn
entry="$(arp_entries)"
IFS='|' read -r new_product arp_version _ <<<"$entry"
check "one Add/Remove Programs entry, now $newer" \
    test "$(printf '%s\n' "$entry" | grep -c .)" -eq 1 -a "$arp_version" = "$newer" -a "$new_product" != "$product"
check "the program is still in place" test -f "$program_dir/venturo_mtd_cli.exe"
check "the older MSI does not go over the newer installation" absent msiexec /i "$(dos "$msi")" /qn
check "and leaves it as it was" test "$(arp_entries | cut -d'|' -f2)" = "$newer"

echo "== uninstall"
check "msiexec /x removes it silently" msiexec /x "$(dos "$work/newer/VenturoMTD-$newer-x64.msi")" /qn
check "no program folder is left" absent test -e "$program_dir"
check "no shortcut is left" test -z "$(shortcuts)"
check "no Add/Remove Programs entry is left" test -z "$(arp_entries)"
check "no settings key is left" absent reg_has "$settings"
check "no Corvane key is left" absent reg_has 'HKCU\SOFTWARE\Corvane'

if [ "$failures" -gt 0 ]; then
    echo "$failures installer check(s) failed" >&2
    exit 1
fi
echo "installer: every check passed"
