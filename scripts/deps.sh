#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the data build need.
# Idempotent: asks dpkg first and touches apt only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  clang libclang-rt-14-dev                      # fuzz preset (libFuzzer)
  libsdl2-dev                                   # window, input, audio device
  libpugixml-dev                                # XML document model
  zlib1g-dev libminizip-dev                     # archives
  libpng-dev libjpeg62-turbo-dev                # images
  libopenmpt-dev libvorbis-dev                  # module music, ogg
  libfreetype-dev fonts-dejavu-core             # font tool
  librsvg2-bin                                  # data build: SVG art to PNG
  libgtest-dev libgmock-dev libbenchmark-dev    # tests and benchmarks
  libpixman-1-dev                               # benchmark peer
  xvfb xauth                                    # window tests on a headless machine
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "deps: installing ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
  --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "deps: installing failed" >&2
  exit 1
fi
echo "deps: done"
