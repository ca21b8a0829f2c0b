# bash completion for tabulory-batch (the build fills in the formats the host
# opens, from the host's own list)
_tabulory_batch() {
  local cur prev words cword
  _init_completion -s || return

  case $prev in
    --column | --value | --block | --jobs | --max-memory)
      return
      ;;
    --criterion)
      COMPREPLY=($(compgen -W 'equals contains not-blank blank' -- "$cur"))
      return
      ;;
    --scope)
      COMPREPLY=($(compgen -W 'workbook active block' -- "$cur"))
      return
      ;;
    --files-from)
      _filedir
      return
      ;;
  esac
  $split && return

  local i operation=
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      sort | filter)
        operation=${words[i]}
        break
        ;;
    esac
  done

  if [[ $cur == -* ]]; then
    local options='--column --scope --block --yes --jobs --max-memory --backup --backup= --dry-run
      --files-from --null --help --version'
    [[ $operation == filter ]] && options+=' --criterion --value'
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
    return
  fi
  if [[ -z $operation ]]; then
    COMPREPLY=($(compgen -W 'sort filter' -- "$cur"))
    return
  fi
  _filedir '@(@TABULORY_FORMATS_GLOB@)'
} &&
  complete -F _tabulory_batch tabulory-batch
