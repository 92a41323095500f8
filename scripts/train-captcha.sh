#!/usr/bin/env bash
# Retrains the captcha reader's classifier and writes src/blog/captcha_model.bin
# (the committed model was made by exactly this command). Training pictures
# come from the sandbox's drawing code with seeds 1 and up; the closing check
# prints the exact-read shares on fresh pictures. About 1 CPU minute.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target inkpost-captcha-train
"$build/tools/inkpost-captcha-train" --out src/blog/captcha_model.bin --captchas 150000 --hidden 128 --seed 1 --check 3000
