# The part of the end-to-end runs that does not depend on the target: sourced by tests/e2e/run
# (pelta64.dll under 64-bit Wine here) and tests/e2e/run-i686 (pelta.dll under 32-bit Wine in
# an emulated machine). Each sets `root`, `build` (the preset's build folder), `work` and `dll`
# before sourcing; the functions then install what is missing, build, and lay out
#   $work/plugin/         the plug-in folder as a user has it: the DLL, pelta.uir, pelta.ini, logos
#   $work/plugin-no-uir/  the same DLL alone: its load must be refused, naming pelta.uir
#   $work/plugin-hosts/   the plug-in folder again with ParkCursor 1, for the host profiles and
#                         shapes (tools/testhost/published.cpp, shapes.cpp); the seed run saves
#                         its own folder's settings, so the others do not share it
#   $work/run/            eit.ts, change.ts (a programme change) and expect.env (the zone Wine
#                         runs in and what the display must show, for tests/e2e/checks)
# Both runs then hand the folder to tests/e2e/checks, which runs the programs under Wine.

log() { echo "e2e: $*"; }

# The zone Wine runs in (TZ): pelta.ini asks for start times in local time, so the stream's
# 20:15 UTC on 2026-07-01 must show as 22:15.
zone=Europe/Berlin

# Installs the host-side tools; $@ are extra packages the target needs when missing.
e2e_install() {
  local need=("$@")
  command -v convert >/dev/null || need+=(imagemagick)
  command -v "${cross_prefix}-g++-posix" >/dev/null || need+=("g++-mingw-w64-${cross_arch}-posix")
  command -v cmake >/dev/null || need+=(cmake)
  command -v ninja >/dev/null || need+=(ninja-build)
  command -v pkg-config >/dev/null || need+=(pkg-config)
  # The zone Wine and pelta-tool run in for the local-time check.
  [[ -e /usr/share/zoneinfo/$zone ]] || need+=(tzdata)
  # pelta-tool (Linux) makes the stream: it draws with cairo and reads JPEG logos.
  pkg-config --exists cairo fontconfig libjpeg 2>/dev/null || need+=(libcairo2-dev libfontconfig-dev libjpeg-dev)
  if ((${#need[@]})); then
    log "installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
  fi
}

# Builds the DLL, testhost.exe and panels-check.exe with preset $1, and pelta-tool (Linux)
# unless PELTA_TOOL names one.
e2e_build() {
  local preset=$1
  log "building $preset ($dll, testhost.exe, panels-check.exe)"
  cmake --preset "$preset" -B "$build" >/dev/null
  cmake --build "$build" -j2 --target pelta testhost panels-check >/dev/null
  tool=${PELTA_TOOL:-}
  if [[ -z "$tool" ]]; then
    log "building pelta-tool (Linux) for the transport stream"
    cmake --preset dev -B "$work/tool" -DPELTA_BUILD_TESTS=OFF >/dev/null
    cmake --build "$work/tool" -j2 --target pelta-tool >/dev/null
    tool=$work/tool/tools/pelta-tool/pelta-tool
  fi
}

# The plug-in folder, the stream and the expectations. $1 is the display time in seconds as
# pelta.ini writes it ("2.0"); the test host is told the same in milliseconds.
e2e_layout() {
  local seconds=$1
  rm -rf "$work/plugin" "$work/plugin-no-uir" "$work/plugin-hosts" "$work/run"
  mkdir -p "$work/plugin/pelta_icon" "$work/plugin-no-uir" "$work/run"
  cp "$build/$dll" "$root/assets/pelta.uir" "$work/plugin/"
  # The same DLL without its layout file: the load is refused with a message naming the file.
  cp "$build/$dll" "$work/plugin-no-uir/"
  cp "$root/assets/pelta_icon/0.jpg" "$work/plugin/pelta_icon/"
  # The logo of the channel the host names "T\xE9l\xE9" in code page 1252 (Wine keeps Unix file
  # names in UTF-8).
  convert -size 120x90 xc:'#8a1b4f' "$work/plugin/pelta_icon/Télé.jpg" 2>/dev/null ||
    cp "$root/assets/pelta_icon/0.jpg" "$work/plugin/pelta_icon/Télé.jpg"
  channel="Pelta Test"
  # The channel's own logo; the fallback logo stands in when ImageMagick cannot draw text here.
  convert -size 120x90 xc:'#1b4f8a' -fill white -gravity center -pointsize 44 -annotate 0 PT \
    "$work/plugin/pelta_icon/$channel.jpg" 2>/dev/null ||
    cp "$root/assets/pelta_icon/0.jpg" "$work/plugin/pelta_icon/$channel.jpg"

  # pelta.ini, one value per line: the display time (ticks of a fiftieth of it), SizeMode 0
  # (60 px), black background, white text, guide on, level and tuning shown, follow the video
  # window, no cursor parking, start times in local time (the zone above), no debug mode, start
  # key F24 (135), opacity 180, left-aligned text, guide format 1, Arial, programme times (end
  # times on the lines, the progress bar), EPG languages Czech then Chinese (line 18; the host
  # profiles keep a file of the seventeen lines the version before wrote).
  display_ms=$(awk -v s="$seconds" 'BEGIN { printf "%d", s * 1000 }')
  printf '%s\r\n' " $seconds" 0 0 16777215 1 1 1 1 0 local 0 135 180 0 1 Arial 1 cze,zho >"$work/plugin/pelta.ini"
  cp -R "$work/plugin" "$work/plugin-hosts"
  printf '%s\r\n' " $seconds" 0 0 16777215 1 1 1 1 1 local 0 135 180 0 1 Arial 1 >"$work/plugin-hosts/pelta.ini"

  cat >"$work/run/schedule.txt" <<'EOF'
# service 0x0101: the channel the test host tunes
0x0101 present   20:15 short "Evening News" "Headlines and weather" date=2026-07-01
0x0101 following 21:00 short "Late Film" "A quiet drama" date=2026-07-01
# another service on the same transponder, which the reader must ignore
0x0202 present   18:00 short "Other Service" "Not this one"
EOF
  "$tool" mkts "$work/run/schedule.txt" --out "$work/run/eit.ts" >/dev/null
  # The same core, built for Linux, reads the stream: the DLL must show exactly these lines.
  local expected expect_now expect_next expect_desc
  local times=(--programme-times 1)
  expected=$("$tool" eit "$work/run/eit.ts" --sid 0x0101 --guide-format 1 --hour-offset local --tz "$zone" "${times[@]}")
  expect_now=$(sed -n 's/^now: //p' <<<"$expected")
  expect_next=$(sed -n 's/^next: //p' <<<"$expected")
  log "expected lines: [$expect_now] [$expect_next]"
  [[ "$expect_now" == "(22:15–23:15) "* ]] || { log "pelta-tool eit gave no local times: $expect_now"; exit 1; }

  # The programme change: News has ended, the film is on, a late show follows; the network
  # sends the next version of the p/f sub-table. Fed once the strip has hidden; P must show it.
  cat >"$work/run/change.txt" <<'EOF'
0x0101 present   21:00 short "Late Film" "A quiet drama" version=1 date=2026-07-01
0x0101 following 22:30 short "Night Talk" "Guests" version=1 date=2026-07-01
EOF
  "$tool" mkts "$work/run/change.txt" --out "$work/run/change.ts" >/dev/null
  local later later_now later_next
  later=$("$tool" eit "$work/run/change.ts" --sid 0x0101 --guide-format 1 --hour-offset local --tz "$zone" "${times[@]}")
  later_now=$(sed -n 's/^now: //p' <<<"$later")
  later_next=$(sed -n 's/^next: //p' <<<"$later")
  # The O key comes after the change: the guide shows the new present programme's description.
  expect_desc=$(sed -n 's/^desc: //p' <<<"$later")

  # The Unicode channel (service 0x0303): a Chinese present event (selector 0x14, two bytes per
  # character: "中文新闻 晚间", "天气") and a Czech following one in ISO/IEC 6937
  # ("Maigret a čtyři milenci": 0xCF is the caron, 0xC2 the acute accent, before their letters).
  # Its present event is on air by this machine's clock, half an hour in and an hour to go, so
  # its strip (and screenshot) shows the progress bar part-way; the test host reads the bar
  # against its own clock.
  local start next
  start=$(($(date -u +%s) / 60 * 60 - 30 * 60))
  next=$((start + 90 * 60))
  {
    printf '0x0303 present   %s short "%s" "%s" date=%s duration=01:30\n' \
      "$(date -u -d "@$start" +%H:%M)" '\x14\x4E\x2D\x65\x87\x65\xB0\x95\xFB\x00\x20\x66\x5A\x95\xF4' \
      '\x14\x59\x29\x6C\x14' "$(date -u -d "@$start" +%F)"
    printf '0x0303 following %s short "%s" "%s" date=%s duration=00:30\n' \
      "$(date -u -d "@$next" +%H:%M)" 'Maigret a \xCFcty\xCFri milenci' 'Z\xC2achran\xC2a\xCFri z hor' \
      "$(date -u -d "@$next" +%F)"
  } >"$work/run/unicode.txt"
  "$tool" mkts "$work/run/unicode.txt" --out "$work/run/unicode.ts" >/dev/null
  "$tool" eit "$work/run/unicode.ts" --sid 0x0303 --guide-format 1 --hour-offset local --tz "$zone" \
    "${times[@]}" >"$work/run/unicode-expected.txt"

  # The guide window (service 0x0404): a present programme sent in English and Czech (line 18
  # asks for Czech first) with an extended description in three parts, two items, a genre and
  # ratings for two countries; a Chinese next programme. Then the next version of the p/f
  # sub-table, fed while the window is open: the Chinese programme on air, a Czech one next.
  # What the window must show is written out here by hand, in Berlin time (UTC+2 in July).
  cat >"$work/run/guide.txt" <<'EOF'
0x0404 present   20:00 short "Evening Film" "A crime story" date=2026-07-01 duration=00:45 lang=eng
+ short "Večerní film" "Kriminální příběh" lang=cze charset=6937
+ extended "První část. " "Režie" "Jan Novák" "Hrají" "Eva Černá, Petr Malý" lang=cze charset=6937
+ extended "Druhá část.\xEE\x82\x8A" lang=cze charset=utf8
+ extended "Třetí část." lang=cze charset=6937
+ extended "English description" lang=eng
+ content 0x11
+ rating CZE 9 DEU 0x0C
0x0404 following 20:45 short "晚间新闻" "今日要闻" date=2026-07-01 duration=01:00 lang=chi charset=ucs2
EOF
  cat >"$work/run/guide-later.txt" <<'EOF'
0x0404 present   20:45 short "晚间新闻" "今日要闻" date=2026-07-01 duration=01:00 lang=chi charset=ucs2 version=1
0x0404 following 21:45 short "Zprávy" "Počasí" date=2026-07-01 duration=00:15 lang=cze charset=6937 version=1
+ content 0x21
EOF
  # With the later version, two schedule sections (table 0x50) of the service, an hour and two
  # from now by this machine's clock: the window's list below now and next, in Berlin time.
  sched1=$(($(date -u +%s) / 60 * 60 + 60 * 60))
  sched2=$((sched1 + 60 * 60))
  for s in "0 $sched1 501 Film der Woche" "8 $sched2 502 Nachtcafe"; do
    read -r number at id title <<<"$s"
    printf '0x0404 %s %s short "%s" date=%s duration=01:00 event=%s table=0x50\n' "$number" \
      "$(date -u -d "@$at" +%H:%M)" "$title" "$(date -u -d "@$at" +%F)" "$id"
  done >>"$work/run/guide-later.txt"
  later_list="$(TZ=$zone date -d "@$sched1" +%H:%M)  Film der Woche\\n$(TZ=$zone date -d "@$sched2" +%H:%M)  Nachtcafe"
  "$tool" mkts "$work/run/guide.txt" --out "$work/run/guide.ts" >/dev/null
  "$tool" mkts "$work/run/guide-later.txt" --out "$work/run/guide-later.ts" >/dev/null
  printf '%s\n' $'6\t22:00–22:45 (45 min)' $'7\tVečerní film' $'3\tKriminální příběh' \
    $'8\tPrvní část. Druhá část.\\nTřetí část.\\nRežie: Jan Novák\\nHrají: Eva Černá, Petr Malý' \
    $'9\tMovie/Drama: detective/thriller' $'10\t12+' $'11\t22:45–23:45 (60 min)' \
    $'12\t晚间新闻' $'13\t今日要闻' $'14\t' $'15\t' $'16\t' $'19\t' >"$work/run/guide-expected.txt"
  printf '%s\n' $'6\t22:45–23:45 (60 min)' $'7\t晚间新闻' $'3\t今日要闻' $'8\t' $'9\t' $'10\t' \
    $'11\t23:45–00:00 (15 min)' $'12\tZprávy' $'13\tPočasí' $'14\t' \
    $'15\tNews/Current affairs: news/weather report' $'16\t' "19"$'\t'"$later_list" \
    >"$work/run/guide-later-expected.txt"
  log "expected Unicode lines: $(tr '\n' ' ' <"$work/run/unicode-expected.txt")"
  {
    printf 'dll=%q\n' "$dll"
    printf 'zone=%q\n' "$zone"
    printf 'channel=%q\n' "$channel"
    printf 'display_ms=%q\n' "$display_ms"
    printf 'expect_now=%q\n' "$expect_now"
    printf 'expect_next=%q\n' "$expect_next"
    printf 'expect_desc=%q\n' "$expect_desc"
    printf 'later_now=%q\n' "$later_now"
    printf 'later_next=%q\n' "$later_next"
    # The present events' start (seconds since 1970, UTC) and duration, for the progress bars:
    # the first channel's ended long ago (2026-07-01 20:15 UTC, an hour), the Unicode one's runs.
    printf 'times_first=%q\n' "0x0101,$(date -u -d '2026-07-01 20:15:00' +%s),3600"
    printf 'times_unicode=%q\n' "0x0303,$start,5400"
  } >"$work/run/expect.env"
  mkdir -p "$work/bin"
  cp "$build/testhost.exe" "$build/panels-check.exe" "$root/tests/e2e/checks" "$work/bin/"
}

# The screenshot must show the strip with its texts: white text and the indicators on the
# display's black background, where the test host places it on the 1024x768 screen (the bottom
# of its video window). A strip that is up but unpainted reads as nothing bright there.
# Adds the result to the counts `passed` and `failed`.
e2e_check_screenshot() {
  local png=$1 bright
  bright=$(convert "$png" -crop 876x60+74+604 +repage -colorspace Gray -threshold 80% \
    -format '%[fx:mean]' info: 2>/dev/null || echo 0)
  if awk -v m="$bright" 'BEGIN { exit !(m > 0.005) }'; then
    echo "PASS: screenshot shows the strip's texts"
    passed=$((passed + 1))
  else
    echo "FAIL: screenshot shows the strip's texts (bright share $bright)"
    failed=$((failed + 1))
  fi
}
