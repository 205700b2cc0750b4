#!/usr/bin/env bash
# --json of qrwflash drives and flash and of qrwpack inspect and verify: one
# document on standard output, valid against data/qrw-json.schema.json (with
# Debian's python3-jsonschema), the lines a person reads on standard error,
# the exit status as without --json, and the fields holding what the run
# did: a failed flash's command and sense bytes included.
# Needs QRWPACK and QRW_SCHEMA besides lib.sh's.
source "$(dirname "$0")/lib.sh"

checker="$(dirname "$0")/json_check.py"
flash_programs new "$QRW_TEST_WORK/program"
files="$QRW_TEST_WORK/bad-files"
flash_programs bad "$files"
P="$QRW_TEST_WORK/program/PROGRAM.EXE"
stderr_file="$QRW_TEST_WORK/stderr.txt"

# json_ok NAME FILE [PATH=VALUE]...: the file is one valid document and
# holds these values.
json_ok() {
  local name=$1 file=$2; shift 2
  if python3 "$checker" "$QRW_SCHEMA" "$file" "$@"; then pass "$name"; else fail "$name"; fi
}

# -- the schema check itself catches a document that strays from it --------
one_drive schema-check
run_qrwflash drives "$P" --json
sed 's/"status": 0/"status": "0"/' "$case_dir/out.txt" > "$case_dir/strayed.json"
python3 "$checker" "$QRW_SCHEMA" "$case_dir/strayed.json" > /dev/null &&
  fail "a status given as a text passes the schema" || pass "a status given as a text fails the schema"
json_ok "the schema check reads a value that differs as a failure" "$case_dir/out.txt" 'status=0'
python3 "$checker" "$QRW_SCHEMA" "$case_dir/out.txt" 'drives.0.revision="1.10"' > /dev/null &&
  fail "a wrong revision passes the check" || pass "a wrong revision fails the check"

# -- qrwflash drives -------------------------------------------------------
nodes=""
new_case drives
printf '[drive QRW]\nletter = E\nnt-address = 1 0 2\n[drive OTHER]\nletter = F\nvendor = ACME\nproduct = CDRW-9000\nrevision = 2.01\n' > "$case_dir/scenario.txt"
add_node sg0 5
add_node sg1 5
run_qrwflash drives "$P" --json
expect_eq "drives: exit status" 0 "$status"
json_ok "drives: the document" "$case_dir/out.txt" 'command="drives"' 'status=0' \
  'signature="This flash program is not signed."' 'problem=null' 'unusable=[]' \
  'drives.0={"device": "/dev/sg0", "address": "0-0-2", "vendor": "QUARVEL", "product": "QRW-20410C", "revision": "1.00", "accepted": true, "whyNot": null}' \
  'drives.1={"device": "/dev/sg1", "address": "0-0-0", "vendor": "ACME", "product": "CDRW-9000", "revision": "2.01", "accepted": false, "whyNot": "not for this flash program"}'
expect_eq "drives: the lines on standard error" \
"This flash program is not signed.
0-0-2 /dev/sg0: QUARVEL QRW-20410C      1.00  (accepted by this flash program)
0-0-0 /dev/sg1: ACME    CDRW-9000       2.01  (not for this flash program)" "$(cat "$stderr_file")"

one_drive drives-none "revision = 1.10"
run_qrwflash drives "$P" --json
expect_eq "drives, none accepted: exit status" 3 "$status"
json_ok "drives, none accepted: the document" "$case_dir/out.txt" 'status=3' 'drives.0.accepted=false'

# -- qrwflash flash --------------------------------------------------------
nodes=""
new_case flash-good
"$QRW_NT_REFERENCE" new "$case_dir" > /dev/null
add_node sg0 5
run_qrwflash flash "$case_dir/PROGRAM.EXE" --yes --json
expect_eq "flash: exit status" 0 "$status"
json_ok "flash: the document" "$case_dir/out.txt" 'command="flash"' 'status=0' \
  'drives.0.outcome="flashed"' 'drives.0.revision="1.00"' 'drives.0.revisionAfter="1.10"' \
  'drives.0.criticalEntered=true' 'drives.0.failure=null' 'drives.0.reason=null'
expect_eq "flash: the drive heard what it hears without --json" "$(cat "$case_dir/reference.txt")" "$(cat "$case_dir/trace.txt")"
expect_contains "flash: the steps on standard error" "$stderr_file" "Flash Completed."

# name | scenario line | path=value checks ('~' apart) | status
flash_rows=(
  "a chunk refused|fail = write-chunk 3 status 02 sense 02 3A 00|drives.0.outcome=\"failed\"~drives.0.criticalEntered=false~drives.0.revisionAfter=\"1.00\"~drives.0.failure={\"operation\": \"3B\", \"cdb\": \"3B 05 01 00 80 00 00 40 00 00\", \"delivered\": true, \"status\": 2, \"senseKey\": 2, \"asc\": 58, \"ascq\": 0, \"systemError\": 0, \"hostStatus\": 0, \"driverStatus\": 8, \"report\": \"Write Buffer> Status: 02, SenseCode: 02 3A 00\"}|1"
  "the final flash command refused|fail = burn 1 status 02 sense 05 2C 80|drives.0.criticalEntered=true~drives.0.revisionAfter=null~drives.0.failure.cdb=\"3B 05 01 00 00 C5 00 00 01 80\"~drives.0.failure.senseKey=5~drives.0.failure.asc=44~drives.0.failure.ascq=128|1"
  "a read-back that differs: no command to name|corrupt = 0x8000|drives.0.outcome=\"failed\"~drives.0.failure=null~drives.0.criticalEntered=true|1"
  "a disc in the tray|medium = loaded|drives.0.outcome=\"failed\"~drives.0.failure=null~drives.0.criticalEntered=false|1"
  "already at the new revision|revision = 1.10|drives=[]|3"
)
for row in "${flash_rows[@]}"; do
  IFS='|' read -r name line checks expected <<< "$row"
  one_drive "flash-row" "$line"
  run_qrwflash flash "$P" --yes --json
  expect_eq "flash, $name: exit status" "$expected" "$status"
  IFS='~' read -r -a each <<< "$checks"
  json_ok "flash, $name: the document" "$case_dir/out.txt" "status=$expected" "${each[@]}"
done

# Several drives: one document for them all.
nodes=""
new_case flash-all
printf '[drive A]\nletter = E\n[drive B]\nletter = F\nfail = critical 1 status 02 sense 04 40 80\n' > "$case_dir/scenario.txt"
add_node sg0 5
add_node sg1 5
run_qrwflash flash "$P" --all --yes --json
expect_eq "flash --all: exit status" 1 "$status"
json_ok "flash --all: the document" "$case_dir/out.txt" 'status=1' \
  'drives.0.device="/dev/sg0"' 'drives.0.outcome="flashed"' \
  'drives.1.device="/dev/sg1"' 'drives.1.outcome="failed"' 'drives.1.failure.cdb="3B 05 01 00 00 00 00 00 00 7F"' \
  'drives.1.failure.senseKey=4' 'drives.1.failure.asc=64' 'drives.1.failure.ascq=128'
expect_contains "flash --all: the table on standard error" "$stderr_file" "Device    Identity"

# A program refused before any drive: the document says why.
one_drive flash-damaged
run_qrwflash flash "$files/DAMAGED.EXE" --yes --json
expect_eq "flash of a damaged program: exit status" 1 "$status"
json_ok "flash of a damaged program: the document" "$case_dir/out.txt" 'status=1' 'drives=[]' 'signature=null' \
  'problem="No drive has been touched. Please get a fresh copy of this flash program."'

# --json asks nothing: without --yes a flash is wrong usage, and nothing is sent.
one_drive flash-no-yes
run_qrwflash flash "$P" --json
expect_eq "flash --json without --yes: exit status" 2 "$status"
expect_eq "flash --json without --yes: the line" \
  "qrwflash: --json asks no questions: give --yes with it to flash (nothing was sent)" "$(cat "$stderr_file")"
expect_eq "flash --json without --yes: no document" "" "$(cat "$case_dir/out.txt")"
expect_eq "flash --json without --yes: nothing sent" "" "$(cat "$case_dir/trace.txt")"
stderr_file=""

# -- qrwpack inspect and verify -------------------------------------------
work="$QRW_TEST_WORK/qrwpack"
mkdir -p "$work"
"$QRWPACK" inspect --json "$P" > "$work/inspect.json" 2> "$work/inspect.err"
expect_eq "inspect: exit status" 0 "$?"
"$QRWPACK" inspect "$P" > "$work/inspect.txt"
expect_eq "inspect: the lines on standard error, as inspect prints them" "$(cat "$work/inspect.txt")" "$(cat "$work/inspect.err")"
crc=$(sed -n 's/^Seal: *intact, CRC-32 //p' "$work/inspect.txt")
json_ok "inspect: the document holds what inspect prints" "$work/inspect.json" 'command="inspect"' 'status=0' \
  "file=\"$P\"" 'program=true' "seal={\"state\": \"intact\", \"stored\": \"$crc\", \"computed\": \"$crc\", \"text\": \"intact, CRC-32 $crc\"}" \
  'model="QRW-20410C"' 'inquiry="QUARVEL QRW-20410C"' 'fwRange="1.00-1.09"' 'template=false' \
  'image.format="new"' 'image.length=327680' 'image.flashProfile=true' \
  "keyWordAt=$((16#$(sed -n 's/^Key-word at: *0x//p' "$work/inspect.txt")))" \
  "sealAt=$((16#$(sed -n 's/^Seal at: *0x//p' "$work/inspect.txt")))" \
  'certificate={"state": "none", "size": null, "at": null, "text": "none"}' \
  'signature={"text": "none", "matches": true}'
expect_eq "inspect: the profiles as inspect prints them" \
  "$(sed -n 's/^Profile \([0-9]\): *maker \(..\), device \(..\), \([0-9]*\) bytes at block offset \([0-9]*\)$/\2 \3 \4 \5/p' "$work/inspect.txt")" \
  "$(python3 -c 'import json,sys; [print(p["maker"], p["device"], p["length"], p["blockOffset"]) for p in json.load(open(sys.argv[1]))["profiles"]]' "$work/inspect.json")"

# name | file | status | checks ('~' apart)
inspect_rows=(
  "the template|TEMPLATE.EXE|0|template=true~image.format=\"none\"~image.length=null~seal.state=\"empty\"~seal.stored=null"
  "a damaged program|DAMAGED.EXE|1|seal.state=\"broken\"~program=true"
  "a foreign file|FOREIGN.EXE|1|program=false~problem=\"$files/FOREIGN.EXE: the key-word occurs 0 times; a program holds it exactly once\""
)
for row in "${inspect_rows[@]}"; do
  IFS='|' read -r name file expected checks <<< "$row"
  "$QRWPACK" inspect --json "$files/$file" > "$work/row.json" 2> /dev/null
  expect_eq "inspect, $name: exit status" "$expected" "$?"
  IFS='~' read -r -a each <<< "$checks"
  json_ok "inspect, $name: the document" "$work/row.json" "status=$expected" "${each[@]}"
done

"$QRWPACK" verify --json "$P" "$files/DAMAGED.EXE" "$files/FOREIGN.EXE" > "$work/verify.json" 2> "$work/verify.err"
expect_eq "verify: exit status" 1 "$?"
json_ok "verify: the document, one entry a file" "$work/verify.json" 'command="verify"' 'status=1' \
  "files.0.file=\"$P\"" 'files.0.seal.state="intact"' 'files.1.seal.state="broken"' \
  'files.2.program=false' 'files.2.problem="'"$files"'/FOREIGN.EXE: the key-word occurs 0 times; a program holds it exactly once"'
expect_eq "verify: the lines on standard error" 3 "$(wc -l < "$work/verify.err")"
finish
