#!/usr/bin/env bash
# check_package.sh SOURCE_DIR WORK_DIR: runs tools/package into WORK_DIR,
# unpacks the zip and checks its name, its list of files against dist/ and
# its checksums.
set -euo pipefail
src=$1
work=$2
rm -rf "$work"
mkdir -p "$work/unpacked"
"$src/tools/package" "$work/out" >"$work/package.log"
version=$(head -n 1 "$src/VERSION")
zip=$work/out/qem-show-$version-win32.zip
[ -f "$zip" ] || { echo "no $zip"; ls "$work/out"; exit 1; }
(cd "$work/unpacked" && unzip -q "$zip")
cd "$work/unpacked/qem-show-$version-win32"
expected=$(
    cd "$src/dist"
    for f in *.sep *.sem; do
        echo "$f"
        echo "pictures/${f%.*}.png"
    done
    printf '%s\n' README.md LICENCE SHA256SUMS
)
expected=$(LC_ALL=C sort <<<"$expected")
actual=$(find . -type f | sed 's#^\./##' | LC_ALL=C sort)
if [ "$expected" != "$actual" ]; then
    echo "the zip's files differ from what dist/ calls for:"
    diff <(echo "$expected") <(echo "$actual") || true
    exit 1
fi
sha256sum --quiet -c SHA256SUMS
[ "$(wc -l <SHA256SUMS)" -eq $(($(wc -l <<<"$actual") - 1)) ] || { echo "SHA256SUMS does not list every file"; exit 1; }
for f in "$src"/dist/*.se?; do
    cmp "$f" "$(basename "$f")"
    grep -q "^| $(basename "$f") | QEM Show " README.md || { echo "README.md lacks $(basename "$f")"; exit 1; }
done
cmp "$src/LICENCE" LICENCE
echo "package ok: $(wc -l <<<"$actual") files"
