#!/usr/bin/env bash
# The product at work: builds both DLLs and runs them in a real print spooler
# session under Wine (install, list, add a port through the folder browser,
# print, delete, uninstall), with a screenshot of each dialog in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh native windows bundle wine
if [[ -f scripts/wine/demo.sh ]]; then
    exec bash scripts/wine/demo.sh
fi
# Without the Wine session: the DLLs' exports, and a native session.
for arch in x86 x64; do
    cmake --preset "windows-$arch" >/dev/null
    cmake --build --preset "windows-$arch" -j"$(nproc)"
    bash scripts/check-dll.sh "build/windows-$arch/norvmon.dll"
done
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)" --target norvmon-session
./build/native/norvmon-session
