#!/usr/bin/env bash
# Holds the rooms to their direction: runtime <- media <- player; tags and info
# on runtime only; app over them all. Fails on any source that includes, or any
# room's CMakeLists.txt that links, a room its own may not stand on. tests/,
# bench/ and the fuzz target are outside the rooms and may reach any of them.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

declare -A allowed=(
  [runtime]=""
  [media]="runtime"
  [player]="media runtime"
  [tags]="runtime"
  [info]="runtime"
  [app]="runtime media player tags info"
)
# KNOWN EXCEPTION (one line, "FILES -> ROOM"; none today):
known_exception=""

excepted() { # file target
  local files=${known_exception% -> *} room=${known_exception##* -> } f
  [ "$2" = "$room" ] || return 1
  for f in $files; do [ "$1" = "$f" ] && return 0; done
  return 1
}

bad=0 checked=0 crossings=0 used_exception=0
for room in "${!allowed[@]}"; do
  while IFS= read -r -d '' file; do
    checked=$((checked + 1))
    case $file in
      *CMakeLists.txt|*.cmake)
        # Room libraries named in a link line: zolm_<room>.
        lines=$(grep -n 'target_link_libraries' "$file" || true)
        ;;
      *)
        lines=$(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"][a-z]+/' "$file" || true)
        ;;
    esac
    [ -n "$lines" ] || continue
    while IFS= read -r line; do
      num=${line%%:*}
      case $file in
        *CMakeLists.txt|*.cmake) named=$(grep -o 'zolm_[a-z]*' <<<"${line#*:}" | sed 's/^zolm_//' || true) ;;
        *) named=$(sed -E 's/^[^<"]*[<"]([a-z]+)\/.*/\1/' <<<"${line#*:}") ;;
      esac
      for other in $named; do
        [ -n "${allowed[$other]+x}" ] || continue # not a room (Qt, the system, tests' own)
        [ "$other" = "$room" ] && continue
        crossings=$((crossings + 1))
        case " ${allowed[$room]} " in *" $other "*) continue ;; esac
        if excepted "$file" "$other"; then
          used_exception=1
          continue
        fi
        echo "$file:$num: $room may not reach $other (it stands on: ${allowed[$room]:-nothing})"
        bad=1
      done
    done <<<"$lines"
  done < <(find "$room" -type f \( -name '*.cpp' -o -name '*.h' -o -name 'CMakeLists.txt' -o -name '*.cmake' \) -print0)
done

if [ $bad -ne 0 ]; then
  echo "check-includes: FAILED: a room reaches against the direction (README, Layout)"
  exit 1
fi
echo "check-includes: $checked files in ${#allowed[@]} rooms, $crossings reaches across rooms, all with the direction"
if [ -n "$known_exception" ]; then
  if [ $used_exception -eq 1 ]; then
    echo "check-includes: known exception still in use: $known_exception"
  else
    echo "check-includes: the known exception ($known_exception) is no longer needed: remove it"
    exit 1
  fi
fi
