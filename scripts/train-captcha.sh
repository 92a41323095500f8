#!/usr/bin/env bash
# Retrains the captcha reader's network and writes src/blog/captcha_model.bin
# (the committed model was made by exactly this command, on one thread).
# tools/captcha-train/train.py (PyTorch, Debian's python3-torch) learns from
# pictures drawn by inkpost-captcha-train: its own wide family of engine
# captchas, the sandbox's engine GIF and its BMP style, all with fixed seeds.
# The closing check reads fresh pictures of each kind (seeds no training
# uses) and, when python3 is there, 1,000 of the second renderer at each
# setting range. Takes about 15 minutes of one CPU core.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
INKPOST_TRAINING=1 bash scripts/install-deps.sh
cmake --build "$build" --target inkpost-captcha-train
tool="$build/tools/inkpost-captcha-train"
OMP_NUM_THREADS=1 /usr/bin/python3 tools/captcha-train/train.py --tool "$tool" --out src/blog/captcha_model.bin \
  --samples 480000 --batch 64 --seed 1 --threads 1
checks=()
if command -v python3 >/dev/null 2>&1; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  python3 tools/captcha-render2/render2.py --out "$tmp/render2-defaults" --count 1000 --seed 880001
  python3 tools/captcha-render2/render2.py --out "$tmp/render2-spread" --count 1000 --seed 880002 --spread
  checks=(--dir "$tmp/render2-defaults" --dir "$tmp/render2-spread")
fi
"$tool" check --model src/blog/captcha_model.bin --count 2000 --seed 880000 "${checks[@]}"
