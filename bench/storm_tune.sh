#!/usr/bin/env bash
# Writes a PSID tune whose play routine is called about 17,000 times a second
# (CIA timer A latch $0039) and whose state and music never repeat within 30
# minutes: every 256 calls a 24-bit shift register (of period 2^24 - 1) steps
# and its top byte becomes voice 1's frequency (a triangle held, a key drawn
# at random every 15 ms). The worst case for what a song
# keeps per call: bench/memory.sh on it shows whether memory stays flat.
#
# usage: bench/storm_tune.sh OUT.sid
set -euo pipefail
out=$1
{
    printf 'PSID\x00\x02\x00\x7c\x00\x00\x10\x00\x10\x20\x00\x01\x00\x01\x00\x00\x00\x01'
    name='storm'
    printf '%s' "$name"
    head -c $((32 - ${#name})) /dev/zero
    head -c 64 /dev/zero                 # author, released
    printf '\x00\x14\x00\x00\x00\x00'    # flags (PAL, one chip), pages, reserved
    printf '\x00\x10'                    # load address $1000
    # $1000 init: latch $0039, full volume, voice 1 a triangle with its gate
    # on, the register $21-$23 = 1
    printf '\xa9\x39\x8d\x04\xdc\xa9\x00\x8d\x05\xdc'
    printf '\xa9\x0f\x8d\x18\xd4\xa9\xf0\x8d\x06\xd4\xa9\x11\x8d\x04\xd4'
    printf '\xa9\x01\x85\x21\x60'
    head -c 2 /dev/zero # up to $1020
    # $1020 play: inc $20 / bne out / lsr $23 / ror $22 / ror $21 / bcc +6 /
    # lda $23 / eor #$e1 / sta $23 / lda $23 / sta $d401 / out: rts
    printf '\xe6\x20\xd0\x13\x46\x23\x66\x22\x66\x21\x90\x06'
    printf '\xa5\x23\x49\xe1\x85\x23\xa5\x23\x8d\x01\xd4\x60'
} >"$out"
