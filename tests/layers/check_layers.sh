#!/usr/bin/env bash
# Fails when a folder of the shipped code includes from a folder above it, or
# from a neighbour on its own level. Order, from the top:
#   app, cli          entry points (window, command line)
#   discovery, filelist
#   device
#   protocol
#   core              logging categories, image header, root context
# Usage: check_layers.sh SOURCE_DIR
set -euo pipefail
root=${1:?usage: check_layers.sh SOURCE_DIR}

declare -A level=([app]=0 [cli]=0 [discovery]=1 [filelist]=1 [device]=2 [protocol]=3 [core]=4)

bad=0
for folder in "${!level[@]}"; do
    [ -d "$root/$folder" ] || continue
    while IFS= read -r hit; do
        file=${hit%%:*}
        rest=${hit#*:}
        line=${rest%%:*}
        target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$rest")
        [ "$target" = "$folder" ] && continue
        if [ -z "${level[$target]+set}" ]; then
            echo "${file#$root/}:$line: includes from $target/, which is not part of the shipped code"
            bad=1
        elif [ "${level[$target]}" -le "${level[$folder]}" ]; then
            echo "${file#$root/}:$line: $folder/ includes from $target/, which is not below it"
            bad=1
        fi
    done < <(grep -rnE '^\s*#\s*include\s+"[^/"]+/' "$root/$folder" --include='*.cpp' --include='*.h' || true)
done
exit $bad
