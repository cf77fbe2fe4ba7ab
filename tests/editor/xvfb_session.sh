# Sourced first by the scripts that drive the editor in a real X window (arguments: the script's
# own path and its arguments). Runs the script again under its own Xvfb unless it already is,
# whatever display the caller has, so that nothing depends on a desktop's size or windows.
# Xvfb and xdotool are what these tests run on: on Debian, where scripts/install-deps installs
# them, a missing one fails the test instead of letting it pass unrun.
missing() {
  if [ -f /etc/debian_version ] && [ -x /usr/bin/apt-get ]; then
    echo "$1 is missing (scripts/install-deps installs it): the editor cannot be tested in a real window"
    exit 1
  fi
  echo "SKIPPED: $1 missing"
  exit 0
}
command -v xdotool >/dev/null || missing xdotool
if [ -z "${BEATSHOW_UNDER_XVFB:-}" ]; then
  command -v xvfb-run >/dev/null || missing xvfb-run
  BEATSHOW_UNDER_XVFB=1 exec env -u DISPLAY xvfb-run -a -s "-screen 0 1280x720x24" "$@"
fi
[ -n "${DISPLAY:-}" ] || { echo "xvfb-run gave no display"; exit 1; }
