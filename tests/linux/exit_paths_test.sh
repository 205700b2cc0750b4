#!/usr/bin/env bash
# Every way qrwflash and qrwpack end with a status other than 0, each with
# the line that tells the person at the terminal what happened: a run that
# ends without saying why fails here. The one path not in the table, Ctrl-C
# before the critical entry (status 3, "Interrupted: stopped after the
# current command, ..."), needs a terminal: terminal_test.sh walks it.
# Needs QRWPACK, QRW_FIRMWARE_DIR and QRW_MODELS besides lib.sh's.
source "$(dirname "$0")/lib.sh"

# The rows' arguments are shell words, each path in them quoted (q), and the
# test's own folders hold a blank and a comma: a path is one argument and
# comes back whole in the reason.
q() { printf '%q' "$1"; }
files="$QRW_TEST_WORK/bad files, one folder"
rm -rf "$files" && mkdir -p "$files"
"$QRW_NT_REFERENCE" bad "$files" > /dev/null || fail "the bad files were not made"
P="$files/PROGRAM.EXE"
# A template down a path long enough that a fixed buffer would cut the line.
deep="$files/$(printf 'd%.0s' {1..200})/$(printf 'e%.0s' {1..200})"
mkdir -p "$deep" && cp "$files/TEMPLATE.EXE" "$deep/"

# -- qrwflash: the last line of its output is the reason --------------------
# name | scenario lines (; between them) | input | arguments | status | last line
# The drive lines: "-" for no node at all, "QRW" for one QRW-20410C at 1.00
# on /dev/sg0, "TWO" for two of them on /dev/sg0 and /dev/sg1.
flash_rows=(
  "no command|QRW||drives|2|Run with --help for more information."
  "unknown option|QRW||flash $(q "$P") --force|2|Run with --help for more information."
  "no such file|QRW||flash $(q "$files/MISSING.EXE") --yes|1|qrwflash: cannot read $files/MISSING.EXE"
  "foreign file|QRW||flash $(q "$files/FOREIGN.EXE") --yes|1|qrwflash: not a flash program: $files/FOREIGN.EXE: the key-word occurs 0 times; a program holds it exactly once"
  "template|QRW||drives $(q "$files/TEMPLATE.EXE")|1|qrwflash: $files/TEMPLATE.EXE is the template (QRWFLASH.EXE, the builder): it carries no firmware image. Give a flash program made from it."
  "template down a long path|QRW||drives $(q "$deep/TEMPLATE.EXE")|1|qrwflash: $deep/TEMPLATE.EXE is the template (QRWFLASH.EXE, the builder): it carries no firmware image. Give a flash program made from it."
  "damaged seal|QRW||flash $(q "$files/DAMAGED.EXE") --yes|1|No drive has been touched. Please get a fresh copy of this flash program."
  "drives: a node that is no CD-ROM|QRW;type 0||drives $(q "$P") --device DEV/sg0|1|qrwflash: DEV/sg0: not a CD-ROM device (SCSI device type 0)"
  "drives: no drive accepted|QRW;revision = 1.10||drives $(q "$P")|3|qrwflash: no drive is accepted by this flash program"
  "warning declined|QRW|n|flash $(q "$P")|3|qrwflash: declined: the drive was not flashed and keeps its firmware"
  "warning unanswered (end of input)|QRW||flash $(q "$P")|3|qrwflash: declined: the drive was not flashed and keeps its firmware"
  "confirmation declined|QRW|y;n|flash $(q "$P")|3|qrwflash: declined: the drive was not flashed and keeps its firmware"
  "flash: a node that cannot be opened|-||flash $(q "$P") --device DEV/sg9 --yes|1|qrwflash: DEV/sg9: cannot open: No such file or directory"
  "flash: no matching drive|QRW;revision = 1.10||flash $(q "$P") --yes|3|qrwflash: no drive matches this flash program: nothing was flashed"
  "flash: several drives with --yes|TWO||flash $(q "$P") --yes|2|qrwflash: several drives match; name the one to flash with --device"
  "flash: several drives, none chosen|TWO|y|flash $(q "$P")|3|qrwflash: no drive chosen: nothing was flashed"
  "flash: several drives, a wrong choice|TWO|y;7|flash $(q "$P")|3|qrwflash: no drive chosen: nothing was flashed"
  "disc in the tray|QRW;medium = loaded||flash $(q "$P") --yes|1|qrwflash: the flash stopped before the drive's critical entry: nothing was burnt and the drive keeps its firmware. Mend what the lines above report (a disc in the tray, a drive that does not settle, a command it refused) and run the flash again."
  "drive still settling past its polls|QRW;medium = becoming-ready 200 none||flash $(q "$P") --yes|1|qrwflash: the flash stopped before the drive's critical entry: nothing was burnt and the drive keeps its firmware. Mend what the lines above report (a disc in the tray, a drive that does not settle, a command it refused) and run the flash again."
  "chunk refused|QRW;fail = write-chunk 3 status 02 sense 02 3A 00||flash $(q "$P") --yes|1|qrwflash: the flash stopped at \"Write BIN to drive's DRAM... , Fail!\", before the drive's critical entry: nothing was burnt and the drive keeps its firmware. Mend what the lines above report (a disc in the tray, a drive that does not settle, a command it refused) and run the flash again."
  "read-back differs|QRW;corrupt = 0x8000||flash $(q "$P") --yes|1|qrwflash: the flash stopped at \"Read back & verify DRAM from drive... Verify Fail!\", after the drive's critical entry: the drive may not start with what its flash holds. Keep its power on and run the flash again."
  "final flash command refused|QRW;fail = burn 1 status 02 sense 05 2C 80||flash $(q "$P") --yes|1|qrwflash: the flash stopped at \"Flash Fail.\", after the drive's critical entry: the drive may not start with what its flash holds. Keep its power on and run the flash again."
)
for row in "${flash_rows[@]}"; do
  IFS='|' read -r name drive input args expected reason <<< "$row"
  nodes=""
  new_case "exit path, one case"
  stdin=""
  if [ -n "$input" ]; then stdin="$case_dir/input.txt"; tr ';' '\n' <<< "$input" > "$stdin"; fi
  IFS=';' read -r -a lines <<< "$drive"
  case "${lines[0]}" in
    QRW) { echo "[drive QRW]"; echo "letter = E"; } > "$case_dir/scenario.txt" ;;
    TWO) printf '[drive FIRST]\nletter = E\n[drive SECOND]\nletter = F\n' > "$case_dir/scenario.txt" ;;
    -) : > "$case_dir/scenario.txt" ;;
  esac
  type=5
  for line in "${lines[@]:1}"; do
    if [[ $line == type\ * ]]; then type=${line#type }; else echo "$line" >> "$case_dir/scenario.txt"; fi
  done
  [ "${lines[0]}" = "-" ] || add_node sg0 "$type"
  [ "${lines[0]}" = "TWO" ] && add_node sg1 5
  eval "words=(${args//DEV/$(q "$case_dir/root/dev")})"
  run_qrwflash "${words[@]}"
  reason=${reason//DEV/$case_dir/root/dev}
  expect_eq "qrwflash, $name: exit status" "$expected" "$status"
  expect_eq "qrwflash, $name: the last line says why" "$reason" "$(tail -n1 "$case_dir/out.txt")"
done
stdin=""

# -- qrwpack: the first line on the error stream is the reason --------------
# (a usage error follows it with the usage). name | arguments | status | line
work="$QRW_TEST_WORK/qrwpack, its work"
rm -rf "$work" && mkdir -p "$work/out"
head -c 1001 "$QRW_FIRMWARE_DIR/1.10.BIN" > "$work/odd.BIN"
printf '[MODEL00]\r\nModel=X\r\n' > "$work/bad.INI"
build="build --template $(q "$QRW_FIRMWARE_DIR/QRWFLASH.sealed") --models $(q "$QRW_MODELS") --image $(q "$QRW_FIRMWARE_DIR/1.10.BIN")"
pack_rows=(
  "no command||2|qrwpack: no command"
  "unknown command|pack|2|qrwpack: unknown command pack"
  "unknown option|inspect --all $(q "$P")|2|qrwpack: unknown option --all"
  "an option without its value|$build --model|2|qrwpack: --model needs a value"
  "a required option missing|$build|2|qrwpack: --model is missing"
  "inspect of two files|inspect $(q "$P") $(q "$P")|2|qrwpack: inspect takes one file"
  "verify of no file|verify|2|qrwpack: verify takes one or more files"
  "models file missing|build --template $(q "$QRW_FIRMWARE_DIR/QRWFLASH.sealed") --models $(q "$work/none.INI") --model 0 --image $(q "$QRW_FIRMWARE_DIR/1.10.BIN") --out-dir $(q "$work/out")|1|qrwpack: Can't load $work/none.INI"
  "models file damaged|build --template $(q "$QRW_FIRMWARE_DIR/QRWFLASH.sealed") --models $(q "$work/bad.INI") --model 0 --image $(q "$QRW_FIRMWARE_DIR/1.10.BIN") --out-dir $(q "$work/out")|1|qrwpack: $work/bad.INI > Session MODEL00 error!"
  "no such model|$build --model 7 --out-dir $(q "$work/out")|1|qrwpack: no model 7 in $QRW_MODELS; it holds:"
  "image of a wrong length|build --template $(q "$QRW_FIRMWARE_DIR/QRWFLASH.sealed") --models $(q "$QRW_MODELS") --model 0 --image $(q "$work/odd.BIN") --out-dir $(q "$work/out")|1|qrwpack: Building fail: odd.BIN holds 1001 bytes; a firmware image holds 262144 or 327680 bytes"
  "template without a seal|build --template $(q "$QRW_FIRMWARE_DIR/QRWFLASH.region") --models $(q "$QRW_MODELS") --model 0 --image $(q "$QRW_FIRMWARE_DIR/1.10.BIN") --out-dir $(q "$work/out")|1|qrwpack: Building fail: not found seal in QRWFLASH.region"
  "inspect of a foreign file|inspect $(q "$files/FOREIGN.EXE")|1|qrwpack: $files/FOREIGN.EXE: the key-word occurs 0 times; a program holds it exactly once"
  "inspect of a damaged program|inspect $(q "$files/DAMAGED.EXE")|1|qrwpack: $files/DAMAGED.EXE: the seal is broken; this program is damaged"
)
for row in "${pack_rows[@]}"; do
  IFS='|' read -r name args expected reason <<< "$row"
  eval "words=($args)"
  "$QRWPACK" "${words[@]}" > "$work/stdout" 2> "$work/stderr"
  status=$?
  expect_eq "qrwpack, $name: exit status" "$expected" "$status"
  expect_eq "qrwpack, $name: the first error line says why" "$reason" "$(head -n1 "$work/stderr")"
done

# verify says it per file, on its report's own lines.
"$QRWPACK" verify "$P" "$files/DAMAGED.EXE" "$files/FOREIGN.EXE" > "$work/stdout" 2> "$work/stderr"
expect_eq "qrwpack, verify of a damaged and a foreign file: exit status" 1 "$?"
expect_eq "qrwpack, verify: one line per file, each saying what is wrong" \
"$P: seal intact, CRC-32 $(sed -n 's/.*intact, CRC-32 //p' "$work/stdout")
$files/DAMAGED.EXE: seal broken: sealed $(sed -n 's/.*DAMAGED.EXE: seal broken: sealed //p' "$work/stdout")
$files/FOREIGN.EXE: the key-word occurs 0 times; a program holds it exactly once" "$(cat "$work/stdout")"
finish
