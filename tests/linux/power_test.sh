#!/usr/bin/env bash
# The battery check of qrwflash flash, on power supplies of the test's own
# device tree: refused before anything is asked or sent when the computer
# runs on a battery below 10%, unless --ignore-power says otherwise.
source "$(dirname "$0")/lib.sh"

flash_programs new "$QRW_TEST_WORK/files"

# supply NAME TYPE STATUS-OR-ONLINE [CAPACITY]: a power supply folder.
supply() {
  local folder="$case_dir/root/sys/class/power_supply/$1"
  mkdir -p "$folder"
  echo "$2" > "$folder/type"
  if [ "$2" = Battery ]; then
    echo "$3" > "$folder/status"
    [ -z "${4:-}" ] || echo "$4" > "$folder/capacity"
  else
    echo "$3" > "$folder/online"
  fi
}

refused="qrwflash: the computer is running on battery (5% left): connect it to mains power, or pass --ignore-power"

# name | supplies (; between them, each "NAME TYPE STATE [CAPACITY]") | extra argument | status
rows=(
  "mains online|AC Mains 1;BAT0 Battery Charging 5||0"
  "battery at 50%|AC Mains 0;BAT0 Battery Discharging 50||0"
  "battery at 5%|AC Mains 0;BAT0 Battery Discharging 5||3"
  "battery at 5% with --ignore-power|AC Mains 0;BAT0 Battery Discharging 5|--ignore-power|0"
  "no power supply at all|||0"
)
for row in "${rows[@]}"; do
  IFS='|' read -r name supplies extra expected <<< "$row"
  one_drive power
  IFS=';' read -r -a list <<< "$supplies"
  for s in "${list[@]}"; do
    # shellcheck disable=SC2086
    supply $s
  done
  args=(flash "$P" --yes)
  [ -z "$extra" ] || args+=("$extra")
  run_qrwflash "${args[@]}"
  expect_eq "$name: exit status" "$expected" "$status"
  if [ "$expected" = 3 ]; then
    expect_eq "$name: the whole output is the signature's line and the refusal" \
      "This flash program is not signed.
$refused" "$(cat "$case_dir/out.txt")"
    expect_eq "$name: nothing sent" "" "$(cat "$case_dir/trace.txt")"
  else
    expect_contains "$name: flashed" "$case_dir/out.txt" "Flash Completed."
    grep -qE '^[A-Z]+ 3B 05 01 00 00 C5 00 00 01 80 ' "$case_dir/trace.txt" &&
      pass "$name: the final flash command was sent" || fail "$name: no final flash command"
  fi
done

finish
