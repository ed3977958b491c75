# Writes registry.reg: every registry string the program reads into a fixed buffer, as
# 259 characters with their terminator (260 bytes).
set -euo pipefail
python3 "$(dirname "${BASH_SOURCE[0]}")/../registry_strings.py" "$1/registry.reg" 259 yes
