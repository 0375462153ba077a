#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The install tree as a distribution takes it: no library search path, licence and man pages in
# place, desktop entry and metainfo clean for their validators (where installed), and the
# completion offering tolvenar-fit's options, model names and data files; with an interpreter and
# the package's folder below the prefix, the Python package fitting from there. Run from the sources.
set -eu
tree=$2
python=${3:-}
packages=${4:-}
fail() { echo "install_tree: $*" >&2; exit 1; }
rm -rf "$tree" && cmake --install "$1" --prefix "$tree" >/dev/null
for f in doc/tolvenar/LICENSE man/man1/tolvenar.1 man/man1/tolvenar-fit.1; do
    [ -s "$tree/share/$f" ] || fail "share/$f is missing"
done
"$tree"/bin/tolvenar-fit --runs 1 --trials 10 --plot "$tree/fit.png" examples/symmetric_event.csv \
    >/dev/null || fail "tolvenar-fit --plot does not find its picture module"
if [ -n "$python" ]; then
    PYTHONPATH="$tree/$packages" "$python" -c 'import tolvenar, tolvenar.xarray
assert tolvenar.__file__.startswith("'"$tree"'")
assert tolvenar.fit(range(8), [0, 0, 0, 1, 2, 3, 3, 3], runs=1, trials=10).status == "fitted"' ||
        fail "the Python package does not fit from $tree/$packages"
fi
for program in "$tree"/bin/* "$tree"/lib*/*/tolvenar/*.so "$tree"/lib*/tolvenar/*.so \
               "$tree/$packages"/tolvenar/*.so; do
    [ -e "$program" ] || continue
    ! readelf -d "$program" | grep -E 'R(UN)?PATH' || fail "$program has a search path"
done
if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$tree"/share/applications/*.desktop) && [ -z "$out" ] || fail "$out"
fi
if command -v appstreamcli >/dev/null; then
    out=$(appstreamcli validate-tree --no-net --pedantic "$tree") || fail "$out"
    ! grep -E '^ *[EWIP]:' <<<"$out" || fail "appstreamcli found the issues above"
fi
compopt() { :; }  # bash refuses it outside a completion
. "$tree"/share/bash-completion/completions/tolvenar-fit
while IFS='|' read -r words want; do
    read -ra COMP_WORDS <<<"$tree/bin/tolvenar-fit $words"
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _tolvenar_fit "${COMP_WORDS[0]}"
    [ "${COMPREPLY[*]}" = "$want" ] || fail "completing '$words' gives '${COMPREPLY[*]}'"
done <<<'--mo|--model
--model f|free3 free4
--model = as|asymmetric
--runs 1|
ex|examples
examples/R|
examples/sy|examples/symmetric_event.csv'
