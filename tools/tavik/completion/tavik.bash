# bash completion for tavik: the tool itself names the candidates.
_tavik() {
  local IFS=$'\n'
  COMPREPLY=($("${COMP_WORDS[0]}" __complete "${COMP_WORDS[@]:1:COMP_CWORD}" 2>/dev/null))
}
complete -o default -F _tavik tavik
