# SPDX-License-Identifier: GPL-3.0-or-later
# Bash completion of tolvenar-fit: its options, read from its own --help so that every option it
# takes completes; the model names after --model; after --x, --y and --sigma the column titles
# of the first data file named; data files (*.csv, *.tsv, *.txt, *.dat) and folders elsewhere.
_tolvenar_fit()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    # Bash splits "--model=sym" at "=": complete the value after the option's "=".
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    fi
    if [[ $prev == --model ]]; then
        local models='ramp symmetric asymmetric duration free3 free4'
        mapfile -t COMPREPLY < <(compgen -W "$models" -- "$cur")
        return
    fi
    if [[ $prev == --x || $prev == --y || $prev == --sigma ]]; then
        local word titles=
        for word in "${COMP_WORDS[@]:1}"; do
            if [[ $word != -* && -f $word ]]; then
                # The first line's fields, split at the file's separator, quotes and a BOM dropped.
                titles=$(head -n 1 -- "$word" | tr -d '\r"' | sed 's/^\xEF\xBB\xBF//' |
                         tr ',;\t' '\n\n\n' | sed 's/^ *//; s/ *$//' | grep -v '^$')
                break
            fi
        done
        local IFS=$'\n'
        mapfile -t COMPREPLY < <(compgen -W "$titles" -- "$cur")
        return
    fi
    local help
    [[ $prev == -* || $cur == -* ]] && help=$("$1" --help 2>/dev/null)
    # The help shows an option that takes a value with its value's name: "--runs R", "--to X".
    if [[ $prev == --* ]] && grep -qE -- "(^|[ ,])$prev[ =]\[?[A-Z]" <<<"$help"; then
        compopt -o default  # a number or a path: bash's own completion
        COMPREPLY=()
    elif [[ $cur == -* ]]; then
        local options
        options=$(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u)
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    else
        compopt -o filenames
        mapfile -t COMPREPLY < <(compgen -d -- "$cur" || :  # none is no failure
                                 compgen -f -- "$cur" | grep -iE '\.(csv|tsv|txt|dat)$')
    fi
}
complete -F _tolvenar_fit tolvenar-fit
