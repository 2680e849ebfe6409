# bash completion for tavik and tavik-bridge: the tool itself names the
# candidates (tavik-bridge's are those of `tavik bridge`, from the tavik
# beside it).
_tavik() {
  local IFS=$'\n' tool=${COMP_WORDS[0]}
  local -a words=("${COMP_WORDS[@]:1:COMP_CWORD}")
  if [[ $tool == *tavik-bridge ]]; then
    tool=${tool%-bridge}
    words=(bridge "${words[@]}")
  fi
  COMPREPLY=($("$tool" __complete "${words[@]}" 2>/dev/null))
}
complete -o default -F _tavik tavik tavik-bridge
