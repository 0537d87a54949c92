#!/usr/bin/env bash
# The bash completion parses, and offers the words tarnexctl takes where it takes them.
# Usage: completion_test.sh COMPLETION_FILE
set -uo pipefail
completion="${1:?usage: completion_test.sh COMPLETION_FILE}"
bash -n "$completion" || exit 1
# shellcheck source=/dev/null
source "$completion"
failures=0

# expect "LINE" "WORDS..." : what the completion offers with the cursor at the end of LINE.
# The line is split as bash splits it, a colon being a word of its own.
expect() {
  local line="$1" want="$2" got
  read -r -a COMP_WORDS <<<"${line//:/ : }"
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="$line"
  COMP_POINT=${#line}
  _tarnexctl
  got="$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)"
  if [ "$got" != "$want" ]; then
    echo "FAIL: '$line' offered '$got', not '$want'" >&2
    failures=$((failures + 1))
  fi
}

# The verb and the options before it, an option's value skipped.
expect "tarnexctl po" "power"
expect "tarnexctl --" "--config --help --json --timeout --version"
expect "tarnexctl --json --timeout 5 --config /tmp m" "message mute"
expect "tarnexctl --timeout " ""
# Each verb's own words, then targets.
expect "tarnexctl power " "off on"
expect "tarnexctl power on --w" "--wait"
expect "tarnexctl mute off " "display: group: name: set:"
expect "tarnexctl input hdmi" "hdmi1 hdmi2 hdmi3"
expect "tarnexctl input " "av component1 component2 hdmi1 hdmi2 hdmi3 rgb1 rgb2"
expect "tarnexctl message --c" "--clear"
expect "tarnexctl message Hello gr" "group:"
expect "tarnexctl send kd" ""
expect "tarnexctl list " ""
# After a kind's colon the name is the operator's: nothing is guessed, and the colon does not
# count as a word (name: would have matched the "n").
expect "tarnexctl status group:n" ""
expect "tarnexctl status display:10.0.0.20 s" "set:"

# A file where backup and restore take one.
scratch="$(mktemp -d "${TMPDIR:-/tmp}/tarnex-completion-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/lobby.log"
expect "tarnexctl restore $scratch/lob" "$scratch/lobby.log"
expect "tarnexctl backup $scratch/lobby.log na" "name:"

[ "$failures" -eq 0 ] || exit 1
echo "completion: all offered as expected"
