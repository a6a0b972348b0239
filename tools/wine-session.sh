# Shared by tests/wine/run.sh and tools/run-window.sh (sourced, not run):
# the pieces of a throwaway Wine session for the window.

# The registry lines that give Hangul a font in dialogs and the window
# (Wine's own faces have none), as a .reg file's body.
wine_font_lines() {
  printf '%s\r\n' '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"Segoe UI"="NanumGothic"' '"Tahoma"="NanumGothic"' \
    '"MS Shell Dlg"="NanumGothic"' '"MS Shell Dlg 2"="NanumGothic"'
}

# Binds an NTFS image as a drive of $WINEPREFIX: $1 letter (lower case),
# $2 image, $3 an empty folder for the drive's own root. The server reads
# the links when it starts: run `wineserver -k` afterwards.
bind_wine_drive() {
  mkdir -p "$3"
  ln -sfn "$3" "$WINEPREFIX/dosdevices/$1:"
  ln -sfn "$2" "$WINEPREFIX/dosdevices/$1::"
}

# Starts Xvfb with the screen $1 (e.g. 1280x1024x24), its output in $2;
# exports DISPLAY and sets xvfb_pid. False when it does not come up.
start_xvfb() {
  local fifo display=
  fifo=$(mktemp -u)
  mkfifo "$fifo" || return 1
  Xvfb -displayfd 3 -nolisten tcp -screen 0 "$1" 3>"$fifo" >"$2" 2>&1 &
  xvfb_pid=$!
  read -r -t 60 display <"$fifo"
  rm -f "$fifo"
  [ -n "$display" ] || return 1
  export DISPLAY=:$display
}
