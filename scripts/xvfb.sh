# Sourced by the scripts that need a private X server: start_xvfb NAME [Xvfb options...]
# starts one on a free display, waits until it is ready, exports DISPLAY and sets XVFB_PID.
# Stopping it is the caller's (its exit trap).
start_xvfb() {
  local name=$1; shift
  local displayfile
  displayfile=$(mktemp)
  Xvfb -displayfd 8 -nolisten tcp "$@" -screen 0 1280x1024x24 8>"$displayfile" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$displayfile" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || { rm -f "$displayfile"; echo "$name: Xvfb did not start" >&2; exit 1; }
    sleep 0.1
  done
  [ -s "$displayfile" ] || { rm -f "$displayfile"; echo "$name: Xvfb reported no display" >&2; exit 1; }
  export DISPLAY=":$(head -n1 "$displayfile")"
  rm -f "$displayfile"
}
