#!/usr/bin/env bash
# Installs what building and testing kestrin needs on a Debian or Ubuntu machine.
set -euo pipefail
command -v apt-get >/dev/null 2>&1 || { echo "setup.sh: apt-get not found; install the packages listed here by hand" >&2; exit 1; }
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends \
  cmake ninja-build g++ clang pkg-config file libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev \
  qpdf poppler-utils mupdf-tools fonts-urw-base35 python3 python3-pytest python3-distributed python3-fsspec \
  python3-pip python3-setuptools python3-wheel >/dev/null
