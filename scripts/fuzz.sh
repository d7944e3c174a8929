#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang) and runs each in turn, one at a time.
#   scripts/fuzz.sh [seconds per target, default 180]
#                   [targets...: setup_dta return_file company uuid hex_base32 bcd
#                    http_date rfc822_date rfc5322_date xml_date tokeniser string_parser
#                    embedded_user_text utf8_compare string_to_rect fetch_encoded stream_parser]
# Seeds come from the sample generator and the checked-in files (fuzz/corpus/<target>); inputs the fuzzer finds go to
# build/fuzz/corpus/<target>, crashes to build/fuzz/artifacts/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
seconds="${1:-180}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(setup_dta return_file company uuid hex_base32 bcd http_date rfc822_date
                                      rfc5322_date xml_date tokeniser string_parser embedded_user_text
                                      utf8_compare string_to_rect fetch_encoded stream_parser)

cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j 2 --target fuzz_seeds $(printf 'fuzz_%s ' "${targets[@]}")
# Generated seeds go to the build folder, so that a run leaves the checked-in corpus as it was.
seeds="$root/build/fuzz/seeds"
rm -rf "$seeds"
build/fuzz/bin/fuzz_seeds "$seeds"

for target in "${targets[@]}"; do
    work="$root/build/fuzz/corpus/$target"
    artifacts="$root/build/fuzz/artifacts/$target"
    mkdir -p "$work" "$artifacts"
    extra=()
    # libFuzzer refuses a corpus folder that does not exist, and a target may have no seeds of one kind.
    for folder in "$root/fuzz/corpus/$target" "$seeds/$target"; do
        [ -d "$folder" ] && extra+=("$folder")
    done
    [ -f "fuzz/$target.dict" ] && extra+=("-dict=$root/fuzz/$target.dict")
    # The four date readers share one dictionary of names, zones and separators.
    [[ "$target" == *_date ]] && extra+=("-dict=$root/fuzz/date_text.dict")
    # COMPANY seeds are short: let inputs grow at once, so very long lines are tried too.
    [ "$target" = company ] && extra+=("-len_control=0")
    # The node parser must survive very deep nesting: a seed of 100,000 open brackets, and room for more.
    if [ "$target" = string_parser ]; then
        { printf '\0\0'; head -c 100000 /dev/zero | tr '\0' '('; } >"$work/deep_nesting"
        extra+=("-max_len=262144")
    fi
    # The stream parser: seeds of both grammars (generated documents, 10,000 levels of nesting each).
    if [ "$target" = stream_parser ]; then
        { printf '\0'; printf '<e>%.0s' $(seq 10000); printf '</e>%.0s' $(seq 10000); } >"$work/deep_xml"
        { printf '\1'; head -c 10000 /dev/zero | tr '\0' '['; head -c 10000 /dev/zero | tr '\0' ']'; } >"$work/deep_json"
        printf '\0<?xml version="1.0"?>\r\n<a x="1" y=\x27&lt;\x27>t&amp;<b/><!-- c --><![CDATA[<r>]]></a>\r' >"$work/xml"
        printf '\x03{"k": [1, -2.5e3, "s\\"\\u00e9", true, null]}\n' >"$work/json_utf8_mark"
        extra+=("-max_len=65536")
    fi
    echo "== fuzz_$target for ${seconds}s"
    build/fuzz/bin/fuzz_"$target" "$work" \
        -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len=16384 \
        -artifact_prefix="$artifacts/" -print_final_stats=1 "${extra[@]}" 2>&1 |
        tee "$root/build/fuzz/fuzz_$target.log" | grep -E 'INITED|DONE|ERROR|SUMMARY|stat::' |
        tail -n 12
done
