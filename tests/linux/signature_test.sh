#!/usr/bin/env bash
# qrwflash and the program's signature, with no key trusted and with keys
# trusted: every row with its exit status, its exact first and last lines,
# and the virtual drive's trace (the whole NT trace where it flashes, empty
# wherever it refuses). The programs are signed by the real qrwpack.
# Needs QRWPACK besides lib.sh's.
source "$(dirname "$0")/lib.sh"

base="$QRW_TEST_WORK/programs"
rm -rf "$base" && mkdir -p "$base/keys"
"$QRW_NT_REFERENCE" new "$base" || fail "the reference flash did not work"
keys="$base/keys"
"$QRWPACK" keygen --out "$keys/maker" --comment "Quarvel-IT release" > /dev/null || fail "keygen maker"
"$QRWPACK" keygen --out "$keys/other" --comment "Someone else" > /dev/null || fail "keygen other"
id=$(cut -d' ' -f2 "$keys/maker.pub")
other_id=$(cut -d' ' -f2 "$keys/other.pub")

# flip FILE OFFSET: as qrwpack's tests change a byte.
source "$(dirname "$0")/../../tools/qrwpack/cli_lib.sh"

# Where nt_reference lays the program out: 4096 bytes before the region, K
# 782 bytes into it, the seal record 512 bytes after it, the signature
# record 64 bytes after the seal's.
k=$((4096 + 782))
seal=$((4096 + 328602 + 512))
signature=$((seal + 16 + 64))
[ "$(dd if="$base/PROGRAM.EXE" bs=1 skip="$signature" count=8 status=none)" = QRWSIGN1 ] &&
  pass "the signature record lies where the table flips it" || fail "no signature record at $signature"

cp "$base/PROGRAM.EXE" "$base/UNSIGNED.EXE"
cp "$base/PROGRAM.EXE" "$base/SIGNED.EXE"
cp "$base/PROGRAM.EXE" "$base/OTHER.EXE"
"$QRWPACK" sign --key "$keys/maker.key" "$base/SIGNED.EXE" > /dev/null || fail "sign SIGNED.EXE"
"$QRWPACK" sign --key "$keys/other.key" "$base/OTHER.EXE" > /dev/null || fail "sign OTHER.EXE"
for part in image:$((k + 148 + 0x20000)) text:$((k + 15 + 2)) seal:$((seal + 8)) \
            signature:$((signature + 48)) keyid:$((signature + 8)); do
  cp "$base/SIGNED.EXE" "$base/FLIPPED-${part%%:*}.EXE"
  flip "$base/FLIPPED-${part%%:*}.EXE" "${part#*:}"
done
flipped_id=$(printf '%02X' $((0x${id:0:2} ^ 1)))${id:2}

changed() { echo "qrwflash: $base/$1 was changed after it was signed (key $2): get a fresh copy"; }
power="The drive takes the new firmware after its power is cycled: switch the drive (or the computer it is in) off and on again. The computer is not restarted."
refused="qrwflash: not signed by a trusted key: pass --allow-untrusted to flash it anyway"
declined="qrwflash: declined: the drive was not flashed and keeps its firmware"
not_trusted="Signed by key $id, which this system does not trust."
unsigned="This flash program is not signed."
trusted="Signed by Quarvel-IT release (key $id)."

# trust | program | arguments | input | status | first line | last line | trace
# trust: none (no /etc/qrwflash), empty (the folder, no key), maker, other,
# two (other.pub, then maker.pub), writable (maker.pub that others may
# write), file (trusted.d is a file). KEYS stands for the keys' folder.
rows=(
  "none|SIGNED.EXE|flash --yes||0|$not_trusted|$power|full"
  "none|UNSIGNED.EXE|flash --yes||0|$unsigned|$power|full"
  "empty|UNSIGNED.EXE|flash --yes||0|$unsigned|$power|full"
  "none|FLIPPED-image.EXE|flash --yes||1|$(changed FLIPPED-image.EXE "$id")|$(changed FLIPPED-image.EXE "$id")|empty"
  "none|FLIPPED-text.EXE|flash --yes||1|$(changed FLIPPED-text.EXE "$id")|$(changed FLIPPED-text.EXE "$id")|empty"
  "none|FLIPPED-seal.EXE|flash --yes||1|$(changed FLIPPED-seal.EXE "$id")|$(changed FLIPPED-seal.EXE "$id")|empty"
  "none|FLIPPED-signature.EXE|flash --yes||1|$(changed FLIPPED-signature.EXE "$id")|$(changed FLIPPED-signature.EXE "$id")|empty"
  "none|FLIPPED-keyid.EXE|flash --yes||1|$(changed FLIPPED-keyid.EXE "$flipped_id")|$(changed FLIPPED-keyid.EXE "$flipped_id")|empty"
  "maker|SIGNED.EXE|flash --yes||0|$trusted|$power|full"
  "maker|OTHER.EXE|flash --yes||3|Signed by key $other_id, which this system does not trust.|$refused|empty"
  "maker|UNSIGNED.EXE|flash --yes||3|$unsigned|$refused|empty"
  "maker|UNSIGNED.EXE|flash --yes --allow-untrusted||0|$unsigned|$power|full"
  "maker|UNSIGNED.EXE|flash|n|3|$unsigned|$declined|empty"
  "maker|UNSIGNED.EXE|flash|y;y;y|0|$unsigned|$power|full"
  "maker|FLIPPED-image.EXE|flash --yes --allow-untrusted||1|$(changed FLIPPED-image.EXE "$id")|$(changed FLIPPED-image.EXE "$id")|empty"
  "maker|FLIPPED-signature.EXE|flash --yes||1|$(changed FLIPPED-signature.EXE "$id")|$(changed FLIPPED-signature.EXE "$id")|empty"
  "two|SIGNED.EXE|flash --yes||0|$trusted|$power|full"
  "writable|SIGNED.EXE|flash --yes||3|qrwflash: not trusting ROOT/etc/qrwflash/trusted.d/maker.pub: users other than root and its owner may write it|$refused|empty"
  "none|SIGNED.EXE|flash --yes --trust KEYS/maker.pub||0|$trusted|$power|full"
  "none|SIGNED.EXE|flash --yes --trust KEYS/other.pub --trust KEYS/maker.pub||0|$trusted|$power|full"
  "none|SIGNED.EXE|flash --yes --trust KEYS/other.pub||3|$not_trusted|$refused|empty"
  "none|SIGNED.EXE|flash --yes --trust KEYS/maker.key||3|qrwflash: not trusting KEYS/maker.key: it is a secret key, not a public key|$refused|empty"
  "file|SIGNED.EXE|flash --yes||0|qrwflash: not trusting ROOT/etc/qrwflash/trusted.d: it is not a folder|$power|full"
  "maker|SIGNED.EXE|drives||0|$trusted|0-0-0 /dev/sg0: QUARVEL QRW-20410C      1.00  (accepted by this flash program)|-"
  "maker|UNSIGNED.EXE|drives||0|$unsigned|0-0-0 /dev/sg0: QUARVEL QRW-20410C      1.00  (accepted by this flash program)|-"
  "none|FLIPPED-text.EXE|drives||1|$(changed FLIPPED-text.EXE "$id")|$(changed FLIPPED-text.EXE "$id")|empty"
)
for row in "${rows[@]}"; do
  IFS='|' read -r trust program args input expected first last trace <<< "$row"
  name="$trust, $program, $args${input:+, answers $input}"
  nodes=""
  new_case signature
  cp "$base/scenario.txt" "$case_dir/"
  add_node sg0 5
  folder="$case_dir/root/etc/qrwflash/trusted.d"
  case "$trust" in
    none) ;;
    empty) mkdir -p "$folder" ;;
    maker|writable) mkdir -p "$folder" && cp "$keys/maker.pub" "$folder/" ;;
    other) mkdir -p "$folder" && cp "$keys/other.pub" "$folder/" ;;
    two) mkdir -p "$folder" && cp "$keys/other.pub" "$folder/a-other.pub" && cp "$keys/maker.pub" "$folder/b-maker.pub" ;;
    file) mkdir -p "$(dirname "$folder")" && echo "not a folder" > "$folder" ;;
  esac
  [ "$trust" = writable ] && chmod 666 "$folder/maker.pub"
  stdin=""
  if [ -n "$input" ]; then stdin="$case_dir/input.txt"; tr ';' '\n' <<< "$input" > "$stdin"; fi
  read -r -a words <<< "${args//KEYS/$keys}"
  run_qrwflash "${words[0]}" "$base/$program" "${words[@]:1}"
  first=${first//ROOT/$case_dir/root}; first=${first//KEYS/$keys}
  expect_eq "$name: exit status" "$expected" "$status"
  expect_eq "$name: first line" "$first" "$(head -n1 "$case_dir/out.txt")"
  expect_eq "$name: last line" "$last" "$(tail -n1 "$case_dir/out.txt")"
  case "$trace" in
    full) expect_eq "$name: the whole NT trace" "$(cat "$base/reference.txt")" "$(cat "$case_dir/trace.txt")" ;;
    empty) expect_eq "$name: nothing reached the drive" "" "$(cat "$case_dir/trace.txt")" ;;
  esac
done
stdin=""

# Bad input: a --trust key file that cannot be read as one, a signature
# record doubled, cut short or missing, a trusted folder missing. One clear
# line each, and nothing trusted by accident: with --yes, a program signed by
# the maker's key is refused wherever its key file is broken.
bad="$base/bad"
mkdir -p "$bad"
: > "$bad/empty.pub"
head -c 30 "$keys/maker.pub" > "$bad/short.pub"
{ cat "$keys/maker.pub"; echo "rubbish"; } > "$bad/rubbish.pub"
printf '\x7fELF\x02\x01\x01' > "$bad/binary.pub"
echo "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIB user@host" > "$bad/ssh.pub"
{ cat "$base/SIGNED.EXE"; tail -c +$((signature + 1)) "$base/SIGNED.EXE" | head -c 112; } > "$bad/DOUBLED.EXE"
head -c $((signature + 100)) "$base/SIGNED.EXE" > "$bad/CUT.EXE"
cp "$base/PROGRAM.EXE" "$bad/NORECORD.EXE"
printf 'XXXXXXXX' | dd of="$bad/NORECORD.EXE" bs=1 seek="$signature" conv=notrunc status=none
# name | arguments | status | first line | last line
bad_rows=(
  "empty key file|flash SIGNED --yes --trust BAD/empty.pub|3|qrwflash: not trusting BAD/empty.pub: it is empty|$refused"
  "key file cut short|flash SIGNED --yes --trust BAD/short.pub|3|qrwflash: not trusting BAD/short.pub: it is cut short|$refused"
  "trailing rubbish|flash SIGNED --yes --trust BAD/rubbish.pub|3|qrwflash: not trusting BAD/rubbish.pub: it has something after its one line|$refused"
  "not text|flash SIGNED --yes --trust BAD/binary.pub|3|qrwflash: not trusting BAD/binary.pub: it is not text|$refused"
  "another kind|flash SIGNED --yes --trust BAD/ssh.pub|3|qrwflash: not trusting BAD/ssh.pub: it is not a qrwflash key file|$refused"
  "no such key file|flash SIGNED --yes --trust BAD/none.pub|3|qrwflash: not trusting BAD/none.pub: cannot find it|$refused"
  "record doubled|flash BAD/DOUBLED --yes|1|qrwflash: not a flash program: BAD/DOUBLED.EXE: the signature record occurs 2 times; a program holds it exactly once|qrwflash: not a flash program: BAD/DOUBLED.EXE: the signature record occurs 2 times; a program holds it exactly once"
  "record cut short|flash BAD/CUT --yes|1|qrwflash: not a flash program: BAD/CUT.EXE: the signature record is cut short|qrwflash: not a flash program: BAD/CUT.EXE: the signature record is cut short"
  "record missing|flash BAD/NORECORD --yes|0|This flash program is not signed (it has no signature record).|$power"
  "record missing, a key trusted|flash BAD/NORECORD --yes --trust KEYS/maker.pub|3|This flash program is not signed (it has no signature record).|$refused"
)
for row in "${bad_rows[@]}"; do
  IFS='|' read -r name args expected first last <<< "$row"
  nodes=""
  new_case signature-bad
  cp "$base/scenario.txt" "$case_dir/" && add_node sg0 5
  args=${args//SIGNED/$base/SIGNED.EXE}; args=${args//BAD\/DOUBLED/$bad/DOUBLED.EXE}
  args=${args//BAD\/CUT/$bad/CUT.EXE}; args=${args//BAD\/NORECORD/$bad/NORECORD.EXE}
  read -r -a words <<< "${args//BAD/$bad}"
  words=("${words[@]//KEYS/$keys}")
  run_qrwflash "${words[@]}"
  expect_eq "bad input, $name: exit status" "$expected" "$status"
  expect_eq "bad input, $name: first line" "${first//BAD/$bad}" "$(head -n1 "$case_dir/out.txt")"
  expect_eq "bad input, $name: last line" "${last//BAD/$bad}" "$(tail -n1 "$case_dir/out.txt")"
done
# A trusted folder missing where /etc/qrwflash is: named, and nothing enforced.
nodes=""
new_case signature-no-folder
cp "$base/scenario.txt" "$case_dir/" && add_node sg0 5
mkdir -p "$case_dir/root/etc/qrwflash"
run_qrwflash flash "$base/UNSIGNED.EXE" --yes
expect_eq "trusted folder missing: exit status" 0 "$status"
expect_eq "trusted folder missing: its line, then the signature's" \
  "qrwflash: not trusting $case_dir/root/etc/qrwflash/trusted.d: it does not exist
$unsigned" "$(head -n2 "$case_dir/out.txt")"

# The question comes before the warning; No ends the run there.
nodes=""
new_case signature-order
cp "$base/scenario.txt" "$case_dir/" && add_node sg0 5
mkdir -p "$case_dir/root/etc/qrwflash/trusted.d" && cp "$keys/other.pub" "$case_dir/root/etc/qrwflash/trusted.d/"
stdin="$case_dir/input.txt"; printf 'n\n' > "$stdin"
run_qrwflash flash "$base/UNSIGNED.EXE"
expect_eq "question: the lines before the answer" "$unsigned
Flash it anyway?
[y/N] n
$declined" "$(cat "$case_dir/out.txt")"
stdin=""
finish
