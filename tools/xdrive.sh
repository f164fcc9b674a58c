# Drives the programmer's real window under Xvfb, as an operator would: sourced by
# the demo, the screenshot and the window test. Needs Xvfb, xdotool and the build.

# Centres of the controls, in pixels of the client area (its own layout, 15 twips a
# pixel); the client area stands below the menu bar, XD_CLIENT_TOP pixels down with the
# dialog font the program uses.
XD_CLIENT_TOP=18
XD_LAMP="15 22"          # imgNotConnected / imgConnected
XD_READ="150 95"         # Option2(1) "Read"
XD_TEXT1="97 97"         # Start Object of the Read frame
XD_TEXT2="97 130"        # End Object of the Read frame

xd_start_xvfb() {        # sets DISPLAY and XD_XVFB_PID
    # -noreset: a server that resets when its last client leaves refuses the window
    # started next while it does (a test that closes the window and starts it again).
    local fifo
    fifo=$(mktemp -u); mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
    XD_XVFB_PID=$!
    local number
    read -r -t 10 number <"$fifo" || { rm -f "$fifo"; echo "Xvfb did not start" >&2; return 1; }
    rm -f "$fifo"
    export DISPLAY=":$number"
}

xd_start_sim() {         # xd_start_sim LINK LOG [options...]; sets XD_SIM_PID
    local link=$1 log=$2; shift 2
    "$XD_BUILD/orvel-device-sim" --link "$link" "$@" >"$log.out" 2>"$log.err" &
    XD_SIM_PID=$!
    for _ in $(seq 100); do [ -e "$link" ] && return 0; sleep 0.05; done
    echo "the simulator did not start" >&2; return 1
}

xd_start_app() {         # xd_start_app LINK; sets XD_APP_PID and XD_WINDOW
    # A real X window, whatever platform the caller's environment names (tests: offscreen).
    # What the program prints goes to XD_APP_LOG, if the caller names one.
    QT_QPA_PLATFORM=xcb ORVEL_COM1="$1" "$XD_BUILD/orvel-programator" \
        >>"${XD_APP_LOG:-/dev/null}" 2>&1 &
    XD_APP_PID=$!
    # Only a mapped window: Qt gives its hidden client-leader window the same title.
    for _ in $(seq 100); do
        XD_WINDOW=$(xdotool search --onlyvisible --name '^Orvel programator$' 2>/dev/null |
                        head -n 1 || true)
        [ -n "$XD_WINDOW" ] && return 0
        sleep 0.1
    done
    echo "the window did not appear" >&2
    [ -z "${XD_APP_LOG:-}" ] || cat "$XD_APP_LOG" >&2
    return 1
}

xd_focus() {             # the keyboard's focus to the window, as a desktop gives a new one
    for _ in $(seq 50); do
        xdotool windowfocus --sync "$XD_WINDOW" 2>/dev/null && return
        sleep 0.1
    done
    echo "the window took no focus" >&2; return 1
}

xd_click() {             # xd_click "X Y", in the client area
    local x y
    read -r x y <<<"$1"
    xdotool mousemove --window "$XD_WINDOW" "$x" $((y + XD_CLIENT_TOP)) click 1
    sleep 0.2
}

xd_type_into() {         # xd_type_into "X Y" TEXT: replaces the field's text
    xd_click "$1"
    xdotool key --window "$XD_WINDOW" ctrl+a BackSpace
    xdotool type --window "$XD_WINDOW" --delay 30 "$2"
    sleep 0.2
}

xd_stop_all() {
    for pid in ${XD_APP_PID:-} ${XD_SIM_PID:-} ${XD_XVFB_PID:-}; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
