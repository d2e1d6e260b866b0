#!/bin/bash
# ID3v1 interoperability: tags written by `bramble tag` must read back
# identically with Debian's id3tool and id3v2, and theirs with `bramble tag`.
# Usage: tags_interop.sh BRAMBLE WORKDIR
set -u
BRAMBLE=${1:-}
WORK=${2:-$(mktemp -d)}
mkdir -p "$WORK"

skip() { echo "SKIPPED: $*"; exit 0; }
[ -n "$BRAMBLE" ] && [ -x "$BRAMBLE" ] || skip "no bramble executable"
command -v id3tool >/dev/null || skip "id3tool not installed"
command -v id3v2 >/dev/null || skip "id3v2 not installed"

FAILS=0
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }
expect() {  # expect WHAT GOT WANT
  [ "$2" == "$3" ] || fail "$1: got [$2], want [$3]"
}

# 4000 bytes that do not end in a tag.
fresh() { head -c 4000 /dev/zero | tr '\0' 'x' > "$1"; }
size() { wc -c < "$1" | tr -d ' '; }
rtrim() { sed 's/[ ]*$//'; }

# bramble's view of one field ("title", "artist", ...).
bfield() { "$BRAMBLE" tag "$1" | sed -n "s/^$2: //p"; }
# id3tool's view: its labels, padding spaces removed.
tfield() { id3tool "$1" | sed -n "s/^$2:\t*//p" | rtrim; }
tgenre() { id3tool "$1" | sed -n 's/^Genre:.*(0x\([0-9A-Fa-f]*\)).*/\1/p'; }
# id3v2's view: fixed columns of its listing.
v2title() { id3v2 -l "$1" | sed -n 's/^Title  : //p' | cut -c1-30 | rtrim; }
v2artist() { id3v2 -l "$1" | sed -n 's/^Title  : .\{30\}  Artist: //p' | rtrim; }
v2album() { id3v2 -l "$1" | sed -n 's/^Album  : //p' | cut -c1-30 | rtrim; }
v2year() { id3v2 -l "$1" | sed -n 's/.*Year: \(.*\), Genre.*/\1/p' | rtrim; }
v2genre() { id3v2 -l "$1" | sed -n 's/.*Genre: .*(\([0-9]*\))$/\1/p'; }
v2comment() { id3v2 -l "$1" | sed -n 's/^Comment: //p' | sed 's/ *Track: .*//' | rtrim; }

F="$WORK/interop.mp3"
fresh "$F"
ORIG="$WORK/orig.mp3"
cp "$F" "$ORIG"
out=$("$BRAMBLE" tag "$F" 2>&1)
[ "$out" == "no tag" ] || skip "bramble has no tag command yet ($out)"

T30="ABCDEFGHIJKLMNOPQRSTUVWXYZabcd"
A30="The Thirty Character Artist Nm"
L30="Album With Exactly 30 Chars ok"
C30="Comment holding thirty chars.."

# --- bramble writes, the others read ---
"$BRAMBLE" tag "$F" --title "$T30" --artist "$A30" --album "$L30" --year 1994 --comment "$C30" --genre 17 \
  || fail "bramble tag write"
expect "size after first write" "$(size "$F")" $(( $(size "$ORIG") + 128 ))
expect "id3tool title" "$(tfield "$F" 'Song Title')" "$T30"
expect "id3tool artist" "$(tfield "$F" Artist)" "$A30"
expect "id3tool album" "$(tfield "$F" Album)" "$L30"
expect "id3tool year" "$(tfield "$F" Year)" "1994"
expect "id3tool comment" "$(tfield "$F" Note)" "$C30"
expect "id3tool genre" "$(tgenre "$F")" "11"
expect "id3v2 title" "$(v2title "$F")" "$T30"
expect "id3v2 artist" "$(v2artist "$F")" "$A30"
expect "id3v2 album" "$(v2album "$F")" "$L30"
expect "id3v2 year" "$(v2year "$F")" "1994"
expect "id3v2 comment" "$(v2comment "$F")" "$C30"
expect "id3v2 genre" "$(v2genre "$F")" "17"

# Rewrite in place: only the given fields change, the length stays.
"$BRAMBLE" tag "$F" --title "Short" --genre Folklore || fail "bramble tag rewrite"
expect "size after rewrite" "$(size "$F")" $(( $(size "$ORIG") + 128 ))
expect "id3tool title after rewrite" "$(tfield "$F" 'Song Title')" "Short"
expect "id3tool artist kept" "$(tfield "$F" Artist)" "$A30"
expect "id3v2 genre after rewrite" "$(v2genre "$F")" "114"

for g in 0 79 80 113; do
  "$BRAMBLE" tag "$F" --genre $g || fail "bramble genre $g"
  expect "id3v2 genre $g" "$(v2genre "$F")" "$g"
  expect "id3tool genre $g" "$((16#$(tgenre "$F")))" "$g"
done
"$BRAMBLE" tag "$F" --genre 255
expect "id3v2 no genre" "$(v2genre "$F")" "255"

# Removal restores the original bytes; the others see no tag.
expect "bramble remove" "$("$BRAMBLE" tag "$F" --remove)" "removed"
cmp -s "$F" "$ORIG" || fail "removal did not restore the original bytes"
id3tool "$F" | grep -q "No ID3 Tag" || fail "id3tool still sees a tag after removal"
id3v2 -l "$F" | grep -q "No ID3 tag" || fail "id3v2 still sees a tag after removal"
expect "bramble remove again" "$("$BRAMBLE" tag "$F" --remove)" "no tag"

# --- the others write, bramble reads ---
id3v2 -1 -t "$T30" -a "$A30" -A "$L30" -y 2003 -c "Note by v2" -g 24 "$F" >/dev/null || fail "id3v2 write"
expect "size after id3v2 write" "$(size "$F")" $(( $(size "$ORIG") + 128 ))
expect "bramble title (id3v2)" "$(bfield "$F" title)" "$T30"
expect "bramble artist (id3v2)" "$(bfield "$F" artist)" "$A30"
expect "bramble album (id3v2)" "$(bfield "$F" album)" "$L30"
expect "bramble year (id3v2)" "$(bfield "$F" year)" "2003"
expect "bramble comment (id3v2)" "$(bfield "$F" comment)" "Note by v2"
expect "bramble genre (id3v2)" "$(bfield "$F" genre)" "24 (Soundtrack)"
id3v2 -s "$F" >/dev/null
expect "bramble after id3v2 strip" "$("$BRAMBLE" tag "$F")" "no tag"
cmp -s "$F" "$ORIG" || fail "id3v2 strip did not give the original bytes"

id3tool -t "$T30" -r "$A30" -a "$L30" -y 1971 -n "$C30" -g 114 "$F" || fail "id3tool write"
expect "bramble title (id3tool)" "$(bfield "$F" title)" "$T30"
expect "bramble artist (id3tool)" "$(bfield "$F" artist)" "$A30"
expect "bramble album (id3tool)" "$(bfield "$F" album)" "$L30"
expect "bramble year (id3tool)" "$(bfield "$F" year)" "1971"
expect "bramble comment (id3tool)" "$(bfield "$F" comment)" "$C30"
expect "bramble genre (id3tool)" "$(bfield "$F" genre)" "114 (Folklore)"
# bramble overwrites the other tool's tag in place and removes it.
"$BRAMBLE" tag "$F" --year 1972 || fail "bramble rewrite of id3tool tag"
expect "size after bramble rewrite" "$(size "$F")" $(( $(size "$ORIG") + 128 ))
expect "id3tool year after bramble" "$(tfield "$F" Year)" "1972"
expect "id3tool title after bramble" "$(tfield "$F" 'Song Title')" "$T30"
"$BRAMBLE" tag "$F" --remove >/dev/null
cmp -s "$F" "$ORIG" || fail "removing the id3tool tag did not restore the original bytes"

# Titles from the tag in a stored order (artist, title) and the default.
"$BRAMBLE" tag "$F" --title "Hello" --artist "World" >/dev/null
expect "default title" "$("$BRAMBLE" title "$F")" "interop.mp3"
expect "ordered title" "$("$BRAMBLE" title "$F" --order "0:4014:1,1:4013:1,2:4020:0,3:4015:0,4:4016:0,5:4017:0,6:4018:0")" \
  "World Hello"

if [ "$FAILS" -ne 0 ]; then
  echo "$FAILS interoperability check(s) failed"
  exit 1
fi
echo "tags interoperability: all checks passed"
