# Writes the files the event sources name: random bytes, text and an empty image.
set -eu
bin="$1/drive_c/Program Files/Quillmont/Ravelin/Bin"
mkdir -p "$bin"
python3 -c 'import random, sys; r = random.Random(7); sys.stdout.buffer.write(bytes(r.randrange(256) for _ in range(8192)))' \
    >"$bin/Garbage.dll"
printf 'Release notes\r\n%%1 %%2 %%99!*.*s!\r\n' >"$bin/Notes.txt"
: >"$bin/Empty.dll"
