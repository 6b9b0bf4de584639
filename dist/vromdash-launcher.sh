#!/bin/sh
# Starts Vromdash in its asset tree: the game reads Vrom2/ from its working
# directory. The tree and the program are found from this launcher's own
# place (PREFIX/games/vromdash), so an unpacked package works anywhere.
set -e
# A file the player names (--record FILE) is taken from where they started.
VROMDASH_START_DIRECTORY=$(pwd)
export VROMDASH_START_DIRECTORY
games=$(dirname "$(readlink -f "$0")")
prefix=$(dirname "$games")
assets="$prefix/share/games/vromdash"
if ! cd "$assets" 2>/dev/null; then
    echo "vromdash: no asset tree at $assets"
    exit 1
fi
exec "$prefix/lib/games/vromdash/vromdash" "$@"
