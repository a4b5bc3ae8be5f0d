#!/usr/bin/env bash
# quenlo-cli's shell completions as `cmake --install` puts them: each shell
# finds the file in its standard place and offers the commands, and for each
# command exactly the options its --help lists, and the right files for
# --package, --report and --metrics.
#
#   completion_test.sh QUENLO-CLI BUILD-DIR
set -uo pipefail
cli=$(realpath "$1")
build=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/quenlo-completion.XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
. "$here/road_lib.sh"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" --component completions > /dev/null
check "installed where bash-completion, zsh and fish look" \
  test -s "$prefix/share/bash-completion/completions/quenlo-cli" \
  -a -s "$prefix/share/zsh/vendor-completions/_quenlo-cli" \
  -a -s "$prefix/share/fish/vendor_completions.d/quenlo-cli.fish"
check "the zsh file parses" zsh -n "$prefix/share/zsh/vendor-completions/_quenlo-cli"
check "the fish file parses" fish --no-execute "$prefix/share/fish/vendor_completions.d/quenlo-cli.fish"

# The shells find the files through these, and fish completes only commands
# it can find.
export XDG_DATA_DIRS=$prefix/share:/usr/share PATH=$(dirname "$cli"):$PATH

# Completes LINE in bash as bash-completion does, after loading the
# completion on demand as an interactive shell would.
bash_offers() {
  bash --norc --noprofile -c '
    . /usr/share/bash-completion/bash_completion
    __load_completion quenlo-cli && complete -p quenlo-cli > /dev/null || exit 3
    line=$1
    COMP_LINE=$line COMP_POINT=${#line}
    # Words as readline breaks them: "=" is a word of its own.
    read -ra COMP_WORDS <<< "${line//=/ = }"
    [[ $line == *[\ =] ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _quenlo_cli quenlo-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"' bash "$1"
}
# fish gives a value after "=" with its option.
fish_offers() { fish -c 'complete -C $argv[1]' "$1" | cut -f1 | sed 's/^--[a-z-]*=//'; }
zsh_offers() { zsh -f "$here/zsh_complete.zsh" "$prefix/share/zsh/vendor-completions" "$work" "$1"; }
# One line of sorted candidates, folders without their "/".
words() { sed 's:/$::' | grep -v '^$' | sort -u | tr '\n' ' ' | sed 's/ $//'; }

# What the program takes: the long options on the option lines of its help.
help_options() {
  "$cli" "$@" --help | grep -E '^ +-' | grep -oE -- '--[a-z][a-z-]*' | words
}

mkdir -p "$work/files/folder"
touch "$work/files/"{a.json,b.csv,c.txt,m.prom,s.plist}
cd "$work/files" || exit 1
cases=(
  "quenlo-cli |history list package update"
  "quenlo-cli --|$(help_options)"
  "quenlo-cli --package folder list --|$(help_options list)"
  "quenlo-cli update --|$(help_options update)"
  "quenlo-cli --package=s.plist update 10.0.0.1 --|$(help_options update)"
  "quenlo-cli package |check"
  "quenlo-cli package check --|$(help_options package check)"
  "quenlo-cli history --|$(help_options history)"
  "quenlo-cli --package |folder s.plist"
  "quenlo-cli update --report |a.json b.csv folder"
  "quenlo-cli update --metrics |folder m.prom"
  "quenlo-cli update --metrics=|folder m.prom"
)
for shell in bash fish zsh; do
  for entry in "${cases[@]}"; do
    line=${entry%%|*}
    expected=${entry#*|}
    got=$("${shell}_offers" "$line" | words)
    check "$shell: \"$line\" offers $expected" [ "$got" = "$expected" ]
    [ "$got" = "$expected" ] || echo "      it offered: $got"
  done
done
[ $failures = 0 ]
