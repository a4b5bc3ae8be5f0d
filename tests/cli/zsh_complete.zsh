#!/usr/bin/zsh -f
# Prints what zsh's completion system offers for a command line, one
# candidate a line: an interactive zsh on a pseudo-terminal, with FPATH-DIR
# first on its $fpath, is sent the line and a Tab; compadd is wrapped to
# write down every candidate it is given.
#
#   zsh_complete.zsh FPATH-DIR WORK-DIR 'command line'
zmodload zsh/zpty zsh/datetime || exit 2
fpath_dir=$1 work=$2 line=$3
hits=$work/zsh-hits marker=$work/zsh-done
rm -f $hits $marker

zpty quenlo zsh -f -i
zpty -w quenlo "PS1='> '; fpath=(${(q)fpath_dir} \$fpath); autoload -Uz compinit; compinit -u -D"
zpty -w quenlo "compadd() { local -a __hits; builtin compadd -O __hits \"\$@\"; print -rl -- \$__hits >> ${(q)hits}; builtin compadd \"\$@\" }"
zpty -w quenlo "zstyle ':completion:*' list-prompt ''; zstyle ':completion:*' menu no"
# Waits up to 10 s for a file, reading what the terminal shows meanwhile.
await() {
  local -F deadline=$(( EPOCHREALTIME + 10 ))
  local out
  while [[ ! -s $1 ]] && (( EPOCHREALTIME < deadline )); do
    zpty -rt quenlo out 2>/dev/null || sleep 0.05
  done
  [[ -s $1 ]]
}
# The Tab completes. Completion gives up on what it lists when more keys are
# already waiting, so Ctrl+U (dropping the line) and the marker command follow
# once the first candidates are in; the marker says completion is over.
zpty -w -n quenlo "$line"$'\t'
await $hits
zpty -w -n quenlo $'\x15'": > ${(q)marker}; print x >> ${(q)marker}"$'\r'
await $marker
zpty -d quenlo
[[ -s $marker ]] || { print -u2 "zsh did not finish completing: $line"; exit 1 }
[[ -e $hits ]] && sort -u $hits
exit 0
