# Writes registry.reg: every registry string the program reads into a fixed buffer, as
# 260 characters with their terminator (261 bytes).
set -euo pipefail
python3 "$(dirname "${BASH_SOURCE[0]}")/../registry_strings.py" "$1/registry.reg" 260 yes
