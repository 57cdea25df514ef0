# bash completion for nimbrel-cli: subcommands, options, configuration (.cfg)
# and program (.prg) files, serial devices for --port and --ports.
# shellcheck disable=SC2207 # COMPREPLY=($(compgen ...)) is how completions fill the list

_nimbrel_cli_ports() {
  local d
  for d in /dev/serial/by-id/* /dev/ttyUSB* /dev/ttyACM* /dev/ttyS* /dev/ttyAMA* /dev/rfcomm*; do
    [[ -e $d ]] && printf '%s\n' "$d"
  done
}

# Files matching the glob $1 (any letter case given in it) and folders.
_nimbrel_cli_files() {
  local IFS=$'\n'
  COMPREPLY=($(compgen -f -X "!$1" -- "$cur") $(compgen -d -- "$cur"))
}

_nimbrel_cli() {
  local cur prev words cword
  if declare -F _init_completion >/dev/null; then
    _init_completion -s || return
  else
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
  fi

  local commands="check encode send read compare version program dump stop fleet history map"
  local options="--port --baud --verify --no-verify --settings --wait --json --quiet
    --force --help --version --format --output -o --base --from --to
    --ids --id-list --ports --log --retries --burn-failed --backup --station --resume
    --id --since --svg --items"

  case $prev in
  --port)
    local IFS=$'\n'
    COMPREPLY=($(compgen -W "$(_nimbrel_cli_ports)" -- "$cur"))
    # A device not in the list (a pseudo-terminal, a link) by its path.
    [[ ${#COMPREPLY[@]} -eq 0 ]] && _nimbrel_cli_files '*'
    return
    ;;
  --ports)
    # Comma-separated: complete the device after the last comma.
    local IFS=$'\n' head=
    [[ $cur == *,* ]] && head=${cur%,*},
    COMPREPLY=($(compgen -P "$head" -W "$(_nimbrel_cli_ports)" -- "${cur##*,}"))
    [[ -z $head ]] && COMPREPLY+=($(compgen -W "auto" -- "$cur"))
    return
    ;;
  --id-list | --resume)
    _nimbrel_cli_files '*'
    return
    ;;
  --log)
    _nimbrel_cli_files '*.[jJ][sS][oO][nN][lL]'
    return
    ;;
  --backup)
    local IFS=$'\n'
    COMPREPLY=($(compgen -d -- "$cur"))
    return
    ;;
  --baud)
    COMPREPLY=($(compgen -W "110 150 300 600 1200 2400 4800 9600 19200 38400 57600
      115200 230400" -- "$cur"))
    return
    ;;
  --format)
    COMPREPLY=($(compgen -W "commands hex json" -- "$cur"))
    return
    ;;
  --settings)
    _nimbrel_cli_files '*.[iI][nN][iI]'
    return
    ;;
  --output | -o)
    _nimbrel_cli_files '*.[cC][fF][gG]'
    return
    ;;
  --svg)
    _nimbrel_cli_files '*.[sS][vV][gG]'
    return
    ;;
  --wait | --base | --from | --to | --ids | --retries | --id | --since | --items)
    return
    ;;
  esac

  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return
  fi

  # The subcommand: the first word that is neither an option nor its value.
  local i command=
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
    --port | --baud | --settings | --wait | --format | --output | -o | --base | --from | --to | \
      --ids | --id-list | --ports | --log | --retries | --backup | --resume | --id | --since | \
      --svg | --items)
      ((i++))
      ;;
    -*) ;;
    *)
      command=${words[i]}
      break
      ;;
    esac
  done

  case $command in
  "")
    COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    ;;
  check | encode | send | read | compare | fleet | map)
    _nimbrel_cli_files '*.[cC][fF][gG]'
    ;;
  program)
    _nimbrel_cli_files '*.[pP][rR][gG]'
    ;;
  esac
  # Folders lead on to the files in them.
  if [[ ${#COMPREPLY[@]} -eq 1 && -d ${COMPREPLY[0]} ]]; then
    compopt -o nospace 2>/dev/null
    COMPREPLY[0]+=/
  fi
}

complete -F _nimbrel_cli nimbrel-cli
