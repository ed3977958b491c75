# Writes registry.reg: every registry string the program reads into a fixed buffer, as
# 65534 characters with their terminator (65535 bytes).
set -euo pipefail
python3 "$(dirname "${BASH_SOURCE[0]}")/../registry_strings.py" "$1/registry.reg" 65534 yes
