#!/usr/bin/python3
"""Trains the captcha reader's network and writes it in the reader's file form.

    train.py --tool build/tools/inkpost-captcha-train --out src/blog/captcha_model.bin
             [--samples N] [--seed S] [--mix KIND:SHARE,...] [--threads T]

The pictures come from `inkpost-captcha-train samples` (the reader's own input,
drawn fresh for every step, never twice); the network is described in
src/blog/captcha_line.h. Same seed, sizes, thread count and machine type: same
model. Seeds: training pictures use S*1000 and up, one per chunk; the progress
check uses 700000000 + S, which no test or benchmark uses.
"""
import argparse
import math
import struct
import subprocess
import sys
import time

import numpy as np
import torch
import torch.nn as nn

HEIGHT, WIDTH, POSITIONS, CLASSES = 32, 80, 5, 11
RECORD = HEIGHT * WIDTH + POSITIONS
CHUNK = 20000  # pictures per generator run


class Reader(nn.Module):
    """3x3 convolutions (batch-normalised while training), then one classifier
    shared by the five positions, each seeing the feature columns around its
    fifth of the width."""

    def __init__(self, channels=(8, 16, 32, 64), strides=(1, 2, 2, 2), window=4, hidden=128):
        super().__init__()
        layers, before = [], 1
        for c, s in zip(channels, strides):
            layers += [nn.Conv2d(before, c, 3, stride=s, padding=1, bias=False), nn.BatchNorm2d(c), nn.ReLU()]
            before = c
        self.features = nn.Sequential(*layers)
        self.channels, self.strides, self.window, self.hidden = channels, strides, window, hidden
        rows, cols = HEIGHT, WIDTH
        for s in strides:
            rows, cols = (rows - 1) // s + 1, (cols - 1) // s + 1
        self.rows, self.cols = rows, cols
        self.cell = cols // POSITIONS
        self.pad = (window - self.cell) // 2
        self.head = nn.Sequential(nn.Linear(before * rows * window, hidden), nn.ReLU(), nn.Linear(hidden, CLASSES))

    def forward(self, x):
        f = nn.functional.pad(self.features(x), (self.pad, self.pad))
        parts = [f[:, :, :, p * self.cell:p * self.cell + self.window].flatten(1) for p in range(POSITIONS)]
        return self.head(torch.stack(parts, 1))  # batch x positions x classes

    def file_form(self):
        """The reader's "ICN1" file form, batch normalisation folded into the convolutions."""
        out = [b"ICN1", struct.pack("<III", HEIGHT, WIDTH, len(self.channels))]
        before = 1
        for c, s in zip(self.channels, self.strides):
            out.append(struct.pack("<III", before, c, s))
            before = c
        out.append(struct.pack("<III", self.window, self.hidden, CLASSES))
        convs = [m for m in self.features if isinstance(m, nn.Conv2d)]
        norms = [m for m in self.features if isinstance(m, nn.BatchNorm2d)]
        floats = []
        with torch.no_grad():
            for conv, bn in zip(convs, norms):
                scale = bn.weight / torch.sqrt(bn.running_var + bn.eps)
                floats += [(conv.weight * scale[:, None, None, None]).flatten(), bn.bias - bn.running_mean * scale]
            for lin in (self.head[0], self.head[2]):
                floats += [lin.weight.flatten(), lin.bias]
            data = torch.cat(floats).numpy().astype("<f4")
        return b"".join(out) + data.tobytes()


def pictures(tool, count, seed, mix):
    """Batches-to-be of (inputs, classes) from the C++ drawing tool."""
    run = subprocess.run([tool, "samples", "--count", str(count), "--seed", str(seed), "--mix", mix],
                         stdout=subprocess.PIPE, check=True)
    data = np.frombuffer(run.stdout, dtype=np.uint8).reshape(-1, RECORD)
    x = torch.from_numpy(data[:, :HEIGHT * WIDTH].astype(np.float32) / 255.0).reshape(-1, 1, HEIGHT, WIDTH)
    y = torch.from_numpy(data[:, HEIGHT * WIDTH:].astype(np.int64))
    return x, y


def exact_share(model, x, y):
    model.eval()
    with torch.no_grad():
        right = (model(x).argmax(2) == y).all(1).float().mean().item()
    model.train()
    return 100 * right


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--tool", required=True)
    p.add_argument("--out", required=True)
    p.add_argument("--samples", type=int, default=480000)
    p.add_argument("--batch", type=int, default=64)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--mix", default="family:80,default:8,spread:4,bmp:8")
    p.add_argument("--threads", type=int, default=1)
    p.add_argument("--rate", type=float, default=3e-3)
    a = p.parse_args()

    torch.manual_seed(a.seed)
    torch.set_num_threads(a.threads)
    torch.use_deterministic_algorithms(True)
    model = Reader()
    opt = torch.optim.AdamW(model.parameters(), lr=a.rate, weight_decay=1e-4)
    steps = a.samples // a.batch
    sched = torch.optim.lr_scheduler.OneCycleLR(opt, max_lr=a.rate, total_steps=steps, pct_start=0.1)
    checks = {k: pictures(a.tool, 1000, 700000000 + a.seed, k + ":1") for k in ("family", "default", "spread", "bmp")}
    start, step, chunk = time.time(), 0, 0
    while step < steps:
        x, y = pictures(a.tool, CHUNK, a.seed * 1000 + chunk, a.mix)
        chunk += 1
        order = torch.randperm(len(x))
        for i in range(0, len(x) - a.batch + 1, a.batch):
            if step >= steps:
                break
            idx = order[i:i + a.batch]
            loss = nn.functional.cross_entropy(model(x[idx]).reshape(-1, CLASSES), y[idx].reshape(-1))
            opt.zero_grad()
            loss.backward()
            opt.step()
            sched.step()
            step += 1
            if step % 250 == 0 or step == steps:
                shares = ", ".join(f"{k} {exact_share(model, *v):.1f}" for k, v in checks.items())
                print(f"step {step}/{steps} loss {loss.item():.4f} exact % {shares} ({time.time() - start:.0f} s)",
                      flush=True)
                with open(a.out, "wb") as f:
                    f.write(model.file_form())
    with open(a.out, "wb") as f:
        f.write(model.file_form())
    print(f"model: {a.out}, trained on {step * a.batch} pictures in {time.time() - start:.0f} s")


if __name__ == "__main__":
    sys.exit(main())
