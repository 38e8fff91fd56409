#!/usr/bin/env bash
# The checks that need no build: every C++ file is formatted by the project's
# .clang-format, and nothing is misspelt (codespell, with the inherited
# spellings of .codespellrc). ./test.sh runs it first; run it before a commit.
#   tools/check-style.sh          check
#   tools/check-style.sh --fix    reformat the files that need it
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
    clang-format -i "${sources[@]}"
    exit 0
fi

status=0
if ! clang-format --dry-run -Werror "${sources[@]}" 2>/tmp/kvx-format.$$; then
    echo "Not formatted (tools/check-style.sh --fix reformats):"
    grep -oE '^[^:]+\.(cpp|h)' /tmp/kvx-format.$$ | sort -u | sed 's/^/  /'
    status=1
fi
rm -f /tmp/kvx-format.$$

if ! codespell; then
    echo "Misspelt words above (an inherited spelling that is interface goes to .codespellrc)."
    status=1
fi
exit $status
