#!/usr/bin/env bash
# Checks that every include of the core library points down its layers (the order below, lowest
# first) and that only the platform layer includes the codec libraries' headers.
#   bash scripts/check-layers.sh [SRC_DIR]
set -euo pipefail
src=${1:-src}
layers=(os foundation platform image effects formats editlist engine persistence)
status=0
for ((i = 0; i < ${#layers[@]}; ++i)); do
  folder=$src/${layers[i]}
  [[ -d $folder ]] || continue
  allowed="${layers[*]:0:i+1}"
  while IFS=: read -r file line target; do
    if [[ " $allowed " != *" $target "* ]]; then
      echo "$file:$line: ${layers[i]} includes $target/, a layer above it"
      status=1
    fi
  done < <(grep -rnoE '^#include "[a-z]+/' "$folder" | sed -E 's/:#include "([a-z]+)\/$/:\1/')
done
if grep -rnE '^#include <lib(avcodec|avformat|avutil|swresample|swscale)/' "$src" | grep -v "^$src/platform/"; then
  echo "only $src/platform may include the codec libraries' headers"
  status=1
fi
exit $status
