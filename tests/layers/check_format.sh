#!/bin/sh
# Fails when a C++ file of the project is not laid out as .clang-format says.
# The generated pinyin tables stay as their generator writes them.
set -eu
cd "$1"
files=$(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' \
          'tools/*.cpp' 'tools/*.h' 'sandbox/*.cpp' 'sandbox/*.h' 2>/dev/null | grep -v 'src/blog/pinyin_' || true)
[ -n "$files" ] || files=$(find src tests bench fuzz tools sandbox -name '*.cpp' -o -name '*.h' | grep -v 'src/blog/pinyin_')
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
echo "layout checked: $(echo "$files" | wc -l) files"
