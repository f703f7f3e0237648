#!/usr/bin/env bash
# Checks that the documents follow the program: every kelvarin-cli example of the README and the
# manual runs on the bundled samples (tools/doc-examples.py), the README stays a landing page,
# the committed manual pages and Debian changelog are what their Markdown gives, and the manual
# pages format without a warning. Uses the window build's kelvarin-cli (build/qt, made by
# tools/test.sh) when it is there, else builds one in build/doc-check.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}"
ensure_tools cmake g++ python3 groff

CLI="${KELVARIN_CLI:-$ROOT/build/qt/kelvarin-cli}"  # another build's, by hand
if [ ! -x "$CLI" ]; then
    cmake -S "$ROOT" -B "$ROOT/build/doc-check" -DCMAKE_BUILD_TYPE=Release -DKELVARIN_BUILD_TESTS=OFF >/dev/null
    cmake --build "$ROOT/build/doc-check" -j"$JOBS" --target kelvarin-cli
    CLI="$ROOT/build/doc-check/kelvarin-cli"
fi

FAILED=0
check() {  # check NAME COMMAND...
    local name="$1"; shift
    if out="$("$@" 2>&1)"; then echo "  ok    $name"; else
        echo "  FAIL  $name"; sed 's/^/        /' <<<"$out" | head -20; FAILED=$((FAILED + 1)); fi
}
readme_is_a_landing_page() {
    local lines
    lines="$(wc -l <"$ROOT/README.md")"
    [ "$lines" -le 150 ] || { echo "README.md has $lines lines"; return 1; }
    # Every page it links to exists.
    grep -o '](\(docs/[^)#]*\|[A-Z]*\.md\|LICENSE\))' "$ROOT/README.md" | sed 's/^](//; s/)$//' | while read -r page; do
        [ -e "$ROOT/$page" ] || { echo "README.md links to $page, which is missing"; exit 1; }
    done
}
manual_links_hold() {
    local page target missing=0
    for page in "$ROOT"/docs/*.md "$ROOT"/docs/manual/*.md; do
        for target in $(grep -o '](\([a-z./-]*\.\(md\|png\)\)' "$page" | sed 's/^](//'); do
            [ -e "$(dirname "$page")/$target" ] || { echo "${page#"$ROOT"/} links to $target, which is missing"; missing=1; }
        done
    done
    [ "$missing" -eq 0 ]
}
man_pages_format_cleanly() {
    local page warnings
    for page in "$ROOT"/man/*.1; do
        warnings="$(LC_ALL=C.UTF-8 groff -man -ww -z -Tutf8 "$page" 2>&1)"
        [ -z "$warnings" ] || { echo "${page#"$ROOT"/}: $warnings"; return 1; }
    done
}
echo "== the documents"
check "README.md is a landing page of at most 150 lines whose links hold" readme_is_a_landing_page
check "the links between the manual's pages hold" manual_links_hold
check "man/*.1 are what docs/manual/cli.md and kelvarin.md give (tools/make-man.py)" python3 "$ROOT/tools/make-man.py" --check
check "data/changelog is what CHANGELOG.md gives (tools/make-changelog.py)" python3 "$ROOT/tools/make-changelog.py" --check
check "the manual pages format without a warning (groff -ww)" man_pages_format_cleanly
echo "== the examples of the README and the manual, run with ${CLI#"$ROOT"/}"
python3 "$ROOT/tools/doc-examples.py" "$CLI" || FAILED=$((FAILED + 1))

[ "$FAILED" -eq 0 ] && echo "doc-check: all passed" || { echo "doc-check: $FAILED failed"; exit 1; }
