#!/usr/bin/env bash
# Installs every Debian package the toolkit needs to build, test, benchmark and run its demo.
# Quick when everything is present: it asks dpkg first and calls apt-get only for what is missing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config make python3
    libgdal-dev gdal-bin
    libhdf4-alt-dev libhdfeos-dev libgctp-dev libdeflate-dev
    libgeotiff-dev geotiff-bin libtiff-dev
    libboost-dev rapidjson-dev libxbase64-dev
    # tilefetch: the archive's catalogue and downloads, and the checksums of downloaded files
    libcurl4-openssl-dev libssl-dev
    libgtest-dev libgmock-dev
    snakemake python3-gdal python3-numpy
    # the quicklook maps of the workflow, and the run page's test in a headless browser
    python3-matplotlib chromium python3-websocket
    # the workflow tests' check of the STAC catalogue against its schemas
    python3-jsonschema
    # libFuzzer targets of the parsers (make fuzz, make test-fuzz)
    clang libclang-rt-14-dev
    # the format check and the lint of make test
    clang-format flake8 shellcheck
    # the single-node Slurm of scripts/slurm-local.sh and the cluster test (accounting included)
    slurm-wlm slurmdbd munge mariadb-server
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if ! command -v apt-get >/dev/null 2>&1; then
    echo "install-deps: apt-get not found; install these Debian packages by hand: ${missing[*]}" >&2
    exit 1
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        sudo="sudo"
    else
        echo "install-deps: not root and sudo is missing; install as root: ${missing[*]}" >&2
        exit 1
    fi
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
